// The study report: one HTML document with the cohort, the person-years
// settings, the SMR projects, the plots and a methods paragraph made from
// the settings, and the same document printed to PDF. Every figure comes
// from the functions the other views use: the person-years run's own pass
// (py::ComputePersonYears) for the persons read and left out, the stored
// person-years cells, the SMR tables as the forest plot reads them
// (mortality::ReadForestRows) and the stratum tables
// (mortality::BuildStrataTable). No widgets: veldrix-cli builds it too.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mortality/plot_data.h"
#include "mortality/strata_table.h"
#include "py/person_years_run.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::report {

struct StudyReportRequest {
    // The SMR projects to show, in this order; empty: every SMR project.
    std::vector<std::string> projects;
    double nullValue = 100;  // SMR and bounds times this (1 or 100)
};

// What the cohort is, read from the main data table with the person-years
// settings of the last completed run.
struct CohortFacts {
    std::string mainTable;
    int64_t tableRows = 0;
    py::PyRunSummary run;  // rows read, included, left out and why
    // Counted over the persons included (when more rows are left out than
    // the run names one by one, over every row: describedAll false).
    bool describedAll = true;
    int64_t described = 0;
    int64_t sex1 = 0, sex2 = 0;  // with sex stratification: persons of each code
    double firstEntry = 0, lastExit = 0;  // day numbers
    double ageMedian = 0, ageMin = 0, ageMax = 0;  // age at entry, years
    // The death column of the SMR projects shown (when they share one) and
    // the persons with a value in it other than empty or 0.
    std::string deathColumn;
    std::optional<int64_t> deaths;
    double personYears = 0;  // the stored person-years of table 1
    // Why the persons could not be read again (the main data table or a
    // column of the settings gone, a date no longer readable): the report
    // then shows the stored person-years and this reason.
    std::string unreadable;
};

// A section of the document after the SMR projects, present only when its
// results exist (cause tables, exposure categories, rate ratios ...): its
// heading and its HTML body (user texts escaped with exchange::HtmlEscaped).
struct ExtraSection {
    std::string heading;
    std::string html;
    std::string methods;  // a sentence for the methods paragraph, or ""
};

struct StudyReport {
    std::string projectFile;
    std::string programVersion;
    std::string date;  // yyyy-mm-dd
    double nullValue = 100;
    PySettings py;
    std::vector<int16_t> ageBounds, calendarBounds;  // 1-based as in the state
    CohortFacts cohort;
    std::vector<mortality::ForestRow> projects;
    std::vector<ExtraSection> extra;
    // The plots as SVG drawings, "" for a plot that has nothing to show.
    std::string forestSvg, personYearsSvg;
    std::vector<std::string> observedExpectedSvg;  // one per project
    std::vector<std::string> plotErrors;  // "project: why" for a plot that could not be drawn
};

// A builder of an extra section; returns nothing when its results do not
// exist in the study. Branches adding result kinds register theirs here.
using ExtraSectionBuilder = std::function<std::optional<ExtraSection>(const ProgramState&)>;
std::vector<ExtraSectionBuilder>& ExtraSectionBuilders();

// Gathers the report of the open study. Throws VdxError when the study has
// no person-years, a project named in the request is not an SMR project of
// the study, or a table cannot be read. Needs a QGuiApplication for the plots.
StudyReport BuildStudyReport(const ProgramState& state, const StudyReportRequest& request);

// The document as one HTML file (UTF-8, plots inline as SVG images, a print
// style sheet).
std::string StudyReportHtml(const StudyReport& report);

// The HTML written into `path` through a temporary file renamed over it.
void WriteStudyReportHtml(const std::string& html, const std::string& path);

// The HTML printed to PDF by headless Chromium (VDX_CHROMIUM, else
// `chromium` or `chromium-browser` on the PATH) into `path`. Throws VdxError
// when no Chromium is found or it fails; an existing file stays as it was.
void WriteStudyReportPdf(const std::string& html, const std::string& path);

// The Chromium found as WriteStudyReportPdf looks for it, or "".
std::string FindChromium();

// Reports > Study report: the document of the open study (every SMR
// project, SMR times state.SmrNullValue) under the hourglass; an error is
// shown as the general error message and gives nothing.
std::optional<std::string> MakeStudyReport(const ProgramState& state, Interaction& ui);

// Save as HTML/PDF of the report's window: the save dialog (HTML file or
// PDF document, `proposedName` as the name), then the writing; a failure is
// shown, a cancelled dialog ends silently. True when a file was written.
bool SaveStudyReportAs(Interaction& ui, const std::string& html, const std::string& proposedName);

}  // namespace vdx::report
