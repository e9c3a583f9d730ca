#include "mortality/death_group.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "state/messages.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {


std::string Trimmed(const std::string& s) {
    const size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

std::vector<std::string> Parts(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        parts.push_back(Trimmed(text.substr(start, comma - start)));
    parts.push_back(Trimmed(text.substr(start)));
    return parts;
}

}  // namespace

bool DeathGroup::contains(double code) const {
    // The last range that starts at or below the code is the only candidate.
    auto after = std::upper_bound(ranges_.begin(), ranges_.end(), code,
                                  [](double c, const Range& r) { return c < r.low; });
    return after != ranges_.begin() && code <= std::prev(after)->high;
}

DeathGroupParse ParseDeathGroup(const std::string& text) {
    DeathGroupParse out;
    auto refuse = [&](int number, const std::string& message = {}) {
        out.number = number;
        out.message = number ? Message(number) : message;
        return out;
    };
    auto badPart = [&](const std::string& part, const std::string& why) {
        return refuse(0, "The death value '" + text + "' cannot be read: '" + part + "' " + why +
                             " Write a code (162), or codes and ranges separated by commas (160-165, 170).");
    };
    // A code as typed: a number (none otherwise), in 0..32767, and whole:
    // the death column is numeric, and rounding 162.9 would count the
    // deaths of code 163. (Codes with decimals, such as 162.9, are codes of
    // a text column; they are not read here.)
    enum class Code { Ok, NotNumber, OutOfRange, NotWhole };
    auto readCode = [](const std::string& part, int16_t& into) {
        const auto number = ReadNumber(part);
        if (!number) return Code::NotNumber;
        if (*number < 0 || *number > 32767) return Code::OutOfRange;
        if (*number != std::trunc(*number)) return Code::NotWhole;
        into = static_cast<int16_t>(*number);
        return Code::Ok;
    };
    auto notWhole = [&](const std::string& code) {
        return refuse(0, "The death value '" + text + "' cannot be used: '" + code +
                             "' is not a whole number. The death variable is a numeric column, whose codes are "
                             "whole numbers, and a code is never rounded (162.9 would count the deaths of 163). "
                             "Write whole codes (162), or codes and ranges separated by commas (160-165, 170).");
    };

    const std::vector<std::string> parts = Parts(text);
    std::vector<DeathGroup::Range> ranges;
    for (size_t k = 0; k < parts.size(); ++k) {
        const std::string& part = parts[k];
        // A range "low-high": a dash after the first character (a leading
        // one is a sign).
        const size_t dash = part.empty() ? std::string::npos : part.find('-', 1);
        int16_t low = 0, high = 0;
        const Code single = readCode(part, low);
        if (single == Code::OutOfRange) return refuse(msg::DeathValueOutOfRange);
        if (single == Code::NotWhole) return notWhole(part);
        if (single == Code::Ok) {
            high = low;
        } else if (dash == std::string::npos) {
            // What was always a death value that is not numeric keeps its message.
            if (parts.size() == 1) return refuse(msg::DeathValueNotNumeric);
            return badPart(part, part.empty() ? "is empty: there is a comma too many." : "is not a number.");
        } else {
            const std::string from = Trimmed(part.substr(0, dash)), to = Trimmed(part.substr(dash + 1));
            const Code first = readCode(from, low), last = readCode(to, high);
            if (first == Code::OutOfRange || last == Code::OutOfRange) return refuse(msg::DeathValueOutOfRange);
            if (first == Code::NotWhole) return notWhole(from);
            if (last == Code::NotWhole) return notWhole(to);
            if (from.empty()) return badPart(part, "is not a range: the code before the dash is missing.");
            if (to.empty()) return badPart(part, "is not a range: the code after the dash is missing.");
            if (first != Code::Ok) return badPart(part, "is not a range of codes: '" + from + "' is not a number.");
            if (last != Code::Ok) return badPart(part, "is not a range of codes: '" + to + "' is not a number.");
            if (low > high) return badPart(part, "is not a range: its first code is above its last.");
        }
        if (k == 0) out.group.first_ = low;
        ranges.push_back({double(low), double(high)});
    }
    // Sorted and merged where they overlap (only there: a stored code of
    // 162.5 is in neither 162 nor 163).
    std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) { return a.low < b.low; });
    auto& merged = out.group.ranges_;
    for (const auto& r : ranges) {
        if (!merged.empty() && r.low <= merged.back().high)
            merged.back().high = std::max(merged.back().high, r.high);
        else
            merged.push_back(r);
    }
    out.ok = true;
    return out;
}

std::string NormalisedCode(std::string_view code) {
    std::string out;
    out.reserve(code.size());
    for (char c : code) {
        if (c == ' ' || c == '\t' || c == '.') continue;
        out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    return out;
}

bool CodeGroup::contains(std::string_view code) const {
    if (code.empty()) return false;
    if (all_) return true;
    for (const Range& r : ranges_)
        if (code.substr(0, r.low.size()) >= r.low && code.substr(0, r.high.size()) <= r.high) return true;
    return false;
}

CodeGroupParse ParseCodeGroup(const std::string& text) {
    CodeGroupParse out;
    const std::string accepted =
        " Write a code (C34 takes C34, C340 and C34.1), a range whose bounds compare with as many first "
        "characters of a code as they have (C33-C34, 160-165), or these separated by commas (X60-X84, Y870); "
        "* takes every death.";
    auto refuse = [&](const std::string& part, const std::string& why) {
        out.problem = "'" + part + "' " + why + accepted;
        out.message = "The death value '" + text + "' cannot be read: " + out.problem;
        return out;
    };
    auto isCode = [](const std::string& code) {
        return !code.empty() && std::all_of(code.begin(), code.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
        });
    };
    if (Trimmed(text) == "*") {
        out.group.all_ = true;
        out.ok = true;
        return out;
    }
    const std::vector<std::string> parts = Parts(text);
    for (const std::string& part : parts) {
        if (part.empty())
            return refuse(part, parts.size() == 1 ? "is empty." : "is empty: there is a comma too many.");
        const size_t dash = part.find('-');
        const std::string low = NormalisedCode(part.substr(0, dash));
        const std::string high = dash == std::string::npos ? low : NormalisedCode(part.substr(dash + 1));
        if (dash != std::string::npos && part.find('-', dash + 1) != std::string::npos)
            return refuse(part, "has more than one dash.");
        if (low.empty()) return refuse(part, "is not a range: the code before the dash is missing.");
        if (high.empty()) return refuse(part, "is not a range: the code after the dash is missing.");
        if (!isCode(low) || !isCode(high))
            return refuse(part, "is not a code: a code holds letters and digits (blanks and dots are left out).");
        if (low > high) return refuse(part, "is not a range: its first code is above its last.");
        out.group.ranges_.push_back({low, high});
    }
    out.ok = true;
    return out;
}

}  // namespace vdx::mortality
