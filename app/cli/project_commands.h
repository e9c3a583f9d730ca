// veldrix-cli new and info: the project file's own commands.
#pragma once

#include <string>
#include <vector>

namespace vdx::cli {

int RunNew(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);

}  // namespace vdx::cli
