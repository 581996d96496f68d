// Timing helper shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>

// Best wall-clock seconds of three runs of fn.
template <typename Fn>
double bestSeconds(Fn fn)
{
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}
