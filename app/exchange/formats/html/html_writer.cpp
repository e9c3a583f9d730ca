#include "exchange/formats/html/html_writer.h"

namespace vdx::exchange {

std::string HtmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += ch; break;
        }
    }
    return out;
}

void HtmlTableWriter::open(const std::vector<ColumnSpec>& columns) {
    file_ = std::make_unique<AtomicFile>(targetPath());
    const std::string title = HtmlEscaped(tableName());
    buffer_ = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
              "</title>\n<style>td.n { text-align: right; }</style>\n</head>\n<body>\n<table border=\"1\">\n<caption>" +
              title + "</caption>\n<thead>\n<tr>";
    for (const ColumnSpec& c : columns) buffer_ += "<th>" + HtmlEscaped(c.name) + "</th>";
    buffer_ += "</tr>\n</thead>\n<tbody>\n";
}

void HtmlTableWriter::put(const std::vector<Value>& row) {
    buffer_ += "<tr>";
    for (const Value& v : row) {
        buffer_ += v.isNumber() && v.kind() != Value::Kind::Boolean ? "<td class=\"n\">" : "<td>";
        buffer_ += HtmlEscaped(CellText(v));
        buffer_ += "</td>";
    }
    buffer_ += "</tr>\n";
    if (buffer_.size() >= (1u << 20)) {
        file_->write(buffer_);
        buffer_.clear();
    }
}

void HtmlTableWriter::close() {
    buffer_ += "</tbody>\n</table>\n</body>\n</html>\n";
    file_->write(buffer_);
    buffer_.clear();
    file_->commit();
    file_.reset();
}

}  // namespace vdx::exchange
