// File > New, Open, Save, Save as, Exit and the close box on the main
// window, with scripted answers to the dialogs and messages; the project
// file named on the command line.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/project_file.h"
#include "main_window.h"
#include "sample_project.h"
#include "test_sql.h"
#include "startup.h"
#include "widget_test_support.h"

using namespace vdx;

namespace {

const std::string kNoFile = "There is no VELDRIX file loaded!";
const std::string kSaveChanges = "Do you want to save your changes?";

FileDialogResult Chosen(const QString& path) { return FileDialogResult{path.toStdString(), 1}; }

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string VersionOf(const QString& projectFile) {
    auto db = db::Database::open(projectFile.toStdString());
    return db::ReadRows(*db, db::kVdxSystemMain, "Value", 1).at(0);
}

// A saved project file with the sample study.
bool WriteSampleFile(const QString& path) {
    ProgramState state;
    ScriptedInteraction ui;
    if (!test::CreateSampleProject(state, ui, path.toStdString())) return false;
    const bool saved = db::FileSave(state, ui);
    db::ReleaseWorkingCopy(state);
    return saved;
}

}  // namespace

class FileMenuTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<MainWindow> w_;
    test::CountingInteraction ui_;

    QString path(const char* name) const { return dir_->filePath(name); }
    void trigger(const char* action) { w_->findChild<QAction*>(action)->trigger(); }

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    // A new run of the program (the files stay).
    void restart() {
        w_.reset();
        ui_ = test::CountingInteraction();
        w_ = std::make_unique<MainWindow>();
        w_->setInteraction(&ui_);
        StartUp(*w_, "", false);
    }

    void init() {
        test::ClearUserFolders();
        dir_ = std::make_unique<QTemporaryDir>();
        restart();
    }

    void cleanup() {
        if (w_->isVisible()) {
            w_->state().ProjectChanged = false;
            w_->fileExit();
        }
        w_.reset();
        dir_.reset();
    }

    void newCreatesTheProjectFileAndItsWorkingCopy() {
        ui_.files.push_back(Chosen(path("study.vdx")));
        trigger("mnuFileNew");
        QVERIFY(ui_.messages.empty());
        QCOMPARE(ui_.fileDialogs.size(), size_t(1));
        const auto& request = ui_.fileDialogs[0].request;
        QVERIFY(ui_.fileDialogs[0].save);
        QCOMPARE(request.title, std::string("Create new file as..."));
        QCOMPARE(request.filter, std::string("VELDRIX file (*.vdx)|*.vdx"));
        QCOMPARE(request.defaultExtension, std::string("vdx"));
        QCOMPARE(request.flags, 32774);

        QCOMPARE(w_->windowTitle(), "VELDRIX 1.41 - " + path("study.vdx"));
        QVERIFY(QFileInfo::exists(path("study.vdx")));
        QVERIFY(QFileInfo::exists(path("study.vd~")));
        QCOMPARE(VersionOf(path("study.vdx")), std::string("3.0"));
        QCOMPARE(test::TreePaths(*w_),
                 QStringList({"Main", "Main_Data", "Main_Rate tables", "Main_Person-Years"}));
        QVERIFY(ui_.busyCalls > 0);
        QCOMPARE(ui_.busyDepth, 0);
    }

    void cancelledDialogChangesNothing() {
        trigger("mnuFileNew");   // no file scripted: the dialog is cancelled
        trigger("mnuFileOpen");
        QCOMPARE(ui_.fileDialogs.size(), size_t(2));
        QVERIFY(ui_.messages.empty());
        QCOMPARE(w_->windowTitle(), QString("VELDRIX 1.41"));
        QVERIFY(!w_->state().ProjectOpen);
    }

    void saveWithoutAProjectShowsMessage16() {
        trigger("mnuFileSave");
        trigger("mnuFileSaveAs");
        QCOMPARE(ui_.messages.size(), size_t(2));
        for (const auto& m : ui_.messages) {
            QCOMPARE(m.text, kNoFile);
            QCOMPARE(m.title, std::string("VELDRIX"));
            QVERIFY(m.icon == Icon::Exclamation);
            QVERIFY(m.buttons == Buttons::Ok);
        }
        QVERIFY(ui_.fileDialogs.empty());
    }

    void openAsksMessage19OnlyWhenThereAreChanges() {
        QVERIFY(WriteSampleFile(path("other.vdx")));
        ui_.files.push_back(Chosen(path("first.vdx")));
        trigger("mnuFileNew");
        QVERIFY(w_->state().ProjectOpen);
        trigger("mnuFileOpen");  // nothing changed: no question, the dialog is cancelled
        QVERIFY(ui_.messages.empty());
        QCOMPARE(ui_.fileDialogs.size(), size_t(2));
        w_->state().ProjectChanged = true;

        // Cancel: no dialog, the first project stays.
        ui_.answers.push_back(Answer::Cancel);
        trigger("mnuFileOpen");
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].text, kSaveChanges);
        QVERIFY(ui_.messages[0].buttons == Buttons::YesNoCancel);
        QVERIFY(ui_.messages[0].icon == Icon::Question);
        QCOMPARE(ui_.messages[0].title, std::string("VELDRIX"));
        QCOMPARE(ui_.fileDialogs.size(), size_t(2));
        QCOMPARE(w_->windowTitle(), "VELDRIX 1.41 - " + path("first.vdx"));

        // No: the other file opens, the first working copy goes.
        ui_.answers.push_back(Answer::No);
        ui_.files.push_back(Chosen(path("other.vdx")));
        trigger("mnuFileOpen");
        QCOMPARE(ui_.fileDialogs.back().request.title, std::string("Open File"));
        QCOMPARE(ui_.fileDialogs.back().request.flags, 4100);
        QCOMPARE(w_->windowTitle(), "VELDRIX 1.41 - " + path("other.vdx"));
        QVERIFY(!QFileInfo::exists(path("first.vd~")));
        QVERIFY(QFileInfo::exists(path("other.vd~")));
        QVERIFY(test::TreePaths(*w_).contains("Main_Data_Cohort"));
        QVERIFY(test::TreePaths(*w_).contains("P1_SMR"));
    }

    void saveWritesTheWorkingCopyOverTheProjectFile() {
        ui_.files.push_back(Chosen(path("study.vdx")));
        trigger("mnuFileNew");
        // A change in the working copy (as bringing in a table would make).
        {
            auto wc = db::Database::open(w_->state().WorkingCopyName);
            test::CreateTable(*wc, "Extra", "A LONG");
        }
        w_->state().ProjectChanged = true;
        QVERIFY(!db::Database::open(path("study.vdx").toStdString())->tableExists("Extra"));
        w_->menus().buttons.value("Save")->trigger();
        QVERIFY(ui_.messages.empty());
        QVERIFY(!w_->state().ProjectChanged);
        QVERIFY(db::Database::open(path("study.vdx").toStdString())->tableExists("Extra"));
    }

    void saveAsGoesOnInTheNewFileAndLeavesTheOldOne() {
        ui_.files.push_back(Chosen(path("a.vdx")));
        trigger("mnuFileNew");
        const QByteArray oldBytes = FileBytes(path("a.vdx"));
        {
            auto wc = db::Database::open(w_->state().WorkingCopyName);
            test::CreateTable(*wc, "Extra", "A LONG");
        }
        w_->state().ProjectChanged = true;
        ui_.files.push_back(Chosen(path("b.vdx")));
        trigger("mnuFileSaveAs");
        QCOMPARE(ui_.fileDialogs.back().request.title, std::string("Save File as ..."));
        QCOMPARE(w_->windowTitle(), "VELDRIX 1.41 - " + path("b.vdx"));
        QVERIFY(!w_->state().ProjectChanged);
        QVERIFY(QFileInfo::exists(path("b.vd~")));
        QVERIFY(!QFileInfo::exists(path("a.vd~")));
        QCOMPARE(FileBytes(path("a.vdx")), oldBytes);
        QVERIFY(db::Database::open(path("b.vdx").toStdString())->tableExists("Extra"));
    }

    void exitWithChangesAsksMessage19() {
        ui_.files.push_back(Chosen(path("study.vdx")));
        trigger("mnuFileNew");
        w_->state().ProjectChanged = true;
        const QByteArray saved = FileBytes(path("study.vdx"));

        // Cancel: the program keeps running with its working copy.
        ui_.answers.push_back(Answer::Cancel);
        trigger("mnuFileExit");
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].text, kSaveChanges);
        QVERIFY(w_->isVisible());
        QVERIFY(QFileInfo::exists(path("study.vd~")));

        // The close box does the same; No ends the program without saving.
        ui_.answers.push_back(Answer::Cancel);
        QVERIFY(!w_->close());
        QVERIFY(w_->isVisible());
        ui_.answers.push_back(Answer::No);
        QVERIFY(w_->close());
        QVERIFY(!w_->isVisible());
        QVERIFY(!QFileInfo::exists(path("study.vd~")));
        QCOMPARE(FileBytes(path("study.vdx")), saved);
    }

    void exitRightAfterOpenAsksNothingYesSaves() {
        QVERIFY(WriteSampleFile(path("study.vdx")));
        ui_.files.push_back(Chosen(path("study.vdx")));
        trigger("mnuFileOpen");
        QVERIFY(w_->state().ProjectOpen);
        {
            auto wc = db::Database::open(w_->state().WorkingCopyName);
            test::CreateTable(*wc, "Extra", "A LONG");
        }
        w_->state().ProjectChanged = true;
        ui_.answers.push_back(Answer::Yes);
        trigger("mnuFileExit");
        QVERIFY(!w_->isVisible());
        QVERIFY(db::Database::open(path("study.vdx").toStdString())->tableExists("Extra"));
        QVERIFY(!QFileInfo::exists(path("study.vd~")));

        // Again, without a change: nothing is asked.
        restart();
        QVERIFY(WriteSampleFile(path("again.vdx")));
        ui_.files.push_back(Chosen(path("again.vdx")));
        trigger("mnuFileOpen");
        trigger("mnuFileExit");
        QVERIFY(ui_.messages.empty());
        QVERIFY(!w_->isVisible());
    }

    void savingAConvertedFileAsksMessage41() {
        {
            ProgramState state;
            ScriptedInteraction ui;
            QVERIFY(db::CreateProjectFile(state, ui, path("old.vdx").toStdString()));
            db::ReleaseWorkingCopy(state);
            auto file = db::Database::open(path("old.vdx").toStdString());
            test::Sql(*file, "UPDATE VdxSystemMain SET Value = '2.0' WHERE Typ = 'Version'");
            test::Sql(*file, "DELETE FROM VdxSystemMain WHERE Typ = 'SMRReportHeading'");
        }
        ui_.files.push_back(Chosen(path("old.vdx")));
        trigger("mnuFileOpen");
        QVERIFY(w_->state().ProjectOpen);
        QVERIFY(w_->state().ProjectUpgraded);
        QCOMPARE(VersionOf(path("old.vdx")), std::string("2.0"));

        ui_.answers.push_back(Answer::Cancel);
        trigger("mnuFileSave");
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].text, std::string("This file was created with a former version of VELDRIX. "
                                                   "Do you want to override it with the current VELDRIX file version?"));
        QVERIFY(ui_.messages[0].buttons == Buttons::OkCancel);
        QCOMPARE(VersionOf(path("old.vdx")), std::string("2.0"));

        ui_.answers.push_back(Answer::Ok);
        trigger("mnuFileSave");
        QCOMPARE(VersionOf(path("old.vdx")), std::string("3.0"));
    }

    void commandLineOpensTheProjectOnFirstActivation() {
        QVERIFY(WriteSampleFile(path("study.vdx")));
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, path("study.vdx"), false);
        QTRY_COMPARE(w.windowTitle(), "VELDRIX 1.41 - " + path("study.vdx"));
        QVERIFY(w.state().ProjectOpen);
        QVERIFY(ui.messages.empty());
        QVERIFY(test::TreePaths(w).contains("Main_Data_Cohort"));
        QVERIFY(test::TreePaths(w).contains("Main_Person-Years_Age*Calendar*Sex=2"));
        // It is opened only once.
        w.hide();
        w.show();
        QCoreApplication::processEvents();
        QCOMPARE(ui.fileDialogs.size(), size_t(0));
        w.fileExit();
        QVERIFY(!QFileInfo::exists(path("study.vd~")));
    }

    void commandLineThatIsNoProjectLeavesNoneOpen() {
        {
            QFile f(path("notes.vdx"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("these are notes, not a project file\n");
        }
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, path("notes.vdx"), false);
        QTRY_COMPARE(ui.messages.size(), size_t(1));
        QCOMPARE(ui.messages[0].text, path("notes.vdx").toStdString() + " is not a VELDRIX file!");
        QCOMPARE(ui.messages[0].title, std::string("Error"));
        QVERIFY(!w.state().ProjectOpen);
        QCOMPARE(w.windowTitle(), QString("VELDRIX 1.41"));
        w.fileExit();
    }

    void aReadOnlyProjectFileSaysSoInTheStatusLine() {
        QVERIFY(WriteSampleFile(path("study.vdx")));
        QVERIFY(QFile::setPermissions(path("study.vdx"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, path("study.vdx"), false);
        QTRY_VERIFY(w.state().ProjectOpen);
        QCOMPARE(w.findChild<QLabel*>("StatusText")->text(), path("study.vdx") + "  (read-only)");
        w.fileExit();
    }

    void createSaveReopenShowsTheTree() {
        // New, bring in the study (written straight into the working copy),
        // save, exit; a second run opens the file and shows its tree.
        ui_.files.push_back(Chosen(path("round.vdx")));
        trigger("mnuFileNew");
        w_->fileExit();
        QVERIFY(WriteSampleFile(path("round.vdx")));

        restart();
        ui_.files.push_back(Chosen(path("round.vdx")));
        trigger("mnuFileOpen");
        QCOMPARE(test::TreePaths(*w_),
                 QStringList({"Main", "Main_Data", "Main_Data_Cohort", "Main_Rate tables",
                              "Main_Rate tables_Rates 1990", "Main_Person-Years",
                              "Main_Person-Years_Age*Calendar", "Main_Person-Years_Age*Calendar*Sex=1",
                              "Main_Person-Years_Age*Calendar*Sex=2", "P1", "P1_Deaths", "P1_SMR", "P1_Strata",
                              "P1_Observed vs expected", "Plots", "Plots_Forest plot", "Plots_Person-years"}));
        QVERIFY(test::ClickTreeNode(*w_, "Main_Person-Years_Age*Calendar"));
        QCOMPARE(w_->state().CurrentView, ViewName::ResultGrid);
    }
};

QTEST_MAIN(FileMenuTest)
#include "file_menu_test.moc"
