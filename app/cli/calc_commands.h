// veldrix-cli calc: the SMR calculator (Tools > SMR Calculator) headless.
#pragma once

#include <string>
#include <vector>

namespace vdx::cli {

int RunCalc(const std::vector<std::string>& args);

}  // namespace vdx::cli
