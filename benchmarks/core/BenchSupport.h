#pragma once

// Timing helpers shared by the foundation benchmarks: best of several runs,
// so that a busy machine disturbs the figures as little as possible.
#include <algorithm>
#include <chrono>
#include <cstdio>

namespace kel::benchmark {

template <typename Work>
double BestSeconds(int runs, Work work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

inline void PrintRatio(const char* what, double ours, double peer, double aim)
{
    std::printf("  %-44s %8.2f  (aim >= %.2f: %s)\n", what, ours / peer, aim, ours / peer >= aim ? "met" : "NOT met");
}

} // namespace kel::benchmark
