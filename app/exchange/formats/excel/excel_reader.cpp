#include "exchange/formats/excel/excel_reader.h"

#include <freexl.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "exchange/io/isolated_process.h"
#include "exchange/io/reader_support.h"
#include "state/errors.h"
#include "state/names.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

enum Kind : unsigned { kNumber = 1, kDate = 2, kText = 4, kBoolean = 8 };

unsigned KindOf(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Integer:
        case Value::Kind::Double: return kNumber;
        case Value::Kind::Date: return kDate;
        case Value::Kind::Text: return kText;
        case Value::Kind::Boolean: return kBoolean;
        case Value::Kind::Null: return 0;
    }
    return 0;
}

bool IsEmptyCell(const Value& v) { return v.isNull() || (v.kind() == Value::Kind::Text && v.asText().empty()); }

std::string AsText(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Text: return v.asText();
        case Value::Kind::Integer:
        case Value::Kind::Double: return NumberText(v.asDouble());
        case Value::Kind::Date: return FormatDate(v.asDouble());
        case Value::Kind::Boolean: return BooleanText(v.asBool());
        case Value::Kind::Null: return {};
    }
    return {};
}

// "2001-02-03", "2001-02-03 04:05:06" or "04:05:06" as FreeXL gives dates.
std::optional<double> FreeXlDate(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    double day = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) >= 3) {
        if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return std::nullopt;
        day = DayNumber(y, mo, d);
    } else if (std::sscanf(text.c_str(), "%d:%d:%d", &h, &mi, &s) != 3) {
        return std::nullopt;
    }
    day += (h * 3600 + mi * 60 + s) / 86400.0;
    if (!IsDayNumberInRange(day)) return std::nullopt;
    return day;
}

std::string SheetOf(const std::string& table) {
    return !table.empty() && table.back() == '$' ? table.substr(0, table.size() - 1) : table;
}

}  // namespace

void SheetLayout::add(const SheetCell& c) {
    if (IsEmptyCell(c.value)) return;
    if (!any_) {
        any_ = true;
        headerRow_ = c.row;
        first_ = last_ = c.column;
    }
    lastRow_ = c.row;
    first_ = std::min(first_, c.column);
    last_ = std::max(last_, c.column);
    if (c.column >= kinds_.size()) {
        names_.resize(c.column + size_t{1});
        kinds_.resize(c.column + size_t{1}, 0);
        longest_.resize(c.column + size_t{1}, 0);
    }
    if (c.row == headerRow_) {
        names_[c.column] = AsText(c.value);
        return;
    }
    kinds_[c.column] |= KindOf(c.value);
    // Only a text can be longer than 255 characters (numbers, dates and
    // booleans written as text are short): a column is Memo by its texts.
    if (c.value.kind() == Value::Kind::Text && c.value.asText().size() > longest_[c.column])
        longest_[c.column] = std::max(longest_[c.column], Utf8Length(c.value.asText()));
}

SheetTable SheetLayout::finish(const std::string& tableName) const {
    if (!any_) ThrowWrongFormat(tableName, "the sheet is empty: it has no row with column names");
    SheetTable table;
    table.headerRow = headerRow_;
    table.lastRow = lastRow_;
    table.firstColumn = first_;
    for (size_t column = first_; column <= last_; ++column) {
        ColumnSpec columnSpec;
        columnSpec.name = names_[column];
        switch (kinds_[column]) {
            case kNumber: columnSpec.type = FieldType::Double; break;
            case kDate: columnSpec.type = FieldType::Date; break;
            case kBoolean: columnSpec.type = FieldType::Boolean; break;
            default:
                // Text, an empty column or a mix: text, long texts as memo.
                if (longest_[column] > 255) columnSpec.type = FieldType::Memo;
                else { columnSpec.type = FieldType::Text; columnSpec.size = 255; }
                break;
        }
        table.columns.push_back(std::move(columnSpec));
    }
    CheckColumnNames(table.columns, tableName);
    return table;
}

SheetRowStream::SheetRowStream(const SheetTable& layout, const RowCallback& onRow, ReadProgress* progress)
    : layout_(layout), onRow_(onRow), ticker_(progress, layout.lastRow - layout.headerRow, 1024),
      row_(layout.columns.size()), current_(layout.headerRow + 1) {}

bool SheetRowStream::emitUpTo(uint32_t row) {
    for (; current_ < row; ++current_) {
        if (!onRow_(row_) || !ticker_.tick(current_ - layout_.headerRow)) {
            stopped_ = true;
            return false;
        }
        std::fill(row_.begin(), row_.end(), Value());
    }
    return true;
}

bool SheetRowStream::add(const SheetCell& c) {
    if (stopped_) return false;
    if (c.row <= layout_.headerRow || c.row > layout_.lastRow || IsEmptyCell(c.value)) return true;
    if (!emitUpTo(c.row)) return false;
    const size_t i = c.column - layout_.firstColumn;
    if (c.column < layout_.firstColumn || i >= row_.size()) return true;
    switch (layout_.columns[i].type) {
        case FieldType::Text:
        case FieldType::Memo: row_[i] = Value::text(AsText(c.value)); break;
        default: row_[i] = c.value; break;
    }
    return true;
}

void SheetRowStream::finish() {
    if (stopped_) return;
    if (layout_.lastRow > layout_.headerRow && !emitUpTo(layout_.lastRow + 1)) return;
    ticker_.finish();
}

SheetTable BuildSheetTable(std::vector<SheetCell> cells, const std::string& tableName) {
    SheetLayout layout;
    for (const SheetCell& c : cells) layout.add(c);
    SheetTable table = layout.finish(tableName);
    table.cells = std::move(cells);
    return table;
}

void EmitSheetRows(const SheetTable& table, const RowCallback& onRow, ReadProgress* progress) {
    SheetRowStream rows(table, onRow, progress);
    for (const SheetCell& c : table.cells)
        if (!rows.add(c)) return;
    rows.finish();
}

namespace {

FreeXlWorkbook ReadWithFreeXlHere(const std::string& path) {
    const void* handle = nullptr;
    int rc = freexl_open(path.c_str(), &handle);
    if (rc != FREEXL_OK) {
        if (handle) freexl_close(handle);
        ThrowWrongFormat(FileNameOf(path), "FreeXL cannot read it (error " + std::to_string(rc) + ")");
    }
    struct Closer {
        const void* h;
        ~Closer() { freexl_close(h); }
    } closer{handle};

    FreeXlWorkbook book;
    unsigned int info = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_VERSION, &info) == FREEXL_OK) book.biffVersion = static_cast<int>(info);
    unsigned int sheetCount = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK || sheetCount == 0)
        ThrowWrongFormat(FileNameOf(path), "FreeXL finds no sheets in it");
    for (unsigned short s = 0; s < sheetCount; ++s) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle, s, &name) != FREEXL_OK || freexl_select_active_worksheet(handle, s) != FREEXL_OK)
            ThrowWrongFormat(FileNameOf(path), "FreeXL cannot read sheet " + std::to_string(s + 1));
        book.sheetNames.emplace_back(name ? name : "");
        unsigned int rows = 0;
        unsigned short columns = 0;
        freexl_worksheet_dimensions(handle, &rows, &columns);
        std::vector<SheetCell> cells;
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue cell;
                if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) continue;
                Value v;
                switch (cell.type) {
                    case FREEXL_CELL_INT: v = Value::real(cell.value.int_value); break;
                    case FREEXL_CELL_DOUBLE: v = Value::real(cell.value.double_value); break;
                    case FREEXL_CELL_TEXT:
                    case FREEXL_CELL_SST_TEXT: v = Value::text(cell.value.text_value ? cell.value.text_value : ""); break;
                    case FREEXL_CELL_DATE:
                    case FREEXL_CELL_DATETIME:
                    case FREEXL_CELL_TIME: {
                        std::optional<double> day = FreeXlDate(cell.value.text_value ? cell.value.text_value : "");
                        if (day) v = Value::date(*day);
                        break;
                    }
                    default: continue;
                }
                if (!v.isNull()) cells.push_back({r, c, std::move(v)});
            }
        }
        book.sheets.push_back(std::move(cells));
    }
    return book;
}

}  // namespace

FreeXlWorkbook ReadWithFreeXl(const std::string& path) {
    // FreeXL reads damaged files past its buffers (found by fuzzing): it runs
    // in a child process, which sends the workbook sheet by sheet.
    FreeXlWorkbook book;
    RunIsolated(
        FileNameOf(path),
        [&](MessageSender& out) {
            FreeXlWorkbook read = ReadWithFreeXlHere(path);
            MessageWriter m;
            for (size_t i = 0; i < read.sheets.size(); ++i) {
                m.clear();
                m.put<int32_t>(read.biffVersion).text(read.sheetNames[i]).put<uint32_t>(static_cast<uint32_t>(read.sheets[i].size()));
                for (const SheetCell& c : read.sheets[i]) m.put(c.row).put(c.column).value(c.value);
                out.send(m);
            }
        },
        [&](MessageReader& in) {
            book.biffVersion = in.get<int32_t>();
            book.sheetNames.push_back(in.text());
            std::vector<SheetCell> cells(in.get<uint32_t>());
            for (SheetCell& c : cells) {
                c.row = in.get<uint32_t>();
                c.column = in.get<uint16_t>();
                c.value = in.value();
            }
            book.sheets.push_back(std::move(cells));
            return true;
        });
    return book;
}

ExcelReader::ExcelReader(std::string path) : path_(std::move(path)) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec)) throw VdxError(err::FileNotFound, "File not found: " + path_);
    // Excel 2.1 to 4.0 files hold one sheet, which Excel names after the file.
    const std::string singleSheet = StemOf(FileNameOf(path_));
    try {
        biff_ = std::make_unique<BiffWorkbook>(BiffWorkbook::FromFile(path_, singleSheet));
        sheetNames_ = biff_->sheetNames();
    } catch (const BiffRefusedError&) {
        throw;  // protected or damaged: FreeXL would only read less of it
    } catch (const VdxError& ours) {
        if (ours.number() != err::NotExpectedFormat) throw;
        try {
            freexl_ = std::make_unique<FreeXlWorkbook>(ReadWithFreeXl(path_));
        } catch (const VdxError&) {
            throw ours;  // neither can read it: our reader says why
        }
        sheetNames_ = freexl_->sheetNames;
        if (freexl_->biffVersion <= 4 && sheetNames_.size() == 1) sheetNames_[0] = singleSheet;
    }
}

int ExcelReader::biffVersion() const { return biff_ ? biff_->version() : freexl_->biffVersion; }

std::vector<std::string> ExcelReader::tableNames() {
    std::vector<std::string> names;
    for (const std::string& s : sheetNames_) names.push_back(s + "$");
    return names;
}

size_t ExcelReader::sheetIndex(const std::string& table) const {
    const std::string sheet = SheetOf(table);
    for (size_t i = 0; i < sheetNames_.size(); ++i)
        if (SameName(sheetNames_[i], sheet)) return i;
    ThrowTableNotFound(table);
}

SheetTable ExcelReader::sheetTable(const std::string& table) {
    size_t index = sheetIndex(table);
    std::vector<SheetCell> cells = biff_ ? biff_->sheetCells(index) : freexl_->sheets[index];
    return BuildSheetTable(std::move(cells), sheetNames_[index] + "$");
}

std::vector<ColumnSpec> ExcelReader::columns(const std::string& table) { return sheetTable(table).columns; }

void ExcelReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    EmitSheetRows(sheetTable(table), onRow, progress);
}

}  // namespace vdx::exchange
