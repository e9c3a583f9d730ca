// What the benchmarks that generate a cohort share: the clock, a stop with
// the interaction's messages, and a random series that is the same on every
// machine.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "state/scripted_interaction.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Stops the benchmark, naming what failed and what the program said.
[[noreturn]] inline void Die(const std::string& what, const vdx::ScriptedInteraction& ui) {
    std::cerr << program_invocation_short_name << ": " << what << "\n";
    for (const auto& m : ui.messages) std::cerr << "  " << m.text << "\n";
    std::exit(1);
}

// splitmix64, for a cohort that is the same on every machine.
struct Random {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int64_t between(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo + 1));
    }
};

}  // namespace bench
