#include "mortality/rate_ratio_table.h"

#include <cstdio>

namespace vdx::mortality {
namespace {

std::string Full(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// A text field: quoted when it holds the separator, a quote or a line break.
std::string Field(const std::string& text, char separator)
{
    if (text.find_first_of(std::string{separator, '"', '\n', '\r'}) == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::string RateRatioTable(const RateRatioResult& result, char separator)
{
    const std::string s(1, separator);
    auto optional = [](const std::optional<double>& v) { return v ? Full(*v) : std::string(); };
    auto ratio = [&](const std::optional<Ratio>& r) {
        return r ? Full(r->ratio) + s + Full(r->low) + s + Full(r->high) : s + s;
    };
    std::string out = "category" + s + "observed" + s + "person_years" + s + "rate_ratio" + s + "low" + s + "high" +
                      s + "std_rate" + s + "std_ratio" + s + "std_low" + s + "std_high\n";
    for (const CategoryResult& c : result.categories)
        out += Field(c.name, separator) + s + Full(c.observed) + s + Full(c.personYears) + s + ratio(c.fitted) + s +
               optional(c.stdRate) + s + ratio(c.standardised) + "\n";
    out += "trend" + s + ratio(result.trendRatio) + s +
           (result.trend ? Full(result.trend->chiSquare) + s + Full(result.trend->p) : s) + "\n";
    out += "heterogeneity" + s +
           (result.heterogeneity ? Full(result.heterogeneity->chiSquare) + s +
                                       std::to_string(result.heterogeneity->df) + s + Full(result.heterogeneity->p)
                                 : s + s) +
           "\n";
    return out;
}

std::string StrataCellsText(const std::vector<std::string>& categories, const std::vector<StrataCell>& cells,
                            char separator)
{
    const std::string s(1, separator);
    std::string out = "age_class" + s + "period" + s + "sex" + s + "category" + s + "person_years" + s + "deaths\n";
    for (const StrataCell& c : cells)
        out += std::to_string(c.age) + s + std::to_string(c.period) + s + std::to_string(c.sex) + s +
               Field(categories.at(static_cast<size_t>(c.category)), separator) + s + Full(c.personYears) + s +
               Full(c.deaths) + "\n";
    return out;
}

}  // namespace vdx::mortality
