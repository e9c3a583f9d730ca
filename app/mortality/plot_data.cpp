#include "mortality/plot_data.h"

#include <cmath>

#include "db/database.h"
#include "db/navigator_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "db/project_runs.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

MarginalSums Sums(const StrataTable& t, bool byAge) {
    MarginalSums m;
    m.labels = byAge ? t.ageLabels : t.periodLabels;
    m.observed.assign(m.labels.size(), 0);
    m.expected.assign(m.labels.size(), 0);
    for (const Stratum& s : t.strata) {
        const size_t k = static_cast<size_t>((byAge ? s.ageClass : s.period) - 1);
        m.observed[k] += s.observed;
        m.expected[k] += s.expected;
    }
    return m;
}

}  // namespace

ForestRow AnalysisForestRow(std::string label, double observed, double expected, double smr, double low,
                            double high, std::string level) {
    auto shown = [](double x) { return std::isnan(x) ? 0 : x; };
    ForestRow row;
    row.project = std::move(label);
    row.observed = observed;
    row.expected = expected;
    row.smr = shown(smr);
    row.low = shown(low);
    row.high = shown(high);
    row.level = std::move(level);
    return row;
}

std::vector<ForestRow> ReadForestRows(const ProgramState& state) {
    std::vector<ForestRow> rows;
    if (state.ProjectCount < 1) return rows;
    auto db = db::Database::open(state.WorkingCopyName);
    for (const auto& project :
         db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects", state.ProjectCount)) {
        if (!db::IsSmrProject(*db, project)) continue;
        ForestRow row;
        row.project = project;
        auto rs = db->openRecordset(project + "_SMR");
        const int typ = rs->fieldIndex("Typ"), values = rs->fieldIndex("Values"), figures = rs->fieldIndex("Figures");
        if (rs->recordCount() > 0) rs->moveFirst();
        for (; !rs->eof(); rs->moveNext()) {
            const Value t = rs->value(typ), f = rs->value(figures), v = rs->value(values);
            if (t.kind() != Value::Kind::Text) continue;
            const std::string name = t.asText();
            const double number = f.isNumber() ? f.asDouble() : 0;
            if (name == db::smr_row::Observed) row.observed = number;
            if (name == db::smr_row::Expected) row.expected = number;
            if (name == db::smr_row::Smr) row.smr = number;
            if (name == db::smr_row::SmrLow) row.low = number;
            if (name == db::smr_row::SmrHigh) row.high = number;
            if (name == db::smr_row::Alpha && v.kind() == Value::Kind::Text)
                row.level = v.asText() == "0.01" ? "99" : v.asText() == "0.10" ? "90" : "95";
            const std::string text = v.kind() == Value::Kind::Text ? v.asText() : std::string();
            if (name == "Method") row.method = text;
            if (name == "PyTable") row.pyTable = text;
            if (name == "RateTable") row.rateTable = text;
            if (name == "varDTH") row.deathColumn = text;
            if (name == "valuesDTH") row.deathValues = text;
        }
        row.outOfDate = db::CheckProjectRun(*db, state, project) == db::ProjectRunState::OutOfDate;
        rows.push_back(row);
    }
    return rows;
}

MarginalSums SumsByAgeClass(const StrataTable& table) { return Sums(table, true); }
MarginalSums SumsByPeriod(const StrataTable& table) { return Sums(table, false); }

MarginalSums StoredTotals(const StrataTable& table) {
    return {{"All strata (stored totals)"}, {static_cast<double>(table.observedTotal)}, {table.expectedTotal}};
}

}  // namespace vdx::mortality
