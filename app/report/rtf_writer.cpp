#include "report/rtf_writer.h"

#include <algorithm>

namespace vdx::rtf {

namespace {

// Decodes one UTF-8 sequence at text[i]; a malformed byte is taken as
// U+FFFD so that a stray byte never breaks the file.
char32_t NextCodePoint(const std::string& text, size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = b0 >= 0xF0 && b0 < 0xF8 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
    if (extra < 0 || i + extra >= text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = b0 & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += extra + 1;
    return cp;
}

void AppendUnicodeUnit(std::string& out, unsigned unit) {
    // RTF takes \uN with N a signed 16-bit number; '?' is what readers
    // without Unicode show instead.
    const int n = unit > 0x7FFF ? static_cast<int>(unit) - 0x10000 : static_cast<int>(unit);
    out += "\\u" + std::to_string(n) + "?";
}

void AppendEscaped(std::string& out, const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const char32_t cp = NextCodePoint(text, i);
        if (cp == '\\' || cp == '{' || cp == '}') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\t') {
            out += "\\tab ";
        } else if (cp < 0x20) {
            // Other control characters have no place in a paragraph.
        } else if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x10000) {
            AppendUnicodeUnit(out, static_cast<unsigned>(cp));
        } else {
            const char32_t v = cp - 0x10000;
            AppendUnicodeUnit(out, 0xD800 + static_cast<unsigned>(v >> 10));
            AppendUnicodeUnit(out, 0xDC00 + static_cast<unsigned>(v & 0x3FF));
        }
    }
}

int ColourIndex(std::vector<Colour>& colours, const Colour& c) {
    auto it = std::find(colours.begin(), colours.end(), c);
    if (it == colours.end()) it = colours.insert(colours.end(), c);
    return static_cast<int>(it - colours.begin()) + 1;
}

}  // namespace

Document DocumentFromText(const std::string& text, size_t centredChars, const std::vector<Span>& spans) {
    Document doc;
    // Colour of every byte: 0 default, otherwise a colour table index.
    std::vector<int> colourOf(text.size(), 0);
    for (const Span& s : spans) {
        const int index = ColourIndex(doc.colours, s.colour);
        const size_t end = std::min(text.size(), s.start + s.length);
        for (size_t k = std::min(s.start, end); k < end; ++k) colourOf[k] = index;
    }
    size_t start = 0;
    while (true) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        Paragraph p;
        p.centred = start < centredChars;
        for (size_t k = start; k < end;) {
            size_t runEnd = k;
            while (runEnd < end && colourOf[runEnd] == colourOf[k]) ++runEnd;
            p.runs.push_back({text.substr(k, runEnd - k), colourOf[k]});
            k = runEnd;
        }
        doc.paragraphs.push_back(std::move(p));
        if (end >= text.size()) break;
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return doc;
}

std::string WriteRtf(const Document& doc) {
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1";
    out += "{\\fonttbl{\\f0\\fmodern\\fprq1 ";
    AppendEscaped(out, doc.fontName);
    out += ";}}";
    out += "{\\colortbl ;";
    for (const Colour& c : doc.colours)
        out += "\\red" + std::to_string(c.red) + "\\green" + std::to_string(c.green) + "\\blue" +
               std::to_string(c.blue) + ";";
    out += "}\r\n";
    out += "\\f0\\fs" + std::to_string(doc.fontSizeHalfPoints) + "\r\n";
    for (size_t i = 0; i < doc.paragraphs.size(); ++i) {
        const Paragraph& p = doc.paragraphs[i];
        out += "\\pard";
        out += p.centred ? "\\qc " : "\\ql ";
        for (const Run& r : p.runs) {
            if (r.colour) out += "{\\cf" + std::to_string(r.colour) + " ";
            AppendEscaped(out, r.text);
            if (r.colour) out += "}";
        }
        // The last paragraph has no break after it, as the text has none.
        if (i + 1 < doc.paragraphs.size()) out += "\\par\r\n";
    }
    out += "\r\n}\r\n";
    return out;
}

}  // namespace vdx::rtf
