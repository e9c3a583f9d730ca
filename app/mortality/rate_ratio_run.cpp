#include "mortality/rate_ratio_run.h"

#include "mortality/categories.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "db/analysis_management.h"
#include "db/database.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "db/study_settings.h"
#include "state/errors.h"
#include "state/messages.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

using db::kVdxAnalyses;

std::string AdjustmentWords(const RateRatioRequest& r) {
    std::string words;
    for (const auto& [on, word] : {std::pair{r.adjustAge, "age"}, {r.adjustCalendar, "calendar"}, {r.adjustSex, "sex"}})
        if (on) words += (words.empty() ? "" : ",") + std::string(word);
    return words.empty() ? "none" : words;
}

Value Optional(const std::optional<double>& v) { return v ? Value::real(*v) : Value(); }

std::optional<double> OptionalOf(const Value& v) {
    if (v.isNull()) return std::nullopt;
    return v.asDouble();
}

std::optional<Ratio> RatioOf(const Value& ratio, const Value& low, const Value& high) {
    if (ratio.isNull() || low.isNull() || high.isNull()) return std::nullopt;
    return Ratio{ratio.asDouble(), low.asDouble(), high.asDouble()};
}

std::string Text(const Value& v) { return v.isNull() ? std::string() : v.asText(); }

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string Significant(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

std::string Padded(const std::string& text, size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string pad(width - text.size(), ' ');
    return right ? pad + text : text + pad;
}

}  // namespace

std::optional<RateRatioResult> RunRateRatios(ProgramState& state, Interaction& ui, const RateRatioRequest& request,
                                             const RateRatioCells& cells, std::string* stored) {
    auto refuse = [&](const std::string& text) -> std::optional<RateRatioResult> {
        ui.message(text, Buttons::Ok, Icon::Critical, "Error");
        return std::nullopt;
    };
    if (!state.ProjectOpen) return refuse(Message(msg::NoProjectLoaded));
    std::unique_ptr<db::Database> db;
    try {
        db = db::Database::open(state.WorkingCopyName);
        std::string name = request.name;
        // Analyses and SMR projects share the tree's top level: a name of
        // either is refused, naming the one that has it.
        const auto projects = db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects",
                                               state.ProjectCount);
        for (int k = 1; name.empty(); ++k)
            if (db::AnalysisNameProblem(*db, kRateRatiosKind + std::to_string(k), kRateRatiosKind, projects).empty())
                name = kRateRatiosKind + std::to_string(k);
        if (const std::string problem = db::AnalysisNameProblem(*db, name, kRateRatiosKind, projects); !problem.empty())
            return refuse(problem + " Nothing has been computed.");

        RateRatioInput input = MakeRateRatioInput(request, cells.categories, cells.cells);
        input.ageNames = cells.ageNames;
        input.periodNames = cells.periodNames;
        input.sexNames = cells.sexNames;
        const RateRatioResult result = ComputeRateRatios(input);
        if (!result.ok) return refuse(result.error + " Nothing has been stored.");

        db->beginTransaction();
        {
            std::string settings = "death=" + request.deathColumn + "=" +
                                   DeathValueWords(request.deathValueText, request.causeList, request.cause) +
                                   "\nadjust=" + AdjustmentWords(request) +
                                   "\nreference=" + cells.categories[static_cast<size_t>(request.reference) - 1] +
                                   "\nlevel=" + std::to_string(request.level) +
                                   "\ncells=" + std::to_string(result.cellsUsed);
            for (const std::string& note : result.notes) settings += "\nnote=" + note;
            db::RegisterAnalysis(*db, name, kRateRatiosKind, settings);
        }
        // One row per category (the reference first), then the trend and
        // the heterogeneity rows; a value that cannot be estimated is empty.
        const std::string table = name + kRateRatiosSuffix;
        std::vector<db::FieldDef> fields{{"Category", FieldType::Text}};
        for (const char* column : {"Observed", "PersonYears", "RateRatio", "Low", "High", "StdRate", "StdRatio",
                                   "StdLow", "StdHigh", "ChiSquare", "DF", "P"})
            fields.push_back({column, std::string(column) == "DF" || std::string(column) == "Observed"
                                          ? FieldType::Long
                                          : FieldType::Double,
                              0});
        db->createTable({table, 0, fields});
        auto rs = db->openRecordset(table);
        auto setRatio = [&](const std::optional<Ratio>& r, const char* ratio, const char* low, const char* high) {
            if (!r) return;
            rs->setValue(ratio, Value::real(r->ratio));
            rs->setValue(low, Value::real(r->low));
            rs->setValue(high, Value::real(r->high));
        };
        auto setTest = [&](const std::optional<ChiSquareTest>& t) {
            if (!t) return;
            rs->setValue("ChiSquare", Value::real(t->chiSquare));
            rs->setValue("DF", Value::integer(t->df));
            rs->setValue("P", Value::real(t->p));
        };
        for (const CategoryResult& c : result.categories) {
            rs->addNew();
            rs->setValue("Category", Value::text(c.name));
            rs->setValue("Observed", Value::integer(std::llround(c.observed)));
            rs->setValue("PersonYears", Value::real(c.personYears));
            setRatio(c.fitted, "RateRatio", "Low", "High");
            rs->setValue("StdRate", Optional(c.stdRate));
            setRatio(c.standardised, "StdRatio", "StdLow", "StdHigh");
            rs->update();
        }
        rs->addNew();
        rs->setValue("Category", Value::text("trend"));
        setRatio(result.trendRatio, "RateRatio", "Low", "High");
        setTest(result.trend);
        rs->update();
        rs->addNew();
        rs->setValue("Category", Value::text("heterogeneity"));
        setTest(result.heterogeneity);
        rs->update();
        rs.reset();
        db->commit();
        state.ProjectChanged = true;
        if (stored) *stored = name;
        return result;
    } catch (const VdxError& e) {
        if (db && db->isOpen()) db->rollback();
        ShowRunError(ui, e);
        return std::nullopt;
    }
}

std::optional<RateRatioResult> RunRateRatios(ProgramState& state, Interaction& ui, const RateRatioRequest& request,
                                             std::string* stored) {
    if (!state.ProjectOpen) {
        ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Critical, "Error");
        return std::nullopt;
    }
    RateRatioCells cells;
    try {
        BusyPointer busy(ui);
        auto db = db::Database::open(state.WorkingCopyName);
        std::unique_ptr<Progress> progress = ui.progress("Computing Deaths", 400, false);
        cells = RateRatioCellsOf(state, *db, request, *progress);
    } catch (const VdxError& e) {
        ShowRunError(ui, e);
        return std::nullopt;
    }
    return RunRateRatios(state, ui, request, cells, stored);
}

std::string StoredRateRatios::setting(const std::string& key) const {
    for (const auto& [k, v] : settings)
        if (k == key) return v;
    return {};
}

bool IsRateRatioAnalysis(db::Database& db, const std::string& name) {
    if (!db.tableExists(kVdxAnalyses)) return false;
    auto rs = db.openRecordset(kVdxAnalyses);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext())
        if (Text(rs->value("Name")) == name) return Text(rs->value("Kind")) == kRateRatiosKind;
    return false;
}

StoredRateRatios ReadRateRatioAnalysis(db::Database& db, const std::string& name) {
    StoredRateRatios out;
    out.name = name;
    bool found = false;
    if (db.tableExists(kVdxAnalyses)) {
        auto rs = db.openRecordset(kVdxAnalyses);
        for (rs->moveFirst(); !rs->eof() && !found; rs->moveNext()) {
            if (Text(rs->value("Name")) != name || Text(rs->value("Kind")) != kRateRatiosKind) continue;
            found = true;
            out.created = Text(rs->value("Created"));
            const std::string settings = Text(rs->value("Settings"));
            for (size_t at = 0; at < settings.size();) {
                size_t end = settings.find('\n', at);
                if (end == std::string::npos) end = settings.size();
                const std::string line = settings.substr(at, end - at);
                const size_t eq = line.find('=');
                if (eq != std::string::npos) {
                    out.settings.emplace_back(line.substr(0, eq), line.substr(eq + 1));
                    if (line.substr(0, eq) == "note") out.result.notes.push_back(line.substr(eq + 1));
                }
                at = end + 1;
            }
        }
    }
    if (!found) throw VdxError(err::ObjectNotFound, "The study holds no analysis of rate ratios '" + name + "'.");
    out.result.ok = true;
    out.result.cellsUsed = std::atoi(out.setting("cells").c_str());
    auto rs = db.openRecordset(name + kRateRatiosSuffix);
    std::vector<CategoryResult> rows;
    std::vector<std::optional<ChiSquareTest>> tests;
    std::vector<std::optional<Ratio>> ratios;
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        CategoryResult c;
        c.category = static_cast<int>(rows.size());
        c.name = Text(rs->value("Category"));
        c.observed = rs->value("Observed").asDouble();
        c.personYears = rs->value("PersonYears").asDouble();
        c.fitted = RatioOf(rs->value("RateRatio"), rs->value("Low"), rs->value("High"));
        c.stdRate = OptionalOf(rs->value("StdRate"));
        c.standardised = RatioOf(rs->value("StdRatio"), rs->value("StdLow"), rs->value("StdHigh"));
        const Value chi = rs->value("ChiSquare");
        tests.push_back(chi.isNull() ? std::nullopt
                                     : std::optional<ChiSquareTest>(ChiSquareTest{
                                           chi.asDouble(), static_cast<int>(rs->value("DF").asDouble()),
                                           rs->value("P").asDouble()}));
        ratios.push_back(c.fitted);
        rows.push_back(std::move(c));
    }
    if (rows.size() < 2)
        throw VdxError(err::ObjectNotFound, "The table " + name + kRateRatiosSuffix + " of the study is incomplete.");
    // The last two rows are the trend and the heterogeneity.
    out.result.trendRatio = ratios[rows.size() - 2];
    out.result.trend = tests[rows.size() - 2];
    out.result.heterogeneity = tests.back();
    rows.resize(rows.size() - 2);
    out.result.categories = std::move(rows);
    return out;
}

std::string AdjustedForWords(const std::string& adjustSetting) {
    std::string words;
    for (const auto& [word, shown] : {std::pair{"age", "age class"}, {"calendar", "calendar period"}, {"sex", "sex"}})
        if (("," + adjustSetting + ",").find(std::string(",") + word + ",") != std::string::npos)
            words += (words.empty() ? "" : ", ") + std::string(shown);
    return words.empty() ? "nothing" : words;
}

std::string BuildRateRatioReport(const ProgramState& state, const std::string& name) {
    auto db = db::Database::open(state.WorkingCopyName);
    const StoredRateRatios a = ReadRateRatioAnalysis(*db, name);
    const RateRatioResult& r = a.result;
    const std::string level = a.setting("level");
    std::string out;
    auto line = [&](const std::string& text) { out += text + "\r\n"; };
    line("Rate ratios between exposure categories: " + name);
    line("");
    line("Deaths:              " + a.setting("death"));
    line("Adjusted for:        " + AdjustedForWords(a.setting("adjust")));
    line("Reference category:  " + a.setting("reference"));
    line("Confidence bounds:   " + level + "%");
    line("Cells in the fit:    " + a.setting("cells"));
    line("Computed:            " + a.created);
    line("");
    size_t width = 12;
    for (const auto& c : r.categories) width = std::max(width, c.name.size() + 2);
    const std::string none = Padded("-", 10, true) + Padded("", 20, false);
    auto ratio = [&](const std::optional<Ratio>& x) {
        return x ? Padded(Fixed(x->ratio, 3), 10, true) + "   " + Padded(Fixed(x->low, 3) + " - " + Fixed(x->high, 3), 17, false)
                 : none;
    };
    line(Padded("Category", width, false) + Padded("Observed", 10, true) + Padded("Person-years", 14, true) +
         Padded("Rate ratio", 12, true) + "   " + level + "% bounds");
    for (const auto& c : r.categories)
        line(Padded(c.name, width, false) + Padded(Fixed(c.observed, 0), 10, true) +
             Padded(Fixed(c.personYears, 1), 14, true) + "  " + ratio(c.fitted));
    line("");
    line(Padded("Category", width, false) + Padded("Std. rate", 12, true) + Padded("Std. ratio", 12, true) + "   " +
         level + "% bounds");
    for (const auto& c : r.categories)
        line(Padded(c.name, width, false) + Padded(c.stdRate ? Fixed(*c.stdRate, 2) : "-", 12, true) + "  " +
             ratio(c.standardised));
    line("");
    if (r.trendRatio && r.trend)
        line("Trend (category position as score): rate ratio per category " + Fixed(r.trendRatio->ratio, 3) + " (" +
             level + "% bounds " + Fixed(r.trendRatio->low, 3) + " - " + Fixed(r.trendRatio->high, 3) + "),\r\n" +
             "    chi-square " + Fixed(r.trend->chiSquare, 3) + ", 1 df, p = " + Significant(r.trend->p));
    else
        line("Trend: not estimable.");
    if (r.heterogeneity)
        line("Heterogeneity between the categories: chi-square " + Fixed(r.heterogeneity->chiSquare, 3) + ", " +
             std::to_string(r.heterogeneity->df) + " df, p = " + Significant(r.heterogeneity->p));
    else
        line("Heterogeneity: not estimable.");
    line("");
    line("Rate ratios from a Poisson regression of the deaths with the log person-years as offset;");
    line("Wald bounds. Standardised rates per 100,000 person-years, the whole cohort's person-years");
    line("as the standard.");
    for (const std::string& note : r.notes) line(note);
    return out;
}

}  // namespace vdx::mortality
