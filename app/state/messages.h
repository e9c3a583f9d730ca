// The message table and the general error message that every command uses.
#pragma once

#include <string>

namespace vdx {

inline constexpr int kMessageSlots = 101;  // slots 0 to 100; 1 to 42 are filled

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
