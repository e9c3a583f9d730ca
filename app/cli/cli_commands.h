// The subcommands of veldrix-cli. Each group of commands lives in its own
// file and adds its entries to the table in cli_commands.cpp.
#pragma once

#include <string>
#include <vector>

namespace vdx::cli {

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;  // the command ran and failed (message on stderr)
inline constexpr int kUsage = 2;   // wrong arguments

struct Subcommand {
    const char* name;
    const char* arguments;  // e.g. "STUDY.vdx"
    std::string summary;
    int (*run)(const std::vector<std::string>& args);  // args after the subcommand's name
};

const std::vector<Subcommand>& Subcommands();

// Prints "usage: veldrix-cli <name> <arguments>" to stderr and returns kUsage.
int UsageError(const std::string& subcommand);

}  // namespace vdx::cli
