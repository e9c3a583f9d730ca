// The reference multipliers that multiplier_reference.R computed in R
// (multiplier_reference.csv beside it): the one table of every test of the
// multipliers. VDX_MULTIPLIER_REFERENCE names the file.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vdx::test {

struct MultiplierReference {
    double observed, alpha, z;
    std::string method;  // exact, byar, chisquare, squareroot, wald
    double low, high;
};

inline std::vector<MultiplierReference> LoadMultiplierReference() {
    std::vector<MultiplierReference> rows;
    std::ifstream in(VDX_MULTIPLIER_REFERENCE);
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        MultiplierReference r{};
        std::string text;
        auto next = [&] { return std::getline(fields, text, ',') ? std::stod(text) : 0.0; };
        r.observed = next();
        r.alpha = next();
        r.z = next();
        std::getline(fields, r.method, ',');
        r.low = next();
        r.high = next();
        rows.push_back(r);
    }
    return rows;
}

}  // namespace vdx::test
