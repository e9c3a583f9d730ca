// The person-years benchmarks time each run in a child process of their own
// (a fresh heap, its own peak memory): the child prints open, run, save and
// total seconds, rows, days and the largest cell on one line.
#pragma once

#include <functional>

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

#include "../bench_support.h"
#include "db/file_commands.h"
#include "db/project_file.h"
#include "py/person_years_run.h"
#include "py/py_comp.h"
#include "state/scripted_interaction.h"

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

// The child's side: opens the study at `path`, runs the person-years by
// `age` and `calendar` classes ("from:to:step") of DOB, DOE and DOX with
// what `configure` adds to the state (sex, an exposure axis), saves, and
// prints the line RunTimedChild reads.
inline int TimedPersonYearsRun(const std::string& path, const std::string& age, const std::string& calendar,
                               const std::function<void(vdx::ProgramState&)>& configure) {
    using namespace vdx;
    ProgramState state;
    ScriptedInteraction ui;
    const auto t0 = Clock::now();
    if (!db::OpenProjectFile(state, ui, path)) Die("cannot open " + path, ui);
    const auto t1 = Clock::now();
    const auto snapshot = py::TakeSettingsSnapshot(state);
    auto split = [](const std::string& s, std::string& from, std::string& to, std::string& step) {
        const auto p1 = s.find(':'), p2 = s.find(':', p1 + 1);
        from = s.substr(0, p1);
        to = s.substr(p1 + 1, p2 - p1 - 1);
        step = s.substr(p2 + 1);
    };
    py::PyRequest form;
    form.birthColumn = "DOB";
    form.entryColumn = "DOE";
    form.exitColumn = "DOX";
    split(age, form.ageFrom, form.ageTo, form.ageStep);
    split(calendar, form.calendarFrom, form.calendarTo, form.calendarStep);
    configure(state);
    if (!py::CheckPyRequest(state, ui, form).ok()) Die("settings refused", ui);
    py::PyRunSummary summary;
    if (py::RunPersonYears(state, ui, snapshot, &summary) != py::PyRunOutcome::Completed) Die("run failed", ui);
    const auto t2 = Clock::now();
    if (!db::FileSave(state, ui)) Die("save failed", ui);
    const auto t3 = Clock::now();
    db::ReleaseWorkingCopy(state);
    std::printf("%.3f %.3f %.3f %.3f %lld %lld %lld\n", Seconds(t0, t1), Seconds(t1, t2), Seconds(t2, t3),
                Seconds(t0, t3), static_cast<long long>(summary.rows), static_cast<long long>(summary.totalDays),
                static_cast<long long>(summary.largestCell));
    return 0;
}

}  // namespace bench
