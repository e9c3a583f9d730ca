// veldrix-cli new, info and convert: the project file's own commands; projects,
// rename and delete: the commands on its named projects (cmd_projects.cpp).
#pragma once

#include <string>
#include <vector>

namespace vdx::cli {

int RunNew(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunProjects(const std::vector<std::string>& args);
int RunRename(const std::vector<std::string>& args);
int RunDelete(const std::vector<std::string>& args);

}  // namespace vdx::cli
