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

ExportTarget ExportTargetFor(int filterIndex, const std::string& chosenPath) {
    const auto formats = ExportFormats();
    if (filterIndex < 1 || filterIndex > static_cast<int>(formats.size()))
        throw VdxError(kInstallableIsamNotFound, "Could not find installable ISAM.");
    const FileFormat& f = *formats[static_cast<size_t>(filterIndex) - 1];
    if (!f.writer)
        throw VdxError(kInstallableIsamNotFound,
                       std::string("Tables cannot be saved as ") + f.exportCaption +
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
                                             f.exportPattern() + ").");
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
    auto writer = MakeTableWriter(target.format, target.path, target.tableName);
    writer->begin(columns, rowCount, progress.get());
    std::vector<Value> row;
    while (next(row))
        if (!writer->writeRow(row)) return false;  // the writer abandons the file
    writer->finish();
    return true;
}

bool ExportShownResult(ProgramState& state, Interaction& ui, const db::ResultGridText& shownGrid,
                       const SmrExportChoices& choices, int filterIndex, const std::string& chosenPath) {
    const ExportTarget target = ExportTargetFor(filterIndex, chosenPath);
    const ExportTable table = BuildExportTable(state, shownGrid, choices);
    if (table.columns.empty()) return false;
    {
        // Rows go straight to the writer; a temporary table that an older
        // export left in the working copy goes.
        auto db = db::Database::open(state.WorkingCopyName);
        if (db->tableExists("_export")) db->execute("DROP TABLE _export;");
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
    request.flags = kAskOverwriteNoReadOnly;
    const auto chosen = ui.saveFile(request);
    if (!chosen) return false;
    BusyPointer busy(ui);
    return ShowingErrors(ui, [&] {
        return ExportShownResult(state, ui, shownGrid, ReadSmrExportChoices(settings), chosen->filterIndex,
                                 chosen->path);
    });
}

}  // namespace vdx::exchange
