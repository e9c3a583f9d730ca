// Rate tables given per 1,000 or per 100,000 person-years: the question the
// rate import asks after the source is chosen, and the conversion to deaths
// per person-year, the unit the SMR run multiplies person-years by.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "state/interaction.h"

namespace vdx::db {
class Database;
}

namespace vdx::exchange {

// The units offered, in the order of the choice: per person-year, per 1,000
// and per 100,000 person-years.
inline constexpr double kRateUnits[] = {1.0, 1000.0, 100000.0};

// Whether `unit` is one of kRateUnits.
bool IsRateUnit(double unit);

// Asks for the unit of the rates about to be imported (of `table`, or of a
// table still to be chosen when it is ""); nullopt when the user cancels.
std::optional<double> AskRateUnit(Interaction& ui, const std::string& table);

// Divides every rate of `table` by `unit` (x / unit, one IEEE rounding) and
// makes its rate columns Double, so that nothing is rounded again on the way
// into the table. The rate columns are the columns of a number type and the
// text columns whose every value reads as a number; others stay as they are.
// Returns the rate columns. Runs inside the caller's transaction.
std::vector<std::string> ConvertRatesToPerPersonYear(db::Database& workingCopy, const std::string& table,
                                                     double unit);

// The message after a conversion: the table, the unit, the columns divided.
std::string RatesConvertedText(const std::string& table, double unit, const std::vector<std::string>& columns);

}  // namespace vdx::exchange
