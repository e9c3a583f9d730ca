// Writes the example study: a synthetic cohort of 3000 workers of a plant
// that opened its records on 1 January 1950, followed up to 31 December 2014,
// and a reference table of lung-cancer death rates, as semicolon-delimited
// ASCII files (cohort.txt, rates.txt), and a ready project file
// (example.vdx) into which both were brought in through the ASCII import and
// whose person-years were computed by age 15-85 by 5, calendar 1950-2015 by
// 5, stratified by sex (1 men, 2 women) with a lag of 10 years after hire.
//
//   make_example OUTDIR
//
// The numbers are drawn from a fixed seed with a generator of this file, so
// the same files come out on every machine.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "exchange/formats/text/text_import.h"
#include "py/person_years_run.h"
#include "py/py_comp.h"
#include "py/sex_lag.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"

namespace {

using namespace vdx;

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double between(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double exponential() { return -std::log(1.0 - uniform()); }

private:
    uint64_t state_;
};

struct Worker {
    int id = 0, sex = 1;
    double birth = 0, hire = 0, entry = 0, exit = 0;
    int icd = 0;  // cause of death (ICD-9, three digits); 0 alive at exit
};

// Functions, not constants: the day numbers must not be computed before the
// program's own static data is ready.
double StudyStart() { return DayNumber(1950, 1, 1); }
double StudyEnd() { return DayNumber(2014, 12, 31); }

// Gompertz mortality, h(age) = a exp(b age) per year: about 1 % a year at
// 60 and 6 % at 80 for men, women at 60 % of that.
constexpr double kGompertzB = 0.093;
double GompertzA(int sex) { return std::exp(-10.2) * (sex == 2 ? 0.6 : 1.0); }

struct Cause {
    int icd;
    double share;
};
// Causes of death among the workers' deaths. Lung cancer (162) is more
// frequent among the men than in the reference population of rates.txt (an
// SMR of about 1.25 for the men), and a few men die of a cancer of the
// pleura (163).
const std::vector<Cause> kMenCauses = {{162, 0.16}, {163, 0.01}, {410, 0.27}, {436, 0.09}, {153, 0.04}, {185, 0.04},
                                       {151, 0.03}, {491, 0.05}, {250, 0.03}, {428, 0.08}, {571, 0.03},
                                       {155, 0.02}, {800, 0.05}};
const std::vector<Cause> kWomenCauses = {{162, 0.05}, {174, 0.08}, {410, 0.20}, {436, 0.12}, {153, 0.05},
                                         {428, 0.10}, {250, 0.04}, {491, 0.03}, {800, 0.02}};
constexpr int kOtherCause = 799;  // other and ill-defined

int DrawCause(Random& rng, int sex) {
    double u = rng.uniform();
    for (const auto& c : sex == 2 ? kWomenCauses : kMenCauses) {
        if (u < c.share) return c.icd;
        u -= c.share;
    }
    return kOtherCause;
}

double Whole(double day) { return std::floor(day); }

std::vector<Worker> DrawCohort(int count) {
    Random rng(19500101);
    std::vector<Worker> workers;
    while (static_cast<int>(workers.size()) < count) {
        Worker w;
        w.sex = rng.uniform() < 0.75 ? 1 : 2;
        w.birth = Whole(rng.between(DayNumber(1900, 1, 1), DayNumber(1950, 12, 31)));
        w.hire = Whole(w.birth + rng.between(16, 40) * 365.25);
        if (w.hire < DayNumber(1935, 1, 1) || w.hire > DayNumber(1985, 12, 31)) continue;
        w.entry = std::max(w.hire, StudyStart());
        // Age at death, given alive at entry (inverse of the Gompertz survival).
        const double a = GompertzA(w.sex);
        const double ageAtEntry = (w.entry - w.birth) / 365.25;
        const double ageAtDeath =
            std::log(std::exp(kGompertzB * ageAtEntry) + kGompertzB * rng.exponential() / a) / kGompertzB;
        const double death = Whole(w.birth + ageAtDeath * 365.25);
        // Some workers are lost to follow-up.
        const double lost = rng.uniform() < 0.04 ? Whole(rng.between(w.entry, StudyEnd())) : StudyEnd() + 1;
        w.exit = std::min({death, lost, StudyEnd()});
        if (w.exit < w.entry) continue;
        w.icd = death <= w.exit ? DrawCause(rng, w.sex) : 0;
        w.id = static_cast<int>(workers.size()) + 1;
        workers.push_back(w);
    }
    return workers;
}

std::string Ddmmyyyy(double day) {
    const CivilDate d = DateOfDayNumber(day);
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%04d", d.day, d.month, d.year);
    return text;
}

void WriteCohort(const std::string& path, const std::vector<Worker>& workers) {
    std::ofstream out(path, std::ios::binary);
    out << "ID;SEX;DOB;DOH;DOE;DOX;ICD\r\n";
    for (const auto& w : workers)
        out << w.id << ';' << w.sex << ';' << Ddmmyyyy(w.birth) << ';' << Ddmmyyyy(w.hire) << ';'
            << Ddmmyyyy(w.entry) << ';' << Ddmmyyyy(w.exit) << ';' << w.icd << "\r\n";
}

// Lung-cancer deaths per person-year of men (a reference population), by
// age class 15-19 .. 80-84 (rows) and calendar period 1950-1954 ..
// 2010-2014 (columns): an age curve at the peak period times a calendar trend
// that rises to the mid-1980s and falls afterwards.
void WriteRates(const std::string& path) {
    const double perHundredThousand[14] = {0.1, 0.2, 0.5, 1.5, 5, 15, 40, 90, 160, 250, 350, 430, 480, 500};
    const double trend[13] = {0.45, 0.55, 0.65, 0.75, 0.85, 0.93, 0.98, 1.0, 0.97, 0.9, 0.82, 0.75, 0.7};
    std::ofstream out(path, std::ios::binary);
    for (int j = 0; j < 13; ++j) out << (j ? ";" : "") << 'Y' << 1950 + 5 * j;
    out << "\r\n";
    for (int i = 0; i < 14; ++i) {
        for (int j = 0; j < 13; ++j) {
            char text[32];
            std::snprintf(text, sizeof text, "%.8f", perHundredThousand[i] * trend[j] / 100000.0);
            out << (j ? ";" : "") << text;
        }
        out << "\r\n";
    }
}

exchange::TextColumn Column(const std::string& type, const std::string& dateLayout = {}) {
    exchange::TextColumn c;
    c.type = type;
    c.dateLayout = dateLayout;
    return c;
}

// The ASCII import of a file with a header line into a new table of the
// working copy, with one column description per column.
void ImportAscii(const std::string& workingCopy, const std::string& file, const std::string& table,
                 const std::vector<exchange::TextColumn>& columns) {
    exchange::TextImportOptions options;
    options.headers = true;
    options.columns = columns;
    const auto specs = exchange::TextImportColumns(file, options, table);
    auto db = db::Database::open(workingCopy);
    db::TableDef def;
    def.name = table;
    for (const auto& s : specs) def.fields.push_back({s.name, s.type, s.type == FieldType::Text ? s.size : 0, true});
    db->beginTransaction();
    db->createTable(def);
    {
        auto rs = db->openRecordset(table);
        exchange::ImportTextRows(file, options, [&](const std::vector<Value>& row) {
            rs->addNew();
            for (size_t c = 0; c < row.size(); ++c) rs->setValue(static_cast<int>(c), row[c]);
            rs->update();
            return true;
        });
    }
    db->commit();
}

void Fail(const ScriptedInteraction& ui, const std::string& what) {
    std::cerr << "make_example: " << what << "\n";
    for (const auto& m : ui.messages) std::cerr << "  " << m.text << "\n";
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_example OUTDIR\n";
        return 2;
    }
    const std::string dir = argv[1];
    std::filesystem::create_directories(dir);
    const std::string cohortFile = dir + "/cohort.txt", ratesFile = dir + "/rates.txt";
    const std::string projectFile = dir + "/example.vdx";

    const auto workers = DrawCohort(3000);
    WriteCohort(cohortFile, workers);
    WriteRates(ratesFile);

    ProgramState state;
    ScriptedInteraction ui;
    try {
        std::filesystem::remove(projectFile);
        if (!db::CreateProjectFile(state, ui, projectFile)) Fail(ui, "cannot create " + projectFile);

        // Tables > Main table > Add > ASCII: cohort.txt as Cohort.
        const exchange::TextColumn date = Column("Date", "DDMMYYYY");
        ImportAscii(state.WorkingCopyName, cohortFile, "Cohort",
                    {Column("Long"), Column("Integer"), date, date, date, date, Column("Integer")});
        {
            auto db = db::Database::open(state.WorkingCopyName);
            state.MainTableName = "Cohort";
            state.MainTableFields = db::ClassifyColumns(*db, "Cohort");
        }
        db::AddMainTableEntry(state, "Cohort");

        // Tables > Rate table > Add > ASCII: rates.txt as Rates.
        ImportAscii(state.WorkingCopyName, ratesFile, "Rates",
                    std::vector<exchange::TextColumn>(13, Column("Double")));
        {
            auto db = db::Database::open(state.WorkingCopyName);
            auto rs = db->openRecordset(db::kVdxSystemRateTables);
            rs->addNew();
            rs->setValue("RateTables", Value::text("Rates"));
            rs->update();
        }
        state.RateTableCount = 1;
        db::AddRateTableEntry(state, "Rates");

        // Compute > Person-Years with sex and a lag of 10 years.
        const py::PySettingsSnapshot snapshot = py::TakeSettingsSnapshot(state);
        state.py.bySex = true;
        if (py::SexOk(state, ui, "SEX", "1,2") != py::DefinitionOk::Confirmed) Fail(ui, "sex definition");
        py::SexDialogClosed(state, true, py::TakeSexEntries(state.py));
        state.py.withLag = true;
        if (py::LagOk(state, ui, "DOH", "10") != py::DefinitionOk::Confirmed) Fail(ui, "lag definition");
        py::LagDialogClosed(state, true, py::TakeLagEntries(state.py));
        const py::PyRequest form{"DOB", "DOE", "DOX", "15", "85", "5", "1950", "2015", "5"};
        if (!py::CheckPyRequest(state, ui, form).ok()) Fail(ui, "settings");
        if (py::RunPersonYears(state, ui, snapshot) != py::PyRunOutcome::Completed) Fail(ui, "person-years run");
        if (!db::FileSave(state, ui)) Fail(ui, "saving " + projectFile);
    } catch (const VdxError& e) {
        Fail(ui, std::to_string(e.number()) + " " + e.description());
    }
    db::ReleaseWorkingCopy(state);
    std::cout << "Wrote " << cohortFile << ", " << ratesFile << " and " << projectFile << " (" << workers.size()
              << " workers)\n";
    return 0;
}
