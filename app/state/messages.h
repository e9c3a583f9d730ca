// The message table and the general error message that every command uses.
#pragma once

#include <string>

namespace vdx {

inline constexpr int kMessageSlots = 101;  // slots 0 to 100; 1 to 42 are filled

// The numbers of the messages, by what they say. The numbers themselves
// stay: a message refused by a dialog is known by its number.
namespace msg {
inline constexpr int WrongFileVersion = 1;
inline constexpr int NoBirthColumn = 2;
inline constexpr int NoEntryColumn = 3;
inline constexpr int NoExitColumn = 4;
inline constexpr int BirthNotDate = 5;
inline constexpr int EntryNotDate = 6;
inline constexpr int ExitNotDate = 7;
inline constexpr int BadSexStratification = 8;
inline constexpr int BadLag = 9;
inline constexpr int InconsistentAgeClasses = 10;
inline constexpr int InconsistentCalendarClasses = 11;
inline constexpr int NoAgeClass = 12;
inline constexpr int NoCalendarClass = 13;
inline constexpr int HireNotDate = 14;
inline constexpr int LagOutOfRange = 15;
inline constexpr int NoProjectLoaded = 16;
inline constexpr int NoMainTable = 17;
inline constexpr int PersonYearsFirst = 18;
inline constexpr int SaveChanges = 19;
inline constexpr int MainTableExists = 20;
inline constexpr int ReallyCancel = 21;
inline constexpr int ProjectNameStartsWithLetter = 22;
inline constexpr int TwoSexValues = 24;
inline constexpr int SexColumnNotNumeric = 25;
inline constexpr int SexValuesNotNumeric = 26;
inline constexpr int SexValuesOutOfRange = 27;
inline constexpr int NoRateTable = 28;
inline constexpr int NoPersonYearsTable = 29;
inline constexpr int NoDeathColumn = 30;
inline constexpr int DeathColumnNotNumeric = 31;
inline constexpr int DeathValueNotNumeric = 32;
inline constexpr int DeathValueOutOfRange = 33;
inline constexpr int RatesDoNotFitPersonYears = 34;
inline constexpr int ProjectNameExists = 35;
inline constexpr int ExpectedIsZero = 36;
inline constexpr int ObservedIsZero = 37;
inline constexpr int ObservedNegative = 38;
inline constexpr int ExpectedNegative = 39;
inline constexpr int SmrTooBig = 40;
inline constexpr int OverwriteFormerVersion = 41;
inline constexpr int NotAFormerVersionFile = 42;
}  // namespace msg

// Text of message slot n (empty for an unused or out-of-range slot).
const std::string& Message(int n);

// "Following error has occured:" CR LF "Number: n" CR LF "Description: d".
std::string GeneralErrorText(int number, const std::string& description);

// The question of the first Save of a study opened from a Jet file: Yes
// saves in our format (the original kept as `backup`), No keeps Jet.
std::string KeepJetFormatQuestion(const std::string& projectFile, const std::string& backup);

// Program constants.
inline const std::string kProgramVersion = "1.41";
inline const std::string kFormatVersion = "3.0";
inline const std::string kApplicationName = "VELDRIX";
inline const std::string kSmrReportHeadingDefault =
    "VELDRIX - PersonYears and Mortality Computation Program";

}  // namespace vdx
