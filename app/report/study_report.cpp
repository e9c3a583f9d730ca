#include "report/study_report.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "db/database.h"
#include "db/field_number.h"
#include "db/navigator_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "db/table_stream.h"
#include "exchange/formats/html/html_writer.h"
#include "plots/plot_file.h"
#include "plots/study_plots.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::report {

namespace {

// The save dialog's flags: ask before overwriting, no read-only box (as the
// other reports' Save as).
constexpr int kAskOverwriteNoReadOnly = 32774;

// The person-years run's pass, for its summary only: nothing to show, no Cancel.
class QuietProgress : public Progress {
public:
    void setLabel(const std::string&) override {}
    void setValue(int) override {}
    bool poll() override { return false; }
};

std::optional<double> DayOf(const db::TableStream& rows, int column) {
    switch (rows.storage(column)) {
        case db::TableStream::Storage::Integer:
        case db::TableStream::Storage::Real: return rows.real(column);
        case db::TableStream::Storage::Text: return ReadDate(std::string(rows.text(column)));
        case db::TableStream::Storage::Null: break;
    }
    return std::nullopt;
}

// A death: a value other than empty, blank or 0.
bool HoldsDeath(const db::TableStream& rows, int column) {
    switch (rows.storage(column)) {
        case db::TableStream::Storage::Null: return false;
        case db::TableStream::Storage::Integer:
        case db::TableStream::Storage::Real: return rows.real(column) != 0;
        case db::TableStream::Storage::Text: {
            const std::string t(rows.text(column));
            const auto n = ReadNumber(t);
            return t.find_first_not_of(' ') != std::string::npos && !(n && *n == 0);
        }
    }
    return false;
}

// Age at entry in whole days, counted into a histogram so that the median
// needs no list of persons.
class AgeDays {
public:
    void add(int64_t days) {
        const size_t k = static_cast<size_t>(std::clamp<int64_t>(days, 0, kMost));
        if (count_.size() <= k) count_.resize(k + 1, 0);
        ++count_[k];
        ++n_;
    }
    int64_t n() const { return n_; }
    // The k-th smallest (from 0).
    double at(int64_t k) const {
        int64_t seen = 0;
        for (size_t d = 0; d < count_.size(); ++d) {
            seen += count_[d];
            if (seen > k) return static_cast<double>(d);
        }
        return 0;
    }
    double median() const { return n_ == 0 ? 0 : (at((n_ - 1) / 2) + at(n_ / 2)) / 2; }

private:
    static constexpr int64_t kMost = 200 * 366;
    std::vector<int64_t> count_;
    int64_t n_ = 0;
};

double StoredPersonYears(const ProgramState& state) {
    const PyCells& stored = state.PyValues;
    int64_t days = 0;
    for (int a = 1; a <= stored.ageClasses(); ++a)
        for (int y = 1; y <= stored.periods(); ++y) days += stored.at(1, a, y);
    return static_cast<double>(days) / 365.25;
}

CohortFacts ReadCohort(ProgramState& state, db::Database& db, const std::string& deathColumn) {
    CohortFacts c;
    c.mainTable = state.MainTableName;
    c.personYears = StoredPersonYears(state);
    QuietProgress progress;
    PyCells cells;
    py::ComputePersonYears(state, db, progress, cells, c.run);

    // Rows left out, when the run named them all.
    std::set<int64_t> leftOut;
    c.describedAll = c.run.rowsLeftOut() <= static_cast<int64_t>(c.run.leftOut.size());
    if (c.describedAll)
        for (const auto& l : c.run.leftOut) leftOut.insert(l.row);

    const PySettings& p = state.py;
    std::vector<std::string> names{p.birthColumn, p.entryColumn, p.exitColumn};
    const int sexColumn = p.bySex ? static_cast<int>(names.size()) : -1;
    if (p.bySex) names.push_back(p.sexColumn);
    const int deathIndex = deathColumn.empty() ? -1 : static_cast<int>(names.size());
    if (!deathColumn.empty()) names.push_back(deathColumn);
    db::TableStream rows(db, state.MainTableName, names);
    c.tableRows = rows.rowCount();
    c.deathColumn = deathColumn;
    if (deathIndex >= 0) c.deaths = 0;
    AgeDays ages;
    bool first = true;
    while (rows.next()) {
        if (leftOut.count(rows.position())) continue;
        const auto birth = DayOf(rows, 0), entry = DayOf(rows, 1), exit = DayOf(rows, 2);
        if (!birth || !entry || !exit) continue;  // the run has checked every date
        ++c.described;
        ages.add(static_cast<int64_t>(std::trunc(*entry) - std::trunc(*birth)));
        c.firstEntry = first ? *entry : std::min(c.firstEntry, *entry);
        c.lastExit = first ? *exit : std::max(c.lastExit, *exit);
        first = false;
        if (sexColumn >= 0) {
            const auto code = db::FieldNumber(rows, sexColumn);
            if (code && *code == p.sexCode1) ++c.sex1;
            if (code && *code == p.sexCode2) ++c.sex2;
        }
        if (deathIndex >= 0 && HoldsDeath(rows, deathIndex)) ++*c.deaths;
    }
    c.ageMedian = ages.median() / 365.25;
    c.ageMin = ages.n() ? ages.at(0) / 365.25 : 0;
    c.ageMax = ages.n() ? ages.at(ages.n() - 1) / 365.25 : 0;
    return c;
}

CohortFacts ReadCohortOrWhyNot(ProgramState& state, db::Database& db, const std::string& deathColumn) {
    try {
        return ReadCohort(state, db, deathColumn);
    } catch (const VdxError& e) {
        CohortFacts c;
        c.mainTable = state.MainTableName;
        c.personYears = StoredPersonYears(state);
        c.unreadable = e.description();
        return c;
    }
}

std::string Svg(const plots::Plot& plot) {
    const QByteArray svg = plots::PlotSvg(plot);
    return svg.toStdString();
}

std::string Fixed(double v, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

std::string Count(int64_t n) { return std::to_string(n); }

// A figure shown rounded, kept whole in data-value for whoever reads the file.
std::string Cell(double v, int decimals) {
    return "<td class=\"n\" data-value=\"" + NumberText(v) + "\">" + Fixed(v, decimals) + "</td>";
}

std::string Row(const std::string& label, const std::string& value, const std::string& id = {}) {
    return "<tr" + (id.empty() ? std::string() : " id=\"" + id + "\"") + "><th>" + exchange::HtmlEscaped(label) + "</th><td>" +
           value + "</td></tr>\n";
}

// A figure of the cohort table, kept whole in data-value.
std::string Figure(double v, int decimals) {
    return "<span data-value=\"" + NumberText(v) + "\">" + Fixed(v, decimals) + "</span>";
}

std::string Base64Image(const std::string& svg, const std::string& alt) {
    const QByteArray data = QByteArray::fromStdString(svg).toBase64();
    return "<figure><img alt=\"" + exchange::HtmlEscaped(alt) + "\" src=\"data:image/svg+xml;base64," + data.toStdString() +
           "\"><figcaption>" + exchange::HtmlEscaped(alt) + "</figcaption></figure>\n";
}

std::string ClassList(const std::vector<int16_t>& bounds) {
    std::string list;
    for (size_t k = 1; k + 1 < bounds.size(); ++k)
        list += (list.empty() ? "" : ", ") + ClassRangeLabel(bounds[k], bounds[k + 1]);
    return list;
}

const char* kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 11pt; margin: 2em; color: #000; }
h1 { font-size: 18pt; } h2 { font-size: 14pt; border-bottom: 1px solid #888; margin-top: 1.5em; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #999; padding: 2px 6px; text-align: left; vertical-align: top; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
figure { margin: 1em 0; } figure img { max-width: 100%; }
figcaption { font-size: 9pt; color: #333; }
p.meta { color: #333; }
@media print {
  body { margin: 0; font-size: 10pt; }
  h2 { page-break-after: avoid; }
  table, figure { page-break-inside: avoid; }
  @page { size: A4; margin: 18mm 15mm; }
}
)";

}  // namespace

std::vector<ExtraSectionBuilder>& ExtraSectionBuilders() {
    static std::vector<ExtraSectionBuilder> builders;
    return builders;
}

StudyReport BuildStudyReport(const ProgramState& original, const StudyReportRequest& request) {
    ProgramState state = original;
    state.SmrNullValue = request.nullValue;
    if (!state.ProjectOpen || !state.py.computed || state.PyValues.tables() < 1)
        throw VdxError(err::ObjectNotFound,
                       "The study has no person-years: compute them (Compute > Person-Years) before the study report.");
    StudyReport r;
    r.projectFile = state.ProjectFileName;
    r.programVersion = state.ProgramVersion;
    r.date = QDate::currentDate().toString(Qt::ISODate).toStdString();
    r.nullValue = request.nullValue;
    r.py = state.py;
    r.ageBounds = state.AgeBounds;
    r.calendarBounds = state.CalendarBounds;

    // The SMR projects, as the forest plot reads them.
    const auto all = mortality::ReadForestRows(state);
    if (request.projects.empty()) {
        r.projects = all;
    } else {
        for (const auto& name : request.projects) {
            auto it = std::find_if(all.begin(), all.end(), [&](const auto& row) { return row.project == name; });
            if (it == all.end())
                throw VdxError(err::ObjectNotFound, "The project file holds no SMR project '" + name + "'.");
            r.projects.push_back(*it);
        }
    }
    std::set<std::string> deathColumns;
    for (const auto& p : r.projects) deathColumns.insert(p.deathColumn);

    {
        auto db = db::Database::open(state.WorkingCopyName);
        r.cohort = ReadCohortOrWhyNot(state, *db, deathColumns.size() == 1 ? *deathColumns.begin() : std::string());
    }
    for (const auto& build : ExtraSectionBuilders())
        if (auto s = build(state)) r.extra.push_back(*s);

    if (!r.projects.empty()) r.forestSvg = Svg(plots::ForestPlot(r.projects, r.nullValue));
    // A project whose stratum table cannot be made (its tables damaged) keeps
    // its row; its plot gives way to the reason.
    for (const auto& p : r.projects) {
        try {
            r.observedExpectedSvg.push_back(
                Svg(plots::BuildPlot(state, plots::PlotKind::ObservedExpected, p.project)));
        } catch (const VdxError& e) {
            r.observedExpectedSvg.push_back("");
            r.plotErrors.push_back(p.project + ": " + e.description());
        }
    }
    r.personYearsSvg = Svg(plots::BuildPlot(state, plots::PlotKind::PersonYears, {}));
    return r;
}

std::string StudyReportHtml(const StudyReport& r) {
    const PySettings& p = r.py;
    const CohortFacts& c = r.cohort;
    const std::string file = QFileInfo(QString::fromStdString(r.projectFile)).fileName().toStdString();
    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Study report: " +
         exchange::HtmlEscaped(file) + "</title>\n<style>" + kStyle + "</style></head><body>\n";
    h += "<h1>Study report: " + exchange::HtmlEscaped(file) + "</h1>\n";
    h += "<p class=\"meta\">Made by VELDRIX " + exchange::HtmlEscaped(r.programVersion) + " on " + r.date + ".</p>\n";

    // The cohort.
    h += "<h2 id=\"cohort\">Cohort</h2>\n";
    if (!c.unreadable.empty()) {
        h += "<table>\n" + Row("Main data table", exchange::HtmlEscaped(c.mainTable), "main-table") +
             Row("Person-years (" + PyTableName(p, 1) + ")", Figure(c.personYears, 2), "person-years") + "</table>\n";
        h += "<p>The persons could not be read again with the person-years settings: " + exchange::HtmlEscaped(c.unreadable) +
             "</p>\n";
    } else {
        h += "<table>\n";
        h += Row("Main data table", exchange::HtmlEscaped(c.mainTable) + " (" + Count(c.tableRows) + " rows)");
        h += Row("Persons read", Count(c.run.rows), "persons-read");
        h += Row("Persons included", Count(c.run.rowsIncluded()), "persons-included");
        h += Row("Persons left out", Count(c.run.rowsLeftOut()), "persons-left-out");
        if (p.bySex) {
            h += Row("Persons with " + p.sexColumn + " = " + NumberText(p.sexCode1), Count(c.sex1), "persons-sex1");
            h += Row("Persons with " + p.sexColumn + " = " + NumberText(p.sexCode2), Count(c.sex2), "persons-sex2");
        }
        h += Row("Person-years (" + PyTableName(p, 1) + ")", Figure(c.personYears, 2), "person-years");
        if (c.deaths) h += Row("Deaths (" + c.deathColumn + " not empty and not 0)", Count(*c.deaths), "deaths");
        if (c.described > 0) {
            h += Row("Follow-up", FormatDate(c.firstEntry) + " to " + FormatDate(c.lastExit), "follow-up");
            h += Row("Age at entry, median (range)",
                     Figure(c.ageMedian, 1) + " (" + Figure(c.ageMin, 1) + " to " + Figure(c.ageMax, 1) + ") years",
                     "age-at-entry");
        }
        h += "</table>\n";
    }
    if (!c.describedAll)
        h += "<p>More rows were left out than the run names one by one: the follow-up, the age at entry"
             " and the counts by sex are those of every row.</p>\n";
    const py::PyRunSummary& s = c.run;
    if (s.rowsLeftOut() > 0) {
        h += "<h3>Persons left out</h3>\n<table>\n<tr><th>Reason</th><th>Persons</th></tr>\n";
        auto reason = [&](const std::string& why, int64_t n) {
            if (n > 0) h += "<tr><td>" + exchange::HtmlEscaped(why) + "</td><td class=\"n\">" + Count(n) + "</td></tr>\n";
        };
        if (p.bySex)
            reason("no sex code (" + p.sexColumn + " neither " + NumberText(p.sexCode1) + " nor " + NumberText(p.sexCode2) +
                       ")",
                   s.rowsInNoTable);
        reason("exit before entry", s.rowsExitBeforeEntry);
        reason("the lag ends after the exit", s.rowsLagAfterExit);
        reason("follow-up outside every age class and calendar period", s.rowsOutsideClasses);
        h += "</table>\n";
        const auto lines = py::PyRunLeftOutLines(s, 20);
        h += "<ul>\n";
        for (const auto& line : lines) h += "<li>" + exchange::HtmlEscaped(line) + "</li>\n";
        h += "</ul>\n";
    }

    // The person-years settings.
    const bool lag = p.withLag && p.lagYears > 0;
    h += "<h2 id=\"settings\">Person-years settings</h2>\n<table>\n";
    h += Row("Date of birth, entry, exit", exchange::HtmlEscaped(p.birthColumn + ", " + p.entryColumn + ", " + p.exitColumn));
    h += Row("Age classes (" + Count(static_cast<int64_t>(r.ageBounds.size()) - 2) + ")",
             exchange::HtmlEscaped(ClassList(r.ageBounds)));
    h += Row("Calendar periods (" + Count(static_cast<int64_t>(r.calendarBounds.size()) - 2) + ")",
             exchange::HtmlEscaped(ClassList(r.calendarBounds)));
    h += Row("Sex", p.bySex ? exchange::HtmlEscaped(p.sexColumn + ": codes " + NumberText(p.sexCode1) + " and " +
                                          NumberText(p.sexCode2))
                             : "not stratified");
    h += Row("Lag", lag ? exchange::HtmlEscaped(std::to_string(p.lagYears) + " years after " + p.hireColumn) : "none");
    h += "</table>\n";

    // The SMR projects.
    const std::string nullText = NumberText(r.nullValue);
    if (!r.projects.empty()) {
        h += "<h2 id=\"smr\">SMR projects</h2>\n";
        h += "<p>SMR and bounds times " + nullText + " (an SMR of " + nullText +
             " means as many deaths as expected).</p>\n<table>\n";
        h += "<tr><th>Project</th><th>Death value</th><th>Person-years table</th><th>Rate table</th>"
             "<th>Observed</th><th>Expected</th><th>SMR</th><th>Lower</th><th>Upper</th><th>Bounds</th></tr>\n";
        for (const auto& row : r.projects) {
            const bool defined = row.expected != 0;
            h += "<tr class=\"project\"><td>" + exchange::HtmlEscaped(row.project) + (row.outOfDate ? " (out of date)" : "") + "</td><td>" +
                 exchange::HtmlEscaped(row.deathColumn + " = " + row.deathValues) + "</td><td>" + exchange::HtmlEscaped(row.pyTable) +
                 "</td><td>" + exchange::HtmlEscaped(row.rateTable) + "</td>" + Cell(row.observed, 0) + Cell(row.expected, 2);
            if (defined)
                h += Cell(row.smr * r.nullValue, 2) + Cell(row.low * r.nullValue, 2) + Cell(row.high * r.nullValue, 2);
            else
                h += "<td colspan=\"3\">not defined</td>";
            h += "<td>" + exchange::HtmlEscaped(row.level + " %, " + row.method) + "</td></tr>\n";
        }
        h += "</table>\n";
    }
    for (const auto& e : r.extra) h += "<h2>" + exchange::HtmlEscaped(e.heading) + "</h2>\n" + e.html;

    // The plots.
    h += "<h2 id=\"plots\">Plots</h2>\n";
    if (!r.forestSvg.empty()) h += Base64Image(r.forestSvg, "Forest plot of the SMR projects");
    for (const auto& why : r.plotErrors)
        h += "<p>Observed and expected deaths cannot be drawn for " + exchange::HtmlEscaped(why) + "</p>\n";
    for (size_t k = 0; k < r.projects.size() && k < r.observedExpectedSvg.size(); ++k)
        if (!r.observedExpectedSvg[k].empty()) h += Base64Image(r.observedExpectedSvg[k], "Observed and expected deaths: " + r.projects[k].project);
    h += Base64Image(r.personYearsSvg, "Person-years by age class and calendar period");

    // Methods, from the settings.
    h += "<h2 id=\"methods\">Methods</h2>\n<p>";
    std::string m = "Follow-up was counted in days from the entry date (" + p.entryColumn + ") to the exit date (" +
                    p.exitColumn + ") of each person of " + c.mainTable + ", ";
    m += lag ? "starting no earlier than " + std::to_string(p.lagYears) + " years after the date of hire (" + p.hireColumn +
                   "), "
             : "without a lag, ";
    m += "and split by age (from " + p.birthColumn + ") into " + Count(static_cast<int64_t>(r.ageBounds.size()) - 2) +
         " age classes from " + std::to_string(r.ageBounds[1]) + " to " + std::to_string(r.ageBounds.back()) +
         " years and " + Count(static_cast<int64_t>(r.calendarBounds.size()) - 2) + " calendar periods from " +
         std::to_string(r.calendarBounds[1]) + " to " + std::to_string(r.calendarBounds.back()) + "";
    m += p.bySex ? ", separately for " + p.sexColumn + " = " + NumberText(p.sexCode1) + " and " + NumberText(p.sexCode2) +
                        ". "
                  : ". ";
    m += "Person-years are days divided by 365.25. ";
    if (c.unreadable.empty())
        m += Count(s.rowsLeftOut()) + " of " + Count(s.rows) + " persons were left out (reasons above). ";
    if (!r.projects.empty()) {
        std::set<std::string> rates, methods, levels;
        for (const auto& row : r.projects) {
            rates.insert(row.rateTable);
            methods.insert(row.method);
            levels.insert(row.level);
        }
        auto join = [](const std::set<std::string>& set) {
            std::string out;
            size_t k = 0;
            for (const auto& v : set) out += (k++ == 0 ? "" : k == set.size() ? " and " : ", ") + v;
            return out;
        };
        m += "Expected deaths are the person-years of each age class and calendar period times the reference rate "
             "of that stratum (rate table" + std::string(rates.size() > 1 ? "s " : " ") + join(rates) +
             ", stored per person-year), summed over the strata. The SMR is observed over expected deaths times " +
             nullText + ", with " + join(levels) + " % confidence bounds by the " + join(methods) + " method" +
             (methods.size() > 1 ? "s" : "") + ". ";
    }
    for (const auto& e : r.extra)
        if (!e.methods.empty()) m += e.methods + " ";
    h += exchange::HtmlEscaped(m) + "</p>\n";
    h += "<p class=\"meta\">VELDRIX " + exchange::HtmlEscaped(r.programVersion) + ", " + r.date + ".</p>\n</body></html>\n";
    return h;
}

void WriteStudyReportHtml(const std::string& html, const std::string& path) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(html.data(), static_cast<qint64>(html.size())) < 0 ||
        !file.commit())
        throw VdxError(err::PermissionDenied,
                       "The study report could not be written to '" + path + "': " + file.errorString().toStdString());
}

std::string FindChromium() {
    const QByteArray chosen = qgetenv("VDX_CHROMIUM");
    if (!chosen.isEmpty()) return chosen.toStdString();
    for (const char* name : {"chromium", "chromium-browser", "google-chrome"}) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty()) return found.toStdString();
    }
    return {};
}

void WriteStudyReportPdf(const std::string& html, const std::string& path) {
    const std::string chromium = FindChromium();
    if (chromium.empty())
        throw VdxError(err::PathAccess, "The study report is printed to PDF by Chromium, which is not installed "
                                        "(Debian: apt-get install chromium). Save it as HTML instead.");
    QTemporaryDir dir;
    if (!dir.isValid()) throw VdxError(err::PermissionDenied, "No temporary folder for the study report.");
    const QString page = dir.filePath("report.html"), pdf = dir.filePath("report.pdf");
    WriteStudyReportHtml(html, page.toStdString());
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString::fromStdString(chromium),
                  {"--headless", "--no-sandbox", "--disable-gpu", "--no-pdf-header-footer",
                   "--user-data-dir=" + dir.filePath("profile"), "--print-to-pdf=" + pdf,
                   QUrl::fromLocalFile(page).toString()});
    const bool finished = process.waitForFinished(120000);
    if (!finished) process.kill();
    if (!finished || process.exitCode() != 0 || !QFile::exists(pdf))
        throw VdxError(err::PermissionDenied,
                       "Chromium could not print the study report to PDF: " +
                           QString::fromUtf8(process.readAll()).trimmed().toStdString());
    QFile printed(pdf);
    if (!printed.open(QIODevice::ReadOnly))
        throw VdxError(err::PermissionDenied, "The printed study report could not be read.");
    const QByteArray bytes = printed.readAll();
    QSaveFile out(QString::fromStdString(path));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) < 0 || !out.commit())
        throw VdxError(err::PermissionDenied,
                       "The study report could not be written to '" + path + "': " + out.errorString().toStdString());
}

std::optional<std::string> MakeStudyReport(const ProgramState& state, Interaction& ui) {
    std::string html;
    BusyPointer busy(ui);
    const bool made = ShowingErrors(ui, [&] {
        StudyReportRequest request;
        request.nullValue = state.SmrNullValue;
        html = StudyReportHtml(BuildStudyReport(state, request));
        return true;
    });
    if (!made) return std::nullopt;
    return html;
}

bool SaveStudyReportAs(Interaction& ui, const std::string& html, const std::string& proposedName) {
    FileDialogRequest request;
    request.title = "Save study report as ...";
    request.initialDirectory = QDir::currentPath().toStdString();
    request.fileName = proposedName;
    request.filter = "HTML file (*.html)|*.html|PDF document (*.pdf)|*.pdf";
    request.filterIndex = 1;
    request.defaultExtension = "html";
    request.flags = kAskOverwriteNoReadOnly;
    const auto chosen = ui.saveFile(request);
    if (!chosen) return false;
    BusyPointer busy(ui);
    return ShowingErrors(ui, [&] {
        if (chosen->filterIndex == 2) WriteStudyReportPdf(html, chosen->path);
        else WriteStudyReportHtml(html, chosen->path);
        return true;
    });
}

}  // namespace vdx::report
