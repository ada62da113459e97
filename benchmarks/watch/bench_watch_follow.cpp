// Following a growing log: a writer process appends a line every 10 ms for
// 10 seconds, each line carrying its sequence number and the moment it was
// written; the follower runs a read cycle on a 100 ms tick, as the view's
// timer does. Prints the median and 99th percentile delay from write to view
// text (goal: p99 under 150 ms) and checks that no line is lost or doubled.
#include "KelWatchDoc.h"
#include "WatchBenchSupport.h"

#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kel::benchmark::NowNanoseconds;

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--writer") == 0)
        return kel::benchmark::RunLineWriter(argv[2], std::atoi(argv[3]));

    constexpr int kLines = 1000; // 10 s at one line per 10 ms
    kel::benchmark::ScratchDir dir;
    const std::string path = dir / "follow.log";
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));

    const pid_t writer = kel::benchmark::StartLineWriter(path, kLines);
    if (writer < 0) {
        std::fprintf(stderr, "cannot start the writer process\n");
        return 1;
    }

    kel::benchmark::LineTally tally;
    auto tick = Clock::now();
    bool writerDone = false;
    for (int quietTicks = 0; quietTicks < 3;) {
        tick += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(tick);
        std::wstring text;
        do
            text += doc.ReadCycle().str();
        while (doc.HasMore());
        const long long shownAt = NowNanoseconds();
        for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
            tally.TakeLine(text.substr(start, end - start), shownAt);
        int status = 0;
        if (!writerDone && waitpid(writer, &status, WNOHANG) == writer)
            writerDone = true;
        quietTicks = writerDone && text.empty() ? quietTicks + 1 : 0;
    }

    std::printf("lines written %d, shown %zu, lost %d, doubled %d, unreadable %d\n", kLines, tally.delays.size(),
                tally.lost + (kLines - tally.expected), tally.doubled, tally.garbled);
    std::printf("delay write -> cycle text (100 ms tick): median %.1f ms, p99 %.1f ms, max %.1f ms  "
                "(goal: p99 under 150 ms)\n",
                kel::benchmark::Percentile(tally.delays, 0.5), kel::benchmark::Percentile(tally.delays, 0.99),
                kel::benchmark::Percentile(tally.delays, 1.0));
    const bool whole = static_cast<int>(tally.delays.size()) == kLines && tally.lost == 0 && tally.doubled == 0;
    return whole ? 0 : 1;
}
