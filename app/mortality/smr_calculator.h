// The SMR calculator: an SMR and its confidence bounds by any of the five
// methods for an observed and an expected number typed by hand. Widget-free:
// the dialog frmSMRCalculator and `veldrix-cli calc` show what it returns.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "state/multiplier.h"

namespace vdx::mortality {

// The calculator lists and reports the methods in the order of
// kIntervalMethods (state/multiplier.h).
// The levels of the list, in per cent.
inline constexpr std::array<int, 3> kCalculatorLevels{90, 95, 99};

// The position of a method name in kIntervalMethods, -1 for none.
int CalculatorMethodIndex(const std::string& name);
// The position of a level list entry ("90", "95" or "99", a trailing "%"
// allowed), -1 for none.
int CalculatorLevelIndex(const std::string& text);

struct CalculatorInput {
    std::string observed;           // as typed
    std::string expected;           // as typed
    int levelIndex = -1;            // into kCalculatorLevels; -1 no selection
    std::array<bool, 5> methods{};  // checked, in the order of kIntervalMethods
    double nullValue = 100;         // 1 or 100
};

// Characters [start, start + length) of the text.
struct TextRange {
    size_t start = 0;
    size_t length = 0;
    bool operator==(const TextRange&) const = default;
};

struct CalculatorResult {
    int message = 0;         // 0 done; otherwise the message shown instead: 38, 39 or 40
    std::string text;        // lines end in CR LF
    std::vector<TextRange> blue;  // the SMR and the bound values
    std::string detail = {};      // what is wrong, after the message's text
    bool smrDefined = true;       // false with E = 0: the text says "not defined"
    // The message as shown: its text and the detail.
    std::string messageText() const;
    // The paragraphs holding any of the first this many characters are
    // centred (the banner).
    static constexpr size_t kCentredChars = 60;
};

// Calculate: the checks (38 observed, then 39 expected), the SMR rounded to
// eight decimals and scaled by the null value, the bounds of each checked
// method from the observed number rounded half to even. With E = 0 the SMR
// and its bounds read "not defined" (smrDefined false); an observed number
// that rounds to 0 has the lower bound 0 and the upper bound
// UpperLimitAtZero / E. A result too big for the arithmetic gives message
// 40. Throws VdxError when the computation library cannot be used.
CalculatorResult CalculateSmr(const CalculatorInput& input);

// "0.00000000": eight decimals, the point as decimal separator.
std::string FormatEightDecimals(double value);

}  // namespace vdx::mortality
