// Reports out of the program: the SMR report of the main window and the SMR
// calculator's text, saved as RTF or plain text or sent to a printer.
// Widget-free: the printer itself (its dialog and the printing) is behind
// ReportPrinter, which the shell implements with Qt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report/rtf_writer.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::report {

// A report as it is shown: lines end in CR LF; the paragraphs holding any of
// the first `centredChars` bytes are centred, the spans coloured.
struct ReportText {
    std::string text;
    size_t centredChars = 0;
    std::vector<rtf::Span> spans;
};

// The save dialog's filter index decides the format.
enum class ReportFileFormat { Rtf = 1, Text = 2 };

// Writes the report into `path` through a temporary file renamed over it, so
// that a failure (full disk, no permission, no such folder) throws VdxError
// and leaves an existing file as it was.
void WriteReportFile(const std::string& path, ReportFileFormat format, const ReportText& report);

// The save dialog ("Save as ...", RTF or text, `proposedName` as the file
// name), then the writing. A failure shows the general error message; a
// cancelled dialog ends silently. True when a file was written.
bool SaveReportAs(Interaction& ui, const std::string& proposedName, const ReportText& report);

// Reports > Save as...: the SMR report on view (state.CurrentSMRTable), the
// project's name proposed as the file name.
bool SaveSmrReportAs(const ProgramState& state, Interaction& ui, const ReportText& report);

// A printer with its print dialog.
class ReportPrinter {
public:
    virtual ~ReportPrinter() = default;
    // Shows the print dialog; false when it was cancelled.
    virtual bool choose() = 0;
    // Prints the report as shown; throws VdxError when it cannot be printed.
    virtual void print() = 0;
};

// Reports > Print and the calculator's Print: the print dialog, then the
// printing. A failure shows the general error message; a cancelled dialog
// ends silently. True when the report was printed.
bool PrintReport(Interaction& ui, ReportPrinter& printer);

}  // namespace vdx::report
