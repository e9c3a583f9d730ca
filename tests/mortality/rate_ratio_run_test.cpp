// Compute > Rate ratios stored as an analysis: what the run returns is what
// the tree, the grid and the report show after it; a refused run leaves the
// study as it was.
#include "mortality_test_support.h"

#include "db/navigator_commands.h"
#include "mortality/rate_ratio_run.h"

using namespace vdx;

namespace {

class RateRatioRun : public vdx::test::MortalityTest {
protected:
    // Two age classes x two periods x four categories; the third category
    // without deaths.
    mortality::RateRatioCells cells() const {
        mortality::RateRatioCells c;
        c.categories = {"0-1", "1-5", "5-10", "10+"};
        const double deaths[4] = {10, 14, 0, 9};
        for (int a = 1; a <= 2; ++a)
            for (int p = 1; p <= 2; ++p)
                for (int k = 0; k < 4; ++k)
                    c.cells.push_back({a, p, 0, k, 1000.0 * a + 300 * p + 50 * k, deaths[k] + a * p});
        c.cells[2].deaths = c.cells[6].deaths = c.cells[10].deaths = c.cells[14].deaths = 0;
        return c;
    }
    mortality::RateRatioRequest request(const std::string& name, int reference = 1) const {
        mortality::RateRatioRequest r;
        r.deathColumn = "ICD";
        r.deathValueText = "162";
        r.reference = reference;
        r.name = name;
        return r;
    }
};

TEST_F(RateRatioRun, TheStoredAnalysisShowsWhatTheRunGaveInTreeGridAndReport) {
    const auto result = mortality::RunRateRatios(state, ui, request("Run", 2), cells());
    ASSERT_TRUE(result) << ::testing::PrintToString(ui.messageTexts());
    ASSERT_EQ(result->notes.size(), 1u);

    auto d = open();
    const mortality::StoredRateRatios stored = mortality::ReadRateRatioAnalysis(*d, "Run");
    EXPECT_EQ(stored.setting("reference"), "1-5");
    const auto& back = stored.result;
    ASSERT_EQ(back.categories.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const auto &a = result->categories[i], &b = back.categories[i];
        SCOPED_TRACE(a.name);
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.observed, b.observed);
        EXPECT_EQ(a.fitted.has_value(), b.fitted.has_value());
        if (a.fitted && b.fitted) EXPECT_EQ(std::make_tuple(a.fitted->ratio, a.fitted->low, a.fitted->high),
                                            std::make_tuple(b.fitted->ratio, b.fitted->low, b.fitted->high));
        EXPECT_EQ(a.stdRate, b.stdRate);
    }
    EXPECT_EQ(back.categories[0].name, "1-5");  // the reference first
    ASSERT_TRUE(back.trend && back.heterogeneity && back.trendRatio);
    EXPECT_EQ(back.trend->p, result->trend->p);
    EXPECT_EQ(back.trendRatio->ratio, result->trendRatio->ratio);
    EXPECT_EQ(back.heterogeneity->df, 3);
    EXPECT_EQ(back.heterogeneity->chiSquare, result->heterogeneity->chiSquare);
    EXPECT_EQ(back.notes, result->notes);

    db::RebuildNavigator(state, ui);
    for (const char* path : {"Run_Rate ratios", "Run_Report", "Run_Plot"})
        EXPECT_GE(state.Navigator.findByPath(path), 0) << path;
    EXPECT_LT(state.Navigator.findByPath("Run_Causes"), 0);  // not taken for an analysis of causes
    const db::NodeClickAction shown = db::ClickNode(state, ui, "Run_Rate ratios", false);
    ASSERT_EQ(shown.kind, db::NodeKind::StoredTable);
    ASSERT_TRUE(shown.resultGrid);
    EXPECT_EQ(shown.resultGrid->rows, 1 + 4 + 2);  // header, categories, trend, heterogeneity
    EXPECT_TRUE(state.Entries.tablesSaveAs);

    const std::string report = mortality::BuildRateRatioReport(state, "Run");
    for (const std::string& expected : {std::string("Reference category:  1-5"), result->notes[0],
                                        std::string("Adjusted for:        age class, calendar period"),
                                        std::string(", 3 df, p = ")})
        EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
}

TEST_F(RateRatioRun, ARefusedRunLeavesTheStudyAsItWas) {
    ASSERT_TRUE(mortality::RunRateRatios(state, ui, request("Taken"), cells()));
    struct Case {
        const char* what;
        mortality::RateRatioRequest request;
    };
    for (const Case& c : {Case{"a name in use", request("Taken")}, Case{"no such reference", request("New", 9)},
                          Case{"a name no table can have", request("1st")}}) {
        SCOPED_TRACE(c.what);
        const size_t messages = ui.messageTexts().size();
        EXPECT_FALSE(mortality::RunRateRatios(state, ui, c.request, cells()));
        EXPECT_EQ(ui.messageTexts().size(), messages + 1);
        auto d = open();
        EXPECT_EQ(db::AnalysisNames(*d, "RateRatios"), std::vector<std::string>{"Taken"});
        EXPECT_FALSE(d->tableExists(c.request.name + "_RateRatios") && c.request.name != "Taken");
    }
}

}  // namespace
