// A small writer of Rich Text Format files: one fixed-pitch font, a colour
// table, paragraphs (left or centred) of runs of coloured text. What the SMR
// calculator saves and what reports are saved as. No widgets.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vdx::rtf {

struct Colour {
    int red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};

inline constexpr Colour kBlue{0, 0, 255};

struct Run {
    std::string text;  // UTF-8, no line breaks
    int colour = 0;    // 0 the default colour, otherwise 1 + index into Document::colours
};

struct Paragraph {
    bool centred = false;
    std::vector<Run> runs;
};

struct Document {
    std::string fontName = "Courier New";
    int fontSizeHalfPoints = 20;
    std::vector<Colour> colours;
    std::vector<Paragraph> paragraphs;
};

// A span of characters of a text (byte offsets into the UTF-8 text) with the
// colour it gets.
struct Span {
    size_t start = 0;
    size_t length = 0;
    Colour colour;
};

// Cuts a text into paragraphs at its line breaks (CR LF, LF or CR alone):
// the paragraphs that hold any of the first `centredChars` bytes are centred,
// the spans are coloured.
Document DocumentFromText(const std::string& text, size_t centredChars, const std::vector<Span>& spans);

// The document as RTF text. Backslash and braces are escaped, characters
// beyond ASCII written as \uN? (N the UTF-16 unit as a signed 16-bit number).
std::string WriteRtf(const Document& document);

}  // namespace vdx::rtf
