#include "report/report_output.h"

#include <filesystem>

#include "exchange/io/writer_support.h"
#include "state/errors.h"

namespace vdx::report {

namespace {

// Save dialog: ask before overwriting, no read-only box, a read-only file refused.
constexpr int kAskOverwriteNoReadOnly =
    file_dialog::OverwritePrompt | file_dialog::HideReadOnly | file_dialog::NoReadOnlyReturn;

}  // namespace

void WriteReportFile(const std::string& path, ReportFileFormat format, const ReportText& report) {
    exchange::AtomicFile file(path);
    if (format == ReportFileFormat::Text)
        file.write(report.text);
    else
        file.write(rtf::WriteRtf(rtf::DocumentFromText(report.text, report.centredChars, report.spans)));
    file.commit();
}

bool SaveReportAs(Interaction& ui, const std::string& proposedName, const ReportText& report) {
    FileDialogRequest request;
    request.title = "Save as ...";
    std::error_code ec;
    request.initialDirectory = std::filesystem::current_path(ec).string();
    request.fileName = proposedName;
    request.filter = "RTF file (*.rtf)|*.rtf|Text file (*.txt)|*.txt";
    request.filterIndex = 1;
    request.defaultExtension = "rtf";
    request.flags = kAskOverwriteNoReadOnly;
    const auto chosen = ui.saveFile(request);
    if (!chosen) return false;
    BusyPointer busy(ui);
    return ShowingErrors(ui, [&] {
        WriteReportFile(chosen->path, chosen->filterIndex == 2 ? ReportFileFormat::Text : ReportFileFormat::Rtf,
                        report);
        return true;
    });
}

bool SaveSmrReportAs(const ProgramState& state, Interaction& ui, const ReportText& report) {
    // The table name less "_SMR" is the project's name.
    const std::string& table = state.CurrentSMRTable;
    const std::string name = table.size() > 4 ? table.substr(0, table.size() - 4) : std::string();
    return SaveReportAs(ui, name, report);
}

bool PrintReport(Interaction& ui, ReportPrinter& printer) {
    if (!printer.choose()) return false;
    BusyPointer busy(ui);
    return ShowingErrors(ui, [&] {
        printer.print();
        return true;
    });
}

}  // namespace vdx::report
