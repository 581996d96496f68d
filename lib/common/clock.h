// Millisecond clock for the "%4.3f sec: " progress lines.
#pragma once

#include <chrono>
#include <cstdint>

// Milliseconds of a monotonic clock; only differences are meaningful.
inline int64_t msClock()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Seconds elapsed since a msClock() reading, at millisecond resolution.
inline double secondsSince(int64_t startMs)
{
    return static_cast<double>(msClock() - startMs) / 1000.0;
}
