#include "mortality/smr_report.h"

#include "mortality/long_rates.h"
#include "mortality/smr_run.h"
#include "state/multiplier.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "db/database.h"
#include "db/project_file.h"
#include "db/project_runs.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

constexpr int kSmrRows = 19;
constexpr int kHeadingRow = 5;  // of VdxSystemMain

// A number with a fixed count of decimals and the point as separator,
// whatever the locale; "" for an empty field.
std::string Fixed(const std::optional<double>& value, int decimals) {
    if (!value) return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, *value);
    std::string text = buffer;
    // A value that rounds to zero shows no sign.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

// x rounded to the nearest integer, halves to even, never below 0 (a count of blanks).
std::string Space(double x) {
    const double n = std::nearbyint(x);
    return std::string(n > 0 ? static_cast<size_t>(n) : 0, ' ');
}

double Len(const std::string& s) { return static_cast<double>(s.size()); }

}  // namespace

std::string ReadSmrReportHeading(const std::string& workingCopy) {
    auto db = db::Database::open(workingCopy);
    return db::ReadRows(*db, db::kVdxSystemMain, "Value", kHeadingRow).back();
}

void StoreSmrReportHeading(ProgramState& state, const std::string& heading) {
    auto db = db::Database::open(state.WorkingCopyName);
    auto rs = db->openRecordset(db::kVdxSystemMain);
    rs->moveFirst();
    rs->move(kHeadingRow - 1);
    if (rs->eof()) throw VdxError(err::NoCurrentRecord, "No current record: VdxSystemMain has too few rows.");
    rs->edit();
    rs->setValue("Value", Value::text(heading));
    rs->update();
    state.ProjectChanged = true;
}

std::string BuildSmrReport(ProgramState& state, const std::string& smrTable) {
    const std::string heading = ReadSmrReportHeading(state.WorkingCopyName);

    // The 19 rows by position: Values and Figures of each.
    std::vector<std::string> values(kSmrRows + 1);
    std::vector<std::optional<double>> figures(kSmrRows + 1);
    const std::string project = smrTable.size() > 4 ? smrTable.substr(0, smrTable.size() - 4) : smrTable;
    bool outOfDate = false;
    std::vector<SexSmrLine> bySex;
    {
        auto db = db::Database::open(state.WorkingCopyName);
        auto rs = db->openRecordset(smrTable);
        if (rs->fieldCount() < 3) {  // an SRR project's table: Typ and Values only
            throw VdxError(err::ItemNotFound,
                           "'" + project + "' is an SRR project: it stores the observed deaths by stratum and its "
                           "settings, but no expected deaths, SMR or bounds, so it has no SMR report.");
        }
        const int valuesField = rs->fieldIndex("Values");
        const int figuresField = rs->fieldIndex("Figures");
        if (rs->recordCount() > 0) rs->moveFirst();
        for (int row = 1; row <= kSmrRows; ++row, rs->moveNext()) {
            if (rs->eof())
                throw VdxError(err::NoCurrentRecord, "No current record: the SMR table '" + smrTable + "' has " +
                                                         std::to_string(row - 1) + " rows, " +
                                                         std::to_string(kSmrRows) + " are needed.");
            const Value v = rs->value(valuesField);
            values[static_cast<size_t>(row)] = v.isNull() ? "" : v.kind() == Value::Kind::Text ? v.asText()
                                                                                              : NumberText(v.asDouble());
            const Value f = rs->value(figuresField);
            if (f.isNumber()) figures[static_cast<size_t>(row)] = f.asDouble();
            else if (f.kind() == Value::Kind::Text) figures[static_cast<size_t>(row)] = ReadNumber(f.asText());
        }
        rs.reset();
        bySex = ReadSexTotals(*db, project);
        outOfDate = db::CheckProjectRun(*db, state, project) == db::ProjectRunState::OutOfDate;
    }
    auto text = [&](int row) { return values[static_cast<size_t>(row)]; };
    auto figure = [&](int row) { return figures[static_cast<size_t>(row)]; };
    auto scaled = [&](int row) -> std::optional<double> {
        if (auto f = figure(row)) return *f * state.SmrNullValue;
        return std::nullopt;
    };
    auto unformatted = [&](int row) { return figure(row) ? NumberText(*figure(row)) : std::string(); };

    const std::string P = text(1), R = text(2), T = text(3), alpha = text(4), V = text(5);
    const std::string C = alpha == "0.05" ? "95" : alpha == "0.01" ? "99" : alpha == "0.10" ? "90" : "";
    const std::string O = Fixed(figure(7), 0), Y = Fixed(figure(8), 8), D = Fixed(figure(9), 8),
                      E = Fixed(figure(10), 8);
    // With no expected deaths the stored 0s are no SMR: none is shown.
    const bool defined = SmrDefined(figure(10));
    const std::string S = defined ? Fixed(scaled(11), 8) : kNotDefined;
    const std::string L = defined ? Fixed(scaled(12), 8) : "-", U = defined ? Fixed(scaled(13), 8) : "-";
    const std::string N = Fixed(figure(14), 0), NI = Fixed(figure(15), 0), G = Fixed(figure(16), 0);
    const std::string M = text(17), MT = text(18), DV = text(19);

    MortalityResults& m = state.mortality;
    m.ShownAlpha = alpha;
    m.ShownObserved = unformatted(7);
    m.ShownExpected = unformatted(10);
    m.ShownMethod = M;

    const std::string nl = "\r\n";
    std::string r;
    r += nl + heading + nl + nl + nl;
    r += "Project   : " + P + nl + "Main Table: " + MT + nl + "Rate Table: " + R + nl + "PY Table  : " + T + nl + nl;
    r += "Death Variable: " + V + nl + "Death Values  : " + DV + nl + nl;
    r += "N         : " + N + nl + "N Included: " + NI + nl + "Lag       : " + G + nl + nl;
    r += "Null Value: SMR=" + NumberText(state.SmrNullValue) + nl + nl;
    r += Space(Len(S) + 4) + Space((Len(L) + Len(U) + 4) / 2 - 11) + C + "% Confidence Bounds" + nl;
    r += Space(Len(S) / 2 - 1) + "SMR" + Space(Len(S) / 2 + 2) + Space(Len(L) / 2 - 3) + "Lower" +
         Space(Len(L) / 2 + 2) + Space(Len(U) / 2 - 3) + "Upper" + Space(Len(U) / 2 + 2) + "Method" + nl;
    r += std::string(L.size() + S.size() + U.size() + 12 + std::max<size_t>(M.size(), 6), '-') + nl;
    r += S + "    " + L + "    " + U + "    " + M + nl + nl;
    if (!defined) r += "The SMR is not defined: no deaths are expected (E = 0)." + nl + nl;
    r += "Observed Cases: " + O + nl + "Expected Cases: " + E + nl + nl;
    r += "Person Years: " + Y + nl + "Death Rate  : " + D;
    // An SMR standardised for sex: one line per sex below the cohort's.
    if (!bySex.empty()) {
        const std::optional<IntervalMethod> method = IntervalMethodNamed(M);
        const int16_t level = static_cast<int16_t>(C.empty() ? 95 : std::stoi(C));
        r += nl + nl + "By sex (each person at the rates of his or her sex):" + nl;
        for (const SexSmrLine& line : bySex) {
            r += "Sex " + line.sex + ": Observed " + Fixed(line.observed, 0) + ", Expected " +
                 Fixed(line.expected, 8) + ", Person Years " + Fixed(line.personYears, 8);
            if (line.expected > 0 && method) {
                const double smr = line.observed / line.expected;
                const double low =
                    line.observed > 0 ? smr * GetMultiplier(*method, BoundSide::Low, line.observed, level) : 0;
                const double high = line.observed > 0
                                        ? smr * GetMultiplier(*method, BoundSide::High, line.observed, level)
                                        : UpperLimitAtZero(*method, level) / line.expected;
                r += ", SMR " + Fixed(smr * state.SmrNullValue, 8) + " (" + Fixed(low * state.SmrNullValue, 8) +
                     " - " + Fixed(high * state.SmrNullValue, 8) + ")";
            } else {
                r += std::string(", SMR ") + kNotDefined;
            }
            r += nl;
        }
    }
    if (outOfDate) r += nl + nl + db::OutOfDateText(project);
    return r;
}

}  // namespace vdx::mortality
