#include "mortality/categories_report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "db/database.h"
#include "db/study_settings.h"
#include "mortality/causes_report.h"
#include "mortality/smr_report.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

std::string CellText(const Value& v) {
    if (v.isNull()) return {};
    return v.kind() == Value::Kind::Text ? v.asText() : NumberText(v.asDouble());
}

double Number(const Value& v) { return v.isNull() ? std::nan("") : v.asDouble(); }

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

}  // namespace

std::string StoredCategories::setting(const std::string& key) const {
    for (const auto& [k, v] : settings)
        if (k == key) return v;
    return {};
}

StoredCategories ReadCategoriesAnalysis(db::Database& db, const std::string& name) {
    StoredCategories out;
    out.name = name;
    bool found = false;
    if (db.tableExists(db::kVdxAnalyses)) {
        auto rs = db.openRecordset(db::kVdxAnalyses);
        for (rs->moveFirst(); !rs->eof() && !found; rs->moveNext()) {
            if (CellText(rs->value("Name")) != name || CellText(rs->value("Kind")) != "Categories") continue;
            // One key=value a line; a value runs to the end of its line.
            const std::string text = CellText(rs->value("Settings"));
            size_t at = 0;
            while (at < text.size()) {
                size_t end = text.find('\n', at);
                if (end == std::string::npos) end = text.size();
                const std::string line = text.substr(at, end - at);
                const size_t equals = line.find('=');
                if (equals != std::string::npos) out.settings.emplace_back(line.substr(0, equals), line.substr(equals + 1));
                at = end + 1;
            }
            out.created = CellText(rs->value("Created"));
            found = true;
        }
    }
    if (!found) throw VdxError(err::ObjectNotFound, "The study holds no analysis of categories '" + name + "'.");
    auto rs = db.openRecordset(name + "_Categories");
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        StoredCategories::Row row;
        row.category = CellText(rs->value("Category"));
        row.days = Number(rs->value("Days"));
        row.personYears = Number(rs->value("PersonYears"));
        row.observed = Number(rs->value("Observed"));
        row.expected = Number(rs->value("Expected"));
        row.smr = Number(rs->value("Smr"));
        row.low = Number(rs->value("Low"));
        row.high = Number(rs->value("High"));
        out.rows.push_back(row);
    }
    return out;
}

std::string BuildCategoriesReport(const ProgramState& state, const std::string& name) {
    auto db = db::Database::open(state.WorkingCopyName);
    const StoredCategories a = ReadCategoriesAnalysis(*db, name);
    const double null = state.SmrNullValue;
    const std::string percent = Percent(a.setting("level"));
    std::string out;
    auto line = [&](const std::string& text) { out += text + "\r\n"; };
    const std::string death = a.setting("death");
    const size_t equals = death.find('=');
    line("SMR by exposure category: " + name);
    line("");
    line("Exposure axis:       " + a.setting("axis"));
    line("Rate table:          " + a.setting("rate"));
    line("Death variable:      " + death.substr(0, equals));
    line("Death values:        " + (equals == std::string::npos ? std::string() : death.substr(equals + 1)));
    line("Confidence bounds:   " + percent + "%, " + a.setting("method"));
    line("Computed:            " + a.created);
    line("");
    size_t width = 10;
    for (const auto& r : a.rows) width = std::max(width, r.category.size() + 2);
    line(std::string("Category") + std::string(width - 8, ' ') + Padded("Person-years", 14) + Padded("Observed", 10) +
         Padded("Expected", 12) + Padded("SMR", 10) + "   " + percent + "% bounds");
    for (const auto& r : a.rows) {
        std::string text = r.category + std::string(width - r.category.size(), ' ') + Padded(Fixed(r.personYears, 2), 14) +
                           Padded(Fixed(r.observed, 0), 10) + Padded(Fixed(r.expected, 2), 12);
        text += std::isnan(r.smr) ? Padded(kNotDefined, 10)
                                  : Padded(Fixed(r.smr * null, 2), 10) + "   " + Fixed(r.low * null, 2) + " - " +
                                        Fixed(r.high * null, 2);
        line(text);
    }
    line("");
    line("A category holds the days whose exposure value v has bound <= v < next bound; a death counts in the");
    line("category of its day. The total is the SMR of the whole cohort's days in the categories.");
    const std::string below = a.setting("below");
    if (!below.empty())
        line("Person-days below the first bound, in no category: " + below + " (" +
             Fixed(std::strtod(below.c_str(), nullptr) / 365.25, 2) + " person-years).");
    const std::string leftOut = a.setting("leftout");
    line(leftOut.empty() ? std::string("Nobody was left out after the cohort check.") : "Left out: " + leftOut);
    if (null != 1) line("SMR and bounds are multiplied by " + NumberText(null) + ".");
    return out;
}

std::vector<ForestRow> CategoryForestRows(const ProgramState& state, const std::string& name) {
    auto db = db::Database::open(state.WorkingCopyName);
    const StoredCategories a = ReadCategoriesAnalysis(*db, name);
    const std::string percent = Percent(a.setting("level"));
    std::vector<ForestRow> rows;
    for (const auto& r : a.rows)
        rows.push_back(AnalysisForestRow(r.category, r.observed, r.expected, r.smr, r.low, r.high, percent));
    return rows;
}

}  // namespace vdx::mortality
