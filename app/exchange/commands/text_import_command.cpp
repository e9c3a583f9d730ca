#include "exchange/commands/text_import_command.h"

#include <algorithm>
#include <memory>

#include "db/database.h"
#include "db/table_insert.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/formats/text/csv_import.h"
#include "exchange/formats/text/csv_reader.h"
#include "exchange/io/table_copy.h"
#include "state/messages.h"

namespace vdx::exchange {

namespace {

std::vector<std::string> TwoDigitNumbers(int last) {
    std::vector<std::string> out;
    for (int i = 1; i <= last; ++i) out.push_back((i < 10 ? "0" : "") + std::to_string(i));
    return out;
}

bool IsOneOf(const std::string& s, const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

}  // namespace

const std::vector<std::string>& TextImportDays() {
    static const std::vector<std::string> days = TwoDigitNumbers(31);
    return days;
}

const std::vector<std::string>& TextImportMonths() {
    static const std::vector<std::string> months = TwoDigitNumbers(12);
    return months;
}

TextImportForm::TextImportForm(ProgramState& state, Interaction& ui)
    : state_(state), ui_(ui), path_(state.ExternalDatabaseName + state.ExternalFileTitle) {
    BusyPointer busy(ui_);
    if (&FormatOfConnect(state.ExternalConnect) == &FormatNamed("csv")) {
        csvSeparator_ = SampleCsvFile(path_).separator;
        preview_ = PreviewCsvFile(path_, *csvSeparator_);
        options_ = DefaultTextImportOptions(preview_, true);
        csvMemo_.assign(options_.columns.size(), false);
        return;
    }
    preview_ = PreviewTextFile(path_);
    options_ = DefaultTextImportOptions(preview_, false);
}

void TextImportForm::setSeparator(char separator) {
    if (!isCsv() || std::find(std::begin(kCsvSeparators), std::end(kCsvSeparators), separator) == std::end(kCsvSeparators))
        throw VdxError(err::TypeMismatch, "The separator of a CSV file is a comma, a semicolon or a tab.");
    BusyPointer busy(ui_);
    TextPreview preview = PreviewCsvFile(path_, separator);  // may throw: the form stays as it was
    csvSeparator_ = separator;
    preview_ = std::move(preview);
    options_ = DefaultTextImportOptions(preview_, true);
    csvMemo_.assign(options_.columns.size(), false);
    current_ = 1;
    selected_ = {1};
    proposeFromData();
}

const std::vector<std::string>& TextImportForm::dateLayouts() const {
    return isCsv() ? CsvDateLayouts() : kTextDateLayouts;
}

const TextColumn& TextImportForm::column(int c) const {
    if (c < 1 || c > columnCount())
        throw VdxError(err::ItemNotFound, "There is no column " + std::to_string(c) + " in the preview.");
    return options_.columns[static_cast<size_t>(c - 1)];
}

std::vector<std::string> TextImportForm::headerRow() const {
    std::vector<std::string> header(static_cast<size_t>(columnCount()));
    for (size_t c = 0; c < header.size(); ++c) {
        if (!options_.headers)
            header[c] = "Var" + std::to_string(c + 1);
        else if (!preview_.lines.empty() && c < preview_.lines.front().size())
            header[c] = preview_.lines.front()[c];
    }
    return header;
}

void TextImportForm::proposeFromData() {
    BusyPointer busy(ui_);
    proposalNotice_.clear();
    if (isCsv()) {
        CsvImportOptions proposed = ProposeCsvImportOptions(path_, separator());
        if (proposed.text.columns.size() != options_.columns.size()) return;
        proposalNotice_ =
            NotDatesNotice(proposed, preview_.lines.empty() ? std::vector<std::string>{} : preview_.lines.front());
        options_ = std::move(proposed.text);
        csvMemo_ = std::move(proposed.memo);
        return;
    }
    const TextImportOptions proposed = ProposeTextImportOptions(preview_);
    if (proposed.columns.size() == options_.columns.size()) options_ = proposed;
}

std::vector<std::vector<std::string>> TextImportForm::rows() const {
    std::vector<std::vector<std::string>> out;
    const size_t first = options_.headers ? 1 : 0;
    for (size_t i = first; i < preview_.lines.size(); ++i) {
        std::vector<std::string> row = preview_.lines[i];
        row.resize(static_cast<size_t>(columnCount()));
        // A field the line lacks imports as Null: shown empty.
        for (size_t c = 0; c < row.size() && c < preview_.lines[i].size(); ++c)
            if (!(isCsv() && row[c].empty())) row[c] = StoredValueText(row[c], options_.columns[c]);  // CSV: Null
        out.push_back(std::move(row));
    }
    return out;
}

void TextImportForm::clickColumn(int c) {
    column(c);  // a column of the grid
    current_ = c;
    selected_ = {c};
}

void TextImportForm::selectColumns(const std::vector<int>& columns) {
    for (int c : columns) column(c);  // columns of the grid
    if (columns.empty()) return;
    selected_ = columns;
    if (std::find(selected_.begin(), selected_.end(), current_) == selected_.end()) current_ = selected_.front();
}

template <typename Change>
void TextImportForm::changeSelected(Change&& change) {
    for (int c : selected_) change(const_cast<TextColumn&>(column(c)));
}

void TextImportForm::chooseType(const std::string& type) {
    if (!IsOneOf(type, kTextColumnTypes)) throw VdxError(err::TypeMismatch, "There is no column type '" + type + "'.");
    changeSelected([&](TextColumn& col) {
        col.type = type;
        if (type == "Date" && col.dateLayout.empty()) col.dateLayout = kTextDateLayouts.front();
    });
}

void TextImportForm::chooseDateLayout(const std::string& layout) {
    if (!IsOneOf(layout, dateLayouts()))
        throw VdxError(err::TypeMismatch, "There is no date layout '" + layout + "'.");
    changeSelected([&](TextColumn& col) {
        col.dateLayout = layout;
        if (layout == "YYYY") {
            if (col.day.empty()) col.day = TextImportDays().front();
            if (col.month.empty()) col.month = TextImportMonths().front();
        }
    });
}

void TextImportForm::chooseDay(const std::string& day) {
    if (!IsOneOf(day, TextImportDays())) throw VdxError(err::TypeMismatch, "There is no day '" + day + "'.");
    changeSelected([&](TextColumn& col) { col.day = day; });
}

void TextImportForm::chooseMonth(const std::string& month) {
    if (!IsOneOf(month, TextImportMonths())) throw VdxError(err::TypeMismatch, "There is no month '" + month + "'.");
    changeSelected([&](TextColumn& col) { col.month = month; });
}

TextImportForm::Controls TextImportForm::controls() const {
    Controls shown;
    if (columnCount() == 0) {
        shown.type = "Text";
        return shown;
    }
    const TextColumn& col = column(current_);
    shown.type = col.type;
    if (col.type != "Date") return shown;  // the layout, day and month lists are cleared and disabled
    shown.layoutEnabled = true;
    shown.layout = col.dateLayout;
    if (col.dateLayout == "YYYY") {
        shown.dayMonthEnabled = true;
        shown.day = col.day;
        shown.month = col.month;
    }
    return shown;
}

bool TextImportForm::import() {
    const std::string& table = state_.ExternalTableName;
    std::vector<ColumnSpec> columns;
    try {
        BusyPointer busy(ui_);
        db::TableDef def;
        def.name = table;
        const CsvImportOptions csv{separator(), options_, csvMemo_};
        columns = isCsv() ? CsvImportColumns(path_, csv, table) : TextImportColumns(path_, options_, table);
        for (const ColumnSpec& columnSpec : columns) def.fields.push_back(FieldOfColumn(columnSpec));

        // One transaction: a failure anywhere leaves no table behind, and an
        // existing table of that name is never touched.
        auto wc = db::Database::open(state_.WorkingCopyName);
        wc->beginTransaction();
        try {
            db::TableInserter insert(*wc, def);
            auto addRow = [&](const std::vector<Value>& row) {
                insert.add(row);
                return true;
            };
            if (isCsv()) ImportCsvRows(path_, csv, addRow);
            else ImportTextRows(path_, options_, addRow);
            wc->commit();
        } catch (...) {
            wc->rollback();
            throw;
        }
    } catch (const TextConversionError& e) {
        // The numbered message, then the line, the column and its value in words.
        const size_t c = static_cast<size_t>(e.column());
        const std::string name = c >= 1 && c <= columns.size() ? columns[c - 1].name : std::string();
        ui_.message(GeneralErrorText(e.number(), e.description()) + "\r\n\r\n" + e.inWords(name), Buttons::Ok,
                    Icon::Critical, "Error");
        return false;
    } catch (const VdxError& e) {
        std::string text;
        if (e.number() == err::TableExists) text = "Table " + table + " already exist!";
        else if (e.number() == err::NotExpectedFormat) text = WrongFormatText(table, e.description());
        else text = GeneralErrorText(e.number(), e.description());
        ui_.message(text, Buttons::Ok, Icon::Critical, "Error");
        return false;
    }
    state_.TextImportDone = true;
    return true;
}

void TextImportForm::cancel() { state_.TextImportDone = false; }

}  // namespace vdx::exchange
