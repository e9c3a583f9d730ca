// Time and memory of the attach commands on large inputs: a semicolon file
// of N lines and 8 columns imported as the main data table with every column
// typed, and dBase and Paradox tables of N rows added as rate tables. Each
// run goes through the command as the menu runs it (file dialog answer,
// copy into the working copy, registration, tree node, classification),
// then File > Save writes the project file.
// Usage: bench_attach [rows = 1000000] [folder = a temporary folder]
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_measure.h"
#include "attach_test_support.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/commands/scripted_attach_dialogs.h"

namespace {

using bench::PeakMebibytes;
using bench::Seconds;

}  // namespace

int main(int argc, char** argv) {
    using namespace vdx;
    using namespace vdx::exchange;
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string folder =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "vdx_attach_bench").string();
    std::filesystem::create_directories(folder);
    const std::string text = folder + "/cohort.txt", dbf = folder + "/persons.dbf", px = folder + "/rates.db";
    std::cout << "writing inputs of " << rows << " rows in " << folder << std::endl;
    if (!std::filesystem::exists(text)) testing::WriteTextCohort(text, rows);
    if (!std::filesystem::exists(dbf)) testing::WriteDBaseCohort(dbf, rows);
    if (!std::filesystem::exists(px)) testing::WriteParadoxCohort(px, rows);

    ProgramState state;
    ScriptedInteraction ui;
    ui.onMessage = [](const ScriptedInteraction::ShownMessage& m) { std::cerr << m.text << "\n"; };
    const std::string study = folder + "/bench.vdx";
    std::filesystem::remove(study);
    if (!db::CreateProjectFile(state, ui, study)) return 1;

    ScriptedAttachDialogs dialogs;
    dialogs.fillTextImport = [](TextImportForm& form) {
        form.setHeaders(true);
        const char* types[] = {"Text", "Integer", "Long", "Double", "Date", "Single", "Text", "Date"};
        for (int c = 1; c <= 8; ++c) {
            form.clickColumn(c);
            form.chooseType(types[c - 1]);
        }
        form.clickColumn(8);
        form.chooseDateLayout("YYYY");
    };
    auto report = [&](const std::string& what, const std::string& table, double seconds, bool ok) {
        const long stored = ok ? static_cast<long>(db::Database::open(state.WorkingCopyName)->openRecordset(table)->recordCount()) : -1;
        std::cout << what << ": " << stored << " rows in " << seconds << " s (" << static_cast<long>(stored / seconds)
                  << " rows/s), peak memory so far " << PeakMebibytes() << " MiB"
                  << (stored == rows ? "" : "  ROW COUNT WRONG") << std::endl;
        return stored == rows;
    };

    bool ok = true;
    bool added = false;
    ui.files.push_back(FileDialogResult{text, 1});
    double s = Seconds([&] { added = AddMainTable(state, ui, dialogs, FormatNamed("text")); });
    ok &= report("ASCII import, 8 typed columns, main data table", "cohort", s, added);

    ui.files.push_back(FileDialogResult{dbf, 1});
    s = Seconds([&] { added = AddRateTable(state, ui, dialogs, FormatNamed("dbase3")); });
    ok &= report("dBase III attach, 5 fields, rate table", "persons", s, added);

    ui.files.push_back(FileDialogResult{px, 1});
    s = Seconds([&] { added = AddRateTable(state, ui, dialogs, FormatNamed("paradox5")); });
    ok &= report("Paradox attach, 5 fields, rate table", "rates", s, added);

    s = Seconds([&] { added = db::FileSave(state, ui); });
    std::cout << "File > Save of the study (" << std::filesystem::file_size(study) / 1048576 << " MiB): " << s << " s"
              << std::endl;
    db::ReleaseWorkingCopy(state);
    return ok && added ? 0 : 1;
}
