// What the exchange benchmarks measure: wall time and the process's peak
// resident memory (VmHWM), which shows whether rows are streamed.
#pragma once

#include <chrono>
#include <fstream>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline long PeakKibibytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

inline long PeakMebibytes() { return PeakKibibytes() / 1024; }

template <typename F>
double Seconds(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace bench
