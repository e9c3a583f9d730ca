// Reports > Save as... without windows: the dialog's proposal, the format
// the filter chooses, failures shown and the old file kept, a cancelled
// dialog silent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "report/report_output.h"
#include "state/errors.h"
#include "state/scripted_interaction.h"

namespace vdx::report {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const ReportText kReport{"SMR report\r\nSMR = 150.00000000\r\n", 0, {}};

class ReportOutput : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vdx_report_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_.CurrentSMRTable = "Plant A_SMR";
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    ProgramState state_;
    ScriptedInteraction ui_;
};

TEST_F(ReportOutput, SaveProposesTheProjectNameAndWritesTheChosenFormat) {
    const fs::path rtf = dir_ / "a.rtf", text = dir_ / "a.txt";
    ui_.files = {FileDialogResult{rtf.string(), 1}, FileDialogResult{text.string(), 2}};
    ASSERT_TRUE(SaveSmrReportAs(state_, ui_, kReport));
    ASSERT_TRUE(SaveSmrReportAs(state_, ui_, kReport));
    ASSERT_EQ(ui_.fileDialogs.size(), 2u);
    const FileDialogRequest& asked = ui_.fileDialogs[0].request;
    EXPECT_TRUE(ui_.fileDialogs[0].save);
    EXPECT_EQ(asked.title, "Save as ...");
    EXPECT_EQ(asked.fileName, "Plant A");
    EXPECT_EQ(asked.filter, "RTF file (*.rtf)|*.rtf|Text file (*.txt)|*.txt");
    EXPECT_EQ(asked.filterIndex, 1);
    EXPECT_EQ(asked.defaultExtension, "rtf");
    const std::string rtfBytes = Bytes(rtf);
    EXPECT_EQ(rtfBytes.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(rtfBytes.find("SMR = 150.00000000"), std::string::npos);
    EXPECT_EQ(Bytes(text), kReport.text);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.busyDepth, 0);
}

TEST_F(ReportOutput, AFailedSaveIsShownAndKeepsTheOldFile) {
    const fs::path kept = dir_ / "kept.rtf";
    std::ofstream(kept) << "old report";
    // The temporary file cannot be made where the folder does not exist, nor
    // under /proc; a folder in place of the file cannot be replaced.
    fs::create_directories(dir_ / "folder.rtf" / "inside");
    const struct {
        fs::path path;
        int error;
    } cases[] = {
        {dir_ / "missing" / "r.rtf", err::PathAccess},
        {"/proc/r.rtf", err::PathAccess},
        {dir_ / "folder.rtf", err::PathAccess},
    };
    for (const auto& c : cases) {
        ScriptedInteraction ui;
        ui.files = {FileDialogResult{c.path.string(), 1}};
        EXPECT_FALSE(SaveSmrReportAs(state_, ui, kReport)) << c.path;
        ASSERT_EQ(ui.messages.size(), 1u) << c.path;
        EXPECT_EQ(ui.messages[0].title, "Error");
        EXPECT_EQ(ui.messages[0].icon, Icon::Critical);
        EXPECT_NE(ui.messages[0].text.find("Number: " + std::to_string(c.error)), std::string::npos)
            << ui.messages[0].text;
    }
    // Cancelled: nothing asked beyond the dialog, nothing written.
    ScriptedInteraction cancelled;
    EXPECT_FALSE(SaveSmrReportAs(state_, cancelled, kReport));
    EXPECT_TRUE(cancelled.messages.empty());
    EXPECT_EQ(Bytes(kept), "old report");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);  // kept + folder.rtf
}

}  // namespace
}  // namespace vdx::report
