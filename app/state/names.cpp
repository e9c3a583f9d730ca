#include "names.h"

#include <algorithm>

namespace vdx {

size_t Utf8Length(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string NameProblem(const std::string& name) {
    if (name.empty()) return "has no name";
    if (Utf8Length(name) > kMaxNameLength) return "has a name longer than 64 characters";
    if (name.front() == ' ') return "has a name that begins with a blank";
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return "has a name with a control character";
        if (c == '.' || c == '!' || c == '`' || c == '[' || c == ']')
            return std::string("has a name with the character '") + c +
                   "', which a name cannot hold";
    }
    return {};
}

}  // namespace vdx
