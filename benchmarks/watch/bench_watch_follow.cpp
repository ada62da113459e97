// Following a growing log: a writer process appends a line every 10 ms for
// 10 seconds, each line carrying its sequence number and the moment it was
// written; the follower runs a read cycle on a 100 ms tick, as the view's
// timer does. Prints the median and 99th percentile delay from write to view
// text (goal: p99 under 150 ms) and checks that no line is lost or doubled.
#include "KelWatchDoc.h"
#include "WatchBenchSupport.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC: the same in both processes

long long NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

int RunWriter(const char* path, int count)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return 1;
    auto next = Clock::now();
    for (int sequence = 0; sequence < count; ++sequence) {
        std::this_thread::sleep_until(next);
        char line[96];
        const int n = std::snprintf(line, sizeof line, "seq=%d t=%lld 로그 한 줄\n", sequence, NowNanoseconds());
        if (write(fd, line, static_cast<size_t>(n)) != n)
            return 1;
        next += std::chrono::milliseconds(10);
    }
    close(fd);
    return 0;
}

struct Tally {
    std::vector<double> delays; // milliseconds
    int expected = 0;
    int lost = 0;
    int doubled = 0;
    int garbled = 0;

    void Take(const std::wstring& text, long long shownAt)
    {
        for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
            int sequence = -1;
            long long writtenAt = 0;
            if (std::swscanf(text.substr(start, end - start).c_str(), L"seq=%d t=%lld", &sequence, &writtenAt) != 2) {
                ++garbled;
                continue;
            }
            if (sequence < expected)
                ++doubled;
            else
                lost += sequence - expected;
            expected = std::max(expected, sequence + 1);
            delays.push_back(static_cast<double>(shownAt - writtenAt) / 1e6);
        }
    }
};

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--writer") == 0)
        return RunWriter(argv[2], std::atoi(argv[3]));

    constexpr int kLines = 1000; // 10 s at one line per 10 ms
    kel::bench::ScratchDir dir;
    const std::string path = dir / "follow.log";
    CKelWatchDoc doc;
    doc.OnOpenDocument(CStringW(std::wstring(path.begin(), path.end())));

    char self[] = "/proc/self/exe";
    char flag[] = "--writer";
    std::string file = path;
    std::string count = std::to_string(kLines);
    char* writerArgs[] = {self, flag, file.data(), count.data(), nullptr};
    pid_t writer = -1;
    if (posix_spawn(&writer, self, nullptr, nullptr, writerArgs, environ) != 0) {
        std::fprintf(stderr, "cannot start the writer process\n");
        return 1;
    }

    Tally tally;
    auto tick = Clock::now();
    bool writerDone = false;
    for (int quietTicks = 0; quietTicks < 3;) {
        tick += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(tick);
        std::wstring text;
        do
            text += doc.ReadCycle().str();
        while (doc.HasMore());
        tally.Take(text, NowNanoseconds());
        int status = 0;
        if (!writerDone && waitpid(writer, &status, WNOHANG) == writer)
            writerDone = true;
        quietTicks = writerDone && text.empty() ? quietTicks + 1 : 0;
    }

    std::printf("lines written %d, shown %zu, lost %d, doubled %d, unreadable %d\n", kLines, tally.delays.size(),
                tally.lost + (kLines - tally.expected), tally.doubled, tally.garbled);
    std::printf("delay write -> view text: median %.1f ms, p99 %.1f ms, max %.1f ms  (goal: p99 under 150 ms)\n",
                Percentile(tally.delays, 0.5), Percentile(tally.delays, 0.99), Percentile(tally.delays, 1.0));
    const bool whole = static_cast<int>(tally.delays.size()) == kLines && tally.lost == 0 && tally.doubled == 0;
    return whole ? 0 : 1;
}
