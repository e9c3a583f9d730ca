// The program's binding to libveldrix.so and the multiplier selection.
//
// This test program is built without a run path, so the library is found
// the way an installed program finds it: beside the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "state/errors.h"
#include "state/messages.h"
#include "state/multiplier.h"
#include "state/veldrix_library.h"
#include "multiplier_reference.h"

namespace {

namespace lib = vdx::library;

// Every test starts and ends with the real library by its plain name.
class LibraryBinding : public testing::Test {
protected:
    void SetUp() override { lib::UseLibraryFile(lib::kLibraryFileName); }
    void TearDown() override { lib::UseLibraryFile(lib::kLibraryFileName); }
};

int errorNumberOf(auto&& call)
{
    try {
        call();
    } catch (const vdx::VdxError& e) {
        return e.number();
    }
    return 0;
}

TEST_F(LibraryBinding, LoadsTheLibraryByNameFromTheProgramsFolder)
{
    EXPECT_NEAR(lib::MultiplierWaldHigh(10, 1.95996398454005), 1.858547, 5e-7);
}

TEST_F(LibraryBinding, PersonYearsAndDeathsGoThroughTheExports)
{
    const double jan1980 = 29221, jan1981 = 29587, jan1982 = 29952;
    std::vector<double> ages{0, 20, 25, 30, 35};  // A = 3
    std::vector<double> periods{0, jan1980, jan1981, jan1982};  // C = 2
    const double birth = jan1980 - 20 * 365.25;
    const lib::Strata strata(ages.data(), 3, periods.data(), 2);
    EXPECT_EQ(strata.cellCount(), 6);
    int32_t index[8];
    double days[8];
    ASSERT_EQ(strata.personCells(jan1980, jan1981 - 1, birth, index, days, 8), 1);
    EXPECT_EQ(index[0], 1);
    EXPECT_EQ(days[0], 366.0);
    ASSERT_EQ(strata.personCells(jan1980, jan1982 - 1, birth, index, days, 8), 2);
    EXPECT_EQ(index[0], 1);
    EXPECT_EQ(index[1], 4);
    EXPECT_EQ(days[0] + days[1], 731.0);
    const double death = jan1981 + 100;
    EXPECT_EQ(strata.deathCell(death, death - 27 * 365.25), 5);
}

TEST_F(LibraryBinding, MissingLibraryIsError48AtTheFirstCallNotACrash)
{
    lib::UseLibraryFile("libveldrix-not-there.so");  // loads nothing yet
    EXPECT_EQ(errorNumberOf([] { lib::MultiplierExactLow(10, 0.05); }), vdx::err::DllLoad);
    try {
        double bounds[3] = {0, 1, 2};
        lib::Strata(bounds, 1, bounds, 1);
        FAIL() << "no error";
    } catch (const vdx::VdxError& e) {
        EXPECT_EQ(e.number(), 48);
        EXPECT_NE(e.description().find("libveldrix-not-there.so"), std::string::npos) << e.description();
        // What the command's handler shows.
        EXPECT_NE(vdx::GeneralErrorText(e.number(), e.description()).find("Number: 48"), std::string::npos);
    }
}

TEST_F(LibraryBinding, MissingExportIsError453NamingTheExport)
{
    lib::UseLibraryFile("libm.so.6");  // loads, but has none of the exports
    try {
        lib::MultiplierByarHigh(10, 1.96);
        FAIL() << "no error";
    } catch (const vdx::VdxError& e) {
        EXPECT_EQ(e.number(), vdx::err::DllEntryPoint);
        EXPECT_NE(e.description().find("MultiplierByarHigh"), std::string::npos) << e.description();
    }
    EXPECT_EQ(errorNumberOf([] {
                  double bounds[3] = {0, 1, 2};
                  lib::Strata(bounds, 1, bounds, 1);
              }),
              453);
}

TEST_F(LibraryBinding, WorksAgainAfterTheLibraryIsBack)
{
    lib::UseLibraryFile("libveldrix-not-there.so");
    EXPECT_EQ(errorNumberOf([] { lib::MultiplierWaldLow(10, 1.96); }), 48);
    lib::UseLibraryFile(lib::kLibraryFileName);
    EXPECT_NEAR(lib::MultiplierWaldLow(10, 1.95996398454005), std::exp(-1.95996398454005 / std::sqrt(10.0)), 1e-15);
}

// ---- GetMultiplier --------------------------------------------------------------

// The method of a row of the reference table ("exact", "chisquare" ...).
std::optional<vdx::IntervalMethod> ReferenceMethod(const std::string& key)
{
    for (vdx::IntervalMethod method : vdx::kIntervalMethods) {
        std::string name = vdx::IntervalMethodName(method);
        std::erase(name, ' ');
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name == key) return method;
    }
    return std::nullopt;
}

TEST_F(LibraryBinding, GetMultiplierSelectsEachMethodAndSide)
{
    // 95 %, 10 observed: ten different figures, so a swapped export shows.
    int checked = 0;
    for (const auto& r : vdx::test::LoadMultiplierReference()) {
        if (r.observed != 10 || r.alpha != 0.05) continue;
        const auto method = ReferenceMethod(r.method);
        ASSERT_TRUE(method) << r.method;
        EXPECT_NEAR(vdx::GetMultiplier(*method, vdx::BoundSide::Low, 10, 95), r.low, 1e-9) << r.method;
        EXPECT_NEAR(vdx::GetMultiplier(*method, vdx::BoundSide::High, 10, 95), r.high, 1e-9) << r.method;
        ++checked;
    }
    EXPECT_EQ(checked, 5);
}

TEST_F(LibraryBinding, GetMultiplierMapsTheLevelToZOrAlpha)
{
    using vdx::BoundSide;
    using vdx::IntervalMethod;
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Wald, BoundSide::High, 10, 90), lib::MultiplierWaldHigh(10, 1.64485362695147));
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Wald, BoundSide::High, 10, 95), lib::MultiplierWaldHigh(10, 1.95996398454005));
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Byar, BoundSide::Low, 10, 99), lib::MultiplierByarLow(10, 2.5758293035489));
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Exact, BoundSide::Low, 10, 90), lib::MultiplierExactLow(10, 0.1));
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Exact, BoundSide::High, 10, 99), lib::MultiplierExactHigh(10, 0.01));
}

TEST_F(LibraryBinding, GetMultiplierWithAnotherLevelUsesZeroForZAndAlpha)
{
    EXPECT_EQ(vdx::LevelQuantile(80), 0.0);
    EXPECT_EQ(vdx::LevelAlpha(80), 0.0);
    using vdx::BoundSide;
    using vdx::IntervalMethod;
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Wald, BoundSide::Low, 10, 80), 1.0);
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Wald, BoundSide::High, 10, 0), 1.0);
    // alpha 0: the exact bounds of a mean known with certainty 1 are 0 and infinity.
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Exact, BoundSide::Low, 10, 100), 0.0);
    EXPECT_EQ(vdx::GetMultiplier(IntervalMethod::Exact, BoundSide::High, 10, 100), std::numeric_limits<double>::infinity());
}

TEST_F(LibraryBinding, OnlyTheListedMethodNamesNameAMethod)
{
    for (vdx::IntervalMethod method : vdx::kIntervalMethods)
        EXPECT_EQ(vdx::IntervalMethodNamed(vdx::IntervalMethodName(method)), method);
    for (const char* text : {"exact", "BYAR", "ChiSquare", "chi-square", "square root", "", "Exact "})
        EXPECT_FALSE(vdx::IntervalMethodNamed(text)) << text;
    // A method reaches the library, here a missing one.
    lib::UseLibraryFile("libveldrix-not-there.so");
    EXPECT_EQ(errorNumberOf([] { vdx::GetMultiplier(vdx::IntervalMethod::Wald, vdx::BoundSide::Low, 10, 95); }), 48);
}

}  // namespace
