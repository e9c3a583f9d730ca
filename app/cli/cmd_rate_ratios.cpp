// veldrix-cli rate-ratios STUDY.vdx (--death COLUMN=VALUE | --death COLUMN --cause LIST:CAUSE) [--adjust age,calendar,sex]
//     [--reference K] [--level 90|95|99] [--name RESULT] [--format csv|tsv] [--cells]
//
// Reads the request as Compute > Rate ratios does and opens the study. The
// fit runs over the person-years and deaths by exposure category of the
// study's last person-years run with an exposure axis (a study without them
// is refused with a message naming what is missing), is stored as an
// analysis and the study saved; the table is printed (rate_ratio_table.h),
// the notes (cells left out, categories without a ratio) go to stderr.
// --cells prints the strata cells the fit would run over instead (for R
// or any other program) and changes nothing.
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/mortality_commands.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "mortality/rate_ratio_request.h"
#include "mortality/rate_ratio_run.h"
#include "mortality/rate_ratio_table.h"
#include "state/errors.h"

namespace vdx::cli {

int RunRateRatios(const std::vector<std::string>& args)
{
    std::vector<std::string> plain;
    mortality::RateRatioRequest request;
    std::string format = "csv";
    bool death = false;
    bool cellsOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.rfind("--", 0) != 0) {
            plain.push_back(word);
            continue;
        }
        if (word == "--cells") {
            cellsOnly = true;
            continue;
        }
        if (i + 1 >= args.size())
            return UsageError("rate-ratios");
        const std::string& value = args[++i];
        std::optional<std::string> problem;
        if (word == "--death") {
            problem = mortality::ReadDeath(request, value);
            death = true;
        } else if (word == "--cause") {
            problem = mortality::ReadCause(request, value);
        } else if (word == "--adjust") {
            problem = mortality::ReadAdjustment(request, value);
        } else if (word == "--reference") {
            problem = mortality::ReadReference(request, value);
        } else if (word == "--level") {
            problem = mortality::ReadLevel(request, value);
        } else if (word == "--name") {
            request.name = value;
        } else if (word == "--format") {
            if (value != "csv" && value != "tsv")
                return UsageError("rate-ratios");
            format = value;
        } else {
            return UsageError("rate-ratios");
        }
        if (problem) {
            PrintMessage(*problem);
            return kUsage;
        }
    }
    if (plain.size() != 1 || !death)
        return UsageError("rate-ratios");
    if (const auto problem = mortality::CheckDeath(request)) {
        PrintMessage(*problem);
        return kUsage;
    }

    CliSession session;
    if (!session.lock(plain[0]))
        return kFailed;
    if (!db::OpenProjectFile(session.state, session.ui, plain[0]))
        return kFailed;
    const char separator = format == "csv" ? ',' : '\t';
    if (cellsOnly) {
        try {
            auto db = db::Database::open(session.state.WorkingCopyName);
            const auto progress = session.ui.progress("Computing Deaths", 400, false);
            const mortality::RateRatioCells cells = mortality::RateRatioCellsOf(session.state, *db, request, *progress);
            std::cout << mortality::StrataCellsText(cells.categories, cells.cells, separator);
            return kOk;
        } catch (const VdxError& e) {
            PrintMessage(e.description());
            return kFailed;
        }
    }
    const auto result = mortality::RunRateRatios(session.state, session.ui, request, nullptr);
    if (!result || !db::FileSave(session.state, session.ui))
        return kFailed;
    std::cout << mortality::RateRatioTable(*result, separator);
    for (const std::string& note : result->notes)
        std::cerr << note << "\n";
    return kOk;
}

}  // namespace vdx::cli
