#include "db/study_settings.h"

#include "db/database.h"

#include <cmath>
#include <ctime>

#include "state/text_values.h"

namespace vdx::db {

std::optional<std::string> ReadStudySetting(Database& db, const std::string& key) {
    if (!db.tableExists(kVdxStudySettings)) return std::nullopt;
    auto rs = db.openRecordset(kVdxStudySettings);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext())
        if (rs->value("Key").kind() == Value::Kind::Text && rs->value("Key").asText() == key) {
            const Value v = rs->value("Value");
            return v.isNull() ? std::string() : v.asText();
        }
    return std::nullopt;
}

void WriteStudySetting(Database& db, const std::string& key, const std::string& value) {
    if (!db.tableExists(kVdxStudySettings))
        db.createTable({kVdxStudySettings, 0, {{"Key", FieldType::Text}, {"Value", FieldType::Memo, 0}}});
    auto rs = db.openRecordset(kVdxStudySettings);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext())
        if (rs->value("Key").kind() == Value::Kind::Text && rs->value("Key").asText() == key) {
            rs->edit();
            rs->setValue("Value", Value::text(value));
            rs->update();
            return;
        }
    rs->addNew();
    rs->setValue("Key", Value::text(key));
    rs->setValue("Value", Value::text(value));
    rs->update();
}

void RegisterAnalysis(Database& db, const std::string& name, const std::string& kind, const std::string& settings) {
    if (!db.tableExists(kVdxAnalyses))
        db.createTable({kVdxAnalyses, 0,
                        {{"Name", FieldType::Text},
                         {"Kind", FieldType::Text},
                         {"Settings", FieldType::Memo, 0},
                         {"Created", FieldType::Text}}});
    // The day, written as the program writes dates.
    const std::string created = FormatDate(DateSerial(1970, 1, 1) + std::floor(std::time(nullptr) / 86400.0));
    auto rs = db.openRecordset(kVdxAnalyses);
    rs->addNew();
    rs->setValue("Name", Value::text(name));
    rs->setValue("Kind", Value::text(kind));
    rs->setValue("Settings", Value::text(settings));
    rs->setValue("Created", Value::text(created));
    rs->update();
}

}  // namespace vdx::db
