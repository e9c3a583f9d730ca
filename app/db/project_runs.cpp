#include "db/project_runs.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "db/database.h"

namespace vdx::db {

namespace {

// FNV-1a, 64 bits: a fingerprint, not a secret.
class Fingerprint {
public:
    void add(std::string_view text) {
        for (unsigned char c : text) {
            hash_ ^= c;
            hash_ *= 0x100000001b3ULL;
        }
        hash_ ^= 0x1f;  // a separator, so that "ab" + "c" differs from "a" + "bc"
        hash_ *= 0x100000001b3ULL;
    }
    void add(int64_t number) { add(std::to_string(number)); }
    std::string text() const {
        char buffer[17];
        std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash_));
        return buffer;
    }

private:
    uint64_t hash_ = 0xcbf29ce484222325ULL;
};

// The deaths table of a project as it is now; "" when it has none.
std::string DeathsId(Database& db, const std::string& project) {
    const std::string table = project + "_Deaths";
    if (!db.tableExists(table)) return {};
    Fingerprint f;
    auto rs = db.openRecordset(table);
    f.add(rs->recordCount());
    const int field = rs->fieldCount() > 0 ? 0 : -1;
    if (field < 0) return {};
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        const Value v = rs->value(field);
        f.add(v.isNumber() ? std::to_string(v.asDouble()) : std::string("-"));
    }
    return f.text();
}

struct Record {
    std::string pyRun, deaths;
    bool found = false;
};

Record ReadRecord(Database& db, const std::string& project) {
    Record r;
    if (!db.tableExists(kVdxProjectRuns)) return r;
    auto rs = db.openRecordset(kVdxProjectRuns);
    auto text = [&](const char* column) {
        const Value v = rs->value(column);
        return v.kind() == Value::Kind::Text ? v.asText() : std::string();
    };
    for (rs->moveFirst(); !rs->eof(); rs->moveNext())
        if (text("Project") == project) {
            r = {text("PyRun"), text("Deaths"), true};
        }
    return r;
}

}  // namespace

std::string PersonYearsRunId(const ProgramState& state) {
    const PySettings& p = state.py;
    if (!p.computed) return {};
    Fingerprint f;
    f.add("person-years 1");
    for (const std::string* column : {&p.birthColumn, &p.entryColumn, &p.exitColumn}) f.add(*column);
    f.add(p.tableCount);
    if (p.bySex) {
        f.add("sex " + p.sexColumn);
        f.add(p.sexCode1);
        f.add(p.sexCode2);
    }
    if (p.withLag && p.lagYears > 0) {
        f.add("lag " + p.hireColumn);
        f.add(p.lagYears);
    }
    f.add("ages");
    for (int k = 1; k <= p.ageBoundCount && k < static_cast<int>(state.AgeBounds.size()); ++k)
        f.add(state.AgeBounds[static_cast<size_t>(k)]);
    f.add("periods");
    for (int k = 1; k <= p.calendarBoundCount && k < static_cast<int>(state.CalendarBounds.size()); ++k)
        f.add(state.CalendarBounds[static_cast<size_t>(k)]);
    const PyCells& cells = state.PyValues;
    f.add("cells");
    f.add(cells.tables());
    f.add(cells.ageClasses());
    f.add(cells.periods());
    for (int t = 1; t <= cells.tables(); ++t)
        for (int a = 1; a <= cells.ageClasses(); ++a)
            for (int c = 1; c <= cells.periods(); ++c) f.add(cells.at(t, a, c));
    return f.text();
}

void RecordProjectRun(Database& db, const ProgramState& state, const std::string& project) {
    if (!db.tableExists(kVdxProjectRuns))
        db.createTable({kVdxProjectRuns,
                        0,
                        {{"Project", FieldType::Text}, {"PyRun", FieldType::Text}, {"Deaths", FieldType::Text}}});
    ForgetProjectRun(db, project);
    auto rs = db.openRecordset(kVdxProjectRuns);
    rs->addNew();
    rs->setValue("Project", Value::text(project));
    rs->setValue("PyRun", Value::text(PersonYearsRunId(state)));
    rs->setValue("Deaths", Value::text(DeathsId(db, project)));
    rs->update();
}

void RenameProjectRun(Database& db, const std::string& oldName, const std::string& newName) {
    if (!db.tableExists(kVdxProjectRuns)) return;
    auto rs = db.openRecordset(kVdxProjectRuns);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        const Value v = rs->value("Project");
        if (v.kind() != Value::Kind::Text || v.asText() != oldName) continue;
        rs->edit();
        rs->setValue("Project", Value::text(newName));
        rs->update();
    }
}

void ForgetProjectRun(Database& db, const std::string& project) {
    if (!db.tableExists(kVdxProjectRuns)) return;
    auto rs = db.openRecordset(kVdxProjectRuns);
    rs->moveFirst();
    while (!rs->eof()) {
        const Value v = rs->value("Project");
        if (v.kind() == Value::Kind::Text && v.asText() == project) {
            rs->remove();
            rs->moveFirst();  // no current row after remove
        } else {
            rs->moveNext();
        }
    }
}

ProjectRunState CheckProjectRun(Database& db, const ProgramState& state, const std::string& project) {
    const Record r = ReadRecord(db, project);
    if (!r.found || r.deaths != DeathsId(db, project)) return ProjectRunState::NotRecorded;
    return r.pyRun == PersonYearsRunId(state) ? ProjectRunState::Current : ProjectRunState::OutOfDate;
}

std::string OutOfDateText(const std::string& project) {
    return "The project '" + project + "' is out of date: the person-years were computed again after it was made. "
           "Its stored figures are shown, not figures of the present person-years; compute the project again "
           "(Compute > SMR) to have them.";
}

}  // namespace vdx::db
