// The person-years dialogs on the main window, headless: Compute >
// Person-Years and the toolbar button, frmPyComp's controls and their
// behaviour, frmSelfDefined's grid and edit box, frmSex and frmLag, Cancel,
// and a whole run from the menu to the tables in the navigator.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QSet>
#include <QStatusBar>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <clocale>
#include <functional>

#include "db/database.h"
#include "db/file_commands.h"
#include "db/navigator_commands.h"
#include "db/navigator_entries.h"
#include "db/project_file.h"
#include "frm_lag.h"
#include "frm_py_comp.h"
#include "frm_self_defined.h"
#include "frm_sex.h"
#include "grid_view.h"
#include "main_window.h"
#include "test_sql.h"
#include "widget_test_support.h"
#include "startup.h"
#include "state/messages.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"

using namespace vdx;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class PyDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<MainWindow> w_;
    ScriptedInteraction ui_;

    ProgramState& state() { return w_->state(); }

    // A project with the main data table Cohort of three workers.
    void openStudy() {
        QVERIFY(db::CreateProjectFile(state(), ui_, dir_.filePath("study.vdx").toStdString()));
        {
            auto d = db::Database::open(state().WorkingCopyName);
            test::CreateTable(*d, "Cohort", "ID LONG, DOB DATE, DOE DATE, DOX DATE, SEX INTEGER, DOH DATE");
            auto rs = d->openRecordset("Cohort");
            const double rows[3][6] = {{1, DayNumber(1940, 5, 1), DayNumber(1970, 1, 1), DayNumber(1990, 12, 31), 1,
                                        DayNumber(1965, 1, 1)},
                                       {2, DayNumber(1945, 5, 1), DayNumber(1975, 1, 1), DayNumber(1995, 12, 31), 2,
                                        DayNumber(1960, 1, 1)},
                                       {3, DayNumber(1935, 5, 1), DayNumber(1972, 1, 1), DayNumber(1988, 12, 31), 1,
                                        DayNumber(1970, 1, 1)}};
            for (const auto& r : rows) {
                rs->addNew();
                rs->setValue("ID", Value::integer(static_cast<int64_t>(r[0])));
                rs->setValue("DOB", Value::date(r[1]));
                rs->setValue("DOE", Value::date(r[2]));
                rs->setValue("DOX", Value::date(r[3]));
                rs->setValue("SEX", Value::integer(static_cast<int64_t>(r[4])));
                rs->setValue("DOH", Value::date(r[5]));
                rs->update();
            }
            state().MainTableName = "Cohort";
            state().MainTableFields = db::ClassifyColumns(*d, "Cohort");
        }
        db::AddMainTableEntry(state(), "Cohort");
        w_->refreshFromState();
    }

    void fill(FrmPyComp& d, const char* age, const char* calendar) {
        const QStringList a = QString(age).split(':'), c = QString(calendar).split(':');
        test::Child<QComboBox>(&d, "comDOB")->setEditText("DOB");
        test::Child<QComboBox>(&d, "comEPS")->setEditText("DOE");
        test::Child<QComboBox>(&d, "comTPS")->setEditText("DOX");
        test::Child<QLineEdit>(&d, "txtAgeFrom")->setText(a[0]);
        test::Child<QLineEdit>(&d, "txtAgeTo")->setText(a[1]);
        test::Child<QLineEdit>(&d, "txtAgeStep")->setText(a[2]);
        test::Child<QLineEdit>(&d, "txtCalendarFrom")->setText(c[0]);
        test::Child<QLineEdit>(&d, "txtCalendarTo")->setText(c[1]);
        test::Child<QLineEdit>(&d, "txtCalendarStep")->setText(c[2]);
    }

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void init() {
        ui_ = ScriptedInteraction();
        test::OpenTestWindow(w_, ui_);
    }

    void cleanup() { test::CloseTestWindow(w_); }

    void menuEntryAndToolbarButtonRunTheCommand() {
        auto* entry = w_->findChild<QAction*>("mnuComputePY");
        QVERIFY(entry);
        QCOMPARE(entry->text(), QString("&Person-Years"));
        QVERIFY(w_->menus().mnuCompute->actions().contains(entry));
        QVERIFY(w_->menus().mnuCompute->menuAction()->isVisible());
        QAction* button = w_->menus().buttons.value("Py");
        QVERIFY(button && button->isVisible());
        QCOMPARE(button->toolTip(), QString("Compute person-years"));
        // Without a project file: message 16, from the menu and the button.
        entry->trigger();
        emit w_->menus().toolbar->actionTriggered(button);
        QCOMPARE(ui_.messageTexts(), std::vector<std::string>({Message(16), Message(16)}));
        QCOMPARE(ui_.messages[0].title, std::string("VELDRIX"));
        QVERIFY(ui_.messages[0].icon == Icon::Exclamation);
    }

    void withoutAMainDataTableMessage17() {
        QVERIFY(db::CreateProjectFile(state(), ui_, dir_.filePath("empty.vdx").toStdString()));
        w_->findChild<QAction*>("mnuComputePY")->trigger();
        QCOMPARE(ui_.messageTexts(), std::vector<std::string>({Message(17)}));
    }

    void dialogLoadsTheSettingsIntoItsControls() {
        openStudy();
        state().py.birthColumn = "DOB";
        state().py.ageTo = 85;
        state().py.calendarSelfDefined = true;
        FrmPyComp d(w_.get(), state(), ui_);
        QCOMPARE(d.objectName(), QString("frmPyComp"));
        QCOMPARE(d.windowTitle(), QString("Person-Years Computation"));
        auto* dob = test::Child<QComboBox>(&d, "comDOB");
        QCOMPARE(dob->count(), 6);
        QCOMPARE(dob->itemText(4), QString("SEX"));
        QCOMPARE(dob->currentText(), QString("DOB"));
        QCOMPARE(test::Child<QComboBox>(&d, "comEPS")->currentText(), QString(""));
        QCOMPARE(test::Child<QLineEdit>(&d, "txtAgeFrom")->text(), QString("0"));
        QCOMPARE(test::Child<QLineEdit>(&d, "txtAgeTo")->text(), QString("85"));
        // Self-defined calendar classes: the box is checked, its series disabled.
        QVERIFY(test::Child<QCheckBox>(&d, "chkCalendar")->isChecked());
        QVERIFY(test::Child<QPushButton>(&d, "btnCalendarClassSelfDefined")->isEnabled());
        QVERIFY(!test::Child<QLineEdit>(&d, "txtCalendarFrom")->isEnabled());
        QVERIFY(!test::Child<QPushButton>(&d, "btnAgeClassSelfDefined")->isEnabled());
        QVERIFY(!test::Child<QPushButton>(&d, "btnSex")->isEnabled());
        QVERIFY(!test::Child<QPushButton>(&d, "btnLag")->isEnabled());
        QCOMPARE(test::Child<QPushButton>(&d, "cmdCompute")->text(), QString("Compute"));
        QCOMPARE(test::Child<QPushButton>(&d, "cmdCancel")->text(), QString("Cancel"));
    }

    void checkBoxesSwitchTheirButtonsTextBoxesAndSettings() {
        openStudy();
        FrmPyComp d(w_.get(), state(), ui_);
        d.show();
        QTest::mouseClick(test::Child<QCheckBox>(&d, "chkAge"), Qt::LeftButton);
        QVERIFY(state().py.ageSelfDefined);
        QVERIFY(test::Child<QPushButton>(&d, "btnAgeClassSelfDefined")->isEnabled());
        QVERIFY(!test::Child<QLineEdit>(&d, "txtAgeStep")->isEnabled());
        test::Child<QCheckBox>(&d, "chkAge")->setChecked(false);
        QVERIFY(!state().py.ageSelfDefined);
        QVERIFY(test::Child<QLineEdit>(&d, "txtAgeStep")->isEnabled());
        test::Child<QCheckBox>(&d, "chkSex")->setChecked(true);
        QVERIFY(state().py.bySex);
        QVERIFY(test::Child<QPushButton>(&d, "btnSex")->isEnabled());
        test::Child<QCheckBox>(&d, "chkLag")->setChecked(true);
        QVERIFY(state().py.withLag);
        QVERIFY(test::Child<QPushButton>(&d, "btnLag")->isEnabled());
    }

    void computeShowsTheFirstFailingCheckAndStaysOpen() {
        openStudy();
        FrmPyComp d(w_.get(), state(), ui_);
        d.show();
        QTest::mouseClick(test::Child<QPushButton>(&d, "cmdCompute"), Qt::LeftButton);
        QCOMPARE(ui_.messageTexts().back(), Message(2));
        QVERIFY(d.isVisible());
        fill(d, "0:85:5", "1970:2000:5");
        test::Child<QComboBox>(&d, "comEPS")->setEditText("SEX");
        QTest::mouseClick(test::Child<QPushButton>(&d, "cmdCompute"), Qt::LeftButton);
        QCOMPARE(ui_.messageTexts().back(), Message(6));
        QCOMPARE(ui_.messages.back().title, std::string("Error"));
        auto* eps = test::Child<QComboBox>(&d, "comEPS");
        QVERIFY(d.focusWidget() == eps || d.focusWidget() == eps->lineEdit());
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        test::Child<QComboBox>(&d, "comEPS")->setEditText("DOE");
        // Text that is no number is refused, not read as 0; the box gets the focus.
        auto* ageFrom = test::Child<QLineEdit>(&d, "txtAgeFrom");
        ageFrom->setText("abc");
        QTest::mouseClick(test::Child<QPushButton>(&d, "cmdCompute"), Qt::LeftButton);
        QCOMPARE(ui_.messageTexts().back(), Message(10));
        QCOMPARE(d.focusWidget(), ageFrom);
        QCOMPARE(d.result(), 0);
        ageFrom->setText("0");
        test::Child<QLineEdit>(&d, "txtCalendarFrom")->setText("19705");  // four characters are read
        QTest::mouseClick(test::Child<QPushButton>(&d, "cmdCompute"), Qt::LeftButton);
        QCOMPARE(d.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE(state().py.calendarFrom, static_cast<int16_t>(1970));
        QCOMPARE(state().py.ageBoundCount, static_cast<int16_t>(18));
    }

    // Every label and frame caption of the dialogs has an access key of its
    // own; a label's key moves to its control.
    void dialogLabelsHaveAccessKeys() {
        openStudy();
        FrmPyComp py(w_.get(), state(), ui_);
        FrmSex sex(w_.get(), state(), ui_);
        FrmLag lag(w_.get(), state(), ui_);
        for (QDialog* d : std::initializer_list<QDialog*>{&py, &sex, &lag}) {
            QSet<QChar> keys;
            auto key = [&](const QString& caption) {
                const int at = caption.indexOf('&');
                QVERIFY2(at >= 0, qPrintable(d->objectName() + ": " + caption));
                QVERIFY2(!keys.contains(caption.at(at + 1).toLower()), qPrintable(d->objectName() + ": " + caption));
                keys.insert(caption.at(at + 1).toLower());
            };
            for (QLabel* label : d->findChildren<QLabel*>()) {
                if (!label->objectName().isEmpty()) continue;  // a named label is a hint, no caption
                key(label->text());
                QVERIFY2(label->buddy(), qPrintable(label->text()));
            }
            for (QGroupBox* frame : d->findChildren<QGroupBox*>())
                if (frame->title().contains('&')) key(frame->title());
        }
    }

    void cancelPutsTheSettingsBack() {
        openStudy();
        state().py.birthColumn = "DOB";
        const PySettings before = state().py;
        FrmPyComp d(w_.get(), state(), ui_);
        d.show();
        fill(d, "0:85:5", "1970:2000:5");
        test::Child<QComboBox>(&d, "comDOB")->setEditText("ID");
        QTest::mouseClick(test::Child<QPushButton>(&d, "cmdCompute"), Qt::LeftButton);  // message 5, DOB read
        QCOMPARE(state().py.birthColumn, std::string("ID"));
        test::Child<QCheckBox>(&d, "chkAge")->setChecked(true);
        QTest::mouseClick(test::Child<QPushButton>(&d, "cmdCancel"), Qt::LeftButton);
        QCOMPARE(d.result(), static_cast<int>(QDialog::Rejected));
        QVERIFY(state().py == before);
    }

    void selfDefinedGridEditsAndNamesTheCellAtFault() {
        openStudy();
        FrmSelfDefined d(w_.get(), state(), ui_, false);
        d.show();
        QCOMPARE(d.windowTitle(), QString("Self defined age classes"));
        QTableWidget* g = test::Child<QTableWidget>(&d, "SdFGrid");
        QCOMPARE(g->rowCount(), 200);
        QCOMPARE(g->columnCount(), 3);
        QCOMPARE(g->horizontalHeaderItem(1)->text(), QString("Begin (incl.)"));
        QCOMPARE(g->horizontalHeaderItem(2)->text(), QString("End (incl.)"));
        QCOMPARE(g->item(199, 0)->text(), QString("200"));
        // Typed through the edit box over the current cell.
        auto type = [&](int row, int col, const QString& text) {
            g->setCurrentCell(row, col);
            QLineEdit* box = d.editBox();
            QVERIFY(box);
            QCOMPARE(box->objectName(), QString("txtInput"));
            box->setText(text);
        };
        type(0, 1, "20");
        type(0, 2, "24");
        type(1, 1, "26");
        type(1, 2, "29");  // still in the box when Ok is pressed
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnOk"), Qt::LeftButton);
        QCOMPARE(ui_.messageTexts().back(), Message(10));
        QCOMPARE(g->currentRow(), 1);
        QCOMPARE(g->currentColumn(), 1);
        QVERIFY(d.editBox() && d.editBox()->isVisible());
        QCOMPARE(g->item(1, 2)->text(), QString("29"));
        d.editBox()->setText("25");
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnOk"), Qt::LeftButton);
        QCOMPARE(d.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE(state().py.ageBoundCount, static_cast<int16_t>(3));
        QCOMPARE(state().AgeBounds, (std::vector<int16_t>{0, 20, 25, 30}));
    }

    void selfDefinedCalendarGridShowsTheBoundList() {
        openStudy();
        state().py.calendarBoundCount = 3;
        state().CalendarBounds = {0, 1950, 1960, 1980};
        FrmSelfDefined d(w_.get(), state(), ui_, true);
        QCOMPARE(d.windowTitle(), QString("Self defined calendar classes"));
        QTableWidget* g = test::Child<QTableWidget>(&d, "SdFGrid");
        QCOMPARE(g->horizontalHeaderItem(0)->text(), QString("Classes"));
        QCOMPARE(g->horizontalHeaderItem(1)->text(), QString("1st January"));
        QCOMPARE(g->horizontalHeaderItem(2)->text(), QString("31st December"));
        QCOMPARE(g->item(1, 1)->text(), QString("1960"));
        QCOMPARE(g->item(1, 2)->text(), QString("1979"));
        QCOMPARE(g->item(2, 1)->text(), QString(""));
    }

    void selfDefinedGridPassesOverTheClassesColumn() {
        openStudy();
        FrmSelfDefined d(w_.get(), state(), ui_, false);
        d.show();
        QTableWidget* g = test::Child<QTableWidget>(&d, "SdFGrid");
        g->setCurrentCell(0, 2);
        QTest::keyClick(g, Qt::Key_Tab);
        QCOMPARE(g->currentRow(), 1);
        QCOMPARE(g->currentColumn(), 1);  // Begin of the next row, not its class number
        QTest::keyClick(g, Qt::Key_Backtab);
        QCOMPARE(g->currentRow(), 0);
        QCOMPARE(g->currentColumn(), 2);
        // A click on a class number goes to its Begin.
        g->setCurrentCell(54, 0);
        QTRY_COMPARE(g->currentColumn(), 1);
        QCOMPARE(g->currentRow(), 54);
    }

    void cancelAndEscapeInTheSubDialogsLeaveTheEarlierState() {
        openStudy();
        state().py.ageSelfDefined = true;
        state().py.ageBoundCount = 3;
        state().AgeBounds = {0, 40, 55, 70};
        state().py.bySex = state().py.sexDefined = true;
        state().py.sexColumn = "SEX";
        state().py.sexCode1 = 1;
        state().py.sexCode2 = 2;
        FrmPyComp d(w_.get(), state(), ui_);
        d.show();
        test::OnNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnAgeClassSelfDefined"), Qt::LeftButton);
        test::OnNextModal([](QWidget* modal) {
            test::Child<QLineEdit>(modal, "txtSexValues")->setText("3,4");
            QTest::mouseClick(test::Child<QPushButton>(modal, "btnCancel"), Qt::LeftButton);
        });
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnSex"), Qt::LeftButton);
        QVERIFY(test::Child<QCheckBox>(&d, "chkAge")->isChecked());
        QVERIFY(test::Child<QCheckBox>(&d, "chkSex")->isChecked());
        QVERIFY(state().py.ageSelfDefined && state().py.bySex && state().py.sexDefined);
        QCOMPARE(state().AgeBounds, (std::vector<int16_t>{0, 40, 55, 70}));
        QCOMPARE(state().py.sexCode2, static_cast<int16_t>(2));
        QVERIFY(ui_.messages.empty());
    }

    void sexDialogProposesTheCodesOfTheColumnAndNamesWhatIsMissing() {
        openStudy();
        FrmPyComp d(w_.get(), state(), ui_);
        d.show();
        test::Child<QCheckBox>(&d, "chkSex")->setChecked(true);
        QString proposed, hint;
        test::OnNextModal([&](QWidget* modal) {
            QCOMPARE(modal->objectName(), QString("frmSex"));
            QTest::mouseClick(test::Child<QPushButton>(modal, "btnOk"), Qt::LeftButton);  // no column: said
            QVERIFY(modal->isVisible());
            test::Child<QComboBox>(modal, "comSex")->setCurrentText("SEX");
            proposed = test::Child<QLineEdit>(modal, "txtSexValues")->text();
            hint = test::Child<QLabel>(modal, "lblSexCodes")->text();
            QTest::mouseClick(test::Child<QPushButton>(modal, "btnOk"), Qt::LeftButton);
        });
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnSex"), Qt::LeftButton);
        QCOMPARE(proposed, QString("1,2"));  // not 0,0
        QVERIFY2(hint.contains("1 (2 rows), 2 (1 row)") && hint.contains("the second Age*Calendar*Sex=2"),
                 qPrintable(hint));
        QCOMPARE(ui_.messages.size(), size_t(1));
        QVERIFY(QString::fromStdString(ui_.messages[0].text).startsWith("Choose the column"));
        QVERIFY(state().py.sexDefined);
        QVERIFY(test::Child<QCheckBox>(&d, "chkSex")->isChecked());
    }

    void lagDialogRefusesMoreThanOneHundredYears() {
        openStudy();
        FrmPyComp d(w_.get(), state(), ui_);
        d.show();
        test::Child<QCheckBox>(&d, "chkLag")->setChecked(true);
        test::OnNextModal([&](QWidget* modal) {
            QCOMPARE(modal->windowTitle(), QString("Lag"));
            test::Child<QComboBox>(modal, "comLag")->setEditText("DOH");
            test::Child<QLineEdit>(modal, "txtLagValue")->setText("101");
            QTest::mouseClick(test::Child<QPushButton>(modal, "btnOk"), Qt::LeftButton);
            test::Child<QLineEdit>(modal, "txtLagValue")->setText("10");
            QTest::mouseClick(test::Child<QPushButton>(modal, "btnOk"), Qt::LeftButton);
        });
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnLag"), Qt::LeftButton);
        QCOMPARE(ui_.messageTexts(), std::vector<std::string>({Message(15)}));
        QVERIFY(state().py.lagDefined);
        QCOMPARE(state().py.lagYears, static_cast<int16_t>(10));
        QCOMPARE(state().py.hireColumn, std::string("DOH"));
    }

    // Self-defined classes with 0 in the greyed boxes; the run stops at a row
    // without an exit date; the dialog opened again shows every entry.
    void aRunStoppedByADataErrorKeepsWhatWasEntered() {
        openStudy();
        {
            auto d = db::Database::open(state().WorkingCopyName);
            test::Sql(*d, "UPDATE Cohort SET DOX = NULL WHERE ID = 2");
        }
        test::OnNextModal([this](QWidget* modal) {
            auto* d = qobject_cast<FrmPyComp*>(modal);
            QVERIFY(d);
            fill(*d, "0:0:0", "1970:2000:10");
            test::Child<QCheckBox>(d, "chkAge")->setChecked(true);
            test::OnNextModal([](QWidget* list) {
                auto* sd = qobject_cast<FrmSelfDefined*>(list);
                QVERIFY(sd);
                const char* cells[2][2] = {{"40", "54"}, {"55", "69"}};
                for (int r = 0; r < 2; ++r)
                    for (int c = 0; c < 2; ++c) {
                        sd->grid()->setCurrentCell(r, c + 1);
                        QVERIFY(sd->editBox());
                        sd->editBox()->setText(cells[r][c]);
                    }
                sd->ok();
            });
            QTest::mouseClick(test::Child<QPushButton>(d, "btnAgeClassSelfDefined"), Qt::LeftButton);
            QTest::mouseClick(test::Child<QPushButton>(d, "cmdCompute"), Qt::LeftButton);
        });
        w_->findChild<QAction*>("mnuComputePY")->trigger();
        QCOMPARE(ui_.messages.size(), size_t(1));  // the data error, not message 10
        const std::string& said = ui_.messages[0].text;
        QVERIFY2(said.find("Row 2 ") != std::string::npos && said.find("'DOX'") != std::string::npos, said.c_str());
        QVERIFY2(said.find("Number:") == std::string::npos, said.c_str());
        QVERIFY(!state().py.computed);
        QVERIFY(!state().py.ageSelfDefined);  // the settings are those of before the run
        QVERIFY(w_->statusBar()->currentMessage().contains("has stopped"));

        QStringList shown;
        test::OnNextModal([&](QWidget* modal) {
            auto* d = qobject_cast<FrmPyComp*>(modal);
            QVERIFY(d);
            shown << test::Child<QComboBox>(d, "comTPS")->currentText()
                  << test::Child<QLineEdit>(d, "txtCalendarStep")->text()
                  << (test::Child<QCheckBox>(d, "chkAge")->isChecked() ? "age list" : "age series");
            QCOMPARE(state().AgeBounds, (std::vector<int16_t>{0, 40, 55, 70}));
            QTest::mouseClick(test::Child<QPushButton>(d, "cmdCancel"), Qt::LeftButton);
        });
        w_->findChild<QAction*>("mnuComputePY")->trigger();
        QCOMPARE(shown, QStringList({"DOX", "10", "age list"}));
        QVERIFY(!state().py.ageSelfDefined);  // Cancel: as before
    }

    void aRunFromTheMenuAddsTheTablesToTheNavigator() {
        openStudy();
        state().py.bySex = state().py.sexDefined = true;
        state().py.sexColumn = "SEX";
        state().py.sexCode1 = 1;
        state().py.sexCode2 = 2;
        test::OnNextModal([this](QWidget* modal) {
            auto* d = qobject_cast<FrmPyComp*>(modal);
            QVERIFY(d);
            QVERIFY(test::Child<QCheckBox>(d, "chkSex")->isChecked());
            fill(*d, "20:60:10", "1970:2000:10");
            QTest::mouseClick(test::Child<QPushButton>(d, "cmdCompute"), Qt::LeftButton);
        });
        w_->findChild<QAction*>("mnuComputePY")->trigger();
        // What the run did, in a message and in the status bar.
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].title, std::string("Person-Years Computation"));
        QVERIFY(ui_.messages[0].icon == Icon::Information);
        QVERIFY(ui_.messages[0].details.empty());  // no row left out
        for (const char* part : {"Persons read: 3 rows", "Persons included: 3 rows", "Persons left out: 0 rows",
                                 "Person-years in Age*Calendar: "}) {
            QVERIFY2(ui_.messages[0].text.find(part) != std::string::npos, part);
            QVERIFY2(w_->statusBar()->currentMessage().contains(part), qPrintable(w_->statusBar()->currentMessage()));
        }
        // And its result on view: the table of all persons, selected in the tree.
        auto* grid = w_->findChild<GridView*>("ResultGrid");
        QVERIFY(grid && grid->isVisible());
        QCOMPARE(w_->selectedNodePath(), QString("Main_Person-Years_Age*Calendar"));
        QCOMPARE(grid->cellText(1, 0), QString("20\u201329"));  // ages 20 to 29 reached
        QCOMPARE(grid->cellText(0, 1), QString("1970\u20131979"));
        QVERIFY(state().py.computed);
        QVERIFY(state().ProjectChanged);
        QVERIFY(std::find(ui_.progressLabels.begin(), ui_.progressLabels.end(), "Computing Person-Years") !=
                ui_.progressLabels.end());
        for (const char* path : {"Main_Person-Years_Age*Calendar", "Main_Person-Years_Age*Calendar*Sex=1",
                                 "Main_Person-Years_Age*Calendar*Sex=2"})
            QVERIFY2(w_->findNode(path), path);
        w_->clickNode("Main_Person-Years_Age*Calendar*Sex=1", false);
        const db::ResultGridText expected = db::ShowPersonYears(state(), 2);
        QCOMPARE(grid->gridRows(), expected.rows);
        QCOMPARE(grid->gridCols(), expected.cols);
        for (int r = 1; r < expected.rows; ++r)
            for (int c = 1; c < expected.cols; ++c) QCOMPARE(grid->cellText(r, c), Q(expected.at(r, c)));
        QVERIFY(state().PyValues.at(2, 2, 1) > 0);  // a man of 30-40 in the 1970s

        // Saved and opened again, the tables are the same.
        const PyCells cells = state().PyValues;
        w_->fileSave();
        QVERIFY(!state().ProjectChanged);
        ProgramState again;
        ScriptedInteraction quiet;
        db::ReleaseWorkingCopy(state());
        QVERIFY(db::OpenProjectFile(again, quiet, dir_.filePath("study.vdx").toStdString()));
        QVERIFY(again.PyValues == cells);
        db::ReleaseWorkingCopy(again);
    }
};

QTEST_MAIN(PyDialogsTest)
#include "dialogs_test.moc"
