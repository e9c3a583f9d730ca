#include "exchange/io/text_encoding.h"

#include <iconv.h>

#include <string>

namespace vdx::exchange {

namespace {
// Windows-1252 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string IconvName(int codePage) {
    switch (codePage) {
        case 367: return "ASCII";
        case 1200: return "UTF-16LE";
        case 1201: return "UTF-16BE";
        case 10000:
        case 32768: return "MACINTOSH";
        case 20127: return "ASCII";
        case 28591: return "ISO-8859-1";
        default: return "CP" + std::to_string(codePage);
    }
}
}  // namespace

bool IsValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        // Skip runs of ASCII quickly.
        if (*p < 0x80) { ++p; continue; }
        unsigned char c = *p;
        int len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
        else return false;
        if (end - p < len) return false;
        for (int i = 1; i < len; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += len;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) out += ch;
        else if (c < 0xA0) AppendUtf8(out, kCp1252High[c - 0x80]);
        else AppendUtf8(out, c);
    }
    return out;
}

CodePageDecoder::CodePageDecoder(int codePage) : codePage_(codePage) {
    if (codePage == 1252 || codePage == 65001) return;
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        codePage_ = 1252;  // an unknown code page: read as Windows-1252
        return;
    }
    iconv_ = cd;
}

CodePageDecoder::~CodePageDecoder() {
    if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
}

std::string CodePageDecoder::decode(std::string_view bytes) const {
    if (codePage_ == 65001) {
        if (IsValidUtf8(bytes)) return std::string(bytes);
        return Windows1252ToUtf8(bytes);
    }
    if (!iconv_) return Windows1252ToUtf8(bytes);
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) { ascii = false; break; }
    if (ascii && codePage_ != 1200 && codePage_ != 1201) return std::string(bytes);

    iconv_t cd = static_cast<iconv_t>(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* outp = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        size_t r = iconv(cd, &in, &inLeft, &outp, &outLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(outp - out.data());
            out.resize(out.size() * 2);
            outp = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        // An invalid or incomplete sequence: one replacement character, then on.
        size_t used = static_cast<size_t>(outp - out.data());
        out.resize(used);
        AppendUtf8(out, 0xFFFD);
        size_t skip = (codePage_ == 1200 || codePage_ == 1201) ? std::min<size_t>(2, inLeft) : 1;
        in += skip;
        inLeft -= skip;
        used = out.size();
        out.resize(used + inLeft * 4 + 16);
        outp = out.data() + used;
        outLeft = out.size() - used;
    }
    out.resize(static_cast<size_t>(outp - out.data()));
    return out;
}

}  // namespace vdx::exchange
