// veldrix-cli causes STUDY.vdx --list NAME|default --death COLUMN --rate TABLE
//     [--revisions 9:1979,10:1999 | --revision-column COLUMN] [--pytable NAME]
//     [--level 0.10|0.05|0.01] [--method NAME] [--name RUN] [--format csv|tsv]
//
// Compute > SMR for a cause list without a window: every cause of the list
// in one pass, stored as an analysis, the project file saved, and the table
// printed with the columns cause, sex, observed, expected, smr, low, high
// (full precision; an SMR that is not defined is empty). --rate names one
// rate table for every cause; without it, each cause's table comes from the
// list's column rate. --revisions and --revision-column are kept as the
// study's revision settings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/mortality_commands.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "db/project_file.h"
#include "mortality/cause_list.h"

namespace vdx::cli {

namespace {

std::string Figure(double v) {
    if (std::isnan(v)) return {};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string Field(const std::string& text, bool csv) {
    if (!csv || text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

}  // namespace

int RunCauses(const std::vector<std::string>& args) {
    const std::vector<std::string> allowed{"--list",   "--death", "--rate",  "--revisions", "--revision-column",
                                           "--pytable", "--level", "--method", "--name",     "--format"};
    std::vector<std::string> plain;
    std::vector<std::pair<std::string, std::string>> options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) {
            plain.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size() || std::find(allowed.begin(), allowed.end(), args[i]) == allowed.end())
            return UsageError("causes");
        for (const auto& o : options)
            if (o.first == args[i]) return UsageError("causes");
        options.emplace_back(args[i], args[i + 1]);
        ++i;
    }
    auto option = [&](const std::string& name) -> std::optional<std::string> {
        for (const auto& [n, v] : options)
            if (n == name) return v;
        return std::nullopt;
    };
    const std::string format = option("--format").value_or("csv");
    if (plain.size() != 1 || !option("--list") || !option("--death") || (format != "csv" && format != "tsv") ||
        (option("--revisions") && option("--revision-column")))
        return UsageError("causes");

    mortality::CausesRequest request;
    request.list = *option("--list");
    request.deathColumn = *option("--death");
    request.rateTable = option("--rate").value_or("");
    request.pyTable = option("--pytable").value_or("");
    request.levelText = option("--level").value_or("0.05");
    request.method = option("--method").value_or("Byar");
    request.name = option("--name").value_or("");

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(plain[0])) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, plain[0])) return kFailed;

    if (option("--revisions") || option("--revision-column")) {
        mortality::RevisionRule rule;
        if (const auto years = option("--revisions")) {
            std::string why;
            const auto parsed = mortality::ParseRevisionYears(*years, why);
            if (!parsed) {
                PrintMessage("--revisions " + *years + ": " + why);
                return kUsage;
            }
            rule.years = *parsed;
        } else {
            rule.column = *option("--revision-column");
        }
        request.revisions = rule;
    }
    const auto result = mortality::RunCauses(state, session.ui, request);
    if (!result) return kFailed;
    if (!db::FileSave(state, session.ui)) return kFailed;
    const bool csv = format == "csv";
    const char* separator = csv ? "," : "\t";
    std::cout << "cause" << separator << "sex" << separator << "observed" << separator << "expected" << separator
              << "smr" << separator << "low" << separator << "high\n";
    for (const auto& row : result->rows)
        std::cout << Field(row.cause, csv) << separator << Field(row.sex, csv) << separator << row.observed
                  << separator << Figure(row.expected) << separator << Figure(row.smr) << separator
                  << Figure(row.low) << separator << Figure(row.high) << "\n";
    return kOk;
}

}  // namespace vdx::cli
