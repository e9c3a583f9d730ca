// The cells the rate ratios are fitted over. The person-years by exposure
// category come with the exposure axis of the person-years run.
#include "mortality/rate_ratio_run.h"
#include "state/errors.h"

namespace vdx::mortality {

std::vector<std::string> ExposureCategoryNames(const ProgramState&) { return {}; }

RateRatioCells RateRatioCellsOf(const ProgramState&, db::Database&, const RateRatioRequest&) {
    throw VdxError(err::InvalidProcedureCall, kNoExposureCategories);
}

}  // namespace vdx::mortality
