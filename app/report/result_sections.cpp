#include "report/result_sections.h"

#include <cmath>
#include <cstdlib>

#include "db/database.h"
#include "db/exposure_tables.h"
#include "db/navigator_entries.h"
#include "db/study_settings.h"
#include "exchange/formats/html/html_writer.h"
#include "mortality/causes_report.h"
#include "mortality/rate_ratio_run.h"
#include "plots/study_plots.h"
#include "report/html_parts.h"
#include "state/text_values.h"

namespace vdx::report {

namespace {

using exchange::HtmlEscaped;
using namespace html;

std::string Text(const Value& v) { return v.isNull() ? std::string() : v.asText(); }
double Number(const Value& v) { return v.isNull() ? std::nan("") : v.asDouble(); }

// O, E, SMR and bounds as cells; "not defined" when nothing is expected.
std::string SmrCells(int64_t observed, double expected, double smr, double low, double high, double nullValue) {
    std::string h = Cell(static_cast<double>(observed), 0) + Cell(expected, 2);
    if (expected > 0 && std::isfinite(smr))
        h += Cell(smr * nullValue, 2) + Cell(low * nullValue, 2) + Cell(high * nullValue, 2);
    else
        h += "<td colspan=\"3\">not defined</td>";
    return h;
}

std::string LevelText(const std::string& alpha) {
    const double a = std::atof(alpha.c_str());
    return a > 0 && a < 1 ? NumberText(std::round((1 - a) * 100)) : alpha;
}

ExtraSection CausesSection(const ProgramState& state, db::Database& db, const std::string& name, double nullValue) {
    const mortality::StoredCauses stored = mortality::ReadCausesAnalysis(db, name);
    ExtraSection s;
    s.heading = "Causes of death: " + name;
    const std::string level = LevelText(stored.setting("level"));
    s.html = "<table>\n" + Row("Cause list", HtmlEscaped(stored.setting("list"))) +
             Row("Death column", HtmlEscaped(stored.setting("death"))) +
             Row("Rate table", HtmlEscaped(stored.setting("rate").empty() ? "per cause (the list's rate column)"
                                                                            : stored.setting("rate"))) +
             Row("ICD revisions", HtmlEscaped(stored.setting("revisions"))) +
             Row("Bounds", HtmlEscaped(level + " %, " + stored.setting("method"))) + "</table>\n";
    s.html += "<table>\n<tr><th>Cause</th><th>Sex</th><th>Observed</th><th>Expected</th><th>SMR</th><th>Lower</th>"
              "<th>Upper</th></tr>\n";
    for (const auto& row : stored.rows)
        s.html += "<tr><td>" + HtmlEscaped(row.cause) + "</td><td>" + HtmlEscaped(row.sex.empty() ? "all" : row.sex) +
                  "</td>" + SmrCells(row.observed, row.expected, row.smr, row.low, row.high, nullValue) + "</tr>\n";
    s.html += "</table>\n";
    ProgramState scaled = state;
    scaled.SmrNullValue = nullValue;
    s.html += Base64Image(Svg(plots::BuildPlot(scaled, plots::PlotKind::Causes, name)), "SMR by cause: " + name);
    s.methods = "In the analysis " + name + " each death was counted in every cause of the list " +
                stored.setting("list") + " whose definition takes its code (" + stored.setting("death") +
                "), the code read in the ICD revision in force at the date of death (" + stored.setting("revisions") +
                "); a death no cause takes is shown as \"" + mortality::kNotInTheList + "\".";
    return s;
}

// The analysis' settings text: lines key=value.
std::string SettingLine(const std::string& settings, const std::string& key) {
    size_t at = 0;
    while (at <= settings.size()) {
        const size_t end = std::min(settings.find('\n', at), settings.size());
        const std::string line = settings.substr(at, end - at);
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
        at = end + 1;
    }
    return {};
}

ExtraSection CategoriesSection(db::Database& db, const std::string& name, const std::string& settings,
                               double nullValue) {
    ExtraSection s;
    const std::string axis = SettingLine(settings, "axis");
    s.heading = "SMR by exposure category: " + name;
    s.html = "<table>\n" + Row("Exposure axis", HtmlEscaped(axis)) +
             Row("Rate table", HtmlEscaped(SettingLine(settings, "rate"))) +
             Row("Deaths", HtmlEscaped(SettingLine(settings, "death"))) +
             Row("Bounds", HtmlEscaped(LevelText(SettingLine(settings, "level")) + " %, " + SettingLine(settings, "method"))) +
             "</table>\n";
    s.html += "<table>\n<tr><th>Category</th><th>Person-years</th><th>Observed</th><th>Expected</th><th>SMR</th>"
              "<th>Lower</th><th>Upper</th></tr>\n";
    auto rs = db.openRecordset(name + "_Categories");
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        const std::string category = Text(rs->value("Category"));
        auto number = [&](const char* column) { return Number(rs->value(column)); };
        s.html += std::string(category == "total" ? "<tr class=\"total\">" : "<tr>") + "<td>" + HtmlEscaped(category) +
                  "</td>" + Cell(number("PersonYears"), 2) +
                  SmrCells(static_cast<int64_t>(number("Observed")), number("Expected"), number("Smr"), number("Low"),
                           number("High"), nullValue) +
                  "</tr>\n";
    }
    s.html += "</table>\n";
    s.methods = "In the analysis " + name + " person-time and deaths were split by " + axis +
                " exactly at the days the value crosses a class bound; each category's expected deaths are its "
                "person-years by age class and calendar period times the reference rates.";
    return s;
}


std::string RatioCells(const std::optional<mortality::Ratio>& r) {
    return r ? Cell(r->ratio, 3) + Cell(r->low, 3) + Cell(r->high, 3) : "<td colspan=\"3\">not estimable</td>";
}

ExtraSection RateRatiosSection(const ProgramState& state, db::Database& db, const std::string& name) {
    const mortality::StoredRateRatios stored = mortality::ReadRateRatioAnalysis(db, name);
    const mortality::RateRatioResult& r = stored.result;
    ExtraSection s;
    s.heading = "Rate ratios by exposure category: " + name;
    s.html = "<table>\n" + Row("Deaths", HtmlEscaped(stored.setting("death"))) +
             Row("Adjusted for", HtmlEscaped(mortality::AdjustedForWords(stored.setting("adjust")))) +
             Row("Reference category", HtmlEscaped(stored.setting("reference"))) +
             Row("Bounds", HtmlEscaped(stored.setting("level") + " %, Wald (fit) and log-normal (standardised)")) +
             Row("Cells in the fit", Count(r.cellsUsed)) + "</table>\n";
    s.html += "<table>\n<tr><th>Category</th><th>Observed</th><th>Person-years</th><th>Rate ratio</th><th>Lower</th>"
              "<th>Upper</th><th>Standardised rate per 100,000</th><th>Standardised ratio</th><th>Lower</th>"
              "<th>Upper</th></tr>\n";
    for (const auto& c : r.categories) {
        s.html += "<tr><td>" + HtmlEscaped(c.name) + "</td>" + Cell(c.observed, 0) + Cell(c.personYears, 2) +
                  RatioCells(c.fitted) + (c.stdRate ? Cell(*c.stdRate, 2) : "<td>not defined</td>") +
                  RatioCells(c.standardised) + "</tr>\n";
    }
    s.html += "</table>\n<table>\n";
    if (r.trendRatio && r.trend)
        s.html += "<tr id=\"trend-" + HtmlEscaped(name) + "\"><th>Trend (rate ratio per category)</th>" +
                  RatioCells(r.trendRatio) + "<td>chi-square " + Fixed(r.trend->chiSquare, 3) + ", p = " +
                  Fixed(r.trend->p, 4) + "</td></tr>\n";
    if (r.heterogeneity)
        s.html += "<tr><th>Heterogeneity</th><td colspan=\"3\">chi-square " + Fixed(r.heterogeneity->chiSquare, 3) +
                  " on " + Count(r.heterogeneity->df) + " df</td><td>p = " + Fixed(r.heterogeneity->p, 4) +
                  "</td></tr>\n";
    s.html += "</table>\n";
    if (!r.notes.empty()) {
        s.html += "<ul>\n";
        for (const auto& note : r.notes) s.html += "<li>" + HtmlEscaped(note) + "</li>\n";
        s.html += "</ul>\n";
    }
    s.html += Base64Image(Svg(plots::BuildPlot(state, plots::PlotKind::RateRatios, name)), "Rate ratios: " + name);
    s.methods = "In the analysis " + name + " the deaths (" + stored.setting("death") +
                ") of the strata cells were fitted by Poisson regression with the log person-years as offset, "
                "adjusted for " + mortality::AdjustedForWords(stored.setting("adjust")) +
                ", by iteratively reweighted least squares; rate ratios against the category " +
                stored.setting("reference") +
                " have Wald bounds, the trend and heterogeneity are likelihood-ratio tests, and the directly "
                "standardised rates take the whole cohort's person-years as the standard.";
    return s;
}

}  // namespace

std::vector<ExtraSection> ResultSections(const ProgramState& state, double nullValue) {
    std::vector<ExtraSection> sections;
    if (state.WorkingCopyName.empty()) return sections;
    auto db = db::Database::open(state.WorkingCopyName);
    if (!db->tableExists(db::kVdxAnalyses)) return sections;
    std::vector<std::pair<std::string, std::string>> analyses;  // kind, name; settings text
    std::vector<std::string> settings;
    {
        auto rs = db->openRecordset(db::kVdxAnalyses);
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            analyses.emplace_back(Text(rs->value("Kind")), Text(rs->value("Name")));
            settings.push_back(Text(rs->value("Settings")));
        }
    }
    for (size_t k = 0; k < analyses.size(); ++k) {
        const auto& [kind, name] = analyses[k];
        if (kind == "Causes") sections.push_back(CausesSection(state, *db, name, nullValue));
        else if (kind == "Categories") sections.push_back(CategoriesSection(*db, name, settings[k], nullValue));
        else if (kind == mortality::kRateRatiosKind) sections.push_back(RateRatiosSection(state, *db, name));
    }
    return sections;
}

}  // namespace vdx::report
