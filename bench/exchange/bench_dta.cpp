// Bringing in a large Stata file: a cohort of N rows and 8 variables (id,
// sex, cause of death, weight, a name and three dates) written with our
// .dta writer, read alone through the Stata reader, then added as the main
// data table through the attach command as the menu runs it.
// Usage: bench_dta [rows = 1000000] [folder = a temporary folder]
// Prints seconds and the peak memory of this process and of the reader's
// child process (ReadStat runs isolated): with rows streamed from the child
// into the working copy, neither grows with the row count.
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_measure.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/commands/scripted_attach_dialogs.h"
#include "exchange/formats/statistics/statistics_reader.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"

namespace {

using bench::PeakMebibytes;
using bench::Seconds;

long ChildPeakMebibytes() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss / 1024;
}

// CPU seconds of this process and its finished children (the reader's).
double CpuSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

void WriteStataCohort(const std::string& path, long rows) {
    using vdx::FieldType;
    using vdx::Value;
    const std::vector<vdx::exchange::ColumnSpec> columns = {
        {"id", FieldType::Long, 0},     {"sex", FieldType::Long, 0},   {"cause", FieldType::Long, 0},
        {"weight", FieldType::Double, 0}, {"name", FieldType::Text, 12}, {"birth", FieldType::Date, 0},
        {"entry", FieldType::Date, 0},  {"exit", FieldType::Date, 0}};
    auto writer = vdx::exchange::FormatNamed("dta").writer(path, "cohort");
    writer->begin(columns, static_cast<uint64_t>(rows));
    const double birth0 = vdx::DayNumber(1868, 1, 1);
    std::vector<Value> row(columns.size());
    for (long i = 0; i < rows; ++i) {
        const double birth = birth0 + static_cast<double>(i % 36500);
        row = {Value::integer(i + 1),
               Value::integer(1 + i % 2),
               i % 7 == 0 ? Value::integer(162) : Value(),
               Value::real(50 + static_cast<double>(i % 400) / 8),
               Value::text("person " + std::to_string(i % 100000)),
               Value::date(birth),
               Value::date(birth + 18 * 365 + static_cast<double>(i % 3650)),
               Value::date(birth + 60 * 365 + static_cast<double>(i % 7300))};
        writer->writeRow(row);
    }
    writer->finish();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vdx;
    using namespace vdx::exchange;
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string folder = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() /
                                                     ("vdx_dta_bench_" + std::to_string(rows))).string();
    std::filesystem::create_directories(folder);
    const std::string dta = folder + "/cohort.dta";
    if (!std::filesystem::exists(dta)) {
        const double s = Seconds([&] { WriteStataCohort(dta, rows); });
        std::cout << "writing the .dta of " << rows << " rows: " << s << " s, peak memory " << PeakMebibytes()
                  << " MiB" << std::endl;
    }
    std::cout << "input " << dta << ": " << std::filesystem::file_size(dta) / 1048576 << " MiB" << std::endl;

    long count = 0;
    double cpu = CpuSeconds();
    double s = Seconds([&] {
        StatisticsReader reader(StatisticsFormat::Stata, dta);
        reader.readRows("cohort", [&](const std::vector<Value>&) { return ++count, true; }, nullptr);
    });
    std::cout << "reading only: " << count << " rows in " << s << " s (CPU " << CpuSeconds() - cpu << " s), peak memory " << PeakMebibytes()
              << " MiB, reader process " << ChildPeakMebibytes() << " MiB" << (count == rows ? "" : "  ROW COUNT WRONG")
              << std::endl;

    ProgramState state;
    ScriptedInteraction ui;
    ui.onMessage = [](const ScriptedInteraction::ShownMessage& m) { std::cerr << m.text << "\n"; };
    const std::string study = folder + "/bench.vdx";
    std::filesystem::remove(study);
    if (!db::CreateProjectFile(state, ui, study)) return 1;
    ScriptedAttachDialogs dialogs;
    ui.files.push_back(FileDialogResult{dta, 1});
    bool added = false;
    cpu = CpuSeconds();
    s = Seconds([&] { added = AddMainTable(state, ui, dialogs, FormatNamed("dta")); });
    cpu = CpuSeconds() - cpu;
    const long stored =
        added ? static_cast<long>(db::Database::open(state.WorkingCopyName)->openRecordset("cohort")->recordCount()) : -1;
    std::cout << "Stata attach, 8 variables, main data table: " << stored << " rows in " << s << " s (CPU " << cpu << " s), peak memory "
              << PeakMebibytes() << " MiB, reader process " << ChildPeakMebibytes() << " MiB"
              << (stored == rows ? "" : "  ROW COUNT WRONG") << std::endl;
    db::ReleaseWorkingCopy(state);
    return stored == rows ? 0 : 1;
}
