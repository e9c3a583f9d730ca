#include "project/jet_project.h"

#include <algorithm>

#include "db/database.h"
#include "db/db_internal.h"
#include "db/file_io.h"
#include "db/project_file.h"
#include "db/table_stream.h"
#include "exchange/formats/access/access_reader.h"
#include "exchange/formats/access/jet_writer.h"
#include "exchange/io/table_copy.h"
#include "exchange/io/writer_support.h"
#include "state/errors.h"

namespace vdx::project {

namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && db::detail::SameName(s.substr(s.size() - tail.size()), tail);
}

bool IsSystemTable(const std::string& table) {
    for (const char* name : {db::kVdxSystemMain, db::kVdxSystemPY, db::kVdxSystemRateTables,
                             db::kVdxSystemProjects, db::kVdxAgeClassValues, db::kVdxYearClassValues,
                             db::kVdxPyValues})
        if (db::detail::SameName(table, name)) return true;
    return false;
}

// Tables whose rows are read by position: their order must be the stored one.
bool ReadByPosition(const std::string& table) {
    return IsSystemTable(table) || EndsWith(table, "_Deaths") || EndsWith(table, "_SMR");
}

// A study whose rows would be read in a doubtful order: the user is told
// which table and why (a file without the system tables is simply no study).
[[noreturn]] void Refuse(const std::string& why) { throw VdxError(err::NotExpectedFormat, why); }

// The keys of a key/value table, in stored order, must be the file's keys:
// all of them, or (VdxSystemMain of files before 3.0) all but the last.
void CheckKeys(db::Database& db, const std::string& table, const std::vector<std::string>& keys) {
    const auto rs = db.openRecordset(table);
    std::vector<std::string> stored;
    for (; !rs->eof(); rs->moveNext()) {
        const Value v = rs->value("Typ");
        stored.push_back(v.kind() == Value::Kind::Text ? v.asText() : std::string());
    }
    const bool older = table == db::kVdxSystemMain && stored.size() == keys.size() - 1;
    const size_t expected = older ? keys.size() - 1 : keys.size();
    if (stored.size() < expected || !std::equal(keys.begin(), keys.begin() + static_cast<long>(expected), stored.begin()))
        Refuse("The rows of " + table + " are not in the order of their keys; the study cannot be read safely.");
}

}  // namespace

void CopyJetProject(exchange::TableReader& source, const RowOrderDoubt& doubt, const std::string& target) {
    const std::vector<std::string> tables = source.tableNames();
    if (std::none_of(tables.begin(), tables.end(),
                     [](const std::string& t) { return db::detail::SameName(t, db::kVdxSystemMain); }))
        throw VdxError(err::UnrecognizedDatabase, "The Jet database holds no VdxSystemMain table.");
    auto db = db::Database::create(target);
    db->beginTransaction();
    for (const std::string& table : tables) {
        if (ReadByPosition(table))
            if (const std::string why = doubt(table); !why.empty())
                Refuse(table + " holds " + why + ", so the order of its rows cannot be trusted; "
                               "compact the file in the earlier program and open it again.");
        db::TableDef def = exchange::TableDefOf(source, table, table);
        // The two name lists and the keys of the key/value tables refuse
        // zero-length text, as in new files (Jet keeps that as a property the
        // reader does not see).
        const bool nameList = db::detail::SameName(table, db::kVdxSystemRateTables) ||
                              db::detail::SameName(table, db::kVdxSystemProjects);
        const bool keyValue = db::detail::SameName(table, db::kVdxSystemMain) || db::detail::SameName(table, db::kVdxSystemPY);
        for (db::FieldDef& field : def.fields)
            if (nameList || (keyValue && db::detail::SameName(field.name, "Typ"))) field.allowZeroLength = false;
        exchange::CopyReaderTable(source, table, *db, def);
    }
    db->commit();
    CheckKeys(*db, db::kVdxSystemMain, db::SystemMainKeys());
    if (db->tableExists(db::kVdxSystemPY)) CheckKeys(*db, db::kVdxSystemPY, db::SystemPyKeys());
    db->close();
}

void ImportJetProject(const std::string& jetFile, const std::string& workingCopy) {
    exchange::AccessReader reader(jetFile);
    CopyJetProject(reader, [&reader](const std::string& table) { return reader.rowOrderDoubt(table); }, workingCopy);
}

void ExportJetProject(const std::string& workingCopy, const std::string& jetFile) {
    auto db = db::Database::open(workingCopy);
    exchange::JetDatabaseWriter jet(jetFile);
    for (const db::TableDef& def : db->tableDefs()) {
        if (def.isSystemTable()) continue;
        std::vector<exchange::ColumnSpec> columns;
        std::vector<std::string> names;
        for (const db::FieldDef& f : def.fields) {
            columns.push_back({f.name, f.type, f.type == FieldType::Text ? f.size : 0});
            names.push_back(f.name);
        }
        try {
            jet.beginTable(def.name, columns);
            db::TableStream rows(*db, def.name, names);
            std::vector<Value> row(columns.size());
            while (rows.next()) {
                for (size_t c = 0; c < row.size(); ++c) {
                    row[c] = rows.value(static_cast<int>(c));
                    // A file ImportJetProject could not read back would be a study lost.
                    if (columns[c].type == FieldType::Memo && row[c].kind() == Value::Kind::Text &&
                        row[c].asText().size() > exchange::kAccessMemoBytes)
                        exchange::ThrowCannotHold(static_cast<uint64_t>(rows.position()), columns[c].name,
                                        "the text is longer than the 1 MiB a project file's memo may hold.");
                }
                jet.addRow(row, static_cast<uint64_t>(rows.position()));
            }
            jet.endTable();
        } catch (const VdxError& e) {
            if (e.number() != err::TypeMismatch) throw;
            throw VdxError(e.number(), "Table " + def.name + ": " + e.description());
        }
    }
    db->close();
    jet.commit();
}

void RegisterJetProjectImport() {
    db::SetJetProjectImport(ImportJetProject);
    db::SetJetProjectExport(ExportJetProject);
}

}  // namespace vdx::project
