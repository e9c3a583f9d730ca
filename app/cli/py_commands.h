// veldrix-cli's person-years commands: pyears runs Compute > Person-Years
// with the dialog's checks and saves the project file; show prints a
// person-years table or a table of the project file as the main window's
// grid shows it.
#pragma once

#include <string>
#include <vector>

namespace vdx::cli {

int RunPyears(const std::vector<std::string>& args);
int RunShow(const std::vector<std::string>& args);
int RunCheck(const std::vector<std::string>& args);

}  // namespace vdx::cli
