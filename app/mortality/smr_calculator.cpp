#include "mortality/smr_calculator.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "mortality/smr_report.h"
#include "state/errors.h"
#include "state/messages.h"
#include "state/multiplier.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

constexpr const char* kBreak = "\r\n";

// Thrown inside the calculation when a result is too big for the arithmetic.
struct TooBig {};

double Finite(double v) {
    if (!std::isfinite(v)) throw TooBig{};
    return v;
}

// Appends a value and records its characters as coloured.
void AppendBlue(CalculatorResult& r, const std::string& value) {
    r.blue.push_back({r.text.size(), value.size()});
    r.text += value;
}

}  // namespace

int CalculatorMethodIndex(const std::string& name) {
    for (size_t i = 0; i < kIntervalMethods.size(); ++i)
        if (name == IntervalMethodName(kIntervalMethods[i])) return static_cast<int>(i);
    return -1;
}

int CalculatorLevelIndex(const std::string& text) {
    std::string t = text;
    if (!t.empty() && t.back() == '%') t.pop_back();
    for (size_t i = 0; i < kCalculatorLevels.size(); ++i)
        if (t == std::to_string(kCalculatorLevels[i])) return static_cast<int>(i);
    return -1;
}

std::string CalculatorResult::messageText() const {
    return Message(message) + (detail.empty() ? std::string() : " " + detail);
}

std::string FormatEightDecimals(double value) {
    // Enough room for any double in fixed notation.
    std::vector<char> buf(400);
    std::snprintf(buf.data(), buf.size(), "%.8f", value);
    std::string s = buf.data();
    if (s == "-0.00000000") s = "0.00000000";
    return s;
}

CalculatorResult CalculateSmr(const CalculatorInput& in) {
    CalculatorResult r;
    const std::optional<double> observed = ReadNumber(in.observed);
    if (!observed || *observed < 0) {
        r.message = msg::ObservedNegative;
        return r;
    }
    const std::optional<double> expected = ReadNumber(in.expected);
    if (!expected || *expected < 0) {
        r.message = msg::ExpectedNegative;
        return r;
    }
    const bool levelChosen = in.levelIndex >= 0 && in.levelIndex < static_cast<int>(kCalculatorLevels.size());
    const std::string label = levelChosen ? std::to_string(kCalculatorLevels[in.levelIndex]) + "%" : "";
    const auto level = static_cast<int16_t>(levelChosen ? kCalculatorLevels[in.levelIndex] : 0);
    const double o = *observed;
    const double e = *expected;

    try {
        Finite(o);
        Finite(e);
        // With E = 0 no SMR is defined: the text says so instead of a number.
        const bool defined = SmrDefined(e);
        // The SMR is rounded to the eight decimals it is shown with, and
        // the bounds are products of that shown value.
        double smr = 0;
        if (o != 0 && defined) smr = std::strtod(FormatEightDecimals(Finite(o / e * in.nullValue)).c_str(), nullptr);
        const double wholeObserved = std::nearbyint(o);  // halves to even

        r.text = "========================";
        r.text += kBreak;
        r.text += " VELDRIX SMR Calculator ";
        r.text += kBreak;
        r.text += "========================";
        r.text += kBreak;
        r.text += kBreak;
        r.text += "Observed = " + NumberText(o) + " ; Expected = " + FormatEightDecimals(e) +
                  " ; Null Value: SMR=" + NumberText(in.nullValue) + kBreak + kBreak;
        r.text += "SMR = ";
        AppendBlue(r, defined ? FormatEightDecimals(smr) : std::string(kNotDefined));
        if (!defined) r.text += " (the expected number is 0)";
        r.text += std::string(kBreak) + kBreak;

        for (size_t m = 0; m < kIntervalMethods.size(); ++m) {
            if (!in.methods[m]) continue;
            const IntervalMethod method = kIntervalMethods[m];
            r.text += std::string(IntervalMethodName(method)) + " Method " + label + "CI:" + kBreak;
            if (!defined) {
                AppendBlue(r, kNotDefined);
            } else if (wholeObserved == 0) {
                // A count that rounds to 0: lower bound 0, upper bound that of
                // a zero count (the multipliers divide by the count).
                const double high = Finite(UpperLimitAtZero(method, level) / e * in.nullValue);
                AppendBlue(r, FormatEightDecimals(0) + " to " + FormatEightDecimals(high));
            } else {
                const double low = GetMultiplier(method, BoundSide::Low, wholeObserved, level);
                const double high = GetMultiplier(method, BoundSide::High, wholeObserved, level);
                AppendBlue(r, FormatEightDecimals(Finite(smr * low)) + " to " + FormatEightDecimals(Finite(smr * high)));
            }
            r.text += std::string(kBreak) + kBreak;
        }
        r.smrDefined = defined;
    } catch (const TooBig&) {
        CalculatorResult big{msg::SmrTooBig, {}, {}};
        big.detail = "A bound of " + NumberText(o) + " observed and " + NumberText(e) +
                     " expected deaths is beyond the range of the arithmetic.";
        return big;
    }
    return r;
}

}  // namespace vdx::mortality
