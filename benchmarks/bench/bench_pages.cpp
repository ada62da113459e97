// Each page of Kelbench on a 1 GB file (KEL_BENCH_PAGE_MB changes the size),
// against the coreutils tool that does the same job, measured in the same
// run on the same file (read once beforehand, so both find it cached):
//   Hash page load + MD5 / SHA-1 / SHA-256     against md5sum / sha1sum / sha256sum
//   encoding page load + encode + save         against base64 -w0 > file
//   decoding page load + decode + save         against base64 -d > file
// A ratio is the peer's time over ours (above 1.0: the page is faster).
// Each page runs in a child process of its own so that its peak resident
// size is its own, printed beside the size of the file it loads (target:
// under 3 times). The longest stretch between two progress reports is the
// longest the window would go without handling events.
#include <PageBase64Decoding.h>
#include <PageBase64Encoding.h>
#include <PageHash.h>
#include <Progress.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

CStringW Wide(const std::string& text)
{
    return CStringW(std::wstring(text.begin(), text.end()));
}

// Records the longest time between two reports (and from the start to the
// first, and from the last to the first Finish). A scenario finishes before
// its page goes: the page lives as long as the program.
class CGapProgress : public kel::bench::CProgress {
public:
    bool Step(ULONGLONG, ULONGLONG) override
    {
        _Mark();
        return true;
    }
    double Finish()
    {
        if (!m_bFinished)
            _Mark();
        m_bFinished = true;
        return m_longest;
    }

private:
    void _Mark()
    {
        const auto now = Clock::now();
        m_longest = std::max(m_longest, std::chrono::duration<double>(now - m_last).count());
        m_last = now;
    }
    Clock::time_point m_last = Clock::now();
    double m_longest = 0;
    bool m_bFinished = false;
};

// Prints how long each phase of a scenario took, on one line.
class CPhaseClock {
public:
    ~CPhaseClock()
    {
        std::printf("  (%s)\n", m_text.c_str());
        std::fflush(stdout);
    }
    void Mark(const char* phase)
    {
        const auto now = Clock::now();
        char figure[64];
        std::snprintf(figure, sizeof figure, "%s%s %.2f s", m_text.empty() ? "" : ", ", phase,
            std::chrono::duration<double>(now - m_last).count());
        m_text += figure;
        m_last = now;
    }

private:
    Clock::time_point m_last = Clock::now();
    std::string m_text;
};

struct SRun {
    bool bOk = false;
    double seconds = 0;
    long long nPeakBytes = 0;
    double longestGap = 0; // seconds without a progress report
};

// Puts what earlier steps wrote on the disk before a timed step starts,
// so that a save's own sync never waits for the files a peer wrote.
void WriteBackEarlierWork()
{
    std::system("sync");
}

// Runs `scenario` in a child; it passes its longest gap back through shared
// memory.
SRun RunInChild(const std::function<bool(CGapProgress&)>& scenario)
{
    WriteBackEarlierWork();
    auto* gap = static_cast<double*>(mmap(nullptr, sizeof(double), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    *gap = -1;
    const auto start = Clock::now();
    std::fflush(stdout); // the child's own lines only
    const pid_t child = fork();
    if (child == 0) {
        CGapProgress progress;
        const bool ok = scenario(progress);
        *gap = progress.Finish();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    rusage usage {};
    wait4(child, &status, 0, &usage);
    SRun run;
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.bOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.nPeakBytes = usage.ru_maxrss * 1024LL;
    run.longestGap = *gap;
    munmap(gap, sizeof(double));
    return run;
}

// Wall time of a shell command; negative when it failed.
double TimeCommand(const std::string& command)
{
    WriteBackEarlierWork();
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    return status == 0 ? took : -1;
}

void Report(const char* what, const SRun& ours, const char* peer, double peerSeconds, double aim, size_t fileSize)
{
    if (!ours.bOk || peerSeconds < 0) {
        std::printf("%-34s FAILED\n", what);
        return;
    }
    const double memory = static_cast<double>(ours.nPeakBytes) / static_cast<double>(fileSize);
    std::printf("%-34s %6.2f s  %-22s %6.2f s  ratio %.2f x (aim >= %.1f)  peak RSS %5.0f MB = %.2f x file (< 3)  "
                "longest without events %4.0f ms\n",
        what, ours.seconds, peer, peerSeconds, peerSeconds / ours.seconds, aim,
        static_cast<double>(ours.nPeakBytes) / (1 << 20), memory, ours.longestGap * 1000);
}

std::string Quoted(const std::string& path)
{
    return "'" + path + "'";
}

// The Hash page loading and hashing `source` with each algorithm.
void BenchHashPage(const std::string& source, size_t size)
{
    const auto hashRun = [&](int algorithm, size_t length) {
        return RunInChild([&, algorithm, length](CGapProgress& progress) {
            CPageHash page;
            page.m_pProgress = &progress;
            page.m_nAlgorithm = algorithm;
            page.AlgorithmChanged();
            page.m_strPath = Wide(source);
            page.LoadPath();
            page.Compute();
            progress.Finish();
            return page.Buffer().Count() == size && static_cast<size_t>(page.m_strOutput.GetLength()) == length;
        });
    };
    Report("Hash: load + MD5", hashRun(CPageHash::kMD5, 32), "md5sum",
        TimeCommand("md5sum " + Quoted(source) + " > /dev/null"), 1.0, size);
    Report("Hash: load + SHA-1", hashRun(CPageHash::kSHA1, 40), "sha1sum",
        TimeCommand("sha1sum " + Quoted(source) + " > /dev/null"), 1.0, size);
    Report("Hash: load + SHA-256", hashRun(CPageHash::kSHA256, 64), "sha256sum",
        TimeCommand("sha256sum " + Quoted(source) + " > /dev/null"), 1.0, size);
}

} // namespace

int main()
{
    const char* sizeText = std::getenv("KEL_BENCH_PAGE_MB");
    const size_t size = static_cast<size_t>(sizeText ? std::atol(sizeText) : 1024) << 20;
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/kel-pages-XXXXXX";
    if (!mkdtemp(folder.data()))
        return 1;
    const std::string source = folder + "/data.bin";
    {
        std::vector<char> chunk(1 << 20);
        std::mt19937 random(1);
        for (char& c : chunk)
            c = static_cast<char>(random());
        std::ofstream out(source, std::ios::binary);
        for (size_t written = 0; written < size; written += chunk.size())
            out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), size - written)));
    }
    std::system(("cat " + Quoted(source) + " > /dev/null").c_str());
    std::printf("file of %zu MB in %s; %ld processors, shared with other work: figures vary from run to run\n",
        size >> 20, folder.c_str(), sysconf(_SC_NPROCESSORS_ONLN));

    BenchHashPage(source, size);

    const std::string peerBase64 = folder + "/peer.b64";
    const double encodePeer = TimeCommand("base64 -w0 " + Quoted(source) + " > " + Quoted(peerBase64));
    const SRun encoding = RunInChild([&](CGapProgress& progress) {
        CPageBase64Encoding page;
        page.m_pProgress = &progress;
        page.m_strPath = Wide(source);
        CPhaseClock phases;
        page.LoadPath();
        phases.Mark("load");
        page.Encode();
        const bool saved = page.Save(page.SaveFileName());
        phases.Mark("encode + save");
        progress.Finish();
        return saved && page.Buffer().Count() == size;
    });
    Report("Encoding: load + encode + save", encoding, "base64 -w0 > file", encodePeer, 0.5, size);

    // Both decode the same Base64 text: base64's own, plain ASCII.
    const double decodePeer = TimeCommand("base64 -d " + Quoted(peerBase64) + " > " + Quoted(folder + "/peer.dec"));
    const SRun decoding = RunInChild([&](CGapProgress& progress) {
        CPageBase64Decoding page;
        page.m_pProgress = &progress;
        page.m_strPath = Wide(peerBase64);
        CPhaseClock phases;
        page.LoadPath();
        phases.Mark("load");
        page.Decode();
        phases.Mark("decode");
        const bool saved = page.Save(page.SaveFileName());
        phases.Mark("save");
        progress.Finish();
        return saved && page.Buffer().Count() == size;
    });
    Report("Decoding: load + decode + save", decoding, "base64 -d > file", decodePeer,
        0.5, std::filesystem::file_size(peerBase64));

    const bool same = std::system(("cmp -s " + Quoted(source) + " " + Quoted(peerBase64 + ".base64.dec")).c_str()) == 0;
    std::printf("decoded file %s the source\n", same ? "equals" : "DIFFERS FROM");
    std::filesystem::remove_all(folder);
    return same ? 0 : 1;
}
