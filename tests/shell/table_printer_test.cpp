// How Tables > Print cuts the columns of a grid into pages.
#include <gtest/gtest.h>

#include "table_printer.h"

namespace vdx {
namespace {

TEST(ColumnBands, ColumnsGoTogetherWhileTheyFitBesideTheTitleColumn) {
    using Bands = std::vector<std::pair<int, int>>;
    const struct {
        std::vector<double> widths;  // column 0 first
        double page;
        Bands bands;
    } cases[] = {
        {{20, 30, 30, 20}, 100, {{1, 3}}},              // all fit exactly
        {{20, 30, 30, 30}, 100, {{1, 2}, {3, 3}}},      // the third goes over
        {{20, 90, 10, 10}, 100, {{1, 1}, {2, 3}}},      // a column too wide stands alone
        {{20, 10, 90, 10}, 100, {{1, 1}, {2, 2}, {3, 3}}},
        {{20}, 100, {}},                                // no columns besides the titles
    };
    for (const auto& c : cases) EXPECT_EQ(ColumnBands(c.widths, c.page), c.bands);
}

}  // namespace
}  // namespace vdx
