#pragma once
// Times a piece of work over several runs with the performance counter, for the benchmarks that
// measure short operations in their own process.
#include <windows.h>

#include <algorithm>
#include <vector>

namespace timing {

inline double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// The time of each run in milliseconds, shortest first.
template <class F>
std::vector<double> SortedTimes(int runs, F&& f) {
    LARGE_INTEGER frequency, from, to;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QueryPerformanceCounter(&from);
        f();
        QueryPerformanceCounter(&to);
        times.push_back(Milliseconds(from, to, frequency));
    }
    std::sort(times.begin(), times.end());
    return times;
}

template <class F>
double MedianTime(int runs, F&& f) {
    const std::vector<double> times = SortedTimes(runs, f);
    return times[times.size() / 2];
}

}  // namespace timing
