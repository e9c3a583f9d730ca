// Running a program of the project (veldrix-cli) from a test, as a user would
// from the shell: its standard output, its standard error and its exit code.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vdx::test {

struct CommandRun {
    int status = -1;
    std::string out, err;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Single quotes for the shell, with embedded quotes escaped.
inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs program with args; standard error goes through a file in scratchDir.
inline CommandRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& scratchDir) {
    std::string command = ShellQuote(program);
    for (const auto& a : args) command += " " + ShellQuote(a);
    command += " 2>" + ShellQuote(scratchDir + "/stderr.txt");
    CommandRun r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadFile(scratchDir + "/stderr.txt");
    return r;
}

}  // namespace vdx::test
