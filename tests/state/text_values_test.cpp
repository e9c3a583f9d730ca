#include <gtest/gtest.h>

#include <limits>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "state/errors.h"
#include "state/text_values.h"

using namespace vdx;

namespace {

// Sets a locale variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

// Day numbers checked against Python's datetime (an independent calendar).
TEST(DayNumbers, KnownDatesAroundTheEpochAndFarAway) {
    EXPECT_EQ(DayNumber(1899, 12, 30), 0);
    EXPECT_EQ(DayNumber(1900, 1, 1), 2);
    EXPECT_EQ(DayNumber(1900, 3, 1), 61);  // 1900 is no leap year
    EXPECT_EQ(DayNumber(2000, 1, 1), 36526);
    EXPECT_EQ(DayNumber(2000, 2, 29), 36585);
    EXPECT_EQ(DayNumber(1800, 1, 1), -36522);
    EXPECT_EQ(DayNumber(1582, 10, 15), -115858);
    EXPECT_EQ(DayNumber(1, 1, 1), -693593);
    EXPECT_EQ(DayNumber(9999, 12, 31), 2958465);
}

TEST(DayNumbers, EveryDayRoundTripsThroughItsCalendarDate) {
    double previous = DayNumber(1600, 1, 1) - 1;
    for (double d = DayNumber(1600, 1, 1); d <= DayNumber(2400, 12, 31); d += 1) {
        CivilDate c = DateOfDayNumber(d);
        ASSERT_EQ(DayNumber(c.year, c.month, c.day), d);
        ASSERT_GE(c.day, 1);
        ASSERT_LE(c.day, DaysInMonth(c.year, c.month));
        ASSERT_EQ(d, previous + 1);
        previous = d;
    }
}

TEST(DayNumbers, TimeOfDayDoesNotChangeTheDate) {
    EXPECT_EQ(DateOfDayNumber(36526.75), (CivilDate{2000, 1, 1}));
    // Before day 0 the date is the whole part: -1.5 is 29 December 1899, noon.
    EXPECT_EQ(DateOfDayNumber(-1.5), (CivilDate{1899, 12, 29}));
}

TEST(DayNumbers, ValuesOutsideAnyCalendarAreClampedNotUndefined) {
    // Huge, infinite and NaN day numbers must not reach an undefined
    // double-to-integer conversion; they come out as far-away dates.
    EXPECT_GT(DateOfDayNumber(1e300).year, 100000000);
    EXPECT_LT(DateOfDayNumber(-std::numeric_limits<double>::infinity()).year, -100000000);
    const auto nan = DateOfDayNumber(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.year, 1899);
    EXPECT_EQ(nan.month, 12);
    EXPECT_EQ(nan.day, 30);
}

TEST(DateSerial, OutOfRangeMonthsAndDaysRollOver) {
    EXPECT_EQ(DateSerial(2001, 2, 29), DayNumber(2001, 3, 1));
    EXPECT_EQ(DateSerial(2000, 2, 29), DayNumber(2000, 2, 29));
    EXPECT_EQ(DateSerial(2000, 13, 1), DayNumber(2001, 1, 1));
    EXPECT_EQ(DateSerial(1999, 25, 1), DayNumber(2001, 1, 1));
    EXPECT_EQ(DateSerial(2000, 0, 1), DayNumber(1999, 12, 1));
    EXPECT_EQ(DateSerial(2000, -12, 1), DayNumber(1998, 12, 1));
    EXPECT_EQ(DateSerial(2000, 3, 0), DayNumber(2000, 2, 29));
    EXPECT_EQ(DateSerial(2000, 1, -1), DayNumber(1999, 12, 30));
    EXPECT_EQ(DateSerial(1950, 1, 32), DayNumber(1950, 2, 1));
    EXPECT_EQ(DateSerial(1890, 6, 15), DayNumber(1890, 6, 15));
}

TEST(AddYears, KeepsDayAndMonthAndCutsTheLeapDay) {
    EXPECT_EQ(AddYears(DayNumber(2000, 2, 29), 1), DayNumber(2001, 2, 28));
    EXPECT_EQ(AddYears(DayNumber(2000, 2, 29), 4), DayNumber(2004, 2, 29));
    EXPECT_EQ(AddYears(DayNumber(2000, 2, 29), 100), DayNumber(2100, 2, 28));
    EXPECT_EQ(AddYears(DayNumber(1950, 7, 31), 15), DayNumber(1965, 7, 31));
    EXPECT_EQ(AddYears(DayNumber(1960, 3, 1), -70), DayNumber(1890, 3, 1));
    EXPECT_DOUBLE_EQ(AddYears(DayNumber(1990, 5, 5) + 0.25, 10), DayNumber(2000, 5, 5) + 0.25);
}

TEST(FormatDate, DayMonthYearWithDots) {
    EXPECT_EQ(FormatDate(0), "30.12.1899");
    EXPECT_EQ(FormatDate(36526), "01.01.2000");
    EXPECT_EQ(FormatDate(-36522), "01.01.1800");
    EXPECT_EQ(FormatDate(DayNumber(1955, 11, 5) + 0.9), "05.11.1955");
}

TEST(ReadDate, IsoAndDottedDates) {
    EXPECT_EQ(ReadDate("2000-01-01"), 36526);
    EXPECT_EQ(ReadDate("  1800-01-01 "), -36522);
    EXPECT_EQ(ReadDate("05.11.1955"), DayNumber(1955, 11, 5));
    EXPECT_EQ(ReadDate("5.11.1955"), DayNumber(1955, 11, 5));
    EXPECT_EQ(ReadDate("05.11.55"), DayNumber(1955, 11, 5));
    EXPECT_EQ(ReadDate("05.11.29"), DayNumber(2029, 11, 5));
    EXPECT_EQ(ReadDate("05.11.30"), DayNumber(1930, 11, 5));
}

TEST(ReadDate, TimeOfDayAfterAnIsoDate) {
    EXPECT_EQ(ReadDate("2000-01-01 12:00"), 36526.5);
    EXPECT_EQ(ReadDate("2000-01-01T18:00:00"), 36526.75);
    EXPECT_EQ(ReadDate("1899-12-29 06:00"), -1.25);
    EXPECT_FALSE(ReadDate("2000-01-01 25:00"));
    EXPECT_FALSE(ReadDate("2000-01-01 noon"));
}

TEST(ReadDate, RefusesWhatIsNoDate) {
    for (const char* text : {"", "  ", "abc", "12", "12.5", "31.02.2000", "29.02.1900", "2000-13-01",
                             "2000-00-10", "00.01.2000", "1.1.2000x", "2000/01/01", "1-1-2000",
                             "01.01.200", "2000-1-1-1"})
        EXPECT_FALSE(ReadDate(text)) << text;
    EXPECT_TRUE(ReadDate("29.02.2000"));
}

TEST(ReadDate, SlashDatesFollowTheLocale) {
    {
        ScopedEnv env("LC_ALL", "en_US.UTF-8");
        EXPECT_TRUE(SlashDatesMonthFirst());
        EXPECT_EQ(ReadDate("03/04/2001"), DayNumber(2001, 3, 4));
        EXPECT_FALSE(ReadDate("13/04/2001"));
    }
    {
        ScopedEnv env("LC_ALL", "de_DE.UTF-8");
        EXPECT_FALSE(SlashDatesMonthFirst());
        EXPECT_EQ(ReadDate("03/04/2001"), DayNumber(2001, 4, 3));
        EXPECT_EQ(ReadDate("13/04/2001"), DayNumber(2001, 4, 13));
    }
    {
        ScopedEnv all("LC_ALL", "");
        ScopedEnv time("LC_TIME", "en_GB.UTF-8");
        EXPECT_EQ(ReadDate("03/04/01"), DayNumber(2001, 4, 3));
    }
}

TEST(ReadNumber, WholeTextMustBeANumber) {
    EXPECT_EQ(ReadNumber("12"), 12);
    EXPECT_EQ(ReadNumber(" -3.5 "), -3.5);
    EXPECT_EQ(ReadNumber("+4"), 4);
    EXPECT_EQ(ReadNumber(".5"), 0.5);
    EXPECT_EQ(ReadNumber("5."), 5);
    EXPECT_EQ(ReadNumber("1e3"), 1000);
    EXPECT_EQ(ReadNumber("2.5E-1"), 0.25);
    for (const char* text : {"", " ", "abc", "1,5", "1 000", "12abc", "inf", "nan", "0x10", "1e",
                             "--1", ".", "+", "1e+", "1.2.3"})
        EXPECT_FALSE(ReadNumber(text)) << text;
}

TEST(Val, LeadingNumericPart) {
    EXPECT_EQ(Val("12abc"), 12);
    EXPECT_EQ(Val(" -3.5e2x"), -350);
    EXPECT_EQ(Val("abc"), 0);
    EXPECT_EQ(Val("1.2.3"), 1.2);
    EXPECT_EQ(Val(""), 0);
    EXPECT_EQ(Val("1e"), 1);
    EXPECT_EQ(Val("-"), 0);
    EXPECT_EQ(Val("  7 "), 7);
    EXPECT_EQ(Val("198"), 198);
    EXPECT_EQ(Val("1950x"), 1950);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(3.5), 4);
    EXPECT_EQ(RoundToInt16(-2.5), -2);
    EXPECT_EQ(RoundToInt16(-3.5), -4);
    EXPECT_EQ(RoundToInt16(0.5), 0);
    EXPECT_EQ(RoundToInt16(1.5), 2);
    EXPECT_EQ(RoundToInt16(2.4999), 2);
    EXPECT_EQ(RoundToInt16(2.5001), 3);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_EQ(RoundToInt16(-32768.5), -32768);
    EXPECT_EQ(RoundToInt32(2147483646.5), 2147483646);
    EXPECT_EQ(RoundToInt32(-7.5), -8);
}

TEST(Rounding, OutOfRangeIsOverflow) {
    auto overflowNumber = [](auto f) {
        try {
            f();
        } catch (const VdxError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(overflowNumber([] { RoundToInt16(32767.5); }), 6);
    EXPECT_EQ(overflowNumber([] { RoundToInt16(-32769); }), 6);
    EXPECT_EQ(overflowNumber([] { RoundToInt16(std::nan("")); }), 6);
    EXPECT_EQ(overflowNumber([] { RoundToInt32(2147483647.5); }), 6);
    EXPECT_EQ(overflowNumber([] { RoundToInt32(-1e10); }), 6);
}

TEST(Booleans, WrittenAsWordsReadFromWordsOrNumbers) {
    EXPECT_EQ(BooleanText(true), "True");
    EXPECT_EQ(BooleanText(false), "False");
    EXPECT_EQ(ReadBoolean("True"), true);
    EXPECT_EQ(ReadBoolean("FALSE"), false);
    EXPECT_EQ(ReadBoolean("tRuE"), true);
    EXPECT_EQ(ReadBoolean("-1"), true);
    EXPECT_EQ(ReadBoolean("2"), true);
    EXPECT_EQ(ReadBoolean(" 0 "), false);
    EXPECT_EQ(ReadBoolean("0.0"), false);
    EXPECT_FALSE(ReadBoolean("yes"));
    EXPECT_FALSE(ReadBoolean(""));
}

TEST(NumberText, FifteenSignificantDigits) {
    EXPECT_EQ(NumberText(0.5), "0.5");
    EXPECT_EQ(NumberText(12), "12");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(ReadNumber(NumberText(123456.789012345)), 123456.789012345);
}
