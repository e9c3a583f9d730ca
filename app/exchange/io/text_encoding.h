// Character sets of foreign files. Everything inside the program is UTF-8;
// DOS and Windows files carry single-byte code pages that are decoded here.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vdx::exchange {

bool IsValidUtf8(std::string_view bytes);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// Windows-1252 (the Western European Windows code page) to UTF-8. Bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// control characters of the same number, as Windows does.
std::string Windows1252ToUtf8(std::string_view bytes);

// Decodes texts of one code page to UTF-8. Code page numbers are those of
// Windows (437, 850, 1252, 10000 for Mac Roman, 65001 for UTF-8, 1200 for
// UTF-16LE ...). Bytes the code page cannot decode become U+FFFD.
class CodePageDecoder {
public:
    explicit CodePageDecoder(int codePage);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    int codePage() const { return codePage_; }
    std::string decode(std::string_view bytes) const;

private:
    int codePage_;
    void* iconv_ = nullptr;  // iconv_t, when the code page needs iconv
};

}  // namespace vdx::exchange
