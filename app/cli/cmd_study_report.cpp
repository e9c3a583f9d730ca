// veldrix-cli study-report STUDY.vdx --out FILE.html|FILE.pdf
//     [--projects P1,P2,...] [--null 1|100]
//
// Writes the study report (Reports > Study report) as one HTML file, or
// printed to PDF by headless Chromium, with no window: Qt runs on its
// offscreen platform for the plots.
#include <QGuiApplication>

#include <cctype>
#include <iostream>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/results_commands.h"
#include "db/file_commands.h"
#include "report/study_report.h"
#include "state/errors.h"

namespace vdx::cli {

namespace {

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> names;
    size_t from = 0;
    for (;;) {
        const size_t comma = list.find(',', from);
        const std::string name = list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (!name.empty()) names.push_back(name);
        if (comma == std::string::npos) return names;
        from = comma + 1;
    }
}

bool EndsWith(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    std::string tail = text.substr(text.size() - end.size());
    for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return tail == end;
}

}  // namespace

int RunStudyReport(const std::vector<std::string>& args) {
    std::vector<std::string> plain;
    std::string out, projects, null = "100";
    bool projectsGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" || args[i] == "--null" || args[i] == "--projects") {
            if (i + 1 >= args.size()) return UsageError("study-report");
            if (args[i] == "--projects") projectsGiven = true;
            std::string& value = args[i] == "--out" ? out : args[i] == "--null" ? null : projects;
            value = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            return UsageError("study-report");
        } else {
            plain.push_back(args[i]);
        }
    }
    const bool pdf = EndsWith(out, ".pdf");
    if (plain.size() != 1 || (!pdf && !EndsWith(out, ".html") && !EndsWith(out, ".htm")) ||
        (null != "1" && null != "100"))
        return UsageError("study-report");
    report::StudyReportRequest request;
    request.projects = SplitList(projects);
    if (projectsGiven && request.projects.empty()) return UsageError("study-report");
    request.nullValue = null == "1" ? 1 : 100;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "veldrix-cli";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    CliSession session;
    if (!session.lock(plain[0])) return kFailed;
    if (!db::OpenProjectFile(session.state, session.ui, plain[0])) return kFailed;
    try {
        const std::string html = report::StudyReportHtml(report::BuildStudyReport(session.state, request));
        if (pdf) report::WriteStudyReportPdf(html, out);
        else report::WriteStudyReportHtml(html, out);
    } catch (const VdxError& e) {
        PrintMessage(e.description());
        return kFailed;
    }
    return kOk;
}

}  // namespace vdx::cli
