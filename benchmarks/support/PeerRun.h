#pragma once

// What the benchmarks that race a command-line peer share: the peer run to
// its end, and a file of random bytes for both to move.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace kel::benchmark {

// Runs `arguments` (found on PATH) and waits for it: its exit status, or -1
// when it could not start or did not exit normally.
inline int RunToEnd(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// `size` random bytes (from `seed`, so that runs agree) into `path`.
inline void WriteRandomFile(const std::string& path, size_t size, unsigned seed)
{
    std::mt19937_64 generator(seed);
    std::vector<std::uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    for (size_t written = 0; written < size; written += block.size() * 8) {
        for (std::uint64_t& word : block)
            word = generator();
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(std::min(block.size() * 8, size - written)));
    }
}

} // namespace kel::benchmark
