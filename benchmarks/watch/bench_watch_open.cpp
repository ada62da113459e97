// Opening a big log: the read cycles that turn a 256 MB UTF-8 log into view
// text, beside `iconv -f UTF-8 -t UTF-32LE` of the same file in the same run
// (the same work: every byte decoded to 32-bit characters). Prints the rates,
// their ratio (goal: at least 0.5) and the resident size after opening.
#include "KelWatchDoc.h"
#include "WatchBenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Seconds iconv needs for the file, or a negative value when it failed.
double TimeIconv(const std::string& path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char program[] = "iconv";
    char from[] = "-f", fromCode[] = "UTF-8", to[] = "-t", toCode[] = "UTF-32LE";
    std::string file = path;
    char* argv[] = {program, from, fromCode, to, toCode, file.data(), nullptr};
    const auto start = Clock::now();
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return kel::benchmark::Seconds(Clock::now() - start);
}

struct OpenResult {
    double seconds = 0;
    size_t characters = 0;
    size_t lines = 0;
};

OpenResult TimeReadCycles(const std::string& path)
{
    OpenResult result;
    // The cycles and the wait for the encoding, which a big file has
    // detected beside them, are timed; counting the lines is the check.
    Clock::duration spent {};
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));
    do {
        const auto start = Clock::now();
        const CStringW text = doc.ReadCycle();
        if (doc.IsDetecting())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        spent += Clock::now() - start;
        result.characters += static_cast<size_t>(text.GetLength());
        result.lines += static_cast<size_t>(std::count(text.str().begin(), text.str().end(), L'\n'));
    } while (doc.HasMore() || doc.IsDetecting());
    result.seconds = kel::benchmark::Seconds(spent);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    kel::benchmark::ScratchDir dir;
    if (!dir.IsValid()) {
        std::fprintf(stderr, "cannot create a scratch folder\n");
        return 1;
    }
    const std::string path = dir / "big.log";
    const double before = kel::benchmark::ResidentMegabytes();
    const size_t lines = kel::benchmark::WriteSampleLog(path, megabytes << 20);
    const double size = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
    std::printf("file: %.1f MB, %zu lines (UTF-8, some Hangul)\n", size, lines);

    // Best of three each, alternating, so both see a warm page cache.
    double iconvBest = 1e9;
    OpenResult ours{1e9};
    for (int round = 0; round < 3; ++round) {
        const double peer = TimeIconv(path);
        if (peer < 0) {
            std::fprintf(stderr, "iconv failed\n");
            return 1;
        }
        iconvBest = std::min(iconvBest, peer);
        const OpenResult run = TimeReadCycles(path);
        if (run.lines != lines) {
            std::fprintf(stderr, "read cycles produced %zu lines, the file has %zu\n", run.lines, lines);
            return 1;
        }
        if (run.seconds < ours.seconds)
            ours = run;
    }
    std::printf("KelWatch read cycles:    %6.3f s  %7.1f MB/s  (%zu characters of view text)\n", ours.seconds,
                size / ours.seconds, ours.characters);
    std::printf("iconv UTF-8 -> UTF-32LE: %6.3f s  %7.1f MB/s\n", iconvBest, size / iconvBest);
    std::printf("ratio KelWatch / iconv:  %.2f  (goal: at least 0.50)\n", iconvBest / ours.seconds);
    std::printf("resident size after opening: %.1f MB before, %.1f MB after, file %.1f MB "
                "(the engine keeps no text; the view does)\n",
                before, kel::benchmark::ResidentMegabytes(), size);
    return 0;
}
