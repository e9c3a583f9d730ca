#include "exchange/export_command.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "db/database.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

constexpr int kInstallableIsamNotFound = 3170;
// Save dialog: ask before overwriting, no read-only box, a read-only file refused.
constexpr int kAskOverwriteNoReadOnly = 32774;

// How each SMR variable is taken from the SMR table: its row (from 1) and
// whether it is a figure (and how it is written) or a stored text.
enum class SmrValue { Text, Scaled8, Scaled7, Whole };
struct SmrVariable {
    const char* name;
    int row;
    SmrValue value;
};
constexpr std::array<SmrVariable, kSmrExportVariables> kSmrVariables{{
    {"SMR", 11, SmrValue::Scaled8},
    {"Lower Confidence Bound", 12, SmrValue::Scaled7},
    {"Upper Confidence Bound", 13, SmrValue::Scaled8},
    {"Alpha", 4, SmrValue::Text},
    {"Method", 17, SmrValue::Text},
    {"Observed Cases", 7, SmrValue::Whole},
    {"Expected Cases", 10, SmrValue::Whole},
    {"Person Years", 8, SmrValue::Whole},
    {"Death Rate", 9, SmrValue::Whole},
    {"N", 14, SmrValue::Whole},
    {"N included", 15, SmrValue::Whole},
    {"Lag", 16, SmrValue::Whole},
    {"Death Variable", 5, SmrValue::Text},
    {"Death Values", 6, SmrValue::Whole},
    {"Project", 1, SmrValue::Text},
    {"Main Table", 18, SmrValue::Text},
    {"Rate Table", 2, SmrValue::Text},
    {"PY Table", 3, SmrValue::Text},
}};
constexpr int kDefaultExported = 7;  // variables 0 .. 6

// printf rounds the exact binary value, halves to even.
std::string Fixed(double value, int decimals) {
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string SmrValueText(const Value& stored, SmrValue how, double nullValue) {
    if (how == SmrValue::Text) {
        if (stored.isNull()) return {};
        return stored.kind() == Value::Kind::Text ? stored.asText() : NumberText(stored.asDouble());
    }
    if (stored.isNull()) return {};
    double x = stored.kind() == Value::Kind::Text ? ReadNumber(stored.asText()).value_or(NAN) : stored.asDouble();
    if (!std::isfinite(x)) return {};
    switch (how) {
        case SmrValue::Scaled8: return Fixed(x * nullValue, 8);
        case SmrValue::Scaled7: return Fixed(x * nullValue, 7);
        default: return Fixed(x, 0);
    }
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

const std::vector<ExportFormat>& ExportFormats() {
    static const std::vector<ExportFormat> formats{
        {"ASCII files", "*.txt", "text", WriterFormat::Text, 4},
        {"Access 1.0", "*.mdb", "access10", WriterFormat::Access, 4},
        {"Access 1.1", "*.mdb", "access11", WriterFormat::Access, 4},
        {"Access 2.0", "*.mdb", "access20", WriterFormat::Access, 4},
        {"Access 7.0", "*.mdb", "access70", WriterFormat::Access, 4},
        {"Access 8.0", "*.mdb", "access80", WriterFormat::Access, 4},
        {"dBase III", "*.dbf", "dbase3", WriterFormat::DBase3, 4},
        {"dBase IV", "*.dbf", "dbase4", WriterFormat::DBase4, 4},
        {"dBase 5.0", "*.dbf", "dbase5", WriterFormat::DBase5, 4},
        {"Excel 3.0", "*.xls", "excel3", WriterFormat::Excel3, 4},
        {"Excel 4.0", "*.xls", "excel4", WriterFormat::Excel4, 4},
        {"Excel 5.0", "*.xls", "excel5", WriterFormat::Excel5, 4},
        {"Excel 7.0", "*.xls", "excel7", WriterFormat::Excel5, 4},  // the Excel 5.0 workbook
        {"Excel 8.0", "*.xls", "excel8", WriterFormat::Excel8, 4},
        {"Paradox 3.x", "*.db", "paradox3", WriterFormat::Paradox3, 3},
        {"Paradox 4.x", "*.db", "paradox4", WriterFormat::Paradox4, 3},
        {"Paradox 5.x", "*.db", "paradox5", WriterFormat::Paradox5, 3},
        {"HTML", "*.htm", "html", WriterFormat::Html, 4},
    };
    return formats;
}

std::string ExportFilter() {
    std::string filter;
    for (const auto& f : ExportFormats())
        filter += std::string(f.caption) + " (" + f.pattern + ")|" + f.pattern + "|";
    return filter;
}

int ExportFormatIndex(const std::string& cliName) {
    const auto& formats = ExportFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        if (cliName == formats[i].cliName) return static_cast<int>(i) + 1;
    return 0;
}

ExportTarget ExportTargetFor(int filterIndex, const std::string& chosenPath) {
    const auto& formats = ExportFormats();
    if (filterIndex < 1 || filterIndex > static_cast<int>(formats.size()))
        throw VdxError(kInstallableIsamNotFound, "Could not find installable ISAM.");
    const ExportFormat& f = formats[filterIndex - 1];
    if (!f.writer)
        throw VdxError(kInstallableIsamNotFound,
                       std::string("Tables cannot be saved as ") + f.caption +
                           " databases yet. Choose another format; nothing was written.");
    const size_t slash = chosenPath.find_last_of('/');
    const std::string file = slash == std::string::npos ? chosenPath : chosenPath.substr(slash + 1);
    const std::string folder = chosenPath.substr(0, chosenPath.size() - file.size());
    size_t cut = static_cast<size_t>(f.nameCut);
    if (f.writer == WriterFormat::Html && file.size() >= 4) {
        std::string tail = file.substr(file.size() - 4);
        for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (tail == "html") cut = 5;
    }
    if (file.size() <= cut)
        throw VdxError(err::InvalidName, "'" + file + "' leaves no name for the table: give the file a name and its extension (" +
                                             f.pattern + ").");
    ExportTarget t;
    t.format = *f.writer;
    t.tableName = file.substr(0, file.size() - cut);
    switch (t.format) {
        // Tables in a folder: the engine names the file after the table.
        case WriterFormat::DBase3:
        case WriterFormat::DBase4:
        case WriterFormat::DBase5: t.path = folder + t.tableName + ".dbf"; break;
        case WriterFormat::Paradox3:
        case WriterFormat::Paradox4:
        case WriterFormat::Paradox5: t.path = folder + t.tableName + ".db"; break;
        // ASCII and HTML end under the chosen name; Excel writes the workbook chosen.
        default: t.path = chosenPath; break;
    }
    return t;
}

ExportTable BuildExportTable(const ProgramState& state, const db::ResultGridText& grid,
                             const SmrExportChoices& choices) {
    ExportTable t;
    if (state.CurrentResult == "PersonYears" || state.CurrentResult == "Deaths") {
        const auto& age = state.AgeBounds;
        const auto& cal = state.CalendarBounds;
        const int ages = static_cast<int>(age.size()) - 1;
        const int periods = static_cast<int>(cal.size()) - 1;
        for (int i = 1; i < ages; ++i) {
            std::vector<Value> row{Value::text(SignedBound(age[i]) + "-" + SignedBound(age[i + 1] - 1))};
            for (int j = 1; j < periods; ++j) {
                const std::string cell = i < grid.rows && j < grid.cols ? grid.at(i, j) : std::string();
                const auto number = ReadNumber(cell);
                row.push_back(number ? Value::real(*number) : Value::null());
            }
            t.rows.push_back(std::move(row));
        }
        t.columns.push_back(TextColumn("Age class", t.rows, 0));
        for (int j = 1; j < periods; ++j)
            t.columns.push_back({std::to_string(cal[j]) + "-" + std::to_string(cal[j + 1] - 1), FieldType::Double, 0});
    } else if (state.CurrentResult == "Smr") {
        auto db = db::Database::open(state.WorkingCopyName);
        auto rs = db->openRecordset(state.CurrentSMRTable);
        const int values = rs->fieldIndex("Values");
        const int figures = rs->fieldIndex("Figures");
        const int64_t count = rs->recordCount();
        for (int k = 0; k < kSmrExportVariables; ++k) {
            if (!choices[k].exported) continue;
            const SmrVariable& v = kSmrVariables[k];
            if (count < v.row)
                throw VdxError(err::NoCurrentRecord, "No current record: " + state.CurrentSMRTable + " holds " +
                                                         std::to_string(count) + " rows.");
            rs->moveFirst();
            rs->move(v.row - 1);
            const Value stored = rs->value(v.value == SmrValue::Text ? values : figures);
            t.rows.push_back({Value::text(choices[k].name),
                              Value::text(SmrValueText(stored, v.value, state.SmrNullValue))});
        }
        t.columns = {TextColumn("Description", t.rows, 0), TextColumn("Values", t.rows, 1)};
    }
    return t;
}

void ExportShownResult(ProgramState& state, const db::ResultGridText& shownGrid,
                       const SmrExportChoices& choices, int filterIndex, const std::string& chosenPath) {
    const ExportTarget target = ExportTargetFor(filterIndex, chosenPath);
    const ExportTable table = BuildExportTable(state, shownGrid, choices);
    if (table.columns.empty()) return;
    {
        // Rows go straight to the writer; a temporary table that an older
        // export left in the working copy goes.
        auto db = db::Database::open(state.WorkingCopyName);
        if (db->tableExists("_export")) db->execute("DROP TABLE _export;");
    }
    auto writer = MakeTableWriter(target.format, target.path, target.tableName);
    writer->begin(table.columns, table.rows.size());
    for (const auto& row : table.rows) writer->writeRow(row);
    writer->finish();
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
    request.flags = kAskOverwriteNoReadOnly;
    const auto chosen = ui.saveFile(request);
    if (!chosen) return false;
    BusyPointer busy(ui);
    try {
        ExportShownResult(state, shownGrid, ReadSmrExportChoices(settings), chosen->filterIndex, chosen->path);
        return true;
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
    } catch (const std::exception& e) {
        ShowGeneralError(ui, err::EngineGeneral, e.what());
    }
    return false;
}

}  // namespace vdx::exchange
