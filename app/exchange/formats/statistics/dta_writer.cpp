#include "exchange/formats/statistics/dta_writer.h"

#include <cmath>
#include <exception>
#include <set>

#include <readstat.h>

#include "exchange/io/text_encoding.h"

#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

constexpr size_t kMaxNameBytes = 32;
constexpr size_t kMaxLabelBytes = 80;
constexpr size_t kMaxStrBytes = 2045;  // str2045; longer texts are strL
constexpr int64_t kMinLong = -2147483647;
constexpr int64_t kMaxLong = 2147483620;  // the values above are missing codes
constexpr double kMaxDouble = 8.9884656743115795e307;
constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

bool IsReserved(const std::string& name) {
    static const std::set<std::string> words{"_all", "_b",   "byte",  "_coef", "_cons", "double", "float",
                                             "if",   "in",   "int",   "long",  "_n",    "_N",     "_pi",
                                             "_pred", "_rc", "_skip", "strL",  "using", "with"};
    if (words.count(name)) return true;
    // str1, str2, ... name storage types.
    return name.size() > 3 && name.compare(0, 3, "str") == 0 &&
           name.find_first_not_of("0123456789", 3) == std::string::npos;
}

// At most `bytes` bytes, not cutting a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

double StataDays(double dayNumber) { return dayNumber - DayNumber(1960, 1, 1); }

}  // namespace

std::vector<std::string> StataVariableNames(const std::vector<ColumnSpec>& columns) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const ColumnSpec& column : columns) {
        std::string name;
        for (size_t i = 0; i < column.name.size(); ++i) {
            const auto ch = static_cast<unsigned char>(column.name[i]);
            if ((ch & 0xC0) == 0x80) continue;  // the rest of a UTF-8 character: one "_" for it
            name += std::isalnum(ch) && ch < 0x80 ? static_cast<char>(ch) : '_';
        }
        if (name.empty()) name = "var";
        if (std::isdigit(static_cast<unsigned char>(name[0]))) name.insert(0, 1, '_');
        name = name.substr(0, kMaxNameBytes);
        if (IsReserved(name)) name = name.substr(0, kMaxNameBytes - 1) + "_";
        std::string unique = name;
        for (int n = 2; taken.count(unique); ++n) {
            const std::string suffix = "_" + std::to_string(n);
            unique = name.substr(0, kMaxNameBytes - suffix.size()) + suffix;
        }
        taken.insert(unique);
        names.push_back(unique);
    }
    return names;
}

void DtaTableWriter::abandon() { file_.reset(); }

void DtaTableWriter::open(const std::vector<ColumnSpec>& columns) {
    file_ = std::make_unique<AtomicFile>(targetPath());
    layout_.assign(columns.size(), Column{});
    for (size_t c = 0; c < columns.size(); ++c) {
        switch (columns[c].type) {
            case FieldType::Text:
            case FieldType::Memo: layout_[c].storage = Storage::String; break;
            case FieldType::Boolean: layout_[c].storage = Storage::Byte; break;
            case FieldType::Integer:
            case FieldType::Long: layout_[c].storage = Storage::Long; break;
            case FieldType::Single:
            case FieldType::Double: layout_[c].storage = Storage::Double; break;
            case FieldType::Date: layout_[c].storage = Storage::Day; break;
        }
    }
}

void DtaTableWriter::put(const std::vector<Value>& row) {
    const uint64_t rowNumber = rowsWritten() + 1;
    for (size_t c = 0; c < row.size(); ++c) {
        const Value& v = row[c];
        Column& column = layout_[c];
        const std::string& name = columns()[c].name;
        if (column.storage == Storage::String) {
            if (v.kind() == Value::Kind::Text && !IsValidUtf8(v.asText()))
                ThrowCannotHold(rowNumber, name, "the text is not valid UTF-8.");
            column.width = std::max(column.width, v.kind() == Value::Kind::Text ? v.asText().size() : CellText(v).size());
            continue;
        }
        if (v.isNull()) continue;
        switch (column.storage) {
            case Storage::Byte:
                if (v.kind() != Value::Kind::Boolean) ThrowCannotHold(rowNumber, name, "a Yes/No column holds only Yes and No.");
                break;
            case Storage::Day:
            case Storage::Millisecond:
                if (v.kind() != Value::Kind::Date) ThrowCannotHold(rowNumber, name, "a date column holds only dates.");
                if (v.asDouble() != std::floor(v.asDouble())) column.hasTime = true;
                break;
            default:
                if (!v.isNumber()) ThrowCannotHold(rowNumber, name, "a numeric column holds only numbers.");
                if (std::fabs(v.asDouble()) > kMaxDouble)
                    ThrowCannotHold(rowNumber, name, "Stata holds numbers only up to 8.988e+307.");
                if (v.kind() == Value::Kind::Integer && std::fabs(v.asDouble()) > kExactIntegerLimit)
                    ThrowCannotHold(rowNumber, name, "a Stata double holds whole numbers only up to 2^53 exactly.");
                if (v.kind() == Value::Kind::Double ? v.asDouble() != std::floor(v.asDouble()) ||
                                                          v.asDouble() < kMinLong || v.asDouble() > kMaxLong
                                                    : v.asInteger() < kMinLong || v.asInteger() > kMaxLong)
                    column.fitsLong = false;
                break;
        }
    }
    rows_.append(row);
}

// What readstat's callbacks need: the file, and the first failure of a write.
struct DtaOutput {
    AtomicFile* file;
    std::exception_ptr failure;
    static ssize_t Write(const void* data, size_t length, void* context) {
        auto* out = static_cast<DtaOutput*>(context);
        try {
            out->file->write(std::string_view(static_cast<const char*>(data), length));
        } catch (...) {
            out->failure = std::current_exception();
            return -1;
        }
        return static_cast<ssize_t>(length);
    }
};

void DtaTableWriter::close() {
    struct Writer {
        readstat_writer_t* w = readstat_writer_init();
        ~Writer() { readstat_writer_free(w); }
    } writer;
    if (!writer.w) throw std::bad_alloc();
    DtaOutput output{file_.get(), nullptr};
    uint64_t rowNumber = 0;
    // A readstat failure: the failed file write, or the value it refused.
    auto check = [&](readstat_error_t error, size_t column) {
        if (error == READSTAT_OK) return;
        if (output.failure) std::rethrow_exception(output.failure);
        if (rowNumber == 0) throw VdxError(err::PathAccess, std::string("Stata file: ") + readstat_error_message(error));
        ThrowCannotHold(rowNumber, columns()[column].name, std::string("Stata: ") + readstat_error_message(error) + ".");
    };
    readstat_set_data_writer(writer.w, &DtaOutput::Write);
    check(readstat_writer_set_file_format_version(writer.w, 118), 0);
    check(readstat_writer_set_file_label(writer.w, CutUtf8(tableName(), kMaxLabelBytes).c_str()), 0);

    const std::vector<std::string> names = StataVariableNames(columns());
    std::vector<readstat_variable_t*> variables;
    for (size_t c = 0; c < layout_.size(); ++c) {
        Column& column = layout_[c];
        if (column.storage == Storage::Long && !column.fitsLong) column.storage = Storage::Double;
        if (column.storage == Storage::Day && column.hasTime) column.storage = Storage::Millisecond;
        readstat_variable_t* variable = nullptr;
        switch (column.storage) {
            case Storage::String:
                variable = column.width > kMaxStrBytes
                               ? readstat_add_variable(writer.w, names[c].c_str(), READSTAT_TYPE_STRING_REF, 0)
                               : readstat_add_variable(writer.w, names[c].c_str(), READSTAT_TYPE_STRING, column.width);
                break;
            case Storage::Byte: variable = readstat_add_variable(writer.w, names[c].c_str(), READSTAT_TYPE_INT8, 0); break;
            case Storage::Long: variable = readstat_add_variable(writer.w, names[c].c_str(), READSTAT_TYPE_INT32, 0); break;
            default: variable = readstat_add_variable(writer.w, names[c].c_str(), READSTAT_TYPE_DOUBLE, 0); break;
        }
        if (!variable) throw std::bad_alloc();
        readstat_variable_set_label(variable, CutUtf8(columns()[c].name, kMaxLabelBytes).c_str());
        if (column.storage == Storage::Day) readstat_variable_set_format(variable, "%td");
        if (column.storage == Storage::Millisecond) readstat_variable_set_format(variable, "%tc");
        variables.push_back(variable);
    }

    // strL texts must all be known to the writer before it begins: the
    // references, in the order the cells come.
    std::vector<readstat_string_ref_t*> refs;
    bool anyStrL = false;
    for (const Column& column : layout_) anyStrL = anyStrL || (column.storage == Storage::String && column.width > kMaxStrBytes);
    if (anyStrL) {
        rows_.forEach(layout_.size(), [&](const std::vector<Value>& row) {
            for (size_t c = 0; c < row.size(); ++c) {
                if (layout_[c].storage != Storage::String || layout_[c].width <= kMaxStrBytes) continue;
                const Value& v = row[c];
                readstat_string_ref_t* ref =
                    readstat_add_string_ref(writer.w, (v.kind() == Value::Kind::Text ? v.asText() : CellText(v)).c_str());
                if (!ref) throw std::bad_alloc();
                refs.push_back(ref);
            }
        });
    }
    size_t nextRef = 0;

    check(readstat_begin_writing_dta(writer.w, &output, static_cast<long>(rows_.rows())), 0);
    std::string text;
    rows_.forEach(layout_.size(), [&](const std::vector<Value>& row) {
        ++rowNumber;
        check(readstat_begin_row(writer.w), 0);
        for (size_t c = 0; c < row.size(); ++c) {
            const Value& v = row[c];
            readstat_variable_t* variable = variables[c];
            switch (layout_[c].storage) {
                case Storage::String: {
                    if (layout_[c].width > kMaxStrBytes) {
                        check(readstat_insert_string_ref(writer.w, variable, refs[nextRef++]), c);
                    } else {
                        text = v.kind() == Value::Kind::Text ? v.asText() : CellText(v);
                        check(readstat_insert_string_value(writer.w, variable, text.c_str()), c);
                    }
                    continue;
                }
                default: break;
            }
            if (v.isNull()) {
                check(readstat_insert_missing_value(writer.w, variable), c);
                continue;
            }
            switch (layout_[c].storage) {
                case Storage::Byte: check(readstat_insert_int8_value(writer.w, variable, v.asBool() ? 1 : 0), c); break;
                case Storage::Long:
                    check(readstat_insert_int32_value(writer.w, variable, static_cast<int32_t>(v.asDouble())), c);
                    break;
                case Storage::Day: check(readstat_insert_double_value(writer.w, variable, StataDays(v.asDouble())), c); break;
                case Storage::Millisecond:
                    check(readstat_insert_double_value(writer.w, variable, StataDays(v.asDouble()) * 86400000.0), c);
                    break;
                default: check(readstat_insert_double_value(writer.w, variable, v.asDouble()), c); break;
            }
        }
        check(readstat_end_row(writer.w), 0);
    });
    rowNumber = 0;
    check(readstat_end_writing(writer.w), 0);
    file_->commit();
    file_.reset();
}

}  // namespace vdx::exchange
