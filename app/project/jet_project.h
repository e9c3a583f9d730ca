// Project files of the earlier program: the same tables in a Jet (Access)
// database. Opening one reads every table through the Access reader into a
// new working copy of our own format; the Jet file itself is only read.
#pragma once

#include <functional>
#include <string>

#include "exchange/io/table_reader.h"

namespace vdx::project {

// Why the rows of a table might not come in the order they were added
// ("" when they can be trusted); see exchange::AccessReader::rowOrderDoubt.
using RowOrderDoubt = std::function<std::string(const std::string& table)>;

// Copies every table of `source` into a new database at `target`, columns
// with their types, rows in stored order. The tables read by position (the
// system tables and each project's deaths and SMR tables) are refused with
// VdxError 3274 naming the table when `doubt` questions their order, or when
// the keys of VdxSystemMain and VdxSystemPY are not in the file's row order;
// a source without VdxSystemMain is no project file (3343). The caller removes
// `target` on failure.
void CopyJetProject(exchange::TableReader& source, const RowOrderDoubt& doubt, const std::string& target);

// CopyJetProject over the Access reader; the import MakeWorkingCopy uses.
void ImportJetProject(const std::string& jetFile, const std::string& workingCopy);

// Writes every table of the working copy `workingCopy` (system tables, main
// data and rate tables, the projects' tables) into a new Jet database at
// `jetFile`, columns with their types and rows in stored order, so that
// ImportJetProject reads back the same tables. Jet 3, as the earlier program
// wrote them. Atomic: a temporary file in
// the target's folder renamed over `jetFile` only when complete; throws
// VdxError and leaves an existing `jetFile` as it was on failure.
void ExportJetProject(const std::string& workingCopy, const std::string& jetFile);

// Lets File > Open, the start-up argument and veldrix-cli open Jet project
// files, and File > Save write them (db::SetJetProjectImport,
// db::SetJetProjectExport).
void RegisterJetProjectImport();

}  // namespace vdx::project
