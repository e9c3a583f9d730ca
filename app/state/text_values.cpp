#include "text_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "errors.h"

namespace vdx {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date and back
// (H. Hinnant's civil-date algorithms, valid for every year).
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

CivilDate CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Day 0 of the program (30 December 1899) counted from 1970-01-01.
constexpr int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Reads an unsigned decimal integer of 1 to maxDigits digits at s[pos];
// advances pos. nullopt when there is none.
std::optional<int> ReadDigits(const std::string& s, size_t& pos, size_t maxDigits,
                              size_t* digitsRead = nullptr) {
    size_t start = pos;
    int value = 0;
    while (pos < s.size() && pos - start < maxDigits && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    if (pos == start) return std::nullopt;
    if (digitsRead) *digitsRead = pos - start;
    return value;
}

int ExpandTwoDigitYear(int year, size_t digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

std::optional<double> ValidDate(int year, int month, int day) {
    if (month < 1 || month > 12) return std::nullopt;
    if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    return DayNumber(year, month, day);
}

// Optional time of day after a date: " hh:mm[:ss]" or "Thh:mm[:ss]".
bool ReadTimeOfDay(const std::string& s, size_t pos, double& fraction) {
    fraction = 0;
    if (pos == s.size()) return true;
    if (s[pos] != ' ' && s[pos] != 'T') return false;
    ++pos;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    auto h = ReadDigits(s, pos, 2);
    if (!h || pos >= s.size() || s[pos] != ':') return false;
    ++pos;
    auto m = ReadDigits(s, pos, 2);
    if (!m) return false;
    int sec = 0;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        auto sv = ReadDigits(s, pos, 2);
        if (!sv) return false;
        sec = *sv;
        // Fractions of a second are accepted and dropped.
        if (pos < s.size() && s[pos] == '.') {
            ++pos;
            while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos;
        }
    }
    if (pos != s.size() || *h > 23 || *m > 59 || sec > 59) return false;
    fraction = (*h * 3600.0 + *m * 60.0 + sec) / 86400.0;
    return true;
}

// Adds a time-of-day fraction to a day number the way the engine stores it:
// the fraction always counts away from day 0's direction for negative days.
double WithTime(double day, double fraction) {
    return day < 0 ? day - fraction : day + fraction;
}

std::string LocaleName() {
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return v;
    }
    return {};
}

}  // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[(month - 1) % 12];
}

double DayNumber(int year, int month, int day) {
    return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                             static_cast<unsigned>(day)) -
                               kEpochOffset);
}

CivilDate DateOfDayNumber(double dayNumber) {
    // Day numbers far outside any calendar (or not a number) are clamped, so
    // that the conversion to an integer is always defined; 1e11 days are
    // about 270 million years, well inside the range of the year field.
    constexpr double kLimit = 1e11;
    if (std::isnan(dayNumber)) dayNumber = 0;
    dayNumber = std::clamp(dayNumber, -kLimit, kLimit);
    const int64_t whole = static_cast<int64_t>(std::trunc(dayNumber));
    return CivilFromDays(whole + kEpochOffset);
}

double DateSerial(int year, int month, int day) {
    // Month rollover first (month 13 is January of the next year, month 0
    // December of the previous), then the day counts from the 1st.
    int64_t m0 = static_cast<int64_t>(month) - 1;
    int64_t y = year + (m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12));
    int64_t m = m0 - (y - year) * 12 + 1;
    return static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(m), 1) - kEpochOffset +
                               (static_cast<int64_t>(day) - 1));
}

double AddYears(double dayNumber, int years) {
    const double whole = std::trunc(dayNumber);
    const double fraction = dayNumber - whole;
    CivilDate d = DateOfDayNumber(dayNumber);
    const int year = d.year + years;
    const int day = std::min(d.day, DaysInMonth(year, d.month));
    return DayNumber(year, d.month, day) + fraction;
}

std::string FormatDate(double dayNumber) {
    CivilDate d = DateOfDayNumber(dayNumber);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d.day, d.month, d.year);
    return buf;
}

bool SlashDatesMonthFirst() {
    std::string name = LocaleName();
    // en_US and the other English locales that write the month first.
    for (const char* prefix : {"en_US", "en_PH", "en_UM", "en_AS", "en_GU", "en_MP", "en_PR",
                               "en_VI", "en_FM", "en_MH"}) {
        if (name.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

std::optional<double> ReadDate(const std::string& text) {
    const std::string s = Trim(text);
    if (s.empty()) return std::nullopt;
    size_t pos = 0;
    size_t digits1 = 0;
    auto first = ReadDigits(s, pos, 4, &digits1);
    if (!first || pos >= s.size()) return std::nullopt;
    const char sep = s[pos];
    if (sep != '-' && sep != '.' && sep != '/') return std::nullopt;
    ++pos;
    size_t digits2 = 0;
    auto second = ReadDigits(s, pos, 2, &digits2);
    if (!second || pos >= s.size() || s[pos] != sep) return std::nullopt;
    ++pos;
    size_t digits3 = 0;
    auto third = ReadDigits(s, pos, sep == '-' ? 2 : 4, &digits3);
    if (!third) return std::nullopt;
    double fraction = 0;
    if (!ReadTimeOfDay(s, pos, fraction)) return std::nullopt;

    std::optional<double> day;
    if (sep == '-') {
        if (digits1 != 4) return std::nullopt;  // ISO: the year comes first
        day = ValidDate(*first, *second, *third);
    } else {
        if (digits1 > 2 || (digits3 != 2 && digits3 != 4)) return std::nullopt;
        const int year = ExpandTwoDigitYear(*third, digits3);
        if (sep == '/' && SlashDatesMonthFirst())
            day = ValidDate(year, *first, *second);
        else
            day = ValidDate(year, *second, *first);
    }
    if (!day) return std::nullopt;
    return WithTime(*day, fraction);
}

std::optional<double> ReadNumber(const std::string& text) {
    const std::string s = Trim(text);
    if (s.empty()) return std::nullopt;
    size_t pos = 0;
    if (s[pos] == '+' || s[pos] == '-') ++pos;
    size_t intDigits = 0, fracDigits = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos, ++intDigits;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos, ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        ++pos;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
        size_t expDigits = 0;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    // from_chars does not take a leading '+'.
    const char* begin = s.data() + (s[0] == '+' ? 1 : 0);
    double value = 0;
    auto [ptr, ec] = std::from_chars(begin, s.data() + s.size(), value);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

double Val(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    const size_t start = pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    size_t digits = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos, ++digits;
    if (pos < text.size() && text[pos] == '.') {
        size_t p = pos + 1;
        size_t frac = 0;
        while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) ++p, ++frac;
        if (digits + frac > 0) pos = p, digits += frac;
    }
    if (digits == 0) return 0;
    // An exponent counts only when digits follow it.
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        size_t p = pos + 1;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
        size_t expDigits = 0;
        while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) ++p, ++expDigits;
        if (expDigits > 0) pos = p;
    }
    auto value = ReadNumber(text.substr(start, pos - start));
    return value ? *value : 0;
}

namespace {

double RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff > 0.5) return lower + 1;
    if (diff < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

[[noreturn]] void Overflow() { throw VdxError(err::Overflow, "Overflow"); }

}  // namespace

int16_t RoundToInt16(double value) {
    if (!std::isfinite(value)) Overflow();
    const double r = RoundHalfEven(value);
    if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max())
        Overflow();
    return static_cast<int16_t>(r);
}

int32_t RoundToInt32(double value) {
    if (!std::isfinite(value)) Overflow();
    const double r = RoundHalfEven(value);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        Overflow();
    return static_cast<int32_t>(r);
}

std::string BooleanText(bool value) { return value ? "True" : "False"; }

std::optional<bool> ReadBoolean(const std::string& text) {
    std::string s = Trim(text);
    std::string lower;
    for (char c : s) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "true") return true;
    if (lower == "false") return false;
    if (auto n = ReadNumber(s)) return *n != 0;
    return std::nullopt;
}

std::string NumberText(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value > 0 ? "Inf" : "-Inf");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    if (s == "-0") s = "0";
    return s;
}

std::string ClassRangeLabel(int bound, int nextBound) {
    return std::to_string(bound) + "\u2013" + std::to_string(nextBound - 1);
}

}  // namespace vdx
