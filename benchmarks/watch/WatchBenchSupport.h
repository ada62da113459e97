#pragma once

// Shared pieces of the KelWatch benchmarks: a scratch folder, a realistic
// UTF-8 log of a given size, the resident size of the process, a clock.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kel::bench {

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

} // namespace kel::bench
