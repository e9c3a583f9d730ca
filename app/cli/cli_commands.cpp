#include "cli/cli_commands.h"

#include <iostream>

#include "cli/project_commands.h"

namespace vdx::cli {

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> table{
        {"new", "[--force] STUDY.vdx", "create a new project file (--force replaces an existing one)",
         RunNew},
        {"info", "STUDY.vdx", "print the format version, tables and person-years settings", RunInfo},
    };
    return table;
}

int UsageError(const std::string& subcommand) {
    for (const auto& c : Subcommands()) {
        if (subcommand == c.name) {
            std::cerr << "usage: veldrix-cli " << c.name << " " << c.arguments << "\n";
            return kUsage;
        }
    }
    std::cerr << "veldrix-cli: unknown command '" << subcommand << "'\n";
    return kUsage;
}

}  // namespace vdx::cli
