#include "mortality/cause_list.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>
#include <memory>
#include <unordered_map>

#include "db/analysis_management.h"
#include "db/database.h"
#include "db/navigator_commands.h"
#include "db/left_out.h"
#include "db/project_file.h"
#include "db/project_management.h"
#include "db/rate_layouts.h"
#include "db/study_settings.h"
#include "db/table_stream.h"
#include "mortality/count_deaths.h"
#include "mortality/default_causes.h"
#include "mortality/long_rates.h"
#include "mortality/smr_run.h"
#include "mortality/strata_table.h"
#include "state/errors.h"
#include "state/messages.h"
#include "state/multiplier.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : " ") + line;
    return out;
}

std::string CellText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return {};
        case Value::Kind::Text: return v.asText();
        default: return NumberText(v.asDouble());
    }
}

[[noreturn]] void Refused(const std::string& text) { throw DataError(err::TypeMismatch, text); }

}  // namespace

// ---- ICD revisions ------------------------------------------------------

RevisionYears DefaultRevisionYears() { return {{{7, 1958}, {8, 1968}, {9, 1979}, {10, 1999}}}; }

std::optional<RevisionYears> ParseRevisionYears(const std::string& text, std::string& why) {
    RevisionYears out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string part = Trim(text.substr(start, comma - start));
        const size_t colon = part.find(':');
        const auto revision = colon == std::string::npos ? std::nullopt : ReadNumber(part.substr(0, colon));
        const auto year = colon == std::string::npos ? std::nullopt : ReadNumber(part.substr(colon + 1));
        if (!revision || !year || *revision != std::trunc(*revision) || *year != std::trunc(*year) ||
            *revision < kFirstRevision || *revision > kLastRevision || *year < 1800 || *year > 9999) {
            why = "'" + part + "' is not a revision and its first year (revisions 7 to 10: 9:1979,10:1999).";
            return std::nullopt;
        }
        const int r = static_cast<int>(*revision), y = static_cast<int>(*year);
        if (!out.starts.empty() && (r <= out.starts.back().first || y <= out.starts.back().second)) {
            why = "'" + part + "' does not follow the revision before it: revisions and years must rise together.";
            return std::nullopt;
        }
        out.starts.emplace_back(r, y);
        start = comma + 1;
    }
    return out;
}

std::string RevisionYearsText(const RevisionYears& years) {
    std::string out;
    for (const auto& [r, y] : years.starts) out += (out.empty() ? "" : ",") + std::to_string(r) + ":" + std::to_string(y);
    return out;
}

int RevisionInYear(const RevisionYears& years, int year) {
    int revision = 0;
    for (const auto& [r, y] : years.starts)
        if (y <= year) revision = r;
    return revision;
}

std::optional<int> ReadRevision(const std::string& text, bool& ok) {
    ok = true;
    std::string t = Lower(Trim(text));
    if (t.empty()) return std::nullopt;
    if (t.rfind("icd", 0) == 0) t = Trim(t.substr(3));
    if (!t.empty() && t[0] == '-') t = t.substr(1);
    const auto n = ReadNumber(t);
    if (!n || *n != std::trunc(*n) || *n < kFirstRevision || *n > kLastRevision) {
        ok = false;
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

RevisionRule ReadRevisionRule(db::Database& db) {
    RevisionRule rule;
    if (const auto text = db::ReadStudySetting(db, db::study_key::kRevisionYears); text && !text->empty()) {
        std::string why;
        if (const auto years = ParseRevisionYears(*text, why)) rule.years = *years;
    }
    if (const auto column = db::ReadStudySetting(db, db::study_key::kRevisionColumn)) rule.column = *column;
    return rule;
}

void WriteRevisionRule(db::Database& db, const RevisionRule& rule) {
    db::WriteStudySetting(db, db::study_key::kRevisionYears, RevisionYearsText(rule.years));
    db::WriteStudySetting(db, db::study_key::kRevisionColumn, rule.column);
}

// ---- cause lists ----------------------------------------------------------

CauseList ParseCauseList(const std::string& listName, const std::vector<std::string>& header,
                         const std::vector<std::vector<std::string>>& rows) {
    CauseList list;
    list.name = listName;
    auto columnOf = [&](const std::string& name) {
        for (size_t k = 0; k < header.size(); ++k)
            if (Lower(Trim(header[k])) == name) return static_cast<int>(k);
        return -1;
    };
    const int causeColumn = columnOf("cause");
    int revisionColumn[kLastRevision + 1];
    for (int r = kFirstRevision; r <= kLastRevision; ++r) revisionColumn[r] = columnOf("icd" + std::to_string(r));
    const int rateColumn = columnOf("rate");
    list.hasRateColumn = rateColumn >= 0;
    for (int r = kFirstRevision; r <= kLastRevision; ++r) list.hasRevision[r] = revisionColumn[r] >= 0;
    if (causeColumn < 0 || revisionColumn[kLastRevision] < 0)
        Refused("The cause list '" + listName + "' has no column '" + (causeColumn < 0 ? "cause" : "icd10") +
                "'. A cause list has the columns cause and icd10, and may have icd9, icd8, icd7 and rate.");
    std::vector<std::string> seen;
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        auto cell = [&](int column) {
            return column >= 0 && static_cast<size_t>(column) < row.size() ? Trim(row[static_cast<size_t>(column)])
                                                                            : std::string();
        };
        const std::string where = "Row " + std::to_string(i + 1) + " of the cause list '" + listName + "'";
        Cause cause;
        cause.name = cell(causeColumn);
        if (cause.name.empty()) Refused(where + ": the column 'cause' is empty; every cause needs a name.");
        if (Lower(cause.name) == kNotInTheList)
            Refused(where + ": the cause '" + cause.name + "' has the name of the closing row the program adds.");
        if (std::find(seen.begin(), seen.end(), Lower(cause.name)) != seen.end())
            Refused(where + ": the cause '" + cause.name + "' is in the list twice.");
        seen.push_back(Lower(cause.name));
        for (int r = kFirstRevision; r <= kLastRevision; ++r) {
            const std::string text = cell(revisionColumn[r]);
            if (text.empty()) continue;
            const CodeGroupParse parsed = ParseCodeGroup(text);
            if (!parsed.ok)
                Refused(where + ", column '" + header[static_cast<size_t>(revisionColumn[r])] + "' (cause '" +
                        cause.name + "'): '" + text + "' cannot be read: " + parsed.problem);
            cause.groups[r] = parsed.group;
        }
        // "*" takes every death of its revision; a cause of every death in
        // some revisions but not in others would lose the others' deaths.
        for (int r = kFirstRevision; r <= kLastRevision; ++r) {
            if (revisionColumn[r] < 0 || !cause.groups[r].all()) continue;
            for (int other = kFirstRevision; other <= kLastRevision; ++other)
                if (revisionColumn[other] >= 0 && !cause.groups[other].all()) {
                    const std::string text = cell(revisionColumn[other]);
                    Refused(where + " (cause '" + cause.name + "'): '*' takes every death read in ICD-" +
                            std::to_string(r) + ", but the column '" +
                            header[static_cast<size_t>(revisionColumn[other])] + "' " +
                            (text.empty() ? std::string("is empty") : "holds '" + text + "'") +
                            ", so the deaths read in ICD-" + std::to_string(other) +
                            " would be missing from it. Write '*' in every revision column of the cause, or define "
                            "the cause by its codes in each revision.");
                }
            // Every death, in the revisions the list has no column for too.
            const CodeGroup all = cause.groups[r];
            for (CodeGroup& group : cause.groups) group = all;
            break;
        }
        cause.rateTable = cell(rateColumn);
        list.causes.push_back(std::move(cause));
    }
    if (list.causes.empty()) Refused("The cause list '" + listName + "' holds no cause.");
    return list;
}

CauseList ReadCauseList(db::Database& db, const std::string& table) {
    auto rs = db.openRecordset(table);
    std::vector<std::string> header;
    for (int k = 0; k < rs->fieldCount(); ++k) header.push_back(rs->field(k).name);
    // A definition column of numbers cannot tell 162.0 (ICD-9 1620) from
    // 162 (every 162x): such a column is refused, never read as numbers.
    std::vector<bool> numeric;
    for (int k = 0; k < rs->fieldCount(); ++k) {
        const std::string name = Lower(Trim(header[static_cast<size_t>(k)]));
        const FieldType type = rs->field(k).type;
        numeric.push_back(name.size() >= 4 && name.rfind("icd", 0) == 0 && type != FieldType::Text &&
                          type != FieldType::Memo);
    }
    std::vector<std::vector<std::string>> rows;
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        std::vector<std::string> row;
        for (int k = 0; k < rs->fieldCount(); ++k) {
            const Value v = rs->value(k);
            if (numeric[static_cast<size_t>(k)] && !v.isNull())
                Refused("The cause list '" + table + "', row " + std::to_string(rows.size() + 1) + ", column '" +
                        header[static_cast<size_t>(k)] + "': the column holds numbers (" + CellText(v) +
                        "), not codes as written, so 162.0 and 162 would read alike. Bring the list in with its "
                        "code columns as text (in the text import dialog, give the column the type Text; in a "
                        "spreadsheet, format the cells as text).");
            row.push_back(CellText(v));
        }
        rows.push_back(std::move(row));
    }
    return ParseCauseList(table, header, rows);
}

const std::string& DefaultCauseListCsv() {
    static const std::string text(kDefaultCausesCsv);
    return text;
}

std::vector<std::vector<std::string>> ReadCsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string cell;
    bool quoted = false, any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') cell += '"', ++i;
            else if (c == '"') quoted = false;
            else cell += c;
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            row.push_back(std::move(cell)), cell.clear(), any = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (any || !cell.empty()) row.push_back(std::move(cell)), rows.push_back(std::move(row));
            cell.clear(), row.clear(), any = false;
        } else {
            cell += c, any = true;
        }
    }
    if (any || !cell.empty()) row.push_back(std::move(cell)), rows.push_back(std::move(row));
    return rows;
}

std::vector<std::string> CauseListNames(db::Database& db) {
    std::vector<std::string> names;
    if (!db.tableExists(kVdxCauseLists)) return names;
    auto rs = db.openRecordset(kVdxCauseLists);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) names.push_back(CellText(rs->value("Name")));
    return names;
}

void RegisterCauseList(db::Database& db, const std::string& table) {
    const CauseList list = ReadCauseList(db, table);  // refuses a list that does not read
    if (!db.tableExists(kVdxCauseLists))
        db.createTable({kVdxCauseLists, 0,
                        {{"Name", FieldType::Text}, {"CauseColumn", FieldType::Text}, {"Icd10Column", FieldType::Text},
                         {"Icd9Column", FieldType::Text}, {"Icd8Column", FieldType::Text},
                         {"Icd7Column", FieldType::Text}, {"RateColumn", FieldType::Text}}});
    const db::TableDef def = db.tableDef(table);
    auto nameOf = [&](const std::string& wanted) {
        for (const auto& f : def.fields)
            if (Lower(Trim(f.name)) == wanted) return Value::text(f.name);
        return Value();
    };
    auto rs = db.openRecordset(kVdxCauseLists);
    rs->addNew();
    rs->setValue("Name", Value::text(table));
    rs->setValue("CauseColumn", nameOf("cause"));
    rs->setValue("Icd10Column", nameOf("icd10"));
    rs->setValue("Icd9Column", nameOf("icd9"));
    rs->setValue("Icd8Column", nameOf("icd8"));
    rs->setValue("Icd7Column", nameOf("icd7"));
    rs->setValue("RateColumn", nameOf("rate"));
    rs->update();
}

void StoreDefaultCauseList(db::Database& db, const std::string& table) {
    for (const std::string& name : CauseListNames(db))
        if (Lower(name) == Lower(table)) return;
    const auto rows = ReadCsvRows(DefaultCauseListCsv());
    db::TableDef def;
    def.name = table;
    for (const std::string& column : rows.at(0)) def.fields.push_back({column, FieldType::Memo, 0});
    db.createTable(def);
    auto rs = db.openRecordset(table);
    for (size_t i = 1; i < rows.size(); ++i) {
        rs->addNew();
        for (size_t k = 0; k < rows[i].size() && k < def.fields.size(); ++k)
            if (!rows[i][k].empty()) rs->setValue(static_cast<int>(k), Value::text(rows[i][k]));
        rs->update();
    }
    rs.reset();
    RegisterCauseList(db, table);
}

// ---- a death read in a cause list ------------------------------------------

CauseList CauseListNamed(db::Database& db, const std::string& name) {
    const auto lists = CauseListNames(db);
    if (Lower(name) == kDefaultListName) {
        for (const std::string& table : lists)
            if (Lower(table) == "defaultcauses") return ReadCauseList(db, table);
        const auto rows = ReadCsvRows(DefaultCauseListCsv());
        return ParseCauseList(kDefaultListName, rows.at(0), {rows.begin() + 1, rows.end()});
    }
    if (std::find(lists.begin(), lists.end(), name) == lists.end())
        Refused("The study has no cause list '" + name +
                "'. Add one with Tables > Cause list > Add, or take the list the program brings along (default).");
    return ReadCauseList(db, name);
}

int CauseIndex(const CauseList& list, const std::string& cause) {
    std::string names;
    for (size_t c = 0; c < list.causes.size(); ++c) {
        if (list.causes[c].name == cause) return static_cast<int>(c);
        names += (c ? ", " : "") + list.causes[c].name;
    }
    Refused("The cause list '" + list.name + "' has no cause '" + cause + "'; its causes are " + names + ".");
}

bool CauseReading::takes(int cause) const {
    return std::find(causes.begin(), causes.end(), cause) != causes.end();
}

CauseMatcher::CauseMatcher(CauseList list, RevisionRule rule, const ProgramState& state)
    : list_(std::move(list)), rule_(std::move(rule)), mainTable_(state.MainTableName) {
    if (!rule_.column.empty() &&
        std::none_of(state.MainTableFields.begin(), state.MainTableFields.end(),
                     [&](const FieldInfo& f) { return f.name == rule_.column; }))
        Refused("The main data table has no column '" + rule_.column + "' naming the ICD revision of each death.");
    const auto first = std::min_element(rule_.years.starts.begin(), rule_.years.starts.end(),
                                        [](const auto& a, const auto& b) { return a.second < b.second; });
    if (first != rule_.years.starts.end()) {
        firstRevision_ = first->first;
        firstYear_ = first->second;
    }
}

std::vector<std::string> CauseMatcher::extraColumns() const {
    if (rule_.column.empty()) return {};
    return {rule_.column};
}

const CauseReading* CauseMatcher::read(const db::TableStream& rows, int deathColumn, int revisionColumn,
                                       std::optional<double> exit) {
    // An empty code is no death, and so is the 0 of a numeric column (the
    // code of the living there). A code of dots only (".") is a death whose
    // cause is not known.
    const db::TableStream::Storage storage = rows.storage(deathColumn);
    if (storage != db::TableStream::Storage::Text &&
        (storage == db::TableStream::Storage::Null || rows.real(deathColumn) == 0))
        return nullptr;
    const std::string code = DeathCodeText(rows, deathColumn);
    const bool unknown = code.empty() && storage == db::TableStream::Storage::Text &&
                         rows.text(deathColumn).find('.') != std::string_view::npos;
    if (code.empty() && !unknown) return nullptr;
    std::optional<int> revision;
    if (!rule_.column.empty()) {
        std::string text;
        switch (rows.storage(revisionColumn)) {
            case db::TableStream::Storage::Null: break;
            case db::TableStream::Storage::Text: text = std::string(rows.text(revisionColumn)); break;
            default: text = NumberText(rows.real(revisionColumn));
        }
        bool ok = true;
        revision = ReadRevision(text, ok);
        if (!ok)
            Refused("Row " + std::to_string(rows.position()) + " of the main data table '" + mainTable_ +
                    "', column '" + rule_.column + "': '" + text +
                    "' names no ICD revision (7, 8, 9 or 10, also written ICD-9). The run has stopped; "
                    "nothing has been stored.");
    }
    bool early = false;
    if (!revision) {
        revision = 0;
        if (exit)
            for (const auto& [rev, year] : rule_.years.starts)
                if (DateSerial(year, 1, 1) <= *exit) revision = rev;
        // Before the first revision starts: read in the first.
        if (*revision == 0 && exit) {
            revision = firstRevision_;
            early = true;
        }
    }
    const std::string key =
        std::string(1, static_cast<char>('0' + *revision)) + (early ? "<" : "") + (unknown ? "." : code);
    if (auto found = readings_.find(key); found != readings_.end()) return &found->second;
    CauseReading reading;
    reading.revision = *revision;
    reading.early = early;
    reading.unknown = unknown;
    for (size_t c = 0; c < list_.causes.size(); ++c) {
        const CodeGroup& group = list_.causes[c].groups[*revision];
        if (unknown ? group.all() : group.contains(code)) {
            reading.causes.push_back(static_cast<int32_t>(c));
            reading.named = reading.named || !group.all();
        }
    }
    return &readings_.emplace(key, std::move(reading)).first->second;
}

// ---- every cause in one run ------------------------------------------------

namespace {

// The rates of every cause: one long rate table for the whole list (with a
// cause column, each cause its own rates; by sex when it has a sex column),
// or grids by age class and period of the person-years tables, one for
// every cause (`rateTable`) or each cause's table named in the list's
// column `rate`.
struct CauseRates {
    std::vector<std::vector<double>> grid;  // per cause, display cells (grids)
    std::unique_ptr<LongRateExpected> longRates;
};

CauseRates RatesByCause(db::Database& db, const ProgramState& state, const std::vector<std::string>& studyRateTables,
                        const CauseList& list, const std::string& rateTable) {
    const int ages = state.py.ageClassCount(), periods = state.py.periodCount();
    CauseRates out;
    if (!rateTable.empty()) {
        if (std::find(studyRateTables.begin(), studyRateTables.end(), rateTable) == studyRateTables.end())
            Refused("The rate table '" + rateTable + "' is not a rate table of the study.");
        if (const auto layout = db::ReadRateLayout(db, rateTable)) {
            std::vector<double> displayAges;
            std::vector<int> displayYears;
            for (int k = 1; k <= state.py.ageBoundCount && k < static_cast<int>(state.AgeBounds.size()); ++k)
                displayAges.push_back(state.AgeBounds[static_cast<size_t>(k)]);
            for (int k = 1; k <= state.py.calendarBoundCount && k < static_cast<int>(state.CalendarBounds.size()); ++k)
                displayYears.push_back(state.CalendarBounds[static_cast<size_t>(k)]);
            std::vector<std::string> causes;
            for (const Cause& c : list.causes) causes.push_back(c.name);
            out.longRates =
                std::make_unique<LongRateExpected>(db, rateTable, *layout, displayAges, displayYears, causes);
            return out;
        }
    }
    std::map<std::string, std::vector<double>> tables;
    for (const Cause& c : list.causes) {
        const std::string table = rateTable.empty() ? c.rateTable : rateTable;
        if (table.empty())
            Refused("The cause '" + c.name + "' has no rate table: give one for every cause with --rate, or "
                    "name each cause's rate table in the list's column 'rate'.");
        if (std::find(studyRateTables.begin(), studyRateTables.end(), table) == studyRateTables.end())
            Refused("The rate table '" + table + "' of the cause '" + c.name + "' is not a rate table of the study.");
        if (!tables.count(table)) {
            if (db::ReadRateLayout(db, table))
                Refused("The rate table '" + table + "' of the cause '" + c.name +
                        "' is a long table. A long table serves the whole list: give it as the run's rate table "
                        "(--rate), with a cause column whose values are the list's cause names.");
            auto rs = db.openRecordset(table);
            if (rs->recordCount() != ages || rs->fieldCount() != periods) {
                const int rows = rs->recordCount(), columns = rs->fieldCount();
                rs.reset();
                Refused(RateShapeMessage(table, rows, columns, ages, periods));
            }
            rs.reset();
            tables[table] = ReadRates(db, table, ages, periods);
        }
        out.grid.push_back(tables[table]);
    }
    return out;
}

}  // namespace

std::optional<CausesResult> RunCauses(ProgramState& state, Interaction& ui, const CausesRequest& r) {
    auto refuse = [&](const std::string& text) -> std::optional<CausesResult> {
        ui.message(text, Buttons::Ok, Icon::Critical, "Error");
        return std::nullopt;
    };
    if (!state.ProjectOpen) return refuse(Message(msg::NoProjectLoaded));
    const SmrChoices choices = ListSmrChoices(state);
    if (state.MainTableName.empty() || choices.pyTables.empty() || state.py.ageBoundCount < 2 ||
        state.py.calendarBoundCount < 2)
        return refuse("The study has no person-years yet: compute the person-years first (Compute > Person-years).");
    const std::string pyTable = r.pyTable.empty() ? choices.pyTables.front() : r.pyTable;
    const auto py = std::find(choices.pyTables.begin(), choices.pyTables.end(), pyTable);
    if (py == choices.pyTables.end()) return refuse(Message(msg::NoPersonYearsTable));
    const int selector = static_cast<int>(py - choices.pyTables.begin()) + 1;
    const std::optional<IntervalMethod> method = IntervalMethodNamed(r.method);
    const int16_t level = SignificanceLevelPercent(r.levelText);
    if (!method || level == 0)
        return refuse("The level must be 0.01, 0.05 or 0.10 and the method one of Exact, Byar, Chi Square, "
                      "Square Root, Wald.");
    if (std::none_of(state.MainTableFields.begin(), state.MainTableFields.end(),
                     [&](const FieldInfo& f) { return f.name == r.deathColumn; }))
        return refuse(Message(msg::NoDeathColumn));

    const MortalityResults before = state.mortality;
    std::unique_ptr<db::Database> db;
    try {
        db = db::Database::open(state.WorkingCopyName);
        // Analyses and SMR projects share the tree's top level: a name of
        // either is refused, naming the one that has it.
        const auto projects = db::ReadNameList(state.WorkingCopyName, db::kVdxSystemProjects, "Projects",
                                               state.ProjectCount);
        std::string name = r.name;
        for (int k = 1; name.empty(); ++k)
            if (db::AnalysisNameProblem(*db, "Causes" + std::to_string(k), "Causes", projects).empty())
                name = "Causes" + std::to_string(k);
        if (const std::string problem = db::AnalysisNameProblem(*db, name, "Causes", projects); !problem.empty())
            return refuse(problem + " Nothing has been computed.");

        // Codes as written in a text column, or whole codes in a numeric one (as Compute > SMR takes them).
        const auto death = std::find_if(state.MainTableFields.begin(), state.MainTableFields.end(),
                                        [&](const FieldInfo& f) { return f.name == r.deathColumn; });
        if (!IsTextDeathColumn(*db, state.MainTableName, r.deathColumn) && death->type != "numeric")
            return refuse(Message(msg::DeathColumnNotNumeric));
        const RevisionRule rule = r.revisions ? *r.revisions : ReadRevisionRule(*db);

        db->beginTransaction();
        std::string listTable = r.list;
        if (Lower(r.list) == kDefaultListName) {
            listTable = "DefaultCauses";
            StoreDefaultCauseList(*db, listTable);
        } else {
            const auto lists = CauseListNames(*db);
            if (std::find(lists.begin(), lists.end(), r.list) == lists.end()) {
                db->rollback();
                return refuse("The study has no cause list '" + r.list + "'. Add one with Tables > Cause list > Add, "
                              "or take the list the program brings along (default).");
            }
        }
        const CauseList list = ReadCauseList(*db, listTable);

        const int ages = state.py.ageClassCount(), periods = state.py.periodCount();
        CauseRates rates = RatesByCause(*db, state, choices.rateTables, list, r.rateTable);
        LongRateExpected* longRates = rates.longRates.get();
        // Rates by sex need each person's sex: the request's column, else the person-years run's.
        std::string sexColumn;
        if (longRates && longRates->bySex()) {
            sexColumn = !r.sexColumn.empty() ? r.sexColumn : state.py.bySex ? state.py.sexColumn : std::string();
            if (std::none_of(state.MainTableFields.begin(), state.MainTableFields.end(),
                             [&](const FieldInfo& f) { return f.name == sexColumn; })) {
                db->rollback();
                return refuse(sexColumn.empty() ? "The rate table '" + r.rateTable +
                                                      "' gives rates by sex: choose the column of the main data "
                                                      "table that holds each person's sex."
                                                : "The main data table has no column '" + sexColumn + "' for the sex.");
            }
        }

        // The classes a death counts in, by its reading in the list. Classes
        // after the closing row count, for the run's summary, the deaths dated
        // before the first revision starts, those whose code is only dots,
        // every death, and those read in a revision the list does not define.
        const int notInList = static_cast<int>(list.causes.size());
        const int beforeFirst = notInList + 1, unknownCode = notInList + 2, everyDeath = notInList + 3;
        // And, one class per revision, the deaths read in a revision the list has no column for.
        const auto undefinedIn = [&](int revision) { return notInList + 4 + revision - kFirstRevision; };
        CauseMatcher matcher(list, rule, state);
        const int firstRevision = matcher.firstRevision(), firstYear = matcher.firstYear();
        std::unordered_map<const CauseReading*, std::vector<int32_t>> classesOf;
        DeathClassifier classifier;
        classifier.extraColumns = matcher.extraColumns();
        classifier.classify = [&](const db::TableStream& rows, int firstExtra,
                                  std::optional<double> exit) -> const std::vector<int32_t>* {
            const CauseReading* reading = matcher.read(rows, 0, firstExtra, exit);
            if (!reading) return nullptr;
            auto found = classesOf.find(reading);
            if (found != classesOf.end()) return &found->second;
            std::vector<int32_t> classes = reading->causes;
            if (!reading->named) classes.push_back(notInList);
            if (reading->early) classes.push_back(beforeFirst);
            if (reading->unknown) classes.push_back(unknownCode);
            classes.push_back(everyDeath);
            if (reading->revision >= kFirstRevision && !list.hasRevision[reading->revision])
                classes.push_back(undefinedIn(reading->revision));
            return &classesOf.emplace(reading, std::move(classes)).first->second;
        };

        BusyPointer busy(ui);
        std::unique_ptr<Progress> progress = ui.progress("Computing Deaths", 400, false);
        progress->setLabel("Computing Deaths");
        // The persons and follow-up of the chosen person-years table, as Compute > SMR counts them.
        state.mortality.PyTableSelector = static_cast<int16_t>(selector);
        state.mortality.DeathLag = state.py.withLag ? state.py.lagYears : 0;
        state.mortality.RateTableName = r.rateTable;
        std::vector<std::vector<std::vector<int32_t>>> counts;
        std::vector<std::vector<int64_t>> sexCounts;
        if (!CountDeathClasses(state, *db, *progress, r.deathColumn, undefinedIn(kLastRevision) + 1, classifier, counts, longRates,
                               sexColumn, &sexCounts)) {
            db->rollback();
            state.mortality = before;
            return std::nullopt;
        }
        const int64_t included = state.mortality.IncludedCount;
        state.mortality = before;  // the pass leaves only its included count there

        auto total = [&](int c) {
            int64_t n = 0;
            for (const auto& ageRow : counts[static_cast<size_t>(c)])
                for (int32_t k : ageRow) n += k;
            return n;
        };
        auto finish = [&](CauseRow& row) {
            if (row.expected > 0) {
                const double o = static_cast<double>(row.observed);
                row.smr = o / row.expected;
                row.low = o >= 1 ? row.smr * GetMultiplier(*method, BoundSide::Low, o, level) : 0;
                row.high = o >= 1 ? row.smr * GetMultiplier(*method, BoundSide::High, o, level)
                                  : UpperLimitAtZero(*method, level) / row.expected;
            } else {
                row.smr = row.low = row.high = std::nan("");
            }
        };
        const std::vector<int64_t> days = longRates ? std::vector<int64_t>() : ReadPersonDays(*db, selector, ages, periods);
        // The sexes shown: those of the rates with person-days or deaths in the table used.
        std::vector<size_t> sexes;
        if (longRates && longRates->bySex())
            for (size_t s = 0; s < longRates->sexCodes().size(); ++s) {
                bool any = longRates->sexDays()[s] > 0;
                for (int c = 0; c <= notInList; ++c) any = any || sexCounts[static_cast<size_t>(c)][s] > 0;
                if (any) sexes.push_back(s);
            }
        CausesResult result;
        result.name = name;
        for (int c = 0; c <= notInList; ++c) {
            CauseRow row;
            row.cause = c < notInList ? list.causes[static_cast<size_t>(c)].name : kNotInTheList;
            row.observed = total(c);
            const std::vector<double>* bySex =
                longRates && c < notInList ? &longRates->causeExpected(static_cast<size_t>(c)) : nullptr;
            if (bySex)
                for (double e : *bySex) row.expected += e;
            else if (c < notInList)
                row.expected = ExpectedDeaths(days, rates.grid[static_cast<size_t>(c)]);
            finish(row);
            result.rows.push_back(row);
            for (size_t s : sexes) {
                CauseRow sexRow;
                sexRow.cause = row.cause;
                sexRow.sex = longRates->sexCodes()[s];
                sexRow.observed = sexCounts[static_cast<size_t>(c)][s];
                sexRow.expected = bySex ? (*bySex)[s] : 0;
                finish(sexRow);
                result.rows.push_back(std::move(sexRow));
            }
        }
        // The run's summary: what was counted, and the deaths read by a rule of their own.
        for (int revision = kFirstRevision; revision <= kLastRevision; ++revision)
            if (const int64_t n = total(undefinedIn(revision)))
                result.notes.push_back(std::to_string(n) + (n == 1 ? " death is" : " deaths are") + " read in ICD-" +
                                       std::to_string(revision) + ", for which the list has no column 'icd" +
                                       std::to_string(revision) + "': counted only in the causes of every death "
                                       "('*') and in the row '" + std::string(kNotInTheList) + "'.");
        result.included = included;
        result.deaths = total(everyDeath);
        if (const int64_t n = total(beforeFirst))
            result.notes.push_back(std::to_string(n) + (n == 1 ? " death is" : " deaths are") +
                                   " dated before 1 January " + std::to_string(firstYear) + ", when ICD-" +
                                   std::to_string(firstRevision) + ", the first revision of the study, starts: " +
                                   (n == 1 ? "it was" : "they were") + " read in ICD-" +
                                   std::to_string(firstRevision) + ".");
        if (const int64_t n = total(unknownCode))
            result.notes.push_back(std::to_string(n) + (n == 1 ? " death has" : " deaths have") +
                                   " a code of dots only ('.'), a cause not known: counted in the causes of every "
                                   "death ('*') and in the row '" + std::string(kNotInTheList) + "'.");

        // Stored: the analysis and its table, in the run's transaction.
        const std::string leftOut = db::LeftOutOfRun(*db);  // the persons the run left out, said in the report
        db::RegisterAnalysis(*db, name, "Causes",
                             "list=" + listTable + ";death=" + r.deathColumn + ";rate=" + r.rateTable +
                                 ";pytable=" + pyTable + ";level=" + r.levelText + ";method=" + r.method +
                                 ";revisions=" +
                                 (rule.column.empty() ? RevisionYearsText(rule.years) : "column " + rule.column) +
                                 (sexColumn.empty() ? std::string() : ";sex=" + sexColumn) +
                                 (result.notes.empty() ? std::string() : ";notes=" + Joined(result.notes)) +
                                 (leftOut.empty() ? std::string() : ";leftout=" + leftOut));
        const std::string table = name + "_Causes";
        db->createTable({table, 0,
                         {{"Cause", FieldType::Text},
                          {"Sex", FieldType::Text},
                          {"Observed", FieldType::Long, 0},
                          {"Expected", FieldType::Double, 0},
                          {"SMR", FieldType::Double, 0},
                          {"Low", FieldType::Double, 0},
                          {"High", FieldType::Double, 0}}});
        {
            auto rs = db->openRecordset(table);
            auto number = [](double v) { return std::isnan(v) ? Value() : Value::real(v); };
            for (const CauseRow& row : result.rows) {
                rs->addNew();
                rs->setValue("Cause", Value::text(row.cause));
                if (!row.sex.empty()) rs->setValue("Sex", Value::text(row.sex));
                rs->setValue("Observed", Value::integer(row.observed));
                rs->setValue("Expected", Value::real(row.expected));
                rs->setValue("SMR", number(row.smr));
                rs->setValue("Low", number(row.low));
                rs->setValue("High", number(row.high));
                rs->update();
            }
        }
        // A rule the request gives becomes the study's, with the run that used it.
        if (r.revisions) WriteRevisionRule(*db, *r.revisions);
        db->commit();
        state.ProjectChanged = true;
        return result;
    } catch (const VdxError& e) {
        if (db && db->isOpen()) db->rollback();
        state.mortality = before;
        ShowRunError(ui, e);
        return std::nullopt;
    }
}

std::vector<std::string> CausesSummary(const CausesResult& result) {
    std::vector<std::string> lines{"The table of causes " + result.name + "_Causes: " + std::to_string(result.included) +
                                   " persons with follow-up, " + std::to_string(result.deaths) + " deaths counted."};
    lines.insert(lines.end(), result.notes.begin(), result.notes.end());
    return lines;
}

}  // namespace vdx::mortality
