#pragma once

// Shared pieces of the KelWatch benchmarks: a scratch folder, a realistic
// UTF-8 log of a given size, the resident size of the process, clocks, and
// the writer process of the following benchmarks.
#include <algorithm>
#include <chrono>
#include <cwchar>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include <thread>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace kel::benchmark {

class ScratchDir {
public:
    ScratchDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelwatch-bench-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ScratchDir()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool IsValid() const { return !m_path.empty(); }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// A log of about `bytes` bytes: timestamped lines of 40-160 bytes, some with
// Hangul. Returns the number of lines written.
inline size_t WriteSampleLog(const std::string& path, size_t bytes)
{
    static const char* const kMessages[] = {
        "GET /api/v1/items?page=3 200 12ms",
        "사용자 로그인 성공: user=kim session=7f3a",
        "cache miss for key order:918273, loading from database",
        "작업 큐 처리 완료 (대기 0건, 처리 128건)",
        "connection reset by peer, retrying in 1000 ms",
        "WARN disk usage 81% on /var/log",
    };
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937 random(42);
    std::string block;
    size_t written = 0;
    size_t lines = 0;
    char head[64];
    while (written < bytes) {
        const int n = std::snprintf(head, sizeof head, "[2026-12-07 08:%02u:%02u.%03u] INFO  (%5u) ",
                                    static_cast<unsigned>(lines / 60000 % 60), static_cast<unsigned>(lines / 1000 % 60),
                                    static_cast<unsigned>(lines % 1000), static_cast<unsigned>(random() % 100000));
        block.append(head, static_cast<size_t>(n));
        block += kMessages[random() % std::size(kMessages)];
        if (random() % 4 == 0)
            block += " | detail=" + std::string(random() % 60, 'x');
        block += '\n';
        ++lines;
        if (block.size() > (1 << 20) || written + block.size() >= bytes) {
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
            written += block.size();
            block.clear();
        }
    }
    return lines;
}

inline double ResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kilobytes = 0;
            status >> kilobytes;
            return kilobytes / 1024.0;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

inline double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The steady clock is CLOCK_MONOTONIC: the same in every process.
inline long long NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The writer side of the following benchmarks: appends `count` lines, one
// every 10 ms, each with its sequence number and the moment it was written.
inline int RunLineWriter(const char* path, int count)
{
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return 1;
    auto next = std::chrono::steady_clock::now();
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

// Starts this same program as the writer ("--writer PATH COUNT"); the
// process id, or -1.
inline pid_t StartLineWriter(const std::string& path, int lines)
{
    char self[] = "/proc/self/exe";
    char flag[] = "--writer";
    std::string file = path;
    std::string count = std::to_string(lines);
    char* arguments[] = {self, flag, file.data(), count.data(), nullptr};
    pid_t writer = -1;
    return posix_spawn(&writer, self, nullptr, nullptr, arguments, environ) == 0 ? writer : -1;
}

// Delays of the lines a follower saw, and whether each came exactly once.
struct LineTally {
    std::vector<double> delays; // milliseconds
    int expected = 0;
    int lost = 0;
    int doubled = 0;
    int garbled = 0;

    void TakeLine(const std::wstring& line, long long shownAt)
    {
        int sequence = -1;
        long long writtenAt = 0;
        if (std::swscanf(line.c_str(), L"seq=%d t=%lld", &sequence, &writtenAt) != 2) {
            ++garbled;
            return;
        }
        if (sequence < expected)
            ++doubled;
        else
            lost += sequence - expected;
        expected = std::max(expected, sequence + 1);
        delays.push_back(static_cast<double>(shownAt - writtenAt) / 1e6);
    }
};

inline double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())))];
}

} // namespace kel::benchmark
