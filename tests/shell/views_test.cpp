// The navigator and the views on the main window: clicks on every kind of
// node, the grids' contents, Copy and Ctrl+C, the splitter and the layout.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>
#include <clocale>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/project_management.h"
#include "db/project_file.h"
#include "db/navigator_entries.h"
#include "db/remove_table.h"
#include "grid_view.h"
#include "main_window.h"
#include "plot_view.h"
#include "py/person_years_run.h"
#include "sample_project.h"
#include "test_sql.h"
#include "startup.h"
#include "table_model.h"
#include "widget_test_support.h"

using namespace vdx;

namespace {

QWidget* ShownView(MainWindow& w) {
    QWidget* shown = nullptr;
    for (const char* name : {"Picture1", "MainGrid", "InternalGrid", "ResultGrid", "RTFResults"}) {
        QWidget* v = w.findChild<QWidget*>(name);
        if (v->isVisible()) {
            if (shown) return nullptr;  // two views at once
            shown = v;
        }
    }
    return shown;
}

QString ShownName(MainWindow& w) {
    QWidget* v = ShownView(w);
    return v ? v->objectName() : QString("(none or several)");
}

bool Enabled(MainWindow& w, const char* name) { return w.findChild<QAction*>(name)->isEnabled(); }

// Runs a print entry with the print dialog accepted, into a PDF file.
void PrintIntoPdf(MainWindow& w, QAction* entry, const QString& pdf) {
    w.reportPrinter().setOutputFormat(QPrinter::PdfFormat);
    w.reportPrinter().setOutputFileName(pdf);
    test::OnNextModalOf<QPrintDialog>([](QPrintDialog* d) { d->accept(); });
    entry->trigger();
}

QPoint CellCentre(GridView* g, int row, int col) {
    // Grid row/column 1 is model row/column 0.
    return g->visualRect(g->model()->index(row - 1, col - 1)).center();
}

}  // namespace

class ViewsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<MainWindow> w_;
    test::CountingInteraction ui_;

    GridView* grid(const char* name) { return w_->findChild<GridView*>(name); }

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void init() {
        test::ClearUserFolders();
        ui_ = test::CountingInteraction();
        w_ = std::make_unique<MainWindow>();
        w_->setInteraction(&ui_);
        StartUp(*w_, "", false);
        w_->resize(900, 600);
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        QVERIFY(test::CreateSampleProject(w_->state(), ui_, dir_.filePath("study.vdx").toStdString()));
        db::RebuildNavigator(w_->state(), ui_);
        w_->refreshFromState();
        QVERIFY(ui_.messages.empty());
    }

    void cleanup() {
        w_->state().ProjectChanged = false;
        w_->fileExit();
        w_.reset();
    }

    // Reports > Study report: the document in the program's own window, its
    // plots shown as pictures; Save as HTML and Print write what it shows.
    void studyReportOpensInItsWindowAndSaves() {
        w_->findChild<QAction*>("mnuReportsStudy")->trigger();
        QVERIFY2(ui_.messages.empty(), ui_.messages.empty() ? "" : ui_.messages.front().text.c_str());
        auto* window = w_->findChild<QWidget*>("frmStudyReport");
        QVERIFY(window && window->isVisible());
        auto* browser = window->findChild<QTextBrowser*>("txtStudyReport");
        const QString shown = browser->toPlainText();
        for (const char* text : {"Cohort", "Person-years settings", "SMR projects", "P1", "Methods"})
            QVERIFY2(shown.contains(text), text);
        const QString html = browser->toHtml();
        const qsizetype at = html.indexOf("data:image/svg+xml;base64,");
        QVERIFY(at > 0);
        const QUrl picture(html.mid(at, html.indexOf('"', at) - at));
        QVERIFY(!browser->document()->resource(QTextDocument::ImageResource, picture).value<QImage>().isNull());

        const QString saved = dir_.filePath("study_report.html");
        ui_.files.push_back(FileDialogResult{saved.toStdString(), 1});
        window->findChild<QPushButton*>("cmdSaveAs")->click();
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(file.readAll());
        QVERIFY(written.startsWith("<!DOCTYPE html>") && written.contains("<td>P1</td>"));

        const QString pdf = dir_.filePath("study_report.pdf");
        w_->reportPrinter().setOutputFormat(QPrinter::PdfFormat);
        w_->reportPrinter().setOutputFileName(pdf);
        test::OnNextModalOf<QPrintDialog>([](QPrintDialog* d) { d->accept(); });
        window->findChild<QPushButton*>("cmdPrint")->click();
        QVERIFY(QFileInfo(pdf).size() > 1000);
        QVERIFY(ui_.messages.empty());
    }

    void treeShowsTheProject() {
        QCOMPARE(test::TreePaths(*w_),
                 QStringList({"Main", "Main_Data", "Main_Data_Cohort", "Main_Rate tables",
                              "Main_Rate tables_Rates 1990", "Main_Person-Years",
                              "Main_Person-Years_Age*Calendar", "Main_Person-Years_Age*Calendar*Sex=1",
                              "Main_Person-Years_Age*Calendar*Sex=2", "P1", "P1_Deaths", "P1_SMR", "P1_Strata",
                              "P1_Observed vs expected", "Plots", "Plots_Forest plot", "Plots_Person-years"}));
        QCOMPARE(w_->windowTitle(), "VELDRIX 1.41 - " + dir_.filePath("study.vdx"));
    }

    void mainTableNodeShowsTheCohortWithDates() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data_Cohort"));
        QCOMPARE(ShownName(*w_), QString("MainGrid"));
        GridView* g = grid("MainGrid");
        QCOMPARE(g->gridRows(), 4);
        QCOMPARE(g->gridCols(), 6);
        QCOMPARE(g->cellText(0, 1), QString("ID"));
        QCOMPARE(g->cellText(0, 2), QString("Birth"));
        // A date column, and a text column whose first row reads as a date.
        QCOMPARE(g->cellText(1, 2), QString("15.03.1950"));
        QCOMPARE(g->cellText(2, 2), QString("31.12.1948"));
        QCOMPARE(g->cellText(3, 2), QString(""));
        QCOMPARE(g->cellText(1, 3), QString("01.01.1970"));
        QCOMPARE(g->cellText(2, 3), QString("04.07.1972"));
        QCOMPARE(g->cellText(3, 3), QString("not known"));
        QCOMPARE(g->cellText(2, 5), QString("Bert"));
        QVERIFY(Enabled(*w_, "mnuTablesCopy"));
        QVERIFY(w_->menus().buttons.value("Copy")->isEnabled());
        QVERIFY(!w_->menus().buttons.value("Print")->isEnabled());
        QCOMPARE(w_->state().CurrentGrid, GridName::MainGrid);
    }

    void aShownTableDoesNotLockTheWorkingCopy() {
        // A command that writes the working copy while a grid shows a table
        // must not find the file locked by the view.
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data_Cohort"));
        QVERIFY(test::ClickTreeNode(*w_, "Main_Rate tables_Rates 1990"));
        QCOMPARE(grid("InternalGrid")->cellText(1, 1), QString("20"));
        QCOMPARE(grid("MainGrid")->cellText(1, 5), QString("Ann"));
        auto wc = db::Database::open(w_->state().WorkingCopyName);
        test::CreateTable(*wc, "Written", "A LONG");
        auto rs = wc->openRecordset(test::kRateTable);
        rs->addNew();
        rs->setValue(0, Value::integer(60));
        rs->update();
        QVERIFY(wc->tableExists("Written"));
    }

    void rateTableNodeShowsTheTableInInternalGrid() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Rate tables_Rates 1990"));
        QCOMPARE(ShownName(*w_), QString("InternalGrid"));
        GridView* g = grid("InternalGrid");
        QCOMPARE(g->gridRows(), 3);
        QCOMPARE(g->cellText(0, 2), QString("Rate"));
        QCOMPARE(g->cellText(2, 1), QString("40"));
        QCOMPARE(g->cellText(2, 2), QString("0.0034"));
        QVERIFY(Enabled(*w_, "mnuTablesCopy"));
    }

    void personYearsNodeShowsTheFourByThreeGrid() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Person-Years_Age*Calendar"));
        QCOMPARE(ShownName(*w_), QString("ResultGrid"));
        GridView* g = grid("ResultGrid");
        QCOMPARE(g->gridRows(), 4);
        QCOMPARE(g->gridCols(), 3);
        QCOMPARE(g->cellText(0, 0), QString("Age class"));
        QCOMPARE(g->cellText(1, 0), QString("20\u201339"));  // the ages reached: 20 to 39
        QCOMPARE(g->cellText(3, 0), QString("60\u201379"));
        QCOMPARE(g->cellText(0, 1), QString("1970\u20131979"));
        QCOMPARE(g->cellText(0, 2), QString("1980\u20131989"));
        QCOMPARE(g->cellText(1, 1), QString("0"));
        QCOMPARE(g->cellText(1, 2), QString("2.00"));
        QCOMPARE(w_->state().CurrentResult, std::string("PersonYears"));
        QVERIFY(Enabled(*w_, "mnuTablesCopy"));

        QVERIFY(test::ClickTreeNode(*w_, "Main_Person-Years_Age*Calendar*Sex=2"));
        QCOMPARE(g->cellText(1, 1), QString::fromStdString(db::FormatYears(3110 / 365.25)));
    }

    void deathsNodeShowsTheDeathsTable() {
        QVERIFY(test::ClickTreeNode(*w_, "P1_Deaths"));
        QCOMPARE(ShownName(*w_), QString("ResultGrid"));
        GridView* g = grid("ResultGrid");
        QCOMPARE(g->cellText(0, 0), QString("Age class"));
        QCOMPARE(g->cellText(1, 1), QString("1"));
        QCOMPARE(g->cellText(2, 1), QString("3"));
        QCOMPARE(g->cellText(3, 2), QString("6"));
        QCOMPARE(w_->state().CurrentResult, std::string("Deaths"));
    }

    void smrNodeShowsTheReportView() {
        QVERIFY(test::ClickTreeNode(*w_, "P1_SMR"));
        QCOMPARE(ShownName(*w_), QString("RTFResults"));
        QVERIFY(w_->findChild<QTextEdit*>("RTFResults")->toPlainText().contains("150.00000000    30.00000000"));
        QCOMPARE(w_->state().CurrentSMRTable, std::string("P1_SMR"));
        QCOMPARE(w_->state().CurrentGrid, GridName::ResultGrid);
        QVERIFY(!Enabled(*w_, "mnuTablesCopy"));  // left as it was: off after start
        QVERIFY(Enabled(*w_, "mnuReportsPrint") && Enabled(*w_, "mnuReportsSaveAs"));
        QVERIFY(w_->menus().buttons.value("Print")->isEnabled());
        QVERIFY(test::ClickTreeNode(*w_, "P1_Deaths"));
        QVERIFY(!Enabled(*w_, "mnuReportsPrint") && !Enabled(*w_, "mnuReportsSaveAs"));
        QVERIFY(!w_->menus().buttons.value("Print")->isEnabled());
    }

    // The toolbar's Print button prints the report shown into a PDF file; a
    // file that cannot be written shows the error, a cancelled dialog nothing.
    void printButtonPrintsTheReportIntoAPdfFile() {
        QVERIFY(test::ClickTreeNode(*w_, "P1_SMR"));
        const QString pdf = dir_.filePath("report.pdf");
        auto print = [&](const QString& file, bool accept) {
            w_->reportPrinter().setOutputFormat(QPrinter::PdfFormat);
            w_->reportPrinter().setOutputFileName(file);
            bool asked = false;
            test::OnNextModalOf<QPrintDialog>([&](QPrintDialog* d) {
                asked = true;
                accept ? d->accept() : d->reject();
            });
            w_->menus().buttons.value("Print")->trigger();
            return asked;
        };
        QVERIFY(print(pdf, false));
        QVERIFY(!QFileInfo::exists(pdf));
        QVERIFY(ui_.messages.empty());

        QVERIFY(print(pdf, true));
        QVERIFY(ui_.messages.empty());
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) QSKIP("pdftotext is not installed");
        QVERIFY(test::PdfText(pdf).contains("150.00000000    30.00000000"));

        QVERIFY(print(dir_.filePath("no such folder/report.pdf"), true));
        QCOMPARE(ui_.messages.size(), size_t(1));
        QVERIFY(ui_.messages[0].text.find("Following error has occured:") == 0);
        QCOMPARE(ui_.messages[0].title, std::string("Error"));
    }

    // Tables > Print prints the grid on view, as it shows it, into a PDF file.
    void tablesPrintPrintsTheGridOnView() {
        QVERIFY(test::ClickTreeNode(*w_, "P1_SMR"));
        QVERIFY(!Enabled(*w_, "mnuTablesPrint"));
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) QSKIP("pdftotext is not installed");
        const QString pdf = dir_.filePath("table.pdf");
        QAction* print = w_->findChild<QAction*>("mnuTablesPrint");
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data_Cohort"));
        PrintIntoPdf(*w_, print, pdf);
        const QString cohort = test::PdfText(pdf);
        for (const char* shown : {"Birth", "15.03.1950", "31.12.1948", "04.07.1972", "not known", "Cleo", "Page 1 of 1"})
            QVERIFY2(cohort.contains(shown), shown);

        QVERIFY(test::ClickTreeNode(*w_, "Main_Person-Years_Age*Calendar*Sex=2"));
        PrintIntoPdf(*w_, print, pdf);
        const QString years = test::PdfText(pdf);
        GridView* g = grid("ResultGrid");
        for (int r = 1; r < g->gridRows(); ++r)
            for (int c = 1; c < g->gridCols(); ++c) QVERIFY2(years.contains(g->cellText(r, c)), qPrintable(g->cellText(r, c)));
        QVERIFY(years.contains(QString::fromStdString(db::FormatYears(3110 / 365.25))));
        QVERIFY(ui_.messages.empty());
    }

    // The stratum grid shows its figures with fixed decimals; Tables > Save
    // as... writes them with every digit.
    void strataShowFixedDecimalsAndSaveWhole() {
        {
            // The sample's person-years in the working copy, and a rate
            // table of its 3 age classes by 2 periods for P1.
            auto wc = db::Database::open(w_->state().WorkingCopyName);
            py::StorePersonYearsTables(*wc, w_->state(), w_->state().PyValues);
            test::CreateTable(*wc, "Conform", "Y1 DOUBLE, Y2 DOUBLE");
            auto rs = wc->openRecordset("Conform");
            for (int i = 0; i < 3; ++i) {
                rs->addNew();
                rs->setValue(0, Value::real(0.000178422997946612));
                rs->setValue(1, Value::real(2.19e-05));
                rs->update();
            }
            auto smr = wc->openRecordset(std::string(test::kProject) + "_SMR");
            for (smr->moveFirst(); !smr->eof(); smr->moveNext())
                if (smr->value(0).asText() == "RateTable") {
                    smr->edit();
                    smr->setValue(1, Value::text("Conform"));
                    smr->update();
                }
        }
        QVERIFY(test::ClickTreeNode(*w_, "P1_Strata"));
        QVERIFY2(ui_.messages.empty(), ui_.messageTexts().empty() ? "" : ui_.messageTexts()[0].c_str());
        GridView* g = grid("ResultGrid");
        QCOMPARE(g->cellText(0, 3), QString("Rate"));
        QCOMPARE(g->cellText(1, 3), QString("0.00017842"));
        QCOMPARE(g->cellText(2, 3), QString("0.00002190"));
        QCOMPARE(g->cellText(2, 1), QString("2.00"));        // 730 days
        QCOMPARE(g->cellText(2, 4), QString("0.00004377"));  // 730 / 365.25 x 2.19e-05

        const QString path = dir_.filePath("strata.txt");
        ui_.files = {FileDialogResult{path.toStdString(), 1}};
        w_->findChild<QAction*>("mnuTablesSaveAS")->trigger();
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(saved.readAll());
        for (const char* whole : {";0.000178422997947;", ";0.000043770020534;"})
            QVERIFY2(text.contains(whole), qPrintable(text));
    }

    // A right click on a plot's node offers Save plot as... and Print plot,
    // which File offers while a plot is on view.
    void plotNodeMenuSavesAndPrintsThePlot() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data_Cohort"));
        QVERIFY(!Enabled(*w_, "mnuFilePlotSaveAs") && !Enabled(*w_, "mnuFilePlotPrint"));
        QMenu* menu = w_->menus().mnuPlot;
        QVERIFY(test::ClickTreeNode(*w_, "Plots_Person-years", Qt::RightButton));
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(menu->actions().contains(w_->menus().mnuFilePlotSaveAs));
        QVERIFY(menu->actions().contains(w_->menus().mnuFilePlotPrint));
        menu->close();
        QVERIFY(Enabled(*w_, "mnuFilePlotSaveAs") && Enabled(*w_, "mnuFilePlotPrint"));

        const QString png = dir_.filePath("plot.png");
        ui_.files = {FileDialogResult{png.toStdString(), 1}};
        w_->menus().mnuFilePlotSaveAs->trigger();
        QVERIFY(!QImage(png).isNull());

        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) QSKIP("pdftotext is not installed");
        const QString pdf = dir_.filePath("plot.pdf");
        PrintIntoPdf(*w_, w_->menus().mnuFilePlotPrint, pdf);
        QVERIFY(test::PdfText(pdf).contains("Person-years by age class and calendar period"));
        QVERIFY(ui_.messages.empty());
    }

    // A plot with nothing to show says so in its view, and offers nothing to save.
    void plotWithoutDataSaysSoInItsView() {
        ui_.answers.push_back(Answer::Yes);
        db::DeleteProject(w_->state(), ui_, test::kProject);
        w_->refreshFromState();
        ui_.messages.clear();
        QVERIFY(test::ClickTreeNode(*w_, "Plots_Forest plot", Qt::RightButton));
        auto* view = w_->findChild<PlotView*>("PlotView");
        QVERIFY(view->isVisible());
        QVERIFY(view->note().contains("no SMR project"));
        QVERIFY(ui_.messages.empty());
        QVERIFY(!Enabled(*w_, "mnuFilePlotSaveAs") && !Enabled(*w_, "mnuFilePlotPrint"));
        QTest::qWait(50);
        QVERIFY(!w_->menus().mnuPlot->isVisible());
    }

    // Reports > Save as... writes the report shown, the project's name proposed.
    void saveAsWritesTheReportShown() {
        QVERIFY(test::ClickTreeNode(*w_, "P1_SMR"));
        const QString path = dir_.filePath("P1.txt");
        ui_.files = {FileDialogResult{path.toStdString(), 2}};
        w_->findChild<QAction*>("mnuReportsSaveAs")->trigger();
        QCOMPARE(ui_.fileDialogs.back().request.fileName, std::string("P1"));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(saved.readAll());
        QCOMPARE(text.replace("\r\n", "\n"), w_->findChild<QTextEdit*>("RTFResults")->toPlainText());
        QVERIFY(ui_.messages.empty());
    }

    void groupNodesShowTheEmptyViewAndSwitchEverythingOff() {
        for (const char* path : {"Main", "Main_Data", "Main_Rate tables", "Main_Person-Years", "P1"}) {
            QVERIFY(test::ClickTreeNode(*w_, "Main_Data_Cohort"));
            QVERIFY(Enabled(*w_, "mnuTablesCopy"));
            QVERIFY(test::ClickTreeNode(*w_, path));
            QCOMPARE(ShownName(*w_), QString("Picture1"));
            QVERIFY2(!Enabled(*w_, "mnuTablesCopy"), path);
            QVERIFY2(!w_->menus().buttons.value("Copy")->isEnabled(), path);
            QVERIFY2(!w_->menus().buttons.value("Print")->isEnabled(), path);
        }
        QVERIFY(ui_.busyCalls > 0);  // the hourglass while a click works
        QCOMPARE(ui_.busyDepth, 0);
    }

    void rightClickOnAProjectOpensTheProjectMenu() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data_Cohort"));
        QVERIFY(test::ClickTreeNode(*w_, "P1", Qt::RightButton));
        QVERIFY(w_->menus().mnuProject->isVisible());
        QCOMPARE(ShownName(*w_), QString("MainGrid"));  // the view stays
        w_->menus().mnuProject->close();
        QVERIFY(!w_->menus().mnuProject->isVisible());

        // A right click elsewhere, then a left click on the project: no menu.
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data", Qt::RightButton));
        QVERIFY(test::ClickTreeNode(*w_, "P1"));
        QVERIFY(!w_->menus().mnuProject->isVisible());
        QCOMPARE(ShownName(*w_), QString("Picture1"));
    }

    void projectMenuRenamesAndDeletesTheProjectItOpenedOn() {
        QVERIFY(test::ClickTreeNode(*w_, "P1_Deaths"));
        QVERIFY(test::ClickTreeNode(*w_, "P1", Qt::RightButton));
        w_->menus().mnuProject->close();
        ui_.inputs.push_back("Q1");
        w_->menus().mnuProjectRename->trigger();
        QVERIFY(test::TreePaths(*w_).contains("Q1_SMR"));
        QVERIFY(!test::TreePaths(*w_).contains("P1"));
        QCOMPARE(ShownName(*w_), QString("Picture1"));
        QVERIFY(!Enabled(*w_, "mnuTablesCopy"));  // the deaths table's entries went with its view
        QVERIFY(w_->state().ProjectChanged);

        QVERIFY(test::ClickTreeNode(*w_, "Q1", Qt::RightButton));
        w_->menus().mnuProject->close();
        ui_.answers.push_back(Answer::Yes);
        w_->menus().mnuProjectDelete->trigger();
        QCOMPARE(ui_.messageTexts(), std::vector<std::string>{"Do you really want to delete Q1?"});
        QVERIFY(!test::TreePaths(*w_).contains("Q1"));
        QCOMPARE(w_->state().ProjectCount, int16_t(0));
    }

    void srrDialogStoresAProjectWhoseSettingsShowInTheResultGrid() {
        {
            // A rate table of the sample's 3 age classes by 2 periods.
            auto wc = db::Database::open(w_->state().WorkingCopyName);
            test::CreateTable(*wc, "Conform", "Y1 DOUBLE, Y2 DOUBLE");
            auto rs = wc->openRecordset("Conform");
            for (int i = 0; i < 3; ++i) {
                rs->addNew();
                rs->setValue(0, Value::real(0.1));
                rs->setValue(1, Value::real(0.1));
                rs->update();
            }
            rs = wc->openRecordset(db::kVdxSystemRateTables);
            rs->addNew();
            rs->setValue(0, Value::text("Conform"));
            rs->update();
        }
        w_->state().RateTableCount = 2;
        PySettings& py = w_->state().py;
        py.birthColumn = py.exitColumn = "Birth";
        py.sexColumn = "Sex";
        QString title;
        test::OnNextModal([&title](QWidget* dialog) {
            title = dialog->windowTitle();
            test::Child<QComboBox>(dialog, "comDTH")->setCurrentText("ID");
            test::Child<QLineEdit>(dialog, "txtDTHValues")->setText("99");  // nobody: no dates are read
            test::Child<QComboBox>(dialog, "comPyTable")->setCurrentText("Age*Calendar*Sex=1");
            test::Child<QComboBox>(dialog, "comRateTable")->setCurrentText("Conform");
            QCOMPARE(test::Child<QComboBox>(dialog, "comSigLevel")->currentText(), QString("0.05"));
            QTest::mouseClick(test::Child<QPushButton>(dialog, "btnCompute"), Qt::LeftButton);
        });
        w_->findChild<QAction*>("mnuComputeSrr")->trigger();
        QCOMPARE(title, QString("SRR Computation"));
        QVERIFY2(ui_.messages.empty(), ui_.messageTexts().empty() ? "" : ui_.messageTexts()[0].c_str());
        QVERIFY(test::TreePaths(*w_).contains("Project2_Deaths"));

        QVERIFY(test::ClickTreeNode(*w_, "Project2_SMR"));
        QCOMPARE(ShownName(*w_), QString("ResultGrid"));
        GridView* g = grid("ResultGrid");
        QCOMPARE(g->gridRows(), 8);  // the settings; not the result rows an SRR leaves at 0
        QCOMPARE(g->cellText(3, 0), QString("Person-years table"));
        QCOMPARE(g->cellText(3, 1), QString("Age*Calendar*Sex=1"));
        QVERIFY(Enabled(*w_, "mnuTablesCopy"));
        QVERIFY(!w_->menus().buttons.value("Print")->isEnabled());
    }

    void keyboardInTheTreeClicksTheNodeReached() {
        QTreeWidget* tree = test::Tree(*w_);
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data"));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QCoreApplication::processEvents();
        QCOMPARE(w_->nodePath(tree->currentItem()), QString("Main_Data_Cohort"));
        QCOMPARE(ShownName(*w_), QString("MainGrid"));
    }

    // ---- Copy ------------------------------------------------------------------

    void ctrlCCopiesTheSelectionOfTheGrid() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Person-Years_Age*Calendar"));
        GridView* g = grid("ResultGrid");
        g->selectCells(1, 1, 2, 2);
        QGuiApplication::clipboard()->setText("before");
        QTest::keyClick(g, Qt::Key_C, Qt::ControlModifier);
        const QString expected = QString("Age class\t1970\u20131979\t1980\u20131989\n") +
                                 "20\u201339\t0\t2.00\n" + "40\u201359\t" +
                                 QString::fromStdString(db::FormatYears(1210 / 365.25)) + "\t" +
                                 QString::fromStdString(db::FormatYears(1220 / 365.25)) + "\n";
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);

        // C without Ctrl copies nothing.
        QGuiApplication::clipboard()->setText("before");
        QTest::keyClick(g, Qt::Key_C);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));
    }

    void selectionByMouseDecidesAboutTheHeaderRow() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Data_Cohort"));
        GridView* g = grid("MainGrid");
        QWidget* vp = g->viewport();
        // Row 3 first, then Shift-click on row 1: started on row 3, no header.
        QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, CellCentre(g, 3, 5));
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, CellCentre(g, 1, 5));
        const GridSelection up = g->selection();
        QCOMPARE(up.currentRow, 3);
        QCOMPARE(up.endRow, 1);
        w_->findChild<QAction*>("mnuTablesCopy")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Ann\nBert\nCleo\n"));

        // Dragged from row 1 down to row 3: the header row comes along.
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, CellCentre(g, 1, 5));
        QTest::mouseMove(vp, CellCentre(g, 2, 5));
        QTest::mouseMove(vp, CellCentre(g, 3, 5));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, CellCentre(g, 3, 5));
        const GridSelection down = g->selection();
        QCOMPARE(down.currentRow, 1);
        QCOMPARE(down.endRow, 3);
        QTest::keyClick(g, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Name\nAnn\nBert\nCleo\n"));
    }

    void copyButtonCopiesAndNothingWithoutAGrid() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Rate tables_Rates 1990"));
        GridView* g = grid("InternalGrid");
        g->selectCells(2, 2, 2, 1);  // dragged leftwards onto column 1
        w_->menus().buttons.value("Copy")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("40\t0.0034\n"));

        QVERIFY(test::ClickTreeNode(*w_, "Main"));
        QGuiApplication::clipboard()->setText("kept");
        w_->tablesCopy();  // no current grid
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("kept"));
    }

    // ---- Splitter and layout ------------------------------------------------------

    void treeShowsWholeNames() {
        QTreeWidget* tree = test::Tree(*w_);
        // Widened on first show to the longest entry, within the splitter's limits.
        const QAbstractItemView* view = tree;
        QVERIFY(w_->navigatorWidth() >= view->sizeHintForColumn(0));
        QVERIFY(w_->navigatorWidth() <= w_->centralWidget()->width() - 20);
        for (QTreeWidgetItemIterator it(tree); *it; ++it) QCOMPARE((*it)->toolTip(0), (*it)->text(0));

        // A name longer than the window: as wide as the limits allow; the
        // width is the user's once the project's tree has been shown.
        const QString path = dir_.filePath("long.vdx");
        ProgramState& state = w_->state();
        db::ReleaseWorkingCopy(state);
        QVERIFY(db::CreateProjectFile(state, ui_, path.toStdString()));
        db::AddMainTableEntry(state, std::string(300, 'x'));
        w_->refreshFromState();
        QCOMPARE(w_->navigatorWidth(), w_->centralWidget()->width() - 20);
        w_->setNavigatorWidth(150);
        db::AddMainTableEntry(state, std::string(400, 'y'));
        w_->refreshFromState();
        QCOMPARE(w_->navigatorWidth(), 150);
    }

    void rateTableRemoveStartsOnTheTableSelectedInTheTree() {
        QVERIFY(test::ClickTreeNode(*w_, "Main_Rate tables_Rates 1990"));
        QStringList offered;
        QString chosen;
        test::OnNextModalOf<QInputDialog>([&](QInputDialog* d) {
            offered = d->comboBoxItems();
            chosen = d->textValue();
            d->accept();
        });
        w_->findChild<QAction*>("mnuTablesRateTableRemove")->trigger();
        QCOMPARE(offered, QStringList({"Rates 1990"}));
        QCOMPARE(chosen, QString("Rates 1990"));
        // The sample's project computed its SMR with this table: it stays.
        QCOMPARE(ui_.messageTexts(), std::vector<std::string>{"The rate table 'Rates 1990' is used by the project '" +
                                                              std::string(test::kProject) +
                                                              "' and cannot be removed. Delete the project first."});
        QVERIFY(w_->findNode("Main_Rate tables_Rates 1990"));
    }

    void splitterFollowsThePointerWithinItsLimits() {
        w_->setNavigatorWidth(200);
        QTreeWidget* tree = test::Tree(*w_);
        QWidget* vp = tree->viewport();
        const int inner = w_->centralWidget()->width();
        const auto toViewport = [&](int treeX) { return QPoint(treeX - vp->x(), 40); };

        // A press away from the edge does not take it.
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, toViewport(100));
        QTest::mouseMove(vp, toViewport(300));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, toViewport(300));
        QCOMPARE(w_->navigatorWidth(), 200);

        // Taken at the edge, it follows the pointer.
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, toViewport(196));
        QCOMPARE(vp->cursor().shape(), Qt::SizeHorCursor);
        QTest::mouseMove(vp, toViewport(320));
        QCOMPARE(w_->navigatorWidth(), 320);
        QCOMPARE(tree->width(), 320);
        QCOMPARE(w_->findChild<QWidget*>("Picture1")->geometry(), QRect(320, 0, inner - 320, tree->height()));
        // Far left: 20 wide; far right: 20 short of the inner width.
        QTest::mouseMove(vp, toViewport(-300));
        QCOMPARE(w_->navigatorWidth(), 20);
        QTest::mouseMove(vp, toViewport(5000));
        QCOMPARE(w_->navigatorWidth(), inner - 20);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, toViewport(5000));
        QVERIFY(vp->cursor().shape() != Qt::SizeHorCursor);
        QCOMPARE(ShownName(*w_), QString("Picture1"));  // the drag clicked no node
    }

    void layoutFollowsTheWindowSize() {
        w_->setNavigatorWidth(180);
        w_->resize(800, 560);
        QCoreApplication::processEvents();
        QWidget* area = w_->centralWidget();
        QTreeWidget* tree = test::Tree(*w_);
        QToolBar* bar = w_->findChild<QToolBar*>("Toolbar1");
        QCOMPARE(area->mapTo(w_.get(), QPoint(0, 0)).y(), bar->geometry().bottom() + 1);
        QCOMPARE(tree->geometry(), QRect(0, 0, 180, area->height()));
        QCOMPARE(area->height(), w_->height() - area->mapTo(w_.get(), QPoint(0, 0)).y() -
                                     w_->statusBar()->height());
        for (const char* name : {"Picture1", "MainGrid", "InternalGrid", "ResultGrid", "RTFResults"})
            QCOMPARE(w_->findChild<QWidget*>(name)->geometry(), QRect(180, 0, area->width() - 180, area->height()));
    }
};

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
