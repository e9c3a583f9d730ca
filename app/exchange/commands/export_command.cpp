#include "exchange/commands/export_command.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "db/database.h"
#include "db/file_io.h"
#include "db/project_file.h"
#include "exchange/io/writer_support.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

// Save dialog: no read-only box, a read-only file refused. It does not ask
// before overwriting: the file written may have an extension it did not
// show, so SaveTableAs asks itself.
constexpr int kNoReadOnly = file_dialog::HideReadOnly | file_dialog::NoReadOnlyReturn;

// How each SMR variable is taken from the SMR table: its row (Typ, and from
// 1 the position, for a table whose rows carry no such key) and whether it is
// a figure (and how it is written) or a stored text.
enum class SmrValue {
    Text,     // `Values` as stored
    Scaled8,  // `Figures` times the null value, 8 decimals
    Scaled7,  // the same with 7 decimals
    Stored,   // `Figures`: the stored number, every digit of it
    Group,    // the death values as typed (row valuesDTH); else the one code of `Figures`
};
struct SmrVariable {
    const char* name;
    const char* typ;
    int row;
    SmrValue value;
};
constexpr std::array<SmrVariable, kSmrExportVariables> kSmrVariables{{
    {"SMR", db::smr_row::Smr, 11, SmrValue::Scaled8},
    {"Lower Confidence Bound", db::smr_row::SmrLow, 12, SmrValue::Scaled7},
    {"Upper Confidence Bound", db::smr_row::SmrHigh, 13, SmrValue::Scaled8},
    {"Alpha", db::smr_row::Alpha, 4, SmrValue::Text},
    {"Method", db::smr_row::Method, 17, SmrValue::Text},
    {"Observed Cases", db::smr_row::Observed, 7, SmrValue::Stored},
    {"Expected Cases", db::smr_row::Expected, 10, SmrValue::Stored},
    {"Person Years", db::smr_row::PersonYears, 8, SmrValue::Stored},
    {"Death Rate", db::smr_row::DeathRate, 9, SmrValue::Stored},
    {"N", db::smr_row::Persons, 14, SmrValue::Stored},
    {"N included", db::smr_row::Included, 15, SmrValue::Stored},
    {"Lag", db::smr_row::Lag, 16, SmrValue::Stored},
    {"Death Variable", db::smr_row::DeathColumn, 5, SmrValue::Text},
    {"Death Values", db::smr_row::DeathCode, 6, SmrValue::Group},
    {"Project", db::smr_row::ProjectName, 1, SmrValue::Text},
    {"Main Table", db::smr_row::MainTable, 18, SmrValue::Text},
    {"Rate Table", db::smr_row::RateTable, 2, SmrValue::Text},
    {"PY Table", db::smr_row::PyTable, 3, SmrValue::Text},
}};
constexpr int kDefaultExported = 7;  // variables 0 .. 6

// printf rounds the exact binary value, halves to even.
std::string Fixed(double value, int decimals) {
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string TextOf(const Value& stored) {
    if (stored.isNull()) return {};
    return stored.kind() == Value::Kind::Text ? stored.asText() : ExactNumberText(stored.asDouble());
}

// A figure as written: the ratio and its bounds on the report's scale with
// the decimals of old; every other figure exactly as stored (the shortest
// text that reads back as the same double: 127.808912345678, 76502.45).
std::string FigureText(const Value& stored, SmrValue how, double nullValue) {
    if (stored.isNull()) return {};
    double x = stored.kind() == Value::Kind::Text ? ReadNumber(stored.asText()).value_or(NAN) : stored.asDouble();
    if (!std::isfinite(x)) return {};
    switch (how) {
        case SmrValue::Scaled8: return Fixed(x * nullValue, 8);
        case SmrValue::Scaled7: return Fixed(x * nullValue, 7);
        default: return ExactNumberText(x);
    }
}

// The rows of an SMR table: `Values` and `Figures` by Typ and by position.
struct SmrRows {
    struct Row {
        std::string typ;
        Value values, figures;
    };
    std::vector<Row> rows;

    const Row* find(const char* typ, int position) const {
        for (const Row& r : rows)
            if (r.typ == typ) return &r;
        // Rows without keys: the stored order.
        if (position >= 1 && position <= static_cast<int>(rows.size()) && rows[position - 1].typ.empty())
            return &rows[position - 1];
        return nullptr;
    }
};

SmrRows ReadSmrRows(db::Database& db, const std::string& table) {
    auto rs = db.openRecordset(table);
    const int typ = rs->fieldIndex("Typ");
    const int values = rs->fieldIndex("Values");
    const int figures = rs->fieldIndex("Figures");
    SmrRows out;
    if (rs->recordCount() > 0) rs->moveFirst();
    for (; !rs->eof(); rs->moveNext()) {
        SmrRows::Row r;
        if (typ >= 0) r.typ = TextOf(rs->value(typ));
        if (values >= 0) r.values = rs->value(values);
        if (figures >= 0) r.figures = rs->value(figures);
        out.rows.push_back(std::move(r));
    }
    return out;
}

// With no expected deaths no SMR is defined: its rows hold 0s, which the
// export, as the report, does not give out as figures.
constexpr const char* kNotDefined = "not defined";

bool NoExpectedDeaths(const SmrRows& rows) {
    const SmrRows::Row* expected = rows.find("Expected", 10);
    return expected && expected->figures.isNumber() && expected->figures.asDouble() == 0;
}

std::string SmrVariableText(const SmrRows& rows, const SmrVariable& v, double nullValue) {
    if ((v.value == SmrValue::Scaled8 || v.value == SmrValue::Scaled7) && NoExpectedDeaths(rows)) return kNotDefined;
    if (v.value == SmrValue::Group)
        if (const SmrRows::Row* group = rows.find(db::smr_row::DeathValues, 0); group && !TextOf(group->values).empty())
            return TextOf(group->values);
    const SmrRows::Row* row = rows.find(v.typ, v.row);
    if (!row) return {};
    if (v.value == SmrValue::Text) return TextOf(row->values);
    // A figure stored as text (an SRR project's settings) reads as its number.
    return FigureText(row->figures.isNull() ? row->values : row->figures, v.value, nullValue);
}

// The person-years table shown (1 all persons, 2 and 3 the sex codes), as
// the navigator names it in state.CurrentResultTable; 0 when none is.
int ShownPersonYearsTable(const ProgramState& state) {
    for (int table = 1; table <= 3; ++table)
        if (state.CurrentResultTable == PyTableName(state.py, table)) return table;
    return 0;
}

// A bound as the age label writes it: a leading blank when not negative.
std::string SignedBound(int value) { return (value >= 0 ? " " : "") + std::to_string(value); }

ColumnSpec TextColumn(const std::string& name, const std::vector<std::vector<Value>>& rows, size_t column) {
    int width = 1;
    for (const auto& row : rows)
        if (row[column].kind() == Value::Kind::Text)
            width = std::max(width, static_cast<int>(row[column].asText().size()));
    return {name, FieldType::Text, std::min(width, 255)};
}

// A fixed-point field (dBase) holds a column in at most 19 characters with at
// most 15 decimals. Numbers of a column that need more decimals than its
// largest integer part leaves room for are rounded to that many (5e-13 for
// person-years of up to a million); a number that needs no more keeps its
// exact value, since its rounded text reads back as the same double.
void FitFixedPoint(std::vector<std::vector<Value>>& rows, size_t firstNumberColumn) {
    if (rows.empty()) return;
    for (size_t c = firstNumberColumn; c < rows[0].size(); ++c) {
        int integerDigits = 1;
        for (const auto& row : rows)
            if (row[c].isNumber())
                integerDigits = std::max(integerDigits, static_cast<int>(Fixed(std::fabs(row[c].asDouble()), 0).size()));
        const int decimals = std::min(15, 18 - integerDigits);
        if (decimals < 0) continue;
        for (auto& row : rows)
            if (row[c].isNumber()) row[c] = Value::real(*ReadNumber(Fixed(row[c].asDouble(), decimals)));
    }
}

}  // namespace

SmrExportChoices DefaultSmrExportChoices() {
    SmrExportChoices c;
    for (int k = 0; k < kSmrExportVariables; ++k) c[k] = {kSmrVariables[k].name, k < kDefaultExported};
    return c;
}

SmrExportChoices ReadSmrExportChoices(const SettingsAccess& settings) {
    const SmrExportChoices defaults = DefaultSmrExportChoices();
    SmrExportChoices c;
    for (int k = 0; k < kSmrExportVariables; ++k) {
        const std::string fallback = defaults[k].name + (defaults[k].exported ? " 1" : " 0");
        std::string stored = settings.readSetting("Exports", std::to_string(k), fallback);
        // "name flag": a value too short to hold both reads as the default.
        if (stored.size() < 2) stored = fallback;
        c[k] = {stored.substr(0, stored.size() - 2), stored.back() == '1'};
    }
    return c;
}

void WriteSmrExportChoices(SettingsAccess& settings, const SmrExportChoices& choices) {
    for (int k = 0; k < kSmrExportVariables; ++k)
        settings.writeSetting("Exports", std::to_string(k), choices[k].name + (choices[k].exported ? " 1" : " 0"));
}

std::optional<SmrExportChoices> SmrExportChoicesFromList(const std::string& list) {
    SmrExportChoices c = DefaultSmrExportChoices();
    for (auto& v : c) v.exported = false;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, end - start);
        if (item.empty() || item.size() > 2 || item.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const int k = std::stoi(item);
        if (k >= kSmrExportVariables) return std::nullopt;
        c[k].exported = true;
        start = end + 1;
    }
    return c;
}

std::string ExportFilter() {
    std::string filter;
    for (const FileFormat* f : ExportFormats())
        filter += std::string(f->exportCaption) + " (" + f->exportPattern() + ")|" + f->exportPattern() + "|";
    return filter;
}

int ExportFormatIndex(const std::string& cliName) {
    const FileFormat* format = FormatOfCliName(cliName);
    return format ? format->exportIndex : 0;
}

namespace {

// The extension of a file name ("py.XLSX" -> "xlsx"), "" when it has none.
// ".txt" is all extension and leaves no name.
std::string ExtensionOf(const std::string& file) {
    const size_t dot = file.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = file.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool Writes(const FileFormat& f, const std::string& ext) {
    const auto exts = f.extensions();
    return !ext.empty() && std::find(exts.begin(), exts.end(), ext) != exts.end();
}

// The export format an extension belongs to: of several versions (.xls,
// .dbf, .db, .mdb), the newest; nullptr for an extension no export writes.
const FileFormat* FormatOfExtension(const std::string& ext) {
    const FileFormat* found = nullptr;
    for (const FileFormat* f : ExportFormats())
        if (f->writer && Writes(*f, ext)) found = f;
    return found;
}

}  // namespace

ExportTarget ExportTargetFor(int filterIndex, const std::string& chosenPath, OtherExtension otherExtension) {
    const auto formats = ExportFormats();
    if (filterIndex < 1 || filterIndex > static_cast<int>(formats.size()))
        throw VdxError(err::InstallableIsamNotFound, "Could not find installable ISAM.");
    const FileFormat* f = formats[static_cast<size_t>(filterIndex) - 1];
    if (!f->writer)
        throw VdxError(err::InstallableIsamNotFound,
                       std::string("Tables cannot be saved as ") + f->exportCaption +
                           " databases yet. Choose another format; nothing was written.");
    const size_t slash = chosenPath.find_last_of('/');
    const std::string file = slash == std::string::npos ? chosenPath : chosenPath.substr(slash + 1);
    const std::string ext = ExtensionOf(file);
    if (!Writes(*f, ext)) {
        if (const FileFormat* named = FormatOfExtension(ext)) {
            if (otherExtension == OtherExtension::Refused)
                throw VdxError(err::InvalidName, "'" + file + "' has the extension of " + named->exportCaption + " (" +
                                                     named->exportPattern() + "), but " + f->exportCaption + " (" +
                                                     f->exportPattern() + ") was chosen; nothing was written. Give the "
                                                     "file the extension ." + f->extensions().front() +
                                                     ", or choose the format of its name.");
            f = named;  // the type follows the extension typed
        }
    }
    ExportTarget t;
    t.format = f;
    if (Writes(*f, ext)) {
        t.path = chosenPath;
        t.tableName = file.substr(0, file.size() - ext.size() - 1);
    } else {
        // No extension, or one no export writes: the format's is added, the
        // name stays whole.
        t.path = chosenPath + "." + f->extensions().front();
        t.tableName = file;
    }
    if (t.tableName.empty())
        throw VdxError(err::InvalidName, "'" + file + "' leaves no name for the table: give the file a name and its extension (" +
                                             f->exportPattern() + ").");
    return t;
}

ExportTable BuildExportTable(const ProgramState& state, const db::ResultGridText& grid,
                             const SmrExportChoices& choices, ExportValues values) {
    ExportTable t;
    if (state.CurrentResult == "PersonYears" || state.CurrentResult == "Deaths") {
        const auto& age = state.AgeBounds;
        const auto& cal = state.CalendarBounds;
        const int ages = static_cast<int>(age.size()) - 1;
        const int periods = static_cast<int>(cal.size()) - 1;
        // The grid shows person-years with two decimals; the days they are
        // counted in are at hand. (Deaths are whole numbers, shown in full.)
        const PyCells& days = state.PyValues;
        const int pyTable = values == ExportValues::Stored && state.CurrentResult == "PersonYears"
                                ? ShownPersonYearsTable(state)
                                : 0;
        for (int i = 1; i < ages; ++i) {
            std::vector<Value> row{Value::text(SignedBound(age[i]) + "-" + SignedBound(age[i + 1] - 1))};
            for (int j = 1; j < periods; ++j) {
                if (pyTable > 0 && pyTable <= days.tables() && i <= days.ageClasses() && j <= days.periods()) {
                    row.push_back(Value::real(static_cast<double>(days.at(pyTable, i, j)) / 365.25));
                    continue;
                }
                const std::string cell = i < grid.rows && j < grid.cols ? grid.at(i, j) : std::string();
                const auto number = ReadNumber(cell);
                row.push_back(number ? Value::real(*number) : Value::null());
            }
            t.rows.push_back(std::move(row));
        }
        t.columns.push_back(TextColumn("Age class", t.rows, 0));
        for (int j = 1; j < periods; ++j)
            t.columns.push_back({std::to_string(cal[j]) + "-" + std::to_string(cal[j + 1] - 1), FieldType::Double, 0});
    } else if (state.CurrentResult == "Strata") {
        // The stratum table as shown: the row label "15–19, 1950–1954"
        // (or "Total") gives the age class and period columns, the other
        // columns are numbers (an empty O/E where nothing is expected).
        for (int r = 1; r < grid.rows; ++r) {
            // Files take the class labels with a plain hyphen ("15-19"), as
            // every format's character set holds it.
            std::string label = grid.at(r, 0);
            for (size_t at; (at = label.find("\u2013")) != std::string::npos;) label.replace(at, 3, "-");
            const size_t comma = label.find(", ");
            std::vector<Value> row{Value::text(label.substr(0, comma)),
                                   Value::text(comma == std::string::npos ? std::string() : label.substr(comma + 2))};
            for (int c = 1; c < grid.cols; ++c) {
                const auto number = ReadNumber(grid.at(r, c));
                row.push_back(number ? Value::real(*number) : Value::null());
            }
            t.rows.push_back(std::move(row));
        }
        t.columns = {TextColumn("Age class", t.rows, 0), TextColumn("Calendar period", t.rows, 1)};
        for (int c = 1; c < grid.cols; ++c) t.columns.push_back({grid.at(0, c), FieldType::Double, 0});
        FitFixedPoint(t.rows, 2);
    } else if (state.CurrentResult == "Categories") {
        // The table of an SMR by category as shown: the category, then numbers.
        for (int r = 1; r < grid.rows; ++r) {
            std::vector<Value> row{Value::text(grid.at(r, 0))};
            for (int c = 1; c < grid.cols; ++c) {
                const auto number = ReadNumber(grid.at(r, c));
                row.push_back(number ? Value::real(*number) : Value::null());
            }
            t.rows.push_back(std::move(row));
        }
        t.columns = {TextColumn(grid.at(0, 0), t.rows, 0)};
        for (int c = 1; c < grid.cols; ++c) t.columns.push_back({grid.at(0, c), FieldType::Double, 0});
    } else if (state.CurrentResult == "Smr") {
        auto db = db::Database::open(state.WorkingCopyName);
        const SmrRows stored = ReadSmrRows(*db, state.CurrentSMRTable);
        for (int k = 0; k < kSmrExportVariables; ++k) {
            if (!choices[k].exported) continue;
            const SmrVariable& v = kSmrVariables[k];
            if (!stored.find(v.typ, v.row))
                throw VdxError(err::NoCurrentRecord, "No current record: " + state.CurrentSMRTable + " holds no row " +
                                                         v.typ + " (" + v.name + ").");
            t.rows.push_back({Value::text(choices[k].name), Value::text(SmrVariableText(stored, v, state.SmrNullValue))});
        }
        t.columns = {TextColumn("Description", t.rows, 0), TextColumn("Values", t.rows, 1)};
    } else if (state.CurrentResult == "StoredTable") {
        // A cause list or an analysis's table: its columns and values as stored.
        auto db = db::Database::open(state.WorkingCopyName);
        auto rs = db->openRecordset(state.CurrentResultTable);
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            std::vector<Value> row;
            for (int k = 0; k < rs->fieldCount(); ++k) row.push_back(rs->value(k));
            t.rows.push_back(std::move(row));
        }
        for (int k = 0; k < rs->fieldCount(); ++k) {
            const db::FieldDef& f = rs->field(k);
            const bool text = f.type == FieldType::Text || f.type == FieldType::Memo;
            t.columns.push_back(text ? TextColumn(f.name, t.rows, static_cast<size_t>(k))
                                     : ColumnSpec{f.name, f.type, 0});
            // Floating-point columns fit a fixed-point field, as the stratum table's do.
            if (f.type == FieldType::Double || f.type == FieldType::Single) {
                std::vector<std::vector<Value>> column;
                for (const auto& row : t.rows) column.push_back({row[static_cast<size_t>(k)]});
                FitFixedPoint(column, 0);
                for (size_t i = 0; i < t.rows.size(); ++i) t.rows[i][static_cast<size_t>(k)] = column[i][0];
            }
        }
    }
    return t;
}

bool WriteExportRows(Interaction& ui, const std::vector<ColumnSpec>& columns, uint64_t rowCount,
                     const NextExportRow& next, const ExportTarget& target) {
    // The progress window's bar counts per mille.
    constexpr int kBar = 1000;
    struct WindowProgress : ReadProgress {
        Progress& window;
        explicit WindowProgress(Progress& w) : window(w) {}
        bool report(double fraction) override {
            window.setValue(static_cast<int>(fraction * kBar));
            return !window.poll();
        }
    };
    // The writers report every 4096 rows: a smaller table is written before
    // the window could show anything, so it gets none.
    constexpr uint64_t kRowsForWindow = 4096;
    std::unique_ptr<Progress> window;
    std::unique_ptr<WindowProgress> progress;
    if (rowCount >= kRowsForWindow) {
        window = ui.progress("Save Table as ...", kBar, true);
        window->setLabel("Writing " + target.path);
        progress = std::make_unique<WindowProgress>(*window);
    }
    auto writer = target.format->writer(target.path, target.tableName);
    writer->begin(columns, rowCount, progress.get());
    std::vector<Value> row;
    while (next(row))
        if (!writer->writeRow(row)) return false;  // the writer abandons the file
    writer->finish();
    return true;
}

bool ExportShownResult(ProgramState& state, Interaction& ui, const db::ResultGridText& shownGrid,
                       const SmrExportChoices& choices, const ExportTarget& chosen) {
    // The rename that puts the new file in place would replace a read-only
    // file all the same (it needs only the folder's permission).
    if (db::IsReadOnlyFile(chosen.path))
        throw VdxError(err::PermissionDenied, chosen.path + " is read-only; nothing was written.");
    ExportTarget target = chosen;
    if (target.format->sheetNamedAfterResult && !state.CurrentResultTable.empty())
        target.tableName = state.CurrentResultTable;
    const ExportTable table = BuildExportTable(state, shownGrid, choices, target.format->values);
    if (table.columns.empty()) return false;
    {
        // Rows go straight to the writer; a temporary table that an older
        // export left in the working copy goes.
        auto db = db::Database::open(state.WorkingCopyName);
        if (db->tableExists("_export")) db->deleteTable("_export");
    }
    size_t at = 0;
    return WriteExportRows(ui, table.columns, table.rows.size(), [&](std::vector<Value>& row) {
        if (at == table.rows.size()) return false;
        row = table.rows[at++];
        return true;
    }, target);
}

bool SaveTableAs(ProgramState& state, Interaction& ui, const db::ResultGridText& shownGrid,
                 const SettingsAccess& settings) {
    FileDialogRequest request;
    request.title = "Save Table as ...";
    std::error_code ec;
    request.initialDirectory = std::filesystem::current_path(ec).string();
    request.fileName = "*.txt";
    request.filter = ExportFilter();
    request.filterIndex = 1;
    // The first filter's extension: a name typed without one must not end in ".*".
    request.defaultExtension = "txt";
    request.flags = kNoReadOnly;
    const auto chosen = ui.saveFile(request);
    if (!chosen) return false;
    return ShowingErrors(ui, [&] {
        const ExportTarget target = ExportTargetFor(chosen->filterIndex, chosen->path, OtherExtension::ChoosesFormat);
        if (db::FileExists(target.path) &&
            ui.message(target.path + " already exists.\nDo you want to replace it?", Buttons::YesNo, Icon::Exclamation,
                       request.title) != Answer::Yes)
            return false;
        BusyPointer busy(ui);
        return ExportShownResult(state, ui, shownGrid, ReadSmrExportChoices(settings), target);
    });
}

}  // namespace vdx::exchange
