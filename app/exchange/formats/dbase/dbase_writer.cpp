#include "exchange/formats/dbase/dbase_writer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>
#include <cstring>
#include <ctime>

#include "state/text_values.h"

namespace vdx::exchange {

namespace {
constexpr size_t kMaxCharacterWidth = 254;
constexpr size_t kMaxDecimals = 15;

// The exact text of a number value (fixed notation when it is at most 64
// characters long); 0 characters for infinities and NaN.
size_t NumberChars(const Value& v, char* text) {
    if (v.kind() == Value::Kind::Integer) {
        auto [end, ec] = std::to_chars(text, text + kNumberChars, v.asInteger());
        return static_cast<size_t>(end - text);
    }
    return std::isfinite(v.asDouble()) ? ExactNumberChars(v.asDouble(), text, 64) : 0;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

std::vector<std::string> DBaseFieldNames(const std::vector<ColumnSpec>& columns) {
    std::vector<std::string> names;
    std::vector<std::string> taken;  // upper case
    for (const ColumnSpec& column : columns) {
        std::string base;
        for (unsigned char ch : column.name) {
            if ((ch & 0xC0) == 0x80) continue;  // rest of a UTF-8 character
            base += std::isalnum(ch) && ch < 0x80 ? static_cast<char>(ch) : '_';
        }
        if (base.empty()) base = "FIELD";
        std::string name = base.substr(0, 10);
        for (int n = 2; std::find(taken.begin(), taken.end(), Upper(name)) != taken.end(); ++n) {
            std::string suffix = "_" + std::to_string(n);
            name = base.substr(0, 10 - suffix.size()) + suffix;
        }
        taken.push_back(Upper(name));
        names.push_back(name);
    }
    return names;
}

void DBaseTableWriter::open(const std::vector<ColumnSpec>& columns) {
    fields_.assign(columns.size(), Field{});
    for (size_t c = 0; c < columns.size(); ++c) {
        switch (columns[c].type) {
            case FieldType::Boolean: fields_[c].type = 'L'; break;
            case FieldType::Date: fields_[c].type = 'D'; break;
            case FieldType::Integer:
            case FieldType::Long:
            case FieldType::Single:
            case FieldType::Double: fields_[c].type = 'N'; break;
            default: fields_[c].type = 'C'; break;
        }
    }
}

void DBaseTableWriter::put(const std::vector<Value>& row) {
    const uint64_t rowNumber = rowsWritten() + 1;
    for (size_t c = 0; c < row.size(); ++c) {
        const Value& v = row[c];
        Field& f = fields_[c];
        if (v.isNull()) continue;
        const std::string& column = columns()[c].name;
        switch (f.type) {
            case 'C': {
                std::optional<std::string> bytes =
                    Utf8ToWindows1252(v.kind() == Value::Kind::Text ? v.asText() : CellText(v));
                if (!bytes) ThrowCannotHold(rowNumber, column, "the text has a character that dBase files (Windows-1252) cannot hold.");
                if (bytes->size() > kMaxCharacterWidth)
                    ThrowCannotHold(rowNumber, column, "a dBase character field holds at most 254 characters.");
                f.width = std::max(f.width, bytes->size());
                break;
            }
            case 'N': {
                if (!v.isNumber() || v.kind() == Value::Kind::Boolean)
                    ThrowCannotHold(rowNumber, column, "the value is not a number.");
                char text[kNumberChars];
                size_t length = NumberChars(v, text);
                std::string_view t(text, length);
                size_t point = t.find('.');
                if (length == 0 || t.find('e') != std::string_view::npos)
                    ThrowCannotHold(rowNumber, column, "the number does not fit a dBase numeric field.");
                f.intChars = std::max(f.intChars, point == std::string_view::npos ? length : point);
                if (point != std::string_view::npos) f.decimals = std::max(f.decimals, length - point - 1);
                break;
            }
            case 'D':
                if (v.kind() != Value::Kind::Date || !IsDayNumberInRange(v.asDouble()))
                    ThrowCannotHold(rowNumber, column, "the value is not a date of the years 100 to 9999.");
                break;
            case 'L':
                if (v.kind() != Value::Kind::Boolean) ThrowCannotHold(rowNumber, column, "the value is not True or False.");
                break;
        }
    }
    const size_t maxNumeric = version_ == 3 ? 19 : 20;
    for (size_t c = 0; c < fields_.size(); ++c) {
        Field& f = fields_[c];
        if (f.type != 'N') continue;
        f.width = f.intChars + (f.decimals ? f.decimals + 1 : 0);
        if (f.width > maxNumeric || f.decimals > kMaxDecimals)
            ThrowCannotHold(rowNumber, columns()[c].name,
                            "the number needs " + std::to_string(f.width) + " characters with " +
                                std::to_string(f.decimals) + " decimals; a dBase numeric field holds " +
                                std::to_string(maxNumeric) + " with at most 15 decimals.");
    }
    spool_.append(row);
}

void DBaseTableWriter::close() {
    const std::vector<std::string> names = DBaseFieldNames(columns());
    for (Field& f : fields_) {
        if (f.type == 'D') f.width = 8;
        if (f.type == 'L') f.width = 1;
    }
    size_t recordLength = 1;
    for (const Field& f : fields_) recordLength += f.width;
    const size_t headerLength = 32 + 32 * fields_.size() + 1;
    if (recordLength > 65535 || headerLength > 65535 || spool_.rows() > 0xFFFFFFFFull)
        throw VdxError(err::PathAccess, "The table is too large for a dBase file. Nothing was written.");

    std::string header(32, '\0');
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    header[0] = 0x03;  // dBase file without memo
    header[1] = static_cast<char>(local.tm_year);
    header[2] = static_cast<char>(local.tm_mon + 1);
    header[3] = static_cast<char>(local.tm_mday);
    const auto records = static_cast<uint32_t>(spool_.rows());
    for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<char>((records >> (8 * i)) & 0xFF);
    header[8] = static_cast<char>(headerLength & 0xFF);
    header[9] = static_cast<char>(headerLength >> 8);
    header[10] = static_cast<char>(recordLength & 0xFF);
    header[11] = static_cast<char>(recordLength >> 8);
    header[29] = 0x03;  // language driver: Windows ANSI, code page 1252
    for (size_t c = 0; c < fields_.size(); ++c) {
        std::string d(32, '\0');
        std::memcpy(d.data(), names[c].data(), names[c].size());
        d[11] = fields_[c].type;
        d[16] = static_cast<char>(fields_[c].width);
        d[17] = static_cast<char>(fields_[c].decimals);
        header += d;
    }
    header += '\x0D';

    AtomicFile file(targetPath());
    file.write(header);
    std::string out;
    out.reserve(1u << 20);
    std::string record(recordLength, ' ');
    spool_.forEach(fields_.size(), [&](const std::vector<Value>& row) {
        std::fill(record.begin(), record.end(), ' ');
        size_t offset = 1;
        for (size_t c = 0; c < row.size(); ++c) {
            const Field& f = fields_[c];
            const Value& v = row[c];
            char* cell = record.data() + offset;
            offset += f.width;
            if (v.isNull()) {
                if (f.type == 'L') cell[0] = '?';
                continue;
            }
            switch (f.type) {
                case 'C': {
                    // Checked when the row came in.
                    std::string bytes = Utf8ToWindows1252(v.kind() == Value::Kind::Text ? v.asText() : CellText(v)).value_or("");
                    std::memcpy(cell, bytes.data(), std::min(bytes.size(), f.width));
                    break;
                }
                case 'L': cell[0] = v.asBool() ? 'T' : 'F'; break;
                case 'D': DateDigits(v.asDouble(), false, cell); break;
                case 'N': {
                    char text[kNumberChars + 32];
                    size_t length = NumberChars(v, text);
                    if (f.decimals) {
                        size_t point = std::string_view(text, length).find('.');
                        size_t have = point == std::string_view::npos ? 0 : length - point - 1;
                        if (point == std::string_view::npos) text[length++] = '.';
                        std::memset(text + length, '0', f.decimals - have);
                        length += f.decimals - have;
                    }
                    std::memcpy(cell + (f.width - length), text, length);
                    break;
                }
            }
        }
        out += record;
        if (out.size() >= (1u << 20)) {
            file.write(out);
            out.clear();
        }
    });
    out += '\x1A';
    file.write(out);
    file.commit();
}

}  // namespace vdx::exchange
