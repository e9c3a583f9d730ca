// veldrix-cli's mortality commands: smr runs Compute > SMR with the dialog's
// checks, saves the project file and prints the project's report; report
// prints the report of a project as the main window shows it; srr runs
// Compute > SRR as smr runs Compute > SMR and prints the stored settings.
#pragma once

#include <string>
#include <vector>

namespace vdx::cli {

int RunSmr(const std::vector<std::string>& args);
int RunReport(const std::vector<std::string>& args);
int RunSrr(const std::vector<std::string>& args);
// rate-ratios: the rate ratios between exposure categories (cmd_rate_ratios.cpp).
int RunRateRatios(const std::vector<std::string>& args);
// Compute > SMR by category (cmd_categories.cpp).
int RunCategories(const std::vector<std::string>& args);
// Compute > SMR for a cause list (cmd_causes.cpp).
int RunCauses(const std::vector<std::string>& args);

}  // namespace vdx::cli
