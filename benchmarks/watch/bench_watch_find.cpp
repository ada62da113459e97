// Find and filter in a big log: a word that occurs 1,000 times in a 256 MB log
// (the size in megabytes may be given), looked for in the view's lines the
// way the view and the filter pane do it (30 ms slices), plain and as a
// regular expression, beside `grep -c` of the same file in the same run.
// Prints the times, the rates relative to grep (goal: at least 0.5), the
// longest slice (the window handles its events between slices; goal: under
// 100 ms), and whether the filter kept as many lines as grep counted. The
// last pair finds a word that is in every line.
#include "KelWatchDoc.h"
#include "LineFinder.h"
#include "LineStore.h"
#include "WatchBenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kOccurrences = 1000;

// Puts "needle" at the start of `kOccurrences` lines spread over the file,
// over the first bytes of their time stamps, so the size does not change.
void PlantNeedles(const std::string& path, size_t bytes)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    for (int i = 0; i < kOccurrences; ++i) {
        file.seekg(static_cast<std::streamoff>(bytes / kOccurrences * static_cast<size_t>(i)));
        std::string skipped;
        std::getline(file, skipped);
        const std::streamoff lineStart = file.tellg();
        file.seekp(lineStart);
        file.write("needle", 6);
        file.flush();
    }
}

void Load(const std::string& path, CLineStore& lines)
{
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
    do {
        doc.ReadCycle(lines);
        if (doc.IsDetecting())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (doc.HasMore() || doc.IsDetecting() || lines.LineCount() == 0);
}

struct SGrep {
    double seconds = -1;
    long count = -1;
};

SGrep Grep(const std::string& options, const std::string& pattern, const std::string& path)
{
    const std::string command = "LC_ALL=C.UTF-8 grep -c " + options + " -e '" + pattern + "' '" + path + "'";
    SGrep result;
    const auto start = Clock::now();
    if (FILE* output = popen(command.c_str(), "r")) {
        if (std::fscanf(output, "%ld", &result.count) != 1)
            result.count = -1;
        pclose(output);
        result.seconds = kel::benchmark::Seconds(Clock::now() - start);
    }
    return result;
}

struct SSearch {
    double seconds = 0;
    long long longestSliceMs = 0;
    size_t found = 0; // matches for a find, lines for a filter
};

SSearch Search(const CLineStore& lines, CLineFinder::EMode mode, const std::string& pattern, bool regularExpression,
               bool caseSensitive)
{
    CLineFinder finder(mode);
    finder.SetPattern(pattern, regularExpression, caseSensitive);
    SSearch result;
    const auto start = Clock::now();
    for (bool done = false; !done;) {
        const auto sliceStart = Clock::now();
        done = finder.Search(lines, std::chrono::milliseconds(30));
        const auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sliceStart);
        result.longestSliceMs = std::max<long long>(result.longestSliceMs, slice.count());
    }
    result.seconds = kel::benchmark::Seconds(Clock::now() - start);
    result.found = finder.MatchCount();
    return result;
}

void Compare(const char* what, const CLineStore& lines, const std::string& pattern, bool regularExpression,
             bool caseSensitive, const std::string& grepOptions, const std::string& path, bool hasGoal = true)
{
    const SGrep grep = Grep(grepOptions, pattern, path);
    const double megabytes = static_cast<double>(lines.TextBytes()) / (1 << 20);
    for (const auto mode : {CLineFinder::EMode::EveryMatch, CLineFinder::EMode::MatchingLines}) {
        const bool find = mode == CLineFinder::EMode::EveryMatch;
        const SSearch search = Search(lines, mode, pattern, regularExpression, caseSensitive);
        std::printf("%-6s %-26s KelWatch %6.3f s (%7.1f MB/s, %zu %s, longest slice %lld ms)  grep -c %-5s %6.3f s "
                    "(%ld lines)  rate ratio %.2f%s%s\n",
                    find ? "find" : "filter", what, search.seconds, megabytes / search.seconds, search.found,
                    find ? "matches" : "lines", search.longestSliceMs, grepOptions.c_str(), grep.seconds, grep.count,
                    grep.seconds > 0 ? grep.seconds / search.seconds : 0.0, hasGoal ? " (goal: at least 0.5)" : "",
                    !find && static_cast<long>(search.found) != grep.count ? "  LINE COUNTS DIFFER" : "");
    }
}

} // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? static_cast<size_t>(std::atol(argv[1])) : 256;
    kel::benchmark::ScratchDir dir;
    if (!dir.IsValid())
        return 1;
    const std::string path = dir / "big.log";
    kel::benchmark::WriteSampleLog(path, megabytes << 20);
    PlantNeedles(path, megabytes << 20);
    CLineStore lines;
    Load(path, lines);
    std::printf("log: %zu MB, %zu lines, the word %d times\n", megabytes, lines.LineCount(), kOccurrences);
    Compare("plain text, case matters", lines, "needle", false, true, "-F", path);
    Compare("plain text, any case", lines, "needle", false, false, "-F -i", path);
    Compare("regular expression", lines, "ne+dle", true, true, "-E", path);
    Compare("expression, any case", lines, "ne+dle", true, false, "-E -i", path);
    // The worst case for keeping matches: a word in every line.
    Compare("a word in every line", lines, "INFO", false, true, "-F", path, false);
    return 0;
}
