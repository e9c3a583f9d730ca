#include "exchange/formats/text/text_writer.h"

#include "state/text_values.h"

namespace vdx::exchange {

void TextTableWriter::field(const std::string& text, const std::string& column, uint64_t row) {
    if (text.find_first_of(";\r\n") != std::string::npos)
        ThrowCannotHold(row, column, "a text holding \";\" or a line break cannot be written to a semicolon-separated file.");
    if (!text.empty() && text.front() == '"') {
        buffer_ += '"';
        buffer_ += text;
        buffer_ += '"';
    } else {
        buffer_ += text;
    }
}

void TextTableWriter::flushIfFull() {
    if (buffer_.size() >= (1u << 20)) {
        file_->write(buffer_);
        buffer_.clear();
    }
}

void TextTableWriter::open(const std::vector<ColumnSpec>& columns) {
    file_ = std::make_unique<AtomicFile>(targetPath());
    for (size_t c = 0; c < columns.size(); ++c) {
        if (c) buffer_ += ';';
        field(columns[c].name, columns[c].name, 0);
    }
    buffer_ += "\r\n";
}

void TextTableWriter::put(const std::vector<Value>& row) {
    const uint64_t rowNumber = rowsWritten() + 1;
    for (size_t c = 0; c < row.size(); ++c) {
        if (c) buffer_ += ';';
        const Value& v = row[c];
        switch (v.kind()) {
            case Value::Kind::Null: break;
            case Value::Kind::Date: {
                char digits[8];
                DateDigits(v.asDouble(), true, digits);
                buffer_.append(digits, 8);
                break;
            }
            case Value::Kind::Double: {
                char text[kNumberChars];
                buffer_.append(text, ExactNumberChars(v.asDouble(), text, 32));
                break;
            }
            case Value::Kind::Text: field(v.asText(), columns()[c].name, rowNumber); break;
            default: buffer_ += CellText(v); break;
        }
    }
    buffer_ += "\r\n";
    flushIfFull();
}

void TextTableWriter::close() {
    file_->write(buffer_);
    buffer_.clear();
    file_->commit();
    file_.reset();
}

}  // namespace vdx::exchange
