// The mortality dialogs on the main window, headless: Compute > SMR with
// frmSMRComp's refusals, a whole run from the menu to the report on view,
// the null value and the heading of Tools > Options taking effect at once, the calculator
// opened from the report and printed to a PDF file, the calculator's
// defaults kept in the settings, its colours, refusals and saved files.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolBar>
#include <clocale>

#include "db/database.h"
#include "db/file_commands.h"
#include "grid_view.h"
#include "mortality/cause_list.h"
#include "frm_causes_comp.h"
#include "frm_options.h"
#include "frm_rate_ratios.h"
#include "frm_smr_calculator.h"
#include "frm_smr_comp.h"
#include "main_window.h"
#include "test_sql.h"
#include "state/messages.h"
#include "state/scripted_interaction.h"
#include "widget_test_support.h"

using namespace vdx;

class MortalityDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<MainWindow> w_;
    ScriptedInteraction ui_;

    ProgramState& state() { return w_->state(); }
    QAction* entry(const char* name) { return w_->findChild<QAction*>(name); }
    QString report() { return w_->findChild<QTextEdit*>("RTFResults")->toPlainText(); }

    void openExample() {
        const QString path = dir_.filePath("study.vdx");
        QFile::remove(path);
        QVERIFY(QFile::copy(VDX_EXAMPLE, path));
        QVERIFY(db::OpenProjectFile(state(), ui_, path.toStdString()));
        w_->refreshFromState();
    }

    // The SMR of the report on view: the first figure under the rule.
    double reportedSmr() {
        const QStringList lines = report().split('\n');
        for (int i = 0; i + 1 < lines.size(); ++i)
            if (lines[i].startsWith("------")) return lines[i + 1].split(' ', Qt::SkipEmptyParts).value(0).toDouble();
        return -1;
    }

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void init() {
        test::ClearUserFolders();
        ui_ = ScriptedInteraction();
        test::OpenTestWindow(w_, ui_);
    }

    void cleanup() { test::CloseTestWindow(w_); }

    void smrDialogRefusesAndCancelGivesTheNumberBack() {
        openExample();
        bool seen = false;
        test::OnNextModalOf<FrmSMRComp>([&](FrmSMRComp* d) {
            seen = true;
            test::Child<QComboBox>(d, "comRateTable")->setCurrentIndex(0);
            test::Child<QComboBox>(d, "comPyTable")->setCurrentIndex(0);
            QCOMPARE(test::Child<QComboBox>(d, "comSigLevel")->currentText(), QString("0.05"));
            QCOMPARE(test::Child<QComboBox>(d, "comMethod")->currentText(), QString("Byar"));
            test::Child<QPushButton>(d, "btnCompute")->click();  // no death variable
            auto* death = test::Child<QComboBox>(d, "comDTH");
            death->setCurrentText("DOB");
            test::Child<QLineEdit>(d, "txtDTHValues")->setText("162");
            test::Child<QPushButton>(d, "btnCompute")->click();  // a date column
            QCOMPARE(d->focusWidget(), death);
            QVERIFY(d->isVisible());
            test::Child<QPushButton>(d, "btnCancel")->click();
        });
        entry("mnuComputeSmr")->trigger();
        QVERIFY(seen);
        QCOMPARE(QString::fromStdString(ui_.messageTexts().at(0)), QString::fromStdString(Message(30)));
        QCOMPARE(QString::fromStdString(ui_.messageTexts().at(1)), QString::fromStdString(Message(31)));
        QCOMPARE(state().ProjectCount, int16_t(0));
        QVERIFY(!test::TreePaths(*w_).join(',').contains("Project1"));
    }

    void computeFromTheMenuThenReportOptionsAndCalculatorToPdf() {
        openExample();
        test::OnNextModalOf<FrmSMRComp>([](FrmSMRComp* d) {
            test::Child<QComboBox>(d, "comRateTable")->setCurrentText("Rates");
            test::Child<QComboBox>(d, "comPyTable")->setCurrentText("Age*Calendar*Sex=1");
            test::Child<QComboBox>(d, "comDTH")->setCurrentText("ICD");
            test::Child<QLineEdit>(d, "txtDTHValues")->setText("162");
            test::Child<QComboBox>(d, "comMethod")->setCurrentText("Exact");
            test::Child<QPushButton>(d, "btnCompute")->click();
        });
        entry("mnuComputeSmr")->trigger();
        QCOMPARE(state().ProjectCount, int16_t(1));
        QVERIFY(state().ProjectChanged);
        // The new project's report opens by itself.
        auto* view = w_->findChild<QTextEdit*>("RTFResults");
        QVERIFY(view->isVisible());
        QCOMPARE(w_->selectedNodePath(), QString("Project1_SMR"));
        QVERIFY(QFontInfo(view->font()).fixedPitch());
        QVERIFY(report().contains("Project   : Project1\n"));
        QVERIFY(report().contains("Null Value: SMR=100\n"));
        const double smr100 = reportedSmr();
        QVERIFY(smr100 > 0);

        // SMR=1 in Tools > Options: the report on view follows at once.
        test::OnNextModalOf<FrmOptions>([](FrmOptions* d) {
            QVERIFY(test::Child<QPushButton>(d, "btnReport")->isEnabled());
            QVERIFY(test::Child<QPushButton>(d, "btnDataExport")->isEnabled());
            QVERIFY(test::Child<QRadioButton>(d, "optSMR100")->isChecked());
            test::Child<QRadioButton>(d, "optSMR1")->click();
            test::Child<QPushButton>(d, "cmdOK")->click();
        });
        entry("mnuToolsOptions")->trigger();
        QCOMPARE(state().SmrNullValue, 1.0);
        QVERIFY(report().contains("Null Value: SMR=1\n"));
        QCOMPARE(reportedSmr(), std::round(smr100 / 100 * 1e8) / 1e8);

        // A heading set through Report is shown at once and stays, though
        // Options is cancelled.
        test::OnNextModalOf<FrmOptions>([](FrmOptions* d) {
            test::OnNextModalOf<FrmOptionsSMRReport>([](FrmOptionsSMRReport* r) {
                auto* heading = test::Child<QLineEdit>(r, "txtHeading");
                heading->setText("Plant A, lung cancer");
                test::Child<QPushButton>(r, "btnDefault")->click();
                QCOMPARE(heading->text(), QString::fromStdString(kSmrReportHeadingDefault));
                heading->setText("Plant A, lung cancer");
                test::Child<QPushButton>(r, "btnOK")->click();
            });
            test::Child<QPushButton>(d, "btnReport")->click();
            test::Child<QPushButton>(d, "cmdCancel")->click();
        });
        entry("mnuToolsOptions")->trigger();
        QVERIFY(report().startsWith("\nPlant A, lung cancer\n"));
        QCOMPARE(state().SmrNullValue, 1.0);

        // The calculator starts from the report and prints to a PDF file.
        const QString pdf = dir_.filePath("calculator.pdf");
        bool printed = false;
        test::OnNextModalOf<FrmSMRCalculator>([&](FrmSMRCalculator* d) {
            QCOMPARE(test::Child<QLineEdit>(d, "txtObserved")->text(), QString::fromStdString(state().mortality.ShownObserved));
            QCOMPARE(test::Child<QLineEdit>(d, "txtExpected")->text(), QString::fromStdString(state().mortality.ShownExpected));
            QCOMPARE(test::Child<QComboBox>(d, "cmboCI")->currentText(), QString("95"));
            QVERIFY(test::Child<QCheckBox>(d, "chkExact")->isChecked());
            QVERIFY(!test::Child<QCheckBox>(d, "chkByar")->isChecked());
            test::Child<QPushButton>(d, "cmdCalculate")->click();
            d->printer().setOutputFileName(pdf);
            test::OnNextModalOf<QPrintDialog>([&](QPrintDialog* p) {
                printed = true;
                p->accept();
            });
            test::Child<QPushButton>(d, "cmdPrint")->click();
            d->reject();
        });
        entry("mnuToolsSMRCalculator")->trigger();
        QVERIFY(printed);
        QVERIFY(QFileInfo(pdf).size() > 0);
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) QSKIP("pdftotext is not installed");
        QProcess text;
        text.start("pdftotext", {pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        QVERIFY(QString::fromUtf8(text.readAllStandardOutput()).contains("Exact Method 95%CI:"));
    }

    // Rates above 1 (per 1,000?): the question defaults to No, and No returns to the
    // dialog with its entries; the next opening shows the last entries.
    void ratesAboveOneAskWithNoReturningToTheDialog() {
        openExample();
        test::Sql(*db::Database::open(state().WorkingCopyName), "UPDATE Rates SET Y1950 = 2.5");
        ui_.answers = {Answer::No, Answer::Yes};
        int computes = 0;
        test::OnNextModalOf<FrmSMRComp>([&](FrmSMRComp* d) {
            test::Child<QComboBox>(d, "comRateTable")->setCurrentText("Rates");
            test::Child<QComboBox>(d, "comPyTable")->setCurrentText("Age*Calendar*Sex=1");
            test::Child<QComboBox>(d, "comDTH")->setCurrentText("ICD");
            test::Child<QLineEdit>(d, "txtDTHValues")->setText("162");
            test::Child<QPushButton>(d, "btnCompute")->click();
            computes += d->isVisible();  // No: still open
            test::Child<QPushButton>(d, "btnCompute")->click();
        });
        entry("mnuComputeSmr")->trigger();
        QCOMPARE(computes, 1);
        QCOMPARE(ui_.messages.size(), size_t(2));
        QVERIFY(ui_.messages[0].buttons == Buttons::YesNoDefaultNo);
        QCOMPARE(state().ProjectCount, int16_t(1));

        QStringList shown;
        test::OnNextModalOf<FrmSMRComp>([&](FrmSMRComp* d) {
            for (const char* name : {"comRateTable", "comPyTable", "comDTH"})
                shown << test::Child<QComboBox>(d, name)->currentText();
            shown << test::Child<QLineEdit>(d, "txtDTHValues")->text();
            test::Child<QPushButton>(d, "btnCancel")->click();
        });
        entry("mnuComputeSmr")->trigger();
        QCOMPARE(shown, QStringList({"Rates", "Age*Calendar*Sex=1", "ICD", "162"}));
    }

    void toolbarButtonsRunTheirMenuEntries() {
        QAction* smr = w_->menus().buttons.value("Smr");
        QAction* calculator = w_->menus().buttons.value("SMRCalculator");
        QVERIFY(smr->isVisible() && calculator->isVisible());
        emit w_->menus().toolbar->actionTriggered(smr);  // no project file: message 16
        QCOMPARE(QString::fromStdString(ui_.messageTexts().at(0)), QString::fromStdString(Message(16)));
        bool opened = false;
        test::OnNextModalOf<FrmSMRCalculator>([&](FrmSMRCalculator* d) {
            opened = true;
            d->reject();
        });
        emit w_->menus().toolbar->actionTriggered(calculator);
        QVERIFY(opened);
    }

    void optionsKeepTheCalculatorDefaults() {
        test::OnNextModalOf<FrmOptions>([](FrmOptions* d) {
            QVERIFY(!test::Child<QPushButton>(d, "btnReport")->isEnabled());  // no project file
            auto* level = test::Child<QComboBox>(d, "cboDefaultLevelCalc");
            auto* method = test::Child<QComboBox>(d, "cboDefaultMethodCalc");
            // None kept yet: what the calculator starts with.
            QCOMPARE(level->currentText(), QString("95%"));
            QCOMPARE(method->currentText(), QString("Exact"));
            level->setCurrentText("99%");
            method->setCurrentText("Square Root");
            test::Child<QPushButton>(d, "cmdOK")->click();
        });
        entry("mnuToolsOptions")->trigger();
        // In the settings file, where the next start of the program finds them.
        SettingsStore stored;
        QCOMPARE(stored.read("Calculator", "DefaultLevel", ""), QString("99"));
        QCOMPARE(stored.read("Calculator", "DefaultMethod", ""), QString("Square Root"));

        FrmSMRCalculator calculator(w_.get(), state(), ui_, ReadCalculatorDefaults(w_->settings()));
        QCOMPARE(test::Child<QComboBox>(&calculator, "cmboCI")->currentText(), QString("99"));
        QVERIFY(test::Child<QCheckBox>(&calculator, "chkSquareRoot")->isChecked());
        QVERIFY(!test::Child<QCheckBox>(&calculator, "chkExact")->isChecked());
    }

    void calculatorColoursRefusesAndSaves() {
        FrmSMRCalculator d(w_.get(), state(), ui_, {});
        QCOMPARE(test::Child<QComboBox>(&d, "cmboCI")->currentText(), QString("95"));
        QVERIFY(test::Child<QCheckBox>(&d, "chkExact")->isChecked());
        test::Child<QCheckBox>(&d, "chkExact")->setChecked(false);
        test::Child<QCheckBox>(&d, "chkByar")->setChecked(true);
        test::Child<QLineEdit>(&d, "txtObserved")->setText("10");
        test::Child<QLineEdit>(&d, "txtExpected")->setText("10");
        test::Child<QPushButton>(&d, "cmdCalculate")->click();
        auto* output = test::Child<QTextEdit>(&d, "txtOutput");
        const QString shown = output->toPlainText();
        QVERIFY(shown.contains("SMR = 100.00000000\n"));
        QVERIFY(shown.contains("Byar Method 95%CI:\n47.87449914 to 183.91458606\n"));
        // The banner is centred, the values blue, the captions not.
        QTextDocument* doc = output->document();
        QCOMPARE(doc->firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(doc->findBlock(shown.indexOf("SMR = ")).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignLeft);
        auto colourAt = [doc](int position) {
            QTextCursor c(doc);
            c.setPosition(position + 1);  // the format of the character before the cursor
            return c.charFormat().foreground().color();
        };
        QCOMPARE(colourAt(shown.indexOf("100.00000000")), QColor(0, 0, 255));
        QCOMPARE(colourAt(shown.indexOf("183.91458606") + 11), QColor(0, 0, 255));
        QVERIFY(colourAt(shown.indexOf("SMR = ")) != QColor(0, 0, 255));

        // A refusal leaves the result as it was.
        test::Child<QLineEdit>(&d, "txtObserved")->setText("-1");
        test::Child<QPushButton>(&d, "cmdCalculate")->click();
        QCOMPARE(QString::fromStdString(ui_.messages.back().text), QString::fromStdString(Message(38)));
        QCOMPARE(ui_.messages.back().title, std::string("Error"));
        QCOMPARE(output->toPlainText(), shown);

        // Save: RTF with the first filter, the text itself with the second.
        const QString rtf = dir_.filePath("calc.rtf"), txt = dir_.filePath("calc.txt");
        ui_.files.push_back(FileDialogResult{rtf.toStdString(), 1});
        test::Child<QPushButton>(&d, "cmdSave")->click();
        ui_.files.push_back(FileDialogResult{txt.toStdString(), 2});
        test::Child<QPushButton>(&d, "cmdSave")->click();
        QCOMPARE(ui_.fileDialogs.back().request.title, std::string("Save as ..."));
        QFile r(rtf), t(txt);
        QVERIFY(r.open(QIODevice::ReadOnly) && t.open(QIODevice::ReadOnly));
        const QByteArray rtfBytes = r.readAll();
        QVERIFY(rtfBytes.startsWith("{\\rtf1"));
        QVERIFY(rtfBytes.contains("{\\cf1 47.87449914 to 183.91458606}"));
        QCOMPARE(t.readAll(), QByteArray::fromStdString(d.result().text));
    }

    // The Rate ratios dialog reads its controls into the request: a death
    // group or a cause of a list (the other then empty), the factors, the
    // reference by position, the level, the name.
    void rateRatiosDialogReadsItsControls() {
        openExample();
        FrmRateRatios d(w_.get(), state(), ui_, {"0-1", "1-5", "5+"});
        test::Child<QComboBox>(&d, "comDTH")->setCurrentText("ICD");
        test::Child<QLineEdit>(&d, "txtDeathValue")->setText(" 160-165, 170 ");
        test::Child<QCheckBox>(&d, "chkAdjustCalendar")->setChecked(false);
        test::Child<QCheckBox>(&d, "chkAdjustSex")->setChecked(false);
        test::Child<QComboBox>(&d, "comReference")->setCurrentIndex(2);
        test::Child<QComboBox>(&d, "comLevel")->setCurrentText("99");
        test::Child<QLineEdit>(&d, "txtName")->setText("Lung");
        mortality::RateRatioRequest r = d.request();
        QCOMPARE(QString::fromStdString(r.deathColumn + "=" + r.deathValueText), QString("ICD=160-165, 170"));
        QVERIFY(r.causeList.empty() && r.adjustAge && !r.adjustCalendar && !r.adjustSex);
        QCOMPARE(r.reference, 3);
        QCOMPARE(r.level, int16_t(99));
        QCOMPARE(QString::fromStdString(r.name), QString("Lung"));

        test::Child<QRadioButton>(&d, "optDeathCause")->setChecked(true);
        QVERIFY(!test::Child<QLineEdit>(&d, "txtDeathValue")->isEnabled());
        test::Child<QComboBox>(&d, "comCauseList")->setCurrentText("default");
        auto* cause = test::Child<QComboBox>(&d, "comCause");
        QVERIFY(cause->count() > 1);
        cause->setCurrentIndex(1);
        r = d.request();
        QCOMPARE(QString::fromStdString(r.causeList + ":" + r.cause), "default:" + cause->currentText());
        QVERIFY(r.deathValueText.empty());
        if (const QByteArray shots = qgetenv("VDX_SCREENSHOTS"); !shots.isEmpty()) {
            d.show();
            QTest::qWait(100);
            d.grab().save(shots + "/rate_ratios_dialog.png");
        }
    }

    // Compute refuses a missing death column or value and the dialog stays
    // open; a complete request closes it accepted.
    void rateRatiosDialogRefusesWhatIsMissing() {
        openExample();
        FrmRateRatios d(w_.get(), state(), ui_, {"0-1", "1-5"});
        d.show();
        d.compute();
        test::Child<QComboBox>(&d, "comDTH")->setCurrentText("ICD");
        d.compute();
        QCOMPARE(ui_.messageTexts().size(), size_t(2));
        QCOMPARE(QString::fromStdString(ui_.messageTexts()[0]), QString::fromStdString(Message(msg::NoDeathColumn)));
        QVERIFY(QString::fromStdString(ui_.messageTexts()[1]).startsWith("Give the death value"));
        QVERIFY(d.isVisible() && d.result() != QDialog::Accepted);
        test::Child<QLineEdit>(&d, "txtDeathValue")->setText("162");
        d.compute();
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    // The default list from the Tables menu, the ICD revisions dialog, then
    // every cause in one run from the Compute menu: the analysis's table on
    // view, saved by Tables > Save as; its report and its forest plot.
    void everyCauseInOneRunFromTheMenus() {
        openExample();
        entry("mnuTablesCauseListAddDefault")->trigger();
        QCOMPARE(w_->selectedNodePath(), QString("Cause lists_DefaultCauses"));
        auto* grid = w_->findChild<GridView*>("ResultGrid");
        QCOMPARE(grid->cellText(0, 1), QString("cause"));
        QCOMPARE(grid->cellText(1, 1), QString("All causes"));

        test::OnNextModalOf<QDialog>([](QDialog* d) {
            test::Child<QLineEdit>(d, "txtRevisionYears")->setText("8:1968,9:1979,10:2099");
            test::Child<QPushButton>(d, "btnOk")->click();
        });
        entry("mnuTablesRevisions")->trigger();
        {
            auto db = db::Database::open(state().WorkingCopyName);
            QCOMPARE(QString::fromStdString(mortality::RevisionYearsText(mortality::ReadRevisionRule(*db).years)),
                     QString("8:1968,9:1979,10:2099"));
        }

        test::OnNextModalOf<FrmCausesComp>([](FrmCausesComp* d) {
            // The study's rule is shown; the list and the tables are chosen as a user would.
            QCOMPARE(test::Child<QLineEdit>(d, "txtRevisionYears")->text(), QString("8:1968,9:1979,10:2099"));
            test::Child<QComboBox>(d, "comCauseList")->setCurrentText("DefaultCauses");
            test::Child<QComboBox>(d, "comDTH")->setCurrentText("ICD");
            test::Child<QComboBox>(d, "comRateTable")->setCurrentText("Rates");
            if (const QByteArray shots = qgetenv("VDX_SCREENSHOTS"); !shots.isEmpty()) d->grab().save(shots + "/causes_dialog.png");
            test::Child<QPushButton>(d, "btnCompute")->click();
        });
        entry("mnuComputeCauses")->trigger();
        if (const QByteArray shots = qgetenv("VDX_SCREENSHOTS"); !shots.isEmpty()) w_->grab().save(shots + "/causes_grid.png");
        QCOMPARE(w_->selectedNodePath(), QString("Causes1_Causes"));
        QCOMPARE(grid->cellText(0, 1), QString("Cause"));
        QCOMPARE(grid->cellText(grid->gridRows() - 1, 1), QString(mortality::kNotInTheList));
        // The ICD-9 codes of the example: lung (162) counts as Compute > SMR counts ICD 162.
        int lungRow = 0;
        for (int r = 1; r < grid->gridRows(); ++r)
            if (grid->cellText(r, 1).endsWith("lung")) lungRow = r;
        QVERIFY(lungRow > 0);
        QVERIFY(grid->cellText(lungRow, 3).toInt() > 0);

        const QString csv = dir_.filePath("causes.csv");
        ui_.files.push_back(FileDialogResult{csv.toStdString(), 1});
        entry("mnuTablesSaveAS")->trigger();
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), grid->gridRows());

        QVERIFY(test::ClickTreeNode(*w_, "Causes1_Report"));
        QVERIFY(report().contains("SMR by cause of death: Causes1"));
        QVERIFY(report().contains("ICD revisions:       8:1968,9:1979,10:2099"));
        QVERIFY(test::ClickTreeNode(*w_, "Causes1_Forest plot"));
        QCOMPARE(state().CurrentView, ViewName::Chart);
        if (const QByteArray shots = qgetenv("VDX_SCREENSHOTS"); !shots.isEmpty()) w_->grab().save(shots + "/causes_forest.png");
    }
};

QTEST_MAIN(MortalityDialogsTest)
#include "dialogs_test.moc"
