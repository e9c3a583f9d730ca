// veldrix-cli's commands that look at a project's results: strata prints the
// stratum table of an SMR project; plot draws a chart into a file;
// study-report writes the study report.
#pragma once

#include <string>
#include <vector>

namespace vdx::cli {

int RunStrata(const std::vector<std::string>& args);
int RunPlot(const std::vector<std::string>& args);  // built with the Qt program only
int RunStudyReport(const std::vector<std::string>& args);

}  // namespace vdx::cli
