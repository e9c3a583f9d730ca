#include "db/left_out.h"

#include "db/database.h"
#include "db/study_settings.h"
#include "state/errors.h"

#include <cstdio>

namespace vdx::db {

std::map<std::string, int64_t> LeftOutPersons::countsByCode() const {
    std::map<std::string, int64_t> counts;
    for (const auto& [row, code] : rows) ++counts[code];
    return counts;
}

std::string LeftOutPersons::fingerprint() const {
    if (rows.empty()) return {};
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    auto add = [&h](const std::string& text) {
        for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    };
    for (const auto& [row, code] : rows) add(std::to_string(row) + ":" + code + ";");
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

void RecordLeftOutOfRun(Database& db, const LeftOutPersons& persons) {
    if (persons.empty() && !ReadStudySetting(db, study_key::kPyRunLeftOut)) return;
    WriteStudySetting(db, study_key::kPyRunLeftOut, persons.fingerprint());
    WriteStudySetting(db, study_key::kPyRunLeftOutText, LeftOutSentence(persons));
}

std::string LeftOutOfRun(Database& db) { return ReadStudySetting(db, study_key::kPyRunLeftOutText).value_or(""); }

LeftOutPersons LeftOutForCount(Database& db, const std::string& mainTable) {
    LeftOutPersons persons = ReadLeftOut(db, mainTable);
    if (persons.fingerprint() != ReadStudySetting(db, study_key::kPyRunLeftOut).value_or(""))
        throw VdxError(err::InvalidProcedureCall,
                       "The persons left out after the cohort check are not those the person-years were computed "
                       "without: compute the person-years again (Compute > Person-Years) before counting deaths.");
    return persons;
}

void StoreLeftOut(Database& db, const std::string& mainTable, const std::map<int64_t, std::string>& rows) {
    if (db.tableExists(kVdxLeftOut)) db.deleteTable(kVdxLeftOut);
    if (rows.empty()) {
        if (ReadStudySetting(db, study_key::kLeftOutTable)) WriteStudySetting(db, study_key::kLeftOutTable, "");
        return;
    }
    db.createTable({kVdxLeftOut, 0, {{"Row", FieldType::Long}, {"Code", FieldType::Text}}});
    auto rs = db.openRecordset(kVdxLeftOut);
    for (const auto& [row, code] : rows) {
        rs->addNew();
        rs->setValue("Row", Value::integer(row));
        rs->setValue("Code", Value::text(code));
        rs->update();
    }
    WriteStudySetting(db, study_key::kLeftOutTable, mainTable);
}

LeftOutPersons ReadLeftOut(Database& db, const std::string& mainTable) {
    LeftOutPersons persons;
    if (mainTable.empty() || !db.tableExists(kVdxLeftOut)) return persons;
    const auto kept = ReadStudySetting(db, study_key::kLeftOutTable);
    if (!kept || *kept != mainTable) return persons;
    auto rs = db.openRecordset(kVdxLeftOut);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        const Value row = rs->value("Row"), code = rs->value("Code");
        if (row.isNull()) continue;
        persons.rows[row.asInteger()] = code.isNull() ? std::string() : code.asText();
    }
    return persons;
}

std::string LeftOutSentence(const LeftOutPersons& persons) {
    if (persons.empty()) return {};
    const int64_t n = persons.count();
    std::string text = std::to_string(n) + (n == 1 ? " person" : " persons") + " left out after the cohort check: ";
    bool first = true;
    for (const auto& [code, count] : persons.countsByCode()) {
        text += (first ? "" : ", ") + std::to_string(count) + " " + code;
        first = false;
    }
    return text + ".";
}

}  // namespace vdx::db
