#include "exchange/formats/text/csv_writer.h"

#include "exchange/io/text_encoding.h"

namespace vdx::exchange {

void AppendCsvField(std::string& record, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        record += text;
        return;
    }
    record += '"';
    for (char ch : text) {
        if (ch == '"') record += '"';
        record += ch;
    }
    record += '"';
}

void CsvTableWriter::open(const std::vector<ColumnSpec>& columns) {
    file_ = std::make_unique<AtomicFile>(targetPath());
    for (size_t c = 0; c < columns.size(); ++c) {
        if (c) buffer_ += ',';
        AppendCsvField(buffer_, columns[c].name);
    }
    buffer_ += "\r\n";
}

void CsvTableWriter::put(const std::vector<Value>& row) {
    for (size_t c = 0; c < row.size(); ++c) {
        if (c) buffer_ += ',';
        const Value& v = row[c];
        switch (v.kind()) {
            case Value::Kind::Null: break;
            case Value::Kind::Date: buffer_ += IsoDateText(v.asDouble()); break;
            case Value::Kind::Double: {
                char text[kNumberChars];
                buffer_.append(text, ExactNumberChars(v.asDouble(), text, 32));
                break;
            }
            case Value::Kind::Text:
                if (!IsValidUtf8(v.asText()))
                    ThrowCannotHold(rowsWritten() + 1, columns()[c].name, "the text is not valid UTF-8.");
                AppendCsvField(buffer_, v.asText());
                break;
            default: buffer_ += CellText(v); break;
        }
    }
    buffer_ += "\r\n";
    if (buffer_.size() >= (1u << 20)) {
        file_->write(buffer_);
        buffer_.clear();
    }
}

void CsvTableWriter::close() {
    file_->write(buffer_);
    buffer_.clear();
    file_->commit();
    file_.reset();
}

}  // namespace vdx::exchange
