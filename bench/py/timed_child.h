// The person-years benchmarks time each run in a child process of their own
// (a fresh heap, its own peak memory): the child prints open, run, save and
// total seconds, rows, days and the largest cell on one line.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace bench {

struct TimedResult {
    double open = 0, run = 0, save = 0, total = 0;
    long long rows = 0, days = 0, largest = 0;
    long peakKb = 0;
    double cpu = 0;  // user and system time of the whole child, both threads
};

// Runs `args` (args[0] the program) and reads its line; stops the benchmark
// when the child fails.
inline TimedResult RunTimedChild(std::vector<std::string> args) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << program_invocation_short_name << ": the timed run failed\n";
        std::exit(1);
    }
    TimedResult r;
    std::sscanf(out.c_str(), "%lf %lf %lf %lf %lld %lld %lld", &r.open, &r.run, &r.save, &r.total, &r.rows, &r.days,
                &r.largest);
    r.peakKb = usage.ru_maxrss;
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return r;
}

}  // namespace bench
