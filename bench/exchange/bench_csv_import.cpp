// Time and peak memory of Tables > Main table > Add > CSV on a generated
// file of N records and 8 columns (two whole numbers, two numbers with
// decimals, two ISO dates, two texts, one of them quoted with a comma),
// through the command as the menu runs it: the file dialog's answer, the
// text import dialog with the types it proposes (one pass over the file),
// Import into the working copy, registration and classification. One size
// per run, so that the peak memory (VmHWM) is that size's.
// Usage: bench_csv_import [rows = 1000000] [folder = a temporary folder]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_measure.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/commands/scripted_attach_dialogs.h"
#include "state/scripted_interaction.h"

namespace {

using bench::Clock;
using bench::PeakKibibytes;

void WriteCsvCohort(const std::string& path, long rows) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("Id,Sex,Weight,Dose,Born,Exit,Name,City\r\n", f);
    for (long i = 0; i < rows; ++i)
        std::fprintf(f, "%ld,%ld,%.2f,%.4f,%04ld-%02ld-%02ld,%04ld-%02ld-%02ld,\"Person %ld, %c.\",Z\xC3\xBCrich\r\n", i,
                     1 + i % 2, 50 + (i % 500) / 10.0, (i % 9973) / 7.0, 1900 + i % 60, 1 + i % 12, 1 + i % 28,
                     1990 + i % 30, 1 + (i / 12) % 12, 1 + (i / 28) % 28, i, static_cast<char>('A' + i % 26));
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vdx;
    using namespace vdx::exchange;
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string folder =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "vdx_csv_bench").string();
    std::filesystem::create_directories(folder);
    const std::string csv = folder + "/cohort" + std::to_string(rows) + ".csv";
    if (!std::filesystem::exists(csv)) WriteCsvCohort(csv, rows);

    ProgramState state;
    ScriptedInteraction ui;
    ui.onMessage = [](const ScriptedInteraction::ShownMessage& m) { std::cerr << m.text << "\n"; };
    const std::string study = folder + "/bench.vdx";
    std::filesystem::remove(study);
    if (!db::CreateProjectFile(state, ui, study)) return 1;

    ScriptedAttachDialogs dialogs;
    double proposing = 0;
    dialogs.fillTextImport = [&](TextImportForm& form) {
        const auto start = Clock::now();
        form.proposeFromData();
        proposing = std::chrono::duration<double>(Clock::now() - start).count();
    };
    ui.files.push_back(FileDialogResult{csv, 1});
    const long before = PeakKibibytes();
    const auto start = Clock::now();
    const bool added = AddMainTable(state, ui, dialogs, FormatNamed("csv"));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    long stored = -1;
    if (added) stored = static_cast<long>(db::Database::open(state.WorkingCopyName)->openRecordset(state.MainTableName)->recordCount());
    std::cout << "CSV, 8 typed columns, " << std::filesystem::file_size(csv) / 1048576 << " MiB: " << stored
              << " rows in " << seconds << " s (types proposed in " << proposing << " s), peak memory "
              << PeakKibibytes() / 1024 << " MiB (" << before / 1024 << " MiB before the command)"
              << (stored == rows ? "" : "  ROW COUNT WRONG") << std::endl;
    db::ReleaseWorkingCopy(state);
    return stored == rows ? 0 : 1;
}
