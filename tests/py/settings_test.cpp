// The stratification settings: regular class bounds, the numbers the
// dialog's text boxes give, the checks of Compute in their order, the
// self-defined class lists, the sex and lag definitions, and the snapshot
// that Cancel puts back.
#include <gtest/gtest.h>

#include "py/class_bounds.h"
#include "py/py_comp.h"
#include "py/self_defined.h"
#include "py/sex_lag.h"
#include "state/messages.h"
#include "state/scripted_interaction.h"

using namespace vdx;
using namespace vdx::py;

namespace {

std::vector<int16_t> Bounds(std::initializer_list<int16_t> b) {
    std::vector<int16_t> v{0};
    v.insert(v.end(), b);
    return v;
}

// A state with an open project whose main data table has these columns.
ProgramState StudyState() {
    ProgramState s;
    s.ProjectOpen = true;
    s.MainTableName = "Cohort";
    s.MainTableFields = {{"ID", "numeric"}, {"DOB", "date"}, {"DOE", "date"}, {"DOX", "date"},
                         {"SEX", "numeric"}, {"DOH", "date"}, {"NAME", ""}};
    return s;
}

PyRequest GoodForm() {
    return PyRequest{"DOB", "DOE", "DOX", "0", "85", "5", "1970", "2000", "5"};
}

}  // namespace

// ---- Regular bounds ------------------------------------------------------------

TEST(RegularBounds, ZeroToEightyFiveByFiveGivesEighteenBoundsAndSeventeenClasses) {
    ProgramState s;
    s.py.ageFrom = 0;
    s.py.ageTo = 85;
    s.py.ageStep = 5;
    BuildAgeBounds(s);
    EXPECT_EQ(s.py.ageBoundCount, 18);
    ASSERT_EQ(s.AgeBounds.size(), 19u);
    for (int k = 1; k <= 18; ++k) EXPECT_EQ(s.AgeBounds[k], 5 * (k - 1)) << k;
}

TEST(RegularBounds, CountRoundsHalvesToEvenAndTheLastBoundMayPassTo) {
    int16_t count = 0;
    std::vector<int16_t> b;
    BuildBounds(0, 10, 3, count, b);  // 10/3 + 1 = 4.33
    EXPECT_EQ(count, 4);
    EXPECT_EQ(b, Bounds({0, 3, 6, 9}));
    BuildBounds(0, 11, 3, count, b);  // 4.67
    EXPECT_EQ(count, 5);
    EXPECT_EQ(b, Bounds({0, 3, 6, 9, 12}));
    BuildBounds(0, 5, 2, count, b);  // 3.5 -> 4
    EXPECT_EQ(count, 4);
    BuildBounds(0, 3, 2, count, b);  // 2.5 -> 2
    EXPECT_EQ(count, 2);
    EXPECT_EQ(b, Bounds({0, 2}));
}

TEST(RegularBounds, StepZeroChangesNothing) {
    ProgramState s;
    s.py.calendarBoundCount = 3;
    s.CalendarBounds = Bounds({1950, 1960, 1970});
    s.py.calendarFrom = 1900;
    s.py.calendarTo = 2000;
    s.py.calendarStep = 0;
    BuildCalendarBounds(s);
    EXPECT_EQ(s.py.calendarBoundCount, 3);
    EXPECT_EQ(s.CalendarBounds, Bounds({1950, 1960, 1970}));
}

TEST(RegularBounds, FromEqualToGivesOneBoundAndNoClass) {
    ProgramState s;
    s.py.ageFrom = 20;
    s.py.ageTo = 20;
    s.py.ageStep = 5;
    BuildAgeBounds(s);
    EXPECT_EQ(s.py.ageBoundCount, 1);
    EXPECT_EQ(s.AgeBounds, Bounds({20}));
}

// ---- Numbers typed into the text boxes ----------------------------------------------

TEST(BoxNumbers, OnlyTheFirstThreeOrFourCharactersAreRead) {
    EXPECT_EQ(ReadBoxNumber("1000", 3), 100);
    EXPECT_EQ(ReadBoxNumber("19705", 4), 1970);
    EXPECT_EQ(ReadBoxNumber("85 years", 3), 85);
}

TEST(BoxNumbers, LeadingNumberRoundedHalvesToEvenAndNothingGivesZero) {
    EXPECT_EQ(ReadBoxNumber("2.5", 3), 2);
    EXPECT_EQ(ReadBoxNumber("3.5", 3), 4);
    EXPECT_EQ(ReadBoxNumber("abc", 3), 0);
    EXPECT_EQ(ReadBoxNumber("", 3), 0);
    EXPECT_EQ(ReadBoxNumber("-5", 3), -5);
}

TEST(BoxNumbers, ANumberBeyondSixteenBitsIsNoBoxNumber) {
    EXPECT_FALSE(ReadBoxNumber("9e9", 3).has_value());
    EXPECT_FALSE(ReadBoxNumber("1e99", 4).has_value());
}

TEST(BoxNumbers, CharactersAreCountedNotBytes) {
    EXPECT_EQ(FirstCharacters("\xC3\xA4" "12", 3), "\xC3\xA4" "12");
    EXPECT_EQ(FirstCharacters("12345", 3), "123");
}

// ---- The menu command ------------------------------------------------------------

TEST(PersonYearsCommand, NeedsAnOpenProjectFileAndAMainDataTable) {
    ProgramState s;
    ScriptedInteraction ui;
    EXPECT_FALSE(PersonYearsCommandAllowed(s, ui));
    s.ProjectOpen = true;
    EXPECT_FALSE(PersonYearsCommandAllowed(s, ui));
    s.MainTableName = "Cohort";
    EXPECT_TRUE(PersonYearsCommandAllowed(s, ui));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, Message(16));
    EXPECT_EQ(ui.messages[1].text, Message(17));
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.icon, Icon::Exclamation);
        EXPECT_EQ(m.title, "VELDRIX");
    }
}

// ---- Compute's checks -----------------------------------------------------------

class ComputeChecks : public ::testing::Test {
protected:
    PyCheck check(const PyRequest& f) { return CheckPyRequest(s, ui, f); }
    ProgramState s = StudyState();
    ScriptedInteraction ui;
};

TEST_F(ComputeChecks, AGoodFormPassesAndBuildsBothSeries) {
    const auto r = check(GoodForm());
    EXPECT_TRUE(r.ok()) << r.message;
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(s.py.ageBoundCount, 18);
    EXPECT_EQ(s.py.calendarBoundCount, 7);
    EXPECT_EQ(s.CalendarBounds, Bounds({1970, 1975, 1980, 1985, 1990, 1995, 2000}));
    EXPECT_EQ(s.py.birthColumn, "DOB");
    EXPECT_EQ(s.py.exitColumn, "DOX");
}

TEST_F(ComputeChecks, EmptyDateColumnsGiveMessagesTwoToFourInOrder) {
    PyRequest f = GoodForm();
    f.birthColumn = f.entryColumn = f.exitColumn = "";
    EXPECT_EQ(check(f).message, 2);
    f.birthColumn = "DOB";
    EXPECT_EQ(check(f).message, 3);
    f.entryColumn = "DOE";
    EXPECT_EQ(check(f).message, 4);
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[2].text, "You must select a variable for termination-point-of-study!");
    EXPECT_EQ(ui.messages[2].icon, Icon::Critical);
    EXPECT_EQ(ui.messages[2].title, "Error");
}

TEST_F(ComputeChecks, AColumnThatIsNoDateGivesItsMessageAndTheFocus) {
    PyRequest f = GoodForm();
    f.birthColumn = "ID";
    auto r = check(f);
    EXPECT_EQ(r.message, 5);
    EXPECT_EQ(r.focus, PyField::BirthColumn);
    f.birthColumn = "DOB";
    f.entryColumn = "NAME";
    r = check(f);
    EXPECT_EQ(r.message, 6);
    EXPECT_EQ(r.focus, PyField::EntryColumn);
    f.entryColumn = "DOE";
    f.exitColumn = "SEX";
    r = check(f);
    EXPECT_EQ(r.message, 7);
    EXPECT_EQ(r.focus, PyField::ExitColumn);
    EXPECT_EQ(s.py.exitColumn, "SEX");  // read before the check, kept
}

TEST_F(ComputeChecks, ATypedNameThatIsNoColumnIsNamedAndOtherLetterCaseIsTheColumn) {
    PyRequest f = GoodForm();
    f.entryColumn = "Hired";
    const auto r = check(f);
    EXPECT_EQ(r.message, 6);
    EXPECT_EQ(r.focus, PyField::EntryColumn);
    EXPECT_EQ(ui.messages.back().text, NoColumnText(s, "Hired"));
    EXPECT_NE(ui.messages.back().text.find("no column 'Hired'"), std::string::npos);
    f.entryColumn = "doe";
    EXPECT_TRUE(check(f).ok());
}

TEST_F(ComputeChecks, SexAndLagNeedTheirConfirmedDefinitions) {
    s.py.bySex = true;
    EXPECT_EQ(check(GoodForm()).message, 8);
    s.py.sexDefined = true;
    s.py.withLag = true;
    EXPECT_EQ(check(GoodForm()).message, 9);
    s.py.lagDefined = true;
    EXPECT_TRUE(check(GoodForm()).ok());
}

TEST_F(ComputeChecks, InconsistentAgeSeriesGiveMessageTen) {
    for (auto [from, to, step] : {std::tuple{"-5", "85", "5"}, {"0", "0", "5"}, {"0", "85", "0"},
                                  {"50", "20", "5"}, {"0", "9e9", "5"}}) {
        PyRequest f = GoodForm();
        f.ageFrom = from;
        f.ageTo = to;
        f.ageStep = step;
        EXPECT_EQ(check(f).message, 10) << from << " " << to << " " << step;
    }
}

TEST_F(ComputeChecks, InconsistentCalendarSeriesGiveMessageElevenAfterTheAgesWereRead) {
    PyRequest f = GoodForm();
    f.ageTo = "1000";  // read as 100
    f.calendarFrom = "2000";
    f.calendarTo = "1970";
    EXPECT_EQ(check(f).message, 11);
    EXPECT_EQ(s.py.ageTo, 100);
    EXPECT_EQ(s.py.calendarFrom, 2000);
}

TEST_F(ComputeChecks, ABoxWithoutANumberIsRefusedWithItsMessageAndTheFocus) {
    struct Case {
        std::string PyRequest::*box;
        std::string text;
        int message;
        PyField focus;
    };
    const Case cases[] = {
        {&PyRequest::ageFrom, "abc", 10, PyField::AgeFrom},
        {&PyRequest::ageTo, "", 10, PyField::AgeTo},
        {&PyRequest::ageStep, "-5", 10, PyField::AgeStep},
        {&PyRequest::calendarFrom, "", 11, PyField::CalendarFrom},
        {&PyRequest::calendarTo, "x2000", 11, PyField::CalendarTo},
        {&PyRequest::calendarStep, ".", 11, PyField::CalendarStep},
    };
    for (const auto& c : cases) {
        s.AgeBounds = Bounds({10, 20});
        s.py.ageBoundCount = 2;
        PyRequest f = GoodForm();
        f.*c.box = c.text;
        const PyCheck r = check(f);
        EXPECT_EQ(r.message, c.message) << c.text;
        EXPECT_EQ(r.focus, c.focus) << c.text;
        EXPECT_EQ(s.AgeBounds, Bounds({10, 20})) << c.text;  // no bounds were built
    }
}

TEST_F(ComputeChecks, CalendarBoundsMustBeYearsFromOneHundredTo9999) {
    struct Case {
        const char *from, *to, *step;
        PyField focus;  // None: accepted
    };
    const Case cases[] = {
        {"99", "2000", "5", PyField::CalendarFrom},
        {"100", "2000", "100", PyField::None},
        {"9990", "9999", "9", PyField::None},
        {"9988", "9999", "3", PyField::CalendarTo},  // the last bound passes To: 10000
    };
    for (const auto& c : cases) {
        PyRequest f = GoodForm();
        f.calendarFrom = c.from;
        f.calendarTo = c.to;
        f.calendarStep = c.step;
        const PyCheck r = check(f);
        EXPECT_EQ(r.message, c.focus == PyField::None ? 0 : 11) << c.from << ":" << c.to << ":" << c.step;
        EXPECT_EQ(r.focus, c.focus) << c.from << ":" << c.to << ":" << c.step;
    }
}

TEST_F(ComputeChecks, CalendarFromAndToAreReadWithFourCharacters) {
    PyRequest f = GoodForm();
    f.calendarFrom = "19705";
    f.calendarTo = "20001";
    ASSERT_TRUE(check(f).ok());
    EXPECT_EQ(s.py.calendarFrom, 1970);
    EXPECT_EQ(s.py.calendarTo, 2000);
}

TEST_F(ComputeChecks, TheGreyedBoxesBesideASelfDefinedListAreNotChecked) {
    s.py.ageSelfDefined = s.py.calendarSelfDefined = true;
    s.py.ageBoundCount = 3;
    s.AgeBounds = Bounds({20, 30, 40});
    s.py.calendarBoundCount = 2;
    s.CalendarBounds = Bounds({1950, 1970});
    s.py.ageStep = 7;
    PyRequest f = GoodForm();
    f.ageFrom = f.ageTo = f.ageStep = "0";
    f.calendarFrom = f.calendarTo = "";
    f.calendarStep = "2.5";
    ASSERT_TRUE(check(f).ok()) << ::testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(s.AgeBounds, Bounds({20, 30, 40}));  // the lists are used unchanged
    EXPECT_EQ(s.CalendarBounds, Bounds({1950, 1970}));
    EXPECT_EQ(s.py.ageStep, 7);                 // and the boxes not read
}

TEST_F(ComputeChecks, ANumberThatIsNotWholeIsRefusedNotRounded) {
    struct Case {
        std::string PyRequest::*box;
        const char* text;
        int message;
        PyField focus;
        const char* shown;
    };
    const Case cases[] = {
        {&PyRequest::ageStep, "2.5", 10, PyField::AgeStep, "Step holds 2.5"},
        {&PyRequest::ageFrom, "15,5", 10, PyField::AgeFrom, "From holds 15.5"},
        {&PyRequest::calendarStep, "2.5", 11, PyField::CalendarStep, "Step holds 2.5"},
        {&PyRequest::calendarTo, "1999.75", 11, PyField::CalendarTo, "To holds 1999.75"},
    };
    for (const auto& c : cases) {
        PyRequest f = GoodForm();
        f.*c.box = c.text;
        const PyCheck r = check(f);
        EXPECT_EQ(r.message, c.message) << c.text;
        EXPECT_EQ(r.focus, c.focus) << c.text;
        EXPECT_NE(ui.messages.back().text.find(c.shown), std::string::npos) << ui.messages.back().text;
    }
    PyRequest f = GoodForm();
    f.ageStep = "5.0";  // whole
    EXPECT_TRUE(check(f).ok());
}

TEST_F(ComputeChecks, SelfDefinedWithoutAListGivesNoClassMessages) {
    s.py.ageSelfDefined = true;
    s.py.ageBoundCount = 5;  // a count loaded from a file that never had a run: no bounds
    EXPECT_EQ(check(GoodForm()).message, 12);
    s.py.ageSelfDefined = false;
    s.py.calendarSelfDefined = true;
    s.py.calendarBoundCount = 0;
    EXPECT_EQ(check(GoodForm()).message, 13);
}

TEST_F(ComputeChecks, OneBoundIsNoFailure) {
    PyRequest f = GoodForm();
    f.ageFrom = "20";
    f.ageTo = "20";
    EXPECT_TRUE(check(f).ok());
    EXPECT_EQ(s.py.ageBoundCount, 1);
}

// ---- Self-defined classes ------------------------------------------------------

class SelfDefined : public ::testing::Test {
protected:
    void row(int r, const std::string& begin, const std::string& end) {
        grid.cell(r, kBeginColumn) = begin;
        grid.cell(r, kEndColumn) = end;
    }
    ProgramState s = StudyState();
    ScriptedInteraction ui;
    SelfDefinedGrid grid;
};

TEST_F(SelfDefined, AgeRowsBecomeTheirBeginsAndTheLastEndPlusOne) {
    row(1, "20", "24");
    row(2, "25", "29");
    row(3, "30", "39");
    row(5, "90", "99");  // after the first empty Begin: not part of the list
    ASSERT_TRUE(SelfDefinedOk(s, ui, false, grid).ok());
    EXPECT_EQ(s.py.ageBoundCount, 4);
    EXPECT_EQ(s.AgeBounds, Bounds({20, 25, 30, 40}));
    EXPECT_FALSE(s.py.ageSelfDefined);  // the flag belongs to frmPyComp
}

TEST_F(SelfDefined, AGapOrAnOverlapIsInconsistentAtTheBeginOfTheRow) {
    row(1, "20", "24");
    row(2, "26", "29");
    auto r = SelfDefinedOk(s, ui, false, grid);
    EXPECT_EQ(r.message, 10);
    EXPECT_EQ(r.row, 2);
    EXPECT_EQ(r.column, kBeginColumn);
    row(2, "24", "29");
    r = SelfDefinedOk(s, ui, false, grid);
    EXPECT_EQ(r.message, 10);
    EXPECT_EQ(r.row, 2);
    EXPECT_EQ(ui.messages.back().text, "Inconsistent age class definition!");
    EXPECT_EQ(s.py.ageBoundCount, 0);  // nothing taken over
}

TEST_F(SelfDefined, AnEndBeforeItsBeginIsInconsistentAtTheEnd) {
    row(1, "30", "25");
    const auto r = SelfDefinedOk(s, ui, false, grid);
    EXPECT_EQ(r.message, 10);
    EXPECT_EQ(r.row, 1);
    EXPECT_EQ(r.column, kEndColumn);
}

TEST_F(SelfDefined, AnEmptyListIsInconsistent) {
    EXPECT_EQ(SelfDefinedOk(s, ui, false, grid).message, 10);
    EXPECT_EQ(SelfDefinedOk(s, ui, true, grid).message, 11);
}

TEST_F(SelfDefined, CellsThatAreNoNumberOrNegativeAreNamed) {
    row(1, "20", "24");
    row(2, "25", "abc");
    auto r = SelfDefinedOk(s, ui, false, grid);
    EXPECT_EQ(r.row, 2);
    EXPECT_EQ(r.column, kEndColumn);
    row(1, "-5", "24");
    r = SelfDefinedOk(s, ui, false, grid);
    EXPECT_EQ(r.row, 1);
    EXPECT_EQ(r.column, kBeginColumn);
}

TEST_F(SelfDefined, CalendarPeriodsAreYears) {
    row(1, "1950", "1954");
    row(2, "1955", "1969");
    ASSERT_TRUE(SelfDefinedOk(s, ui, true, grid).ok());
    EXPECT_EQ(s.py.calendarBoundCount, 3);
    EXPECT_EQ(s.CalendarBounds, Bounds({1950, 1955, 1970}));
}

TEST_F(SelfDefined, ATwoDigitYearIsRefusedRatherThanTakenAsTheYearSeventy) {
    row(1, "70", "74");
    const auto r = SelfDefinedOk(s, ui, true, grid);
    EXPECT_EQ(r.message, 11);
    EXPECT_EQ(r.row, 1);
    EXPECT_EQ(ui.messages.back().text, "Inconsistent calendar class definition!");
}

TEST_F(SelfDefined, AnAgeThatIsNotWholeIsNamedNotRounded) {
    row(1, "20", "24.5");
    const auto r = SelfDefinedOk(s, ui, false, grid);
    EXPECT_EQ(r.message, 10);
    EXPECT_EQ(r.row, 1);
    EXPECT_EQ(r.column, kEndColumn);
    EXPECT_NE(ui.messages.back().text.find("row 1 holds 24.5 in End"), std::string::npos) << ui.messages.back().text;
}

TEST_F(SelfDefined, BoundsBeyondSixteenBitsAreRefused) {
    row(1, "20", "40000");
    const auto r = SelfDefinedOk(s, ui, false, grid);
    EXPECT_EQ(r.message, 10);
    EXPECT_EQ(r.column, kEndColumn);
}

TEST_F(SelfDefined, LoadingShowsTheClassesOfTheBoundList) {
    s.py.ageBoundCount = 4;
    s.AgeBounds = Bounds({20, 25, 30, 40});
    const auto g = LoadSelfDefined(s, false);
    EXPECT_EQ(g.cell(1, kBeginColumn), "20");
    EXPECT_EQ(g.cell(1, kEndColumn), "24");
    EXPECT_EQ(g.cell(3, kBeginColumn), "30");
    EXPECT_EQ(g.cell(3, kEndColumn), "39");
    EXPECT_EQ(g.cell(4, kBeginColumn), "");
    // And Ok on what was loaded gives the same list back.
    s.AgeBounds.clear();
    ASSERT_TRUE(SelfDefinedOk(s, ui, false, g).ok());
    EXPECT_EQ(s.AgeBounds, Bounds({20, 25, 30, 40}));
}

TEST(SelfDefinedTexts, CaptionsAndHeaders) {
    EXPECT_EQ(SelfDefinedCaption(false), "Self defined age classes");
    EXPECT_EQ(SelfDefinedCaption(true), "Self defined calendar classes");
    EXPECT_EQ(SelfDefinedFormat(false), "<Classes|<Begin (incl.)|<End (incl.)");
    EXPECT_EQ(SelfDefinedFormat(true), "<Classes|<1st January|<31st December");
}

// ---- Sex and lag ---------------------------------------------------------------

class SexAndLag : public ::testing::Test {
protected:
    ProgramState s = StudyState();
    ScriptedInteraction ui;
};

TEST_F(SexAndLag, TwoDifferentCodesConfirmTheSexDefinition) {
    EXPECT_EQ(SexValuesText(s.py), "0,0");
    EXPECT_EQ(SexOk(s, ui, "SEX", "1,2"), DefinitionOk::Confirmed);
    EXPECT_EQ(s.py.sexCode1, 1);
    EXPECT_EQ(s.py.sexCode2, 2);
    EXPECT_EQ(s.py.sexColumn, "SEX");
    EXPECT_EQ(SexValuesText(s.py), "1,2");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SexAndLag, SexValueMistakesKeepTheDialogOpenWithTheirMessage) {
    EXPECT_EQ(SexOk(s, ui, "SEX", "1,1"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(27));
    EXPECT_EQ(SexOk(s, ui, "SEX", "1;2"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(24));
    EXPECT_EQ(SexOk(s, ui, "SEX", "1,70000"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, "The sex values must range between 0 and 32767!");
    EXPECT_EQ(SexOk(s, ui, "SEX", "m,f"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(26));
    EXPECT_EQ(SexOk(s, ui, "SEX", "1,x"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(26));
    EXPECT_EQ(SexOk(s, ui, "SEX", "-1,2"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(27));
    EXPECT_EQ(SexOk(s, ui, "NAME", "1,2"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(25));
    for (const auto& m : ui.messages) EXPECT_EQ(m.title, "Error");
}

TEST_F(SexAndLag, ANameThatIsNoColumnIsNamedInItsDialog) {
    EXPECT_EQ(SexOk(s, ui, "GENDER", "1,2"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, NoColumnText(s, "GENDER"));
    EXPECT_EQ(LagOk(s, ui, "HIRED", "10"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, NoColumnText(s, "HIRED"));
    // Names are the engine's: a column typed in other letter case is the column.
    EXPECT_EQ(SexOk(s, ui, "sex", "1,2"), DefinitionOk::Confirmed);
    EXPECT_EQ(LagOk(s, ui, "doh", "10"), DefinitionOk::Confirmed);
}

TEST_F(SexAndLag, CodesThatRoundToTheSameNumberAreEqual) {
    EXPECT_EQ(SexOk(s, ui, "SEX", "2,2.4"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(27));
}

TEST_F(SexAndLag, NoColumnIsSaidAndClosingUnconfirmedLeavesTheEarlierDefinition) {
    s.py.bySex = s.py.sexDefined = true;
    s.py.sexColumn = "SEX";
    s.py.sexCode1 = 1;
    s.py.sexCode2 = 2;
    const SubDialogEntries before = TakeSexEntries(s.py);
    EXPECT_EQ(SexOk(s, ui, "", "1,2"), DefinitionOk::StayOpen);
    EXPECT_NE(ui.messages.back().text.find("Choose the column"), std::string::npos);
    EXPECT_EQ(SexOk(s, ui, "SEX", "3,4"), DefinitionOk::Confirmed);  // then Cancel
    SexDialogClosed(s, false, before);
    EXPECT_TRUE(s.py.bySex);
    EXPECT_TRUE(s.py.sexDefined);
    EXPECT_EQ(SexValuesText(s.py), "1,2");
    EXPECT_EQ(s.py.sexColumn, "SEX");
    s.py.sexDefined = false;
    SexDialogClosed(s, true, before);
    EXPECT_TRUE(s.py.sexDefined);
}

TEST_F(SexAndLag, LagMustBeZeroToOneHundredYears) {
    for (const char* bad : {"101", "abc", "-1", "1e9", ""}) {
        EXPECT_EQ(LagOk(s, ui, "DOH", bad), DefinitionOk::StayOpen) << bad;
        EXPECT_EQ(ui.messages.back().text, Message(15)) << bad;
    }
    EXPECT_EQ(LagOk(s, ui, "DOH", "0"), DefinitionOk::Confirmed);
    EXPECT_EQ(s.py.lagYears, 0);
    EXPECT_EQ(LagOk(s, ui, "DOH", "10.5"), DefinitionOk::Confirmed);  // halves to even
    EXPECT_EQ(s.py.lagYears, 10);
    EXPECT_EQ(LagOk(s, ui, "DOH", "100"), DefinitionOk::Confirmed);
}

TEST_F(SexAndLag, TheHireColumnMustBeADateAndClosingUnconfirmedLeavesTheEarlierLag) {
    s.py.withLag = true;
    s.py.lagYears = 5;
    const SubDialogEntries before = TakeLagEntries(s.py);
    EXPECT_EQ(LagOk(s, ui, "SEX", "10"), DefinitionOk::StayOpen);
    EXPECT_EQ(ui.messages.back().text, Message(14));
    EXPECT_EQ(LagOk(s, ui, "", "10"), DefinitionOk::StayOpen);
    EXPECT_NE(ui.messages.back().text.find("Choose the column"), std::string::npos);
    LagDialogClosed(s, false, before);
    EXPECT_TRUE(s.py.withLag);
    EXPECT_EQ(s.py.lagYears, 5);
    EXPECT_EQ(s.py.hireColumn, "");
}

TEST(SexCodes, TheTwoMostFrequentCodesAreProposedSmallerFirstAndTheHintSaysWhichIsWhich) {
    EXPECT_EQ(ProposedSexValues({{2, 80}, {1, 20}, {9, 1}}), "1,2");
    EXPECT_EQ(ProposedSexValues({{1, 20}}), std::nullopt);
    const std::string hint = SexCodesHint("SEX", {{2, 80}, {1, 20}}, "1,2");
    EXPECT_NE(hint.find("2 (80 rows), 1 (20 rows)"), std::string::npos) << hint;
    EXPECT_NE(hint.find("first code makes the table Age*Calendar*Sex=1, the second Age*Calendar*Sex=2"),
              std::string::npos)
        << hint;
}

// ---- The snapshot -----------------------------------------------------------------

TEST(SettingsSnapshot, CancelPutsBackEverySettingAndBothBoundLists) {
    ProgramState s = StudyState();
    s.py.birthColumn = "DOB";
    s.py.ageBoundCount = 3;
    s.AgeBounds = Bounds({20, 30, 40});
    s.py.calendarBoundCount = 2;
    s.CalendarBounds = Bounds({1970, 1980});
    s.py.bySex = true;
    s.py.sexDefined = true;
    s.py.sexCode1 = 1;
    const ProgramState before = s;
    const auto snapshot = TakeSettingsSnapshot(s);

    ScriptedInteraction ui;
    PyRequest f = GoodForm();
    f.birthColumn = "DOE";
    ASSERT_TRUE(CheckPyRequest(s, ui, f).ok());
    s.py.bySex = false;
    s.py.sexDefined = false;
    s.MainTableFields.clear();
    RestoreSettingsSnapshot(s, snapshot);

    PySettings expected = before.py;
    expected.sexDefined = false;  // not part of the snapshot
    EXPECT_EQ(s.py, expected);
    EXPECT_EQ(s.AgeBounds, before.AgeBounds);
    EXPECT_EQ(s.CalendarBounds, before.CalendarBounds);
    EXPECT_EQ(s.MainTableFields, before.MainTableFields);
}

TEST(SettingsSnapshot, ACountWithoutBoundsComesBackAsTheBoundsThereAre) {
    ProgramState s = StudyState();
    s.py.ageBoundCount = 18;  // loaded from a file that never had a run: no bound list
    const auto snapshot = TakeSettingsSnapshot(s);
    RestoreSettingsSnapshot(s, snapshot);
    EXPECT_EQ(static_cast<int>(s.AgeBounds.size()), s.py.ageBoundCount + 1);
    EXPECT_EQ(static_cast<int>(s.CalendarBounds.size()), s.py.calendarBoundCount + 1);
}
