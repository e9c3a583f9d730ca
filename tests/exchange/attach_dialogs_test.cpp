// The attach dialogs and the Tables menu, headless: frmSelectExternalTable,
// frmSelectExternalODBCTable, the data-source chooser and frmTextImport with
// their controls; every Add entry with its source format; runs from the
// menu to the tree and the grid.
#include <QAction>
#include <QApplication>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <fstream>
#include <functional>

#include "db/database.h"
#include "db/file_commands.h"
#include "exchange/io/file_formats.h"
#include "frm_odbc_data_source.h"
#include "frm_select_external_odbc_table.h"
#include "frm_select_external_table.h"
#include "frm_text_import.h"
#include "grid_view.h"
#include "main_window.h"
#include "widget_test_support.h"
#include "startup.h"
#include "state/messages.h"
#include "state/scripted_interaction.h"
#include "state/text_values.h"

using namespace vdx;

namespace {

QStringList Items(QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
    return out;
}

QStringList HeaderLabels(QTableWidget* grid) {
    QStringList out;
    for (int c = 0; c < grid->columnCount(); ++c) out << grid->horizontalHeaderItem(c)->text();
    return out;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Clicks a check box or option button on its indicator (a wide button takes
// clicks only on its indicator and caption).
void ClickBox(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

}  // namespace

class AttachDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<MainWindow> w_;
    ScriptedInteraction ui_;

    ProgramState& state() { return w_->state(); }
    QString file(const QString& name, const std::string& bytes) {
        const QString path = dir_.filePath(name);
        std::ofstream(path.toStdString(), std::ios::binary) << bytes;
        return path;
    }
    void openStudy() { QVERIFY(db::CreateProjectFile(state(), ui_, dir_.filePath("study.vdx").toStdString())); }
    // The dialog over a file, as the ASCII entries load it.
    std::unique_ptr<FrmTextImport> textImport(const QString& name, const std::string& bytes) {
        file(name, bytes);
        state().ExternalDatabaseName = dir_.path().toStdString() + "/";
        state().ExternalFileTitle = name.toStdString();
        state().ExternalTableName = QFileInfo(name).baseName().toStdString();
        return std::make_unique<FrmTextImport>(w_.get(), state(), ui_);
    }

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void init() {
        ui_ = ScriptedInteraction();
        test::OpenTestWindow(w_, ui_);
    }

    void cleanup() { test::CloseTestWindow(w_); }

    // ---- frmSelectExternalTable and the ODBC dialogs ---------------------------------

    void tableChooserListsTheTablesWithTheFirstSelected() {
        FrmSelectExternalTable d(w_.get(), {"Cohort$", "Rates$", "Empty$"});
        QCOMPARE(d.objectName(), QString("frmSelectExternalTable"));
        QCOMPARE(d.windowTitle(), QString("Select table"));
        QCOMPARE(test::Child<QLabel>(&d, "Label1")->text().remove('&'), QString("Please select the table you want to add:"));
        auto* com = test::Child<QComboBox>(&d, "comTable");
        QCOMPARE(Items(com), QStringList({"Cohort$", "Rates$", "Empty$"}));
        QCOMPARE(com->currentText(), QString("Cohort$"));
        QCOMPARE(test::Child<QPushButton>(&d, "btnOk")->text(), QString("Ok"));
        QCOMPARE(test::Child<QPushButton>(&d, "btnCancel")->text(), QString("Cancel"));
        com->setCurrentIndex(1);
        d.show();
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnOk"), Qt::LeftButton);
        QCOMPARE(d.chosen(), std::string("Rates$"));
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    void tableChooserCancelCloseBoxAndEmptyListChooseNothing() {
        FrmSelectExternalTable cancel(w_.get(), {"A", "B"});
        cancel.show();
        QTest::mouseClick(test::Child<QPushButton>(&cancel, "btnCancel"), Qt::LeftButton);
        QCOMPARE(cancel.chosen(), std::string());
        FrmSelectExternalTable closed(w_.get(), {"A"});
        closed.show();
        closed.close();
        QCOMPARE(closed.chosen(), std::string());
        FrmSelectExternalTable empty(w_.get(), {});
        empty.show();
        QTest::mouseClick(test::Child<QPushButton>(&empty, "btnOk"), Qt::LeftButton);
        QCOMPARE(empty.chosen(), std::string());
        QVERIFY(!empty.isVisible());
    }

    void odbcTableDialogStaysOpenWhileTheCopyFails() {
        std::vector<std::string> tried;
        FrmSelectExternalODBCTable d(w_.get(), {"dbo.Cohort", "rates"}, [&](const std::string& t) {
            tried.push_back(t);
            return t == "rates";
        });
        QCOMPARE(d.objectName(), QString("frmSelectExternalODBCTable"));
        QCOMPARE(d.windowTitle(), QString("Select ODBC table"));
        QCOMPARE(test::Child<QLabel>(&d, "Label1")->text().remove('&'), QString("Please select the table you want to add:"));
        d.show();
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnOk"), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QCOMPARE(d.chosen(), std::string());
        test::Child<QComboBox>(&d, "comTable")->setCurrentIndex(1);
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnOk"), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.chosen(), std::string("rates"));
        QCOMPARE(tried, (std::vector<std::string>{"dbo.Cohort", "rates"}));
    }

    void dataSourceChooserOffersTheSourcesAndAConnectionString() {
        FrmOdbcDataSource d(w_.get(), {{"cohort", "SQLite3"}, {"pg", "PostgreSQL"}});
        QCOMPARE(d.windowTitle(), QString("Select data source"));
        auto* list = test::Child<QListWidget>(&d, "lstDataSources");
        auto* txt = test::Child<QLineEdit>(&d, "txtConnect");
        QCOMPARE(list->count(), 2);
        QCOMPARE(txt->text(), QString("DSN=cohort"));  // the first source, selected
        list->setCurrentRow(1);
        QCOMPARE(txt->text(), QString("DSN=pg"));
        txt->setText("DRIVER={SQLite3};DATABASE=/data/c.db");
        d.show();
        QTest::mouseClick(test::Child<QPushButton>(&d, "btnOk"), Qt::LeftButton);
        QCOMPARE(d.chosen(), std::optional<std::string>("DRIVER={SQLite3};DATABASE=/data/c.db"));

        FrmOdbcDataSource none(w_.get(), {});
        QVERIFY(!test::Child<QPushButton>(&none, "btnOk")->isEnabled());
        none.show();
        QTest::mouseClick(test::Child<QPushButton>(&none, "btnCancel"), Qt::LeftButton);
        QVERIFY(!none.chosen().has_value());
    }

    // ---- frmTextImport -----------------------------------------------------------------

    void textImportShowsTenLinesAndItsControls() {
        openStudy();
        std::string text;
        for (int i = 1; i <= 25; ++i) text += "n" + std::to_string(i) + ";" + std::to_string(i) + "\r\n";
        auto d = textImport("long.txt", text);
        QCOMPARE(d->windowTitle(), QString("ASCII file import"));
        auto* grid = test::Child<QTableWidget>(d.get(), "GridTextImport");
        QCOMPARE(grid->rowCount(), 10);
        QCOMPARE(grid->columnCount(), 2);
        QCOMPARE(grid->item(9, 0)->text(), QString("n10"));
        QCOMPARE(test::Child<QCheckBox>(d.get(), "chkHeaders")->text().remove('&'), QString("Column headers in first row"));
        const char* options[] = {"optText", "optInteger", "optLong", "optSingle", "optDouble", "optDate"};
        const char* captions[] = {"Text", "Integer", "Long", "Single", "Double", "Date"};
        for (int i = 0; i < 6; ++i) QCOMPARE(test::Child<QRadioButton>(d.get(), options[i])->text(), QString(captions[i]));
        QVERIFY(test::Child<QRadioButton>(d.get(), "optText")->isChecked());
        auto* format = test::Child<QComboBox>(d.get(), "comDateFormat");
        QCOMPARE(Items(format), QStringList({"DDMMYYYY", "DDMMMYYYY", "MMDDYYYY", "YYYY"}));
        QCOMPARE(format->currentIndex(), -1);
        QVERIFY(!format->isEnabled());
        auto* day = test::Child<QComboBox>(d.get(), "comDay");
        auto* month = test::Child<QComboBox>(d.get(), "comMonth");
        QCOMPARE(day->count(), 31);
        QCOMPARE(day->itemText(0), QString("01"));
        QCOMPARE(day->itemText(30), QString("31"));
        QCOMPARE(month->count(), 12);
        QCOMPARE(month->itemText(11), QString("12"));
        QCOMPARE(day->currentIndex(), -1);
        QVERIFY(!day->isEnabled() && !month->isEnabled());
        QCOMPARE(test::Child<QPushButton>(d.get(), "btnImport")->text(), QString("Import"));
        QCOMPARE(test::Child<QPushButton>(d.get(), "btnCancel")->text(), QString("Cancel"));
        // Column 1 is the current column, selected from the first row to the last.
        QVERIFY(grid->selectionModel()->isColumnSelected(0, QModelIndex()));
    }

    void aCsvFileShowsItsSeparatorAndAnotherOneReadsThePreviewAgain() {
        openStudy();
        QVERIFY(textImport("plain.txt", "a;b\r\n")->findChild<QComboBox*>("comSeparator") == nullptr);
        state().ExternalConnect = "CSV;";
        auto d = textImport("mixed.csv", "n,d;x\n1,1950-02-01;7\n");
        d->show();
        QCOMPARE(d->windowTitle(), QString("CSV file import"));
        auto* grid = test::Child<QTableWidget>(d.get(), "GridTextImport");
        auto* separator = test::Child<QComboBox>(d.get(), "comSeparator");
        QCOMPARE(Items(separator), QStringList({"Comma", "Semicolon", "Tab"}));
        QCOMPARE(separator->currentText(), QString("Comma"));
        QCOMPARE(HeaderLabels(grid), QStringList({"n", "d;x"}));
        QVERIFY(test::Child<QRadioButton>(d.get(), "optLong")->isChecked());
        QCOMPARE(Items(test::Child<QComboBox>(d.get(), "comDateFormat")).first(), QString(exchange::kIsoDateLayout));

        separator->setCurrentIndex(1);
        emit separator->activated(1);
        QCOMPARE(HeaderLabels(grid), QStringList({"n,d", "x"}));
        QCOMPARE(grid->item(0, 1)->text(), QString("7"));
        QVERIFY(test::Child<QRadioButton>(d.get(), "optText")->isChecked());  // column 1, "n,d", is text now
        QVERIFY(test::Child<QCheckBox>(d.get(), "chkHeaders")->isChecked());

        // A separator that makes a record wider than any table: a message, and
        // the dialog stays with the one it had.
        auto wide = textImport("wide.csv", "a,b\n1,2\n" + std::string(2500, ';') + "\n");
        auto* wideSeparator = test::Child<QComboBox>(wide.get(), "comSeparator");
        wideSeparator->setCurrentIndex(1);
        emit wideSeparator->activated(1);
        QCOMPARE(wideSeparator->currentText(), QString("Comma"));
        QCOMPARE(wide->form().separator(), ',');
        QVERIFY(!ui_.messages.empty());
        QVERIFY(QString::fromStdString(ui_.messages.back().text).contains("Number: 3190"));
    }

    void checkingHeadersMovesTheFirstRowIntoTheHeaderAndBack() {
        openStudy();
        auto d = textImport("h.txt", "\"Name\";\"Born\"\r\nSmith;01021950\r\nJones;02031960\r\n");
        auto* grid = test::Child<QTableWidget>(d.get(), "GridTextImport");
        auto* chk = test::Child<QCheckBox>(d.get(), "chkHeaders");
        d->show();
        // Names over a column of dates: proposed as the header row, the dates as dates.
        QVERIFY(chk->isChecked());
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(HeaderLabels(grid), QStringList({"Name", "Born"}));
        QCOMPARE(grid->item(0, 0)->text(), QString("Smith"));
        QCOMPARE(grid->item(0, 1)->text(), Q(FormatDate(DayNumber(1950, 2, 1))));
        ClickBox(chk);
        QVERIFY(!chk->isChecked());
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(HeaderLabels(grid), QStringList({"Var1", "Var2"}));
        QCOMPARE(grid->item(0, 0)->text(), QString("Name"));
        // The header line is no date: the preview shows it would not import.
        QCOMPARE(grid->item(0, 1)->text(), QString(exchange::kNotConvertible) + "Born");
        ClickBox(chk);
        QCOMPARE(grid->rowCount(), 2);
    }

    void ctrlClickedColumnsTakeOneTypeTogether() {
        openStudy();
        auto d = textImport("m.txt", "a;b;c\r\n");
        d->show();
        auto* grid = test::Child<QTableWidget>(d.get(), "GridTextImport");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualItemRect(grid->item(0, 0)).center());
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          grid->visualItemRect(grid->item(0, 2)).center());
        QCOMPARE(d->form().selectedColumns(), (std::vector<int>{1, 3}));
        ClickBox(test::Child<QRadioButton>(d.get(), "optDouble"));
        QCOMPARE(d->form().column(1).type, std::string("Double"));
        QCOMPARE(d->form().column(2).type, std::string("Text"));
        QCOMPARE(d->form().column(3).type, std::string("Double"));
    }

    void optionButtonsAndLayoutListsFollowTheClickedColumn() {
        openStudy();
        auto d = textImport("c.txt", "a;01021950;1948\r\n");
        d->show();
        auto* grid = test::Child<QTableWidget>(d.get(), "GridTextImport");
        auto* format = test::Child<QComboBox>(d.get(), "comDateFormat");
        auto* day = test::Child<QComboBox>(d.get(), "comDay");
        auto* month = test::Child<QComboBox>(d.get(), "comMonth");
        // Column 3, clicked in the grid, becomes a YYYY date of 1 July.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualItemRect(grid->item(0, 2)).center());
        QCOMPARE(d->form().currentColumn(), 3);
        QVERIFY(grid->selectionModel()->isColumnSelected(2, QModelIndex()));
        ClickBox(test::Child<QRadioButton>(d.get(), "optDate"));
        QVERIFY(format->isEnabled());
        QCOMPARE(format->currentText(), QString("DDMMYYYY"));
        QVERIFY(!day->isEnabled());
        format->setCurrentIndex(3);
        emit format->activated(3);
        QVERIFY(day->isEnabled() && month->isEnabled());
        QCOMPARE(day->currentText(), QString("01"));
        QCOMPARE(month->currentText(), QString("01"));
        month->setCurrentIndex(6);
        emit month->activated(6);
        QCOMPARE(d->form().column(3), (exchange::TextColumn{"Date", "YYYY", "01", "07"}));

        // Column 1 shows Text and disabled lists; column 3 again its date.
        emit grid->horizontalHeader()->sectionClicked(0);
        QCOMPARE(d->form().currentColumn(), 1);
        QVERIFY(test::Child<QRadioButton>(d.get(), "optText")->isChecked());
        QVERIFY(!format->isEnabled());
        QCOMPARE(format->currentIndex(), -1);
        QVERIFY(!month->isEnabled());
        emit grid->horizontalHeader()->sectionClicked(2);
        QVERIFY(test::Child<QRadioButton>(d.get(), "optDate")->isChecked());
        QCOMPARE(format->currentText(), QString("YYYY"));
        QCOMPARE(month->currentText(), QString("07"));

        // Integer clears and disables the lists.
        ClickBox(test::Child<QRadioButton>(d.get(), "optInteger"));
        QCOMPARE(d->form().column(3).type, std::string("Integer"));
        QVERIFY(!format->isEnabled() && !day->isEnabled());
        QCOMPARE(day->currentIndex(), -1);

        // Column 2 as a date, then Import.
        emit grid->horizontalHeader()->sectionClicked(1);
        ClickBox(test::Child<QRadioButton>(d.get(), "optDate"));
        QTest::mouseClick(test::Child<QPushButton>(d.get(), "btnImport"), Qt::LeftButton);
        QVERIFY(state().TextImportDone);
        QCOMPARE(d->result(), int(QDialog::Accepted));
        auto wc = db::Database::open(state().WorkingCopyName);
        auto rs = wc->openRecordset("c");
        QCOMPARE(rs->value(1).asDouble(), DayNumber(1950, 2, 1));
        QCOMPARE(rs->value(2).asInteger(), int64_t(1948));
    }

    void aFailedImportKeepsTheDialogOpenAndCancelClearsTheFlag() {
        openStudy();
        auto d = textImport("bad.txt", "1\r\nx\r\n");
        d->show();
        ClickBox(test::Child<QRadioButton>(d.get(), "optLong"));
        QTest::mouseClick(test::Child<QPushButton>(d.get(), "btnImport"), Qt::LeftButton);
        QVERIFY(d->isVisible());
        QCOMPARE(ui_.messageTexts(),
                 std::vector<std::string>{"Following error has occured:\r\nNumber: 13\r\nDescription: Can't convert data in column 1 to Long"
                                          "\r\n\r\nLine 2, column 1 (Var1) holds \"x\": a Long column holds whole numbers from "
                                          "-2147483648 to 2147483647."});
        state().TextImportDone = true;
        QTest::mouseClick(test::Child<QPushButton>(d.get(), "btnCancel"), Qt::LeftButton);
        QVERIFY(!d->isVisible());
        QVERIFY(!state().TextImportDone);
        QVERIFY(!db::Database::open(state().WorkingCopyName)->tableExists("bad"));
    }

    // ---- The Tables menu -------------------------------------------------------------------

    void everyAddEntryOpensTheFileDialogOfItsFormat() {
        openStudy();
        w_->refreshFromState();
        QCOMPARE(w_->findChild<QMenu*>("mnuTablesMainTable")->title().remove('&'), QString("Main table"));
        QCOMPARE(w_->findChild<QMenu*>("mnuTablesRateTable")->title().remove('&'), QString("Rate table"));
        QCOMPARE(w_->findChild<QMenu*>("mnuTablesMainTableAdd")->title().remove('&'), QString("Add"));
        const struct {
            const char* suffix;
            const char* caption;
            const char* menu;
            const char* connect;
            const char* fileName;
        } entries[] = {
            {"Access80", "8.0...", "Access", "", "*.mdb"},          {"Access70", "7.0...", "Access", "", "*.mdb"},
            {"Access20", "2.0...", "Access", "", "*.mdb"},          {"Access11", "1.1...", "Access", "", "*.mdb"},
            {"Access10", "1.0...", "Access", "", "*.mdb"},          {"Excel80", "8.0...", "Excel", "Excel 8.0;", "*.xls"},
            {"Excel70", "7.0...", "Excel", "Excel 5.0;", "*.xls"},  {"Excel50", "5.0...", "Excel", "Excel 5.0;", "*.xls"},
            {"Excel40", "4.0...", "Excel", "Excel 4.0;", "*.xls"},  {"Excel30", "3.0...", "Excel", "Excel 3.0;", "*.xls"},
            {"dBase50", "5.0...", "dBase", "dBase 5.0;", "*.dbf"},  {"dBase40", "IV...", "dBase", "dBASE IV;", "*.dbf"},
            {"dBase30", "III...", "dBase", "dBASE III;", "*.dbf"},  {"Paradox50", "5.x...", "Paradox", "Paradox 5.x;", "*.db"},
            {"Paradox40", "4.x...", "Paradox", "Paradox 4.x;", "*.db"}, {"Paradox30", "3.x...", "Paradox", "Paradox 3.x;", "*.db"},
            {"Ascii", "ASCII...", "", "Text;", "*.txt"},
        };
        for (const char* base : {"mnuTablesMainTableAdd", "mnuTablesRateTableAdd"}) {
            const bool rate = QString(base).contains("Rate");
            for (const auto& e : entries) {
                auto* entry = w_->findChild<QAction*>(QString(base) + e.suffix);
                QVERIFY2(entry, e.suffix);
                QCOMPARE(entry->text().remove('&'), QString(e.caption));  // less the access key
                auto* menu = w_->findChild<QMenu*>(QString(base) + e.menu);
                QVERIFY(menu && menu->actions().contains(entry));
                if (*e.menu) QCOMPARE(menu->title().remove('&'), QString(e.menu));
                // The file dialog is cancelled at once; its request tells the format.
                const size_t before = ui_.fileDialogs.size();
                entry->trigger();
                QCOMPARE(ui_.fileDialogs.size(), before + 1);
                const FileDialogRequest& r = ui_.fileDialogs.back().request;
                QCOMPARE(r.fileName, std::string(e.fileName));
                QCOMPARE(r.title, std::string(rate ? "Select rate data table..." : "Select main data table..."));
                QCOMPARE(Q(r.filter).section('|', 1, 1), QString(e.fileName));
                // The connect prefix of the code, seen through a chosen (empty) file.
                const QString path = file(QString("x") + (e.fileName + 1), "");
                state().ExternalConnect = "junk";
                ui_.files.push_back(FileDialogResult{path.toStdString(), 1});
                if (std::string(e.connect) == "Text;")
                    test::OnNextModal([](QWidget* m) { static_cast<QDialog*>(m)->reject(); });  // frmTextImport
                entry->trigger();
                QCOMPARE(state().ExternalConnect, std::string(e.connect));
            }
            auto* odbc = w_->findChild<QAction*>(QString(base) + "ODBC");
            QVERIFY(odbc);
            QCOMPARE(odbc->text().remove('&'), QString("ODBC..."));
            QString shown;
            test::OnNextModal([&shown](QWidget* m) {
                shown = m->objectName();
                QTest::mouseClick(m->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
            });
            odbc->trigger();
            QCOMPARE(shown, QString("frmOdbcDataSource"));
        }
        QCOMPARE(state().MainTableName, std::string());
        QCOMPARE(state().RateTableCount, int16_t(0));
    }

    void theAddMenusAndTheirFileDialogsComeFromTheTableOfFormats() {
        openStudy();
        for (const QString base : {"mnuTablesMainTableAdd", "mnuTablesRateTableAdd"}) {
            // The entries as a user meets them, each sub-menu in its place.
            QStringList shown;
            std::function<void(QMenu*)> walk = [&](QMenu* menu) {
                for (QAction* a : menu->actions()) {
                    if (a->menu()) walk(a->menu());
                    else if (!a->isSeparator()) shown << a->objectName();
                }
            };
            walk(w_->findChild<QMenu*>(base));
            QStringList inTable;
            for (const exchange::FileFormat& f : exchange::FileFormats()) {
                if (!f.hasMenuEntry()) continue;
                inTable << base + f.menuName;
                auto* entry = w_->findChild<QAction*>(base + f.menuName);
                QCOMPARE(entry->text(), QString(f.menuCaption));
                if (f.layout == exchange::TableLayout::DataSource) continue;  // no file dialog
                entry->trigger();  // the file dialog is cancelled at once
                QCOMPARE(ui_.fileDialogs.back().request.filter, f.attachFilter());
            }
            QCOMPARE(shown, inTable);
        }
    }

    void asciiFromTheMenuToTheTreeAndTheGridWithDates() {
        openStudy();
        w_->refreshFromState();
        const QString path = file("cohort.txt", "ID;DOB;SEX\r\n1;03041942;1\r\n2;23101912;2\r\n");
        ui_.files.push_back(FileDialogResult{path.toStdString(), 1});
        test::OnNextModal([](QWidget* m) {
            auto* d = qobject_cast<FrmTextImport*>(m);
            if (!d) return;
            // Proposed from the data: the header row, and DOB as a DDMMYYYY date.
            if (d->findChild<QCheckBox*>("chkHeaders")->isChecked() &&
                d->form().column(2) == exchange::TextColumn{"Date", "DDMMYYYY", "", ""})
                QTest::mouseClick(d->findChild<QPushButton*>("btnImport"), Qt::LeftButton);
            else
                d->reject();
        });
        w_->findChild<QAction*>("mnuTablesMainTableAddAscii")->trigger();
        QVERIFY(ui_.messages.empty());
        QCOMPARE(state().MainTableName, std::string("cohort"));
        QVERIFY(w_->findNode("Main_Data_cohort"));
        QCOMPARE(w_->findChild<QTreeWidget*>("Navigator")->currentItem(), w_->findNode("Main_Data_cohort"));
        QCOMPARE(state().CurrentView, ViewName::MainGrid);
        auto* grid = w_->findChild<GridView*>("MainGrid");
        QVERIFY(grid->isVisible());
        QCOMPARE(grid->cellText(0, 2), QString("DOB"));
        QCOMPARE(grid->cellText(1, 2), QString("03.04.1942"));
        QCOMPARE(grid->cellText(2, 2), QString("23.10.1912"));
        QVERIFY(w_->findChild<QAction*>("mnuTablesCopy")->isEnabled());
    }

    void excelAndDBaseFromTheMenuShowTheirTables() {
        openStudy();
        w_->refreshFromState();
        ui_.files.push_back(FileDialogResult{std::string(VDX_FIXTURES) + "/excel/gnumeric_biff8.xls", 1});
        test::OnNextModal([](QWidget* m) {
            auto* com = m->findChild<QComboBox*>("comTable");
            com->setCurrentIndex(com->findText("Cohort$"));
            QTest::mouseClick(m->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
        });
        w_->findChild<QAction*>("mnuTablesMainTableAddExcel80")->trigger();
        QVERIFY(w_->findNode("Main_Data_Cohort"));
        auto* main = w_->findChild<GridView*>("MainGrid");
        QCOMPARE(main->cellText(1, 2), QString("01.02.1950"));
        QCOMPARE(state().MainTableFields[1].type, std::string("date"));

        const QString dbf = dir_.filePath("RATES.DBF");
        QFile::copy(QString(VDX_FIXTURES) + "/dbase/shapelib_db3.dbf", dbf);
        ui_.files.push_back(FileDialogResult{dbf.toStdString(), 1});
        // Asked once the rows are in: grid (proposed) or long.
        test::OnNextModal([](QWidget* m) {
            QVERIFY(m->findChild<QRadioButton*>("optLayoutGrid")->isChecked());
            QTest::mouseClick(m->findChild<QPushButton*>("btnOk"), Qt::LeftButton);
        });
        w_->findChild<QAction*>("mnuTablesRateTableAdddBase30")->trigger();
        QVERIFY(ui_.messages.empty());
        QVERIFY(w_->findNode("Main_Rate tables_RATES"));
        QCOMPARE(state().CurrentView, ViewName::InternalGrid);
        auto* internal = w_->findChild<GridView*>("InternalGrid");
        QVERIFY(internal->isVisible());
        QCOMPARE(internal->cellText(1, 1), QString("Smith"));

        // The same file again: the name is taken, another is asked for at once
        // (here: cancelled, nothing added).
        ui_.files.push_back(FileDialogResult{dbf.toStdString(), 1});
        w_->findChild<QAction*>("mnuTablesRateTableAdddBase30")->trigger();
        QVERIFY(ui_.messages.empty());
        QCOMPARE(ui_.inputPrompts.size(), size_t(1));
        QCOMPARE(state().RateTableCount, int16_t(1));

        // A second main data table: message 20.
        w_->findChild<QAction*>("mnuTablesMainTableAddAscii")->trigger();
        QCOMPARE(ui_.messageTexts().back(), Message(20));
    }
};

QTEST_MAIN(AttachDialogsTest)
#include "attach_dialogs_test.moc"
