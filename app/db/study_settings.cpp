#include "db/study_settings.h"

#include "db/database.h"

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

}  // namespace vdx::db
