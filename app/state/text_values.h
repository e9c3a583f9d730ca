// The one place that decides which texts read as numbers, dates and
// booleans, and how day numbers map to calendar dates. Every part of the
// program (project file, imports, person-years, views) uses these functions,
// so a text that is a number in one dialog is a number everywhere.
//
// Dates are day numbers held in a double: whole days counted from
// 30 December 1899 (day 0), proleptic Gregorian calendar, so dates before
// 1900 are negative day numbers. A fraction is the time of day; for negative
// day numbers the date is the whole part (truncated toward zero), as the old
// engine stored them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vdx {

struct CivilDate {
    int year = 1899;
    int month = 12;  // 1..12
    int day = 30;    // 1..31
    bool operator==(const CivilDate&) const = default;
};

// Day number of a valid calendar date and back (the time of day is dropped).
double DayNumber(int year, int month, int day);
CivilDate DateOfDayNumber(double dayNumber);

// Builds a date from year, month and day; a month or day out of its range
// rolls over into the following (or previous) months and years:
// DateSerial(2001, 2, 29) is 1 March 2001, DateSerial(2000, 13, 1) is
// 1 January 2001, DateSerial(2000, 3, 0) is 29 February 2000. Years are taken
// as they stand (no two-digit-year window).
double DateSerial(int year, int month, int day);

// Adds n calendar years keeping day and month; 29 February becomes
// 28 February in a year without it. The time of day is kept.
double AddYears(double dayNumber, int years);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// "dd.mm.yyyy" (the year with at least four digits).
std::string FormatDate(double dayNumber);

// Reads a date from text (leading and trailing blanks allowed); nullopt when
// the text is not a valid date. Accepted:
//   yyyy-mm-dd                ISO, optionally followed by " hh:mm[:ss]" or "Thh:mm[:ss]"
//   dd.mm.yyyy, dd.mm.yy      day first, the common European form
//   a/b/yyyy, a/b/yy          slash dates in the user's order: month first
//                             (m/d/y) when the locale (LC_ALL, LC_TIME or
//                             LANG, the first one set) is en_US or another
//                             US-style English locale (en_US, en_PH,
//                             en_UM...), day first (d/m/y) otherwise
// Two-digit years 00..29 are 2000..2029, 30..99 are 1930..1999. The day
// must exist in its month (31.02.2000 is not a date).
std::optional<double> ReadDate(const std::string& text);
// Whether slash dates are read month first under the current environment.
bool SlashDatesMonthFirst();

// The whole text (blanks around it allowed) is a decimal number with the point
// as decimal separator: optional sign, digits, optional fraction, optional
// exponent. No thousands separators, no hex, no inf or nan.
std::optional<double> ReadNumber(const std::string& text);

// The leading numeric part of a text, 0 when there is none: "12abc" is 12,
// " -3.5e2x" is -350, "abc" is 0, "1.2.3" is 1.2. Leading blanks are skipped.
double Val(const std::string& text);

// Round to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2). Out of range (or NaN) throws VdxError 6 "Overflow".
int16_t RoundToInt16(double value);
int32_t RoundToInt32(double value);

// Booleans as the project file stores them: written "True" / "False"; read
// back from the words true/false in any letter case or from a number
// (0 is false, any other number true). nullopt for anything else.
std::string BooleanText(bool value);
std::optional<bool> ReadBoolean(const std::string& text);

// Text of a double with up to 15 significant digits and no trailing zeros
// ("0.5", "12", "1e+20"); what the program writes where a number goes into text.
std::string NumberText(double value);

// The label of a class of the person-years tables as the program shows it:
// "15–19" for the ages 15 up to 19 reached (the class [15, 20)), "1950–1954"
// for the calendar years 1950 to 1954. Both ends are included; an en dash
// joins them. Exported files keep labels of their own (export_command.h).
std::string ClassRangeLabel(int bound, int nextBound);

}  // namespace vdx
