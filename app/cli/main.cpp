// veldrix-cli: the program's commands without a window. The first argument
// names the subcommand (see cli_commands.cpp); messages go to stderr and a
// failing command exits non-zero.
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "db/file_io.h"
#include "project/jet_project.h"
#include "state/errors.h"
#include "state/messages.h"

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: veldrix-cli <command> [arguments]\n\ncommands:\n";
    for (const auto& c : vdx::cli::Subcommands())
        out << "  " << c.name << " " << c.arguments << "\n      " << c.summary << "\n";
}

// For the test that kills saves half-way (tests/db/kill_during_save.sh):
// with VELDRIX_TEST_STOP_IN_SAVE set, the process stops itself (SIGSTOP) as
// soon as the first block of a project file's save is written, so that the
// test's kill lands inside the save, not before or after it by chance.
void StopInSaveForTests() {
    if (!std::getenv("VELDRIX_TEST_STOP_IN_SAVE")) return;
    vdx::db::SetWriteFaultHook([](const std::string& target, uint64_t) {
        if (!target.empty() && target.back() != '~') std::raise(SIGSTOP);  // not the working copy
        return 0;
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(std::cerr);
        return vdx::cli::kUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(std::cout);
        return vdx::cli::kOk;
    }
    if (name == "--version") {
        std::cout << vdx::kApplicationName << " " << vdx::kProgramVersion << " (file format "
                  << vdx::kFormatVersion << ")\n";
        return vdx::cli::kOk;
    }
    vdx::project::RegisterJetProjectImport();
    StopInSaveForTests();
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : vdx::cli::Subcommands()) {
        if (name != c.name) continue;
        try {
            return c.run(args);
        } catch (const vdx::VdxError& e) {
            std::cerr << vdx::GeneralErrorText(e.number(), e.description()) << "\n";
        } catch (const std::exception& e) {
            std::cerr << "veldrix-cli: " << e.what() << "\n";
        }
        return vdx::cli::kFailed;
    }
    return vdx::cli::UsageError(name);
}
