#include "mortality/causes_report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "db/database.h"
#include "mortality/smr_report.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

constexpr const char* kSettingKeys[] = {"list",   "death",     "rate", "pytable", "level",
                                        "method", "revisions", "sex",  "notes",   "leftout"};

// "list=Occ;death=ICD;..." into its pairs; a value runs to the next ";key=".
std::vector<std::pair<std::string, std::string>> SplitSettings(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t equals = text.find('=', at);
        if (equals == std::string::npos) break;
        size_t end = std::string::npos;
        for (const char* key : kSettingKeys) {
            const size_t next = text.find(std::string(";") + key + "=", equals);
            if (next != std::string::npos && next < end) end = next;
        }
        out.emplace_back(text.substr(at, equals - at),
                         text.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

std::string CellText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return {};
        case Value::Kind::Text: return v.asText();
        default: return NumberText(v.asDouble());
    }
}

double Number(const Value& v) { return v.isNull() ? std::nan("") : v.asDouble(); }



std::string Padded(const std::string& text, size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string pad(width - text.size(), ' ');
    return right ? pad + text : text + pad;
}

}  // namespace

std::string Fixed(double v, int decimals) {
    if (std::isnan(v)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string Percent(const std::string& level) {
    const double alpha = std::strtod(level.c_str(), nullptr);
    return NumberText(std::round((1 - (alpha > 0 && alpha < 1 ? alpha : 0.05)) * 100));
}

std::string StoredCauses::setting(const std::string& key) const {
    for (const auto& [k, v] : settings)
        if (k == key) return v;
    return {};
}

StoredCauses ReadCausesAnalysis(db::Database& db, const std::string& name) {
    StoredCauses out;
    out.name = name;
    bool found = false;
    if (db.tableExists(kVdxAnalyses)) {
        auto rs = db.openRecordset(kVdxAnalyses);
        for (rs->moveFirst(); !rs->eof() && !found; rs->moveNext())
            if (CellText(rs->value("Name")) == name) {
                out.settings = SplitSettings(CellText(rs->value("Settings")));
                out.created = CellText(rs->value("Created"));
                found = true;
            }
    }
    if (!found) throw VdxError(err::ObjectNotFound, "The study holds no analysis '" + name + "'.");
    auto rs = db.openRecordset(name + "_Causes");
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        CauseRow row;
        row.cause = CellText(rs->value("Cause"));
        row.sex = CellText(rs->value("Sex"));
        row.observed = static_cast<int64_t>(Number(rs->value("Observed")));
        row.expected = Number(rs->value("Expected"));
        row.smr = Number(rs->value("SMR"));
        row.low = Number(rs->value("Low"));
        row.high = Number(rs->value("High"));
        out.rows.push_back(std::move(row));
    }
    return out;
}

std::string BuildCausesReport(const ProgramState& state, const std::string& name) {
    auto db = db::Database::open(state.WorkingCopyName);
    const StoredCauses a = ReadCausesAnalysis(*db, name);
    const double null = state.SmrNullValue;
    const std::string percent = Percent(a.setting("level"));
    std::string out;
    auto line = [&](const std::string& text) { out += text + "\r\n"; };
    line("SMR by cause of death: " + name);
    line("");
    line("Cause list:          " + a.setting("list"));
    line("Death variable:      " + a.setting("death"));
    line("Rate table:          " + (a.setting("rate").empty() ? "the list's column 'rate'" : a.setting("rate")));
    line("Person-years table:  " + a.setting("pytable"));
    line("ICD revisions:       " + a.setting("revisions"));
    if (!a.setting("sex").empty()) line("Sex variable:        " + a.setting("sex") + " (a row per sex after each cause)");
    line("Confidence bounds:   " + percent + "%, " + a.setting("method"));
    line("Computed:            " + a.created);
    if (!a.setting("leftout").empty()) line("Left out:            " + a.setting("leftout"));
    line("");
    size_t width = 16;
    for (const auto& r : a.rows) width = std::max(width, r.cause.size() + 2);
    line(Padded("Cause", width, false) + Padded("Observed", 10, true) + Padded("Expected", 12, true) +
         Padded("SMR", 10, true) + "   " + percent + "% bounds");
    for (const auto& r : a.rows) {
        std::string text = Padded(r.cause + (r.sex.empty() ? "" : " (" + r.sex + ")"), width, false) +
                           Padded(std::to_string(r.observed), 10, true);
        if (r.cause != kNotInTheList) {
            text += Padded(Fixed(r.expected, 2), 12, true);
            text += std::isnan(r.smr) ? Padded(kNotDefined, 10 + 3 + 16, true)
                                      : Padded(Fixed(r.smr * null, 2), 10, true) + "   " + Fixed(r.low * null, 2) +
                                            " - " + Fixed(r.high * null, 2);
        }
        line(text);
    }
    line("");
    line("A death counts in every cause whose definition takes its code in the ICD revision in force at its date.");
    line("A cause defined as \"*\" takes every death. A death that no other cause takes is counted in the row");
    line("\"" + std::string(kNotInTheList) + "\" (no expected deaths), so that no death goes missing.");
    // The run's notes, wrapped at word boundaries.
    std::string notes = a.setting("notes"), current;
    for (size_t at = 0; at < notes.size();) {
        size_t end = notes.find(' ', at);
        if (end == std::string::npos) end = notes.size();
        const std::string word = notes.substr(at, end - at);
        if (!current.empty() && current.size() + 1 + word.size() > 100) {
            line(current);
            current.clear();
        }
        current += (current.empty() ? "" : " ") + word;
        at = end + 1;
    }
    if (!current.empty()) line(current);
    if (null != 1) line("SMR and bounds are multiplied by " + NumberText(null) + ".");
    return out;
}

std::vector<ForestRow> CauseForestRows(const ProgramState& state, const std::string& name) {
    auto db = db::Database::open(state.WorkingCopyName);
    const StoredCauses a = ReadCausesAnalysis(*db, name);
    const std::string percent = Percent(a.setting("level"));
    std::vector<ForestRow> rows;
    for (const auto& r : a.rows) {
        if (r.cause == kNotInTheList) continue;
        rows.push_back(AnalysisForestRow(r.cause + (r.sex.empty() ? "" : " (" + r.sex + ")"),
                                         static_cast<double>(r.observed), r.expected, r.smr, r.low, r.high,
                                         percent));
    }
    return rows;
}

}  // namespace vdx::mortality
