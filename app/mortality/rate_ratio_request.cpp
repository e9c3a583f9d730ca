#include "mortality/rate_ratio_request.h"

#include <sstream>

#include "mortality/categories.h"

namespace vdx::mortality {

std::optional<std::string> ReadDeath(RateRatioRequest& request, const std::string& text)
{
    const size_t eq = text.find('=');
    request.deathColumn = text.substr(0, eq);
    request.deathValueText = eq == std::string::npos ? std::string() : text.substr(eq + 1);
    if (request.deathColumn.empty() || (eq != std::string::npos && request.deathValueText.empty()))
        return "The death value must be given as COLUMN=VALUE (or COLUMN with --cause), not \"" + text + "\".";
    return std::nullopt;
}

std::optional<std::string> ReadCause(RateRatioRequest& request, const std::string& text)
{
    if (!ReadCauseWords(text, request.causeList, request.cause))
        return "The cause must be given as LIST:CAUSE (a cause list of the study, or default, and one of its "
               "causes), not \"" + text + "\".";
    return std::nullopt;
}

std::optional<std::string> CheckDeath(const RateRatioRequest& request)
{
    if (request.deathColumn.empty()) return "Give the death column: --death COLUMN=VALUE or --death COLUMN --cause LIST:CAUSE.";
    if (request.causeList.empty() == request.deathValueText.empty())
        return "Give the death value either as COLUMN=VALUE or as a cause of a list (--cause LIST:CAUSE), one of "
               "the two.";
    return std::nullopt;
}

std::optional<std::string> ReadAdjustment(RateRatioRequest& request, const std::string& text)
{
    request.adjustAge = request.adjustCalendar = request.adjustSex = false;
    if (text == "none")
        return std::nullopt;
    std::stringstream words(text);
    std::string word;
    while (std::getline(words, word, ',')) {
        if (word == "age")
            request.adjustAge = true;
        else if (word == "calendar")
            request.adjustCalendar = true;
        else if (word == "sex")
            request.adjustSex = true;
        else
            return "The adjustment factors are age, calendar and sex (or none), not \"" + word + "\".";
    }
    return std::nullopt;
}

std::optional<std::string> ReadReference(RateRatioRequest& request, const std::string& text)
{
    size_t used = 0;
    int k = 0;
    try {
        k = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || k < 1)
        return "The reference category is its position, 1 or more, not \"" + text + "\".";
    request.reference = k;
    return std::nullopt;
}

std::optional<std::string> ReadLevel(RateRatioRequest& request, const std::string& text)
{
    const std::pair<const char*, int16_t> levels[] = {{"90", 90}, {"95", 95}, {"99", 99},
                                                      {"0.10", 90}, {"0.05", 95}, {"0.01", 99}};
    for (const auto& [word, level] : levels)
        if (text == word) {
            request.level = level;
            return std::nullopt;
        }
    return "The level must be 90, 95 or 99 (or 0.10, 0.05, 0.01), not \"" + text + "\".";
}

RateRatioInput MakeRateRatioInput(const RateRatioRequest& request, std::vector<std::string> categories,
                                  std::vector<StrataCell> cells)
{
    RateRatioInput input;
    input.categories = std::move(categories);
    input.cells = std::move(cells);
    input.adjustAge = request.adjustAge;
    input.adjustCalendar = request.adjustCalendar;
    input.adjustSex = request.adjustSex;
    input.reference = request.reference - 1;
    input.level = request.level;
    return input;
}

}  // namespace vdx::mortality
