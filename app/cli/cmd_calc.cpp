// veldrix-cli calc --observed O --expected E [--level 90|95|99]
//     [--method NAME ...] [--null 1|100]
//
// Prints the SMR calculator's text for the numbers as typed. Without
// --level and --method the calculator's own defaults hold: 95 % and Exact.
// NAME is a method as the dialog shows it ("Exact", "Byar", "Chi Square",
// "Square Root", "Wald"); --method may be given more than once. With an
// expected number of 0 the text says the SMR is not defined and the exit
// code is non-zero.
#include <iostream>

#include "cli/calc_commands.h"
#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "mortality/smr_calculator.h"
#include "state/errors.h"
#include "state/messages.h"

namespace vdx::cli {

int RunCalc(const std::vector<std::string>& args) {
    mortality::CalculatorInput input;
    input.levelIndex = mortality::CalculatorLevelIndex("95");
    bool observedGiven = false, expectedGiven = false, methodGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i + 1 >= args.size()) return UsageError("calc");
        const std::string& option = args[i];
        const std::string& value = args[++i];
        if (option == "--observed") {
            input.observed = value;
            observedGiven = true;
        } else if (option == "--expected") {
            input.expected = value;
            expectedGiven = true;
        } else if (option == "--level") {
            input.levelIndex = mortality::CalculatorLevelIndex(value);
            if (input.levelIndex < 0) {
                std::cerr << "veldrix-cli calc: --level takes 90, 95 or 99\n";
                return kUsage;
            }
        } else if (option == "--method") {
            const int m = mortality::CalculatorMethodIndex(value);
            if (m < 0) {
                std::cerr << "veldrix-cli calc: unknown method '" << value
                          << "' (Exact, Byar, Chi Square, Square Root or Wald)\n";
                return kUsage;
            }
            input.methods[m] = true;
            methodGiven = true;
        } else if (option == "--null") {
            if (value != "1" && value != "100") {
                std::cerr << "veldrix-cli calc: --null takes 1 or 100\n";
                return kUsage;
            }
            input.nullValue = value == "1" ? 1 : 100;
        } else {
            return UsageError("calc");
        }
    }
    if (!observedGiven || !expectedGiven) return UsageError("calc");
    if (!methodGiven) input.methods[mortality::CalculatorMethodIndex("Exact")] = true;

    try {
        const mortality::CalculatorResult result = mortality::CalculateSmr(input);
        if (result.message) {
            PrintMessage(result.messageText());
            return kFailed;
        }
        std::cout << result.text;
        if (!result.smrDefined) {
            PrintMessage("The SMR is not defined: the expected number is 0.");
            return kFailed;
        }
    } catch (const VdxError& e) {
        PrintMessage(GeneralErrorText(e.number(), e.description()));
        return kFailed;
    }
    return kOk;
}

}  // namespace vdx::cli
