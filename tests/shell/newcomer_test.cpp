// A newcomer on a real X display (Xvfb) with the program's own dialogs and
// message boxes. First minutes: the example study opened from the command
// line, Ctrl+O cancelled without a question, and Compute > Person-Years
// reached by the keyboard with "abc" in Age From: the message, the focus on
// the box, nothing computed. First hour: a new study from a CSV cohort to the
// SMR report, a printed table and a saved plot, checked as the user sees them.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <clocale>
#include <deque>

#include "grid_view.h"
#include "main_window.h"
#include "startup.h"
#include "state/messages.h"
#include "widget_test_support.h"

using namespace vdx;

namespace {

// The modal windows of a walk, answered in turn: each step takes the next
// modal window that becomes active, named by its objectName or, for Qt's
// own boxes, its class (a dialog comes round again once a message over it
// has closed). A window that no step expects is noted and closed, so a
// wrong turn fails the test instead of hanging it.
class ModalSteps : public QObject {
public:
    ModalSteps() {
        connect(&timer_, &QTimer::timeout, this, &ModalSteps::poll);
        timer_.start(20);
    }
    void add(const QString& window, std::function<void(QWidget*)> step) { steps_.push_back({window, std::move(step)}); }
    QStringList unexpected;  // the windows no step expected, with their texts
    QStringList left() const {
        QStringList out;
        for (const auto& s : steps_) out << s.first;
        return out;
    }

private:
    static QString Name(QWidget* w) {
        return w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName();
    }
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal == last_ && modal->isVisible() && since_.elapsed() > 20000) {
            unexpected << Name(modal) + " stayed open";
            static_cast<QDialog*>(modal)->reject();
            since_.start();
        }
        if (!modal || !modal->isVisible() || modal == last_) return;
        last_ = modal;
        since_.start();
        if (steps_.empty() || steps_.front().first != Name(modal)) {
            const auto* box = qobject_cast<QMessageBox*>(modal);
            unexpected << Name(modal) + (box ? ": " + box->text() : QString());
            QTimer::singleShot(0, modal, [modal] { static_cast<QDialog*>(modal)->reject(); });
            return;
        }
        const auto step = std::move(steps_.front().second);
        steps_.pop_front();
        step(modal);
    }
    std::deque<std::pair<QString, std::function<void(QWidget*)>>> steps_;
    QPointer<QWidget> last_;
    QElapsedTimer since_;  // since last_ came
    QTimer timer_;
};

// A click once the step has returned (it may open a modal window of its own).
void ClickLater(QWidget* parent, const char* button) {
    QPointer<QAbstractButton> b = parent->findChild<QAbstractButton*>(button);
    if (!b) qWarning("no button %s", button);
    QTimer::singleShot(0, [b] {
        if (b) QTest::mouseClick(b, Qt::LeftButton);
    });
}

// The file dialog given the whole path, as typed into its name box, and accepted.
void ChooseFile(QWidget* dialog, const QString& path) {
    auto* d = static_cast<QFileDialog*>(dialog);
    if (auto* name = d->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
    test::AcceptUntilClosed(d);
}

void Pick(QWidget* dialog, const char* combo, const QString& entry) {
    auto* c = test::Child<QComboBox>(dialog, combo);
    if (c) c->setCurrentIndex(c->findText(entry));
}

void Type(QWidget* dialog, const char* box, const QString& text) {
    auto* b = test::Child<QLineEdit>(dialog, box);
    if (!b) return;
    b->selectAll();
    QTest::keyClicks(b, text);
}

// The menu bar walked by access keys: Alt+first key, then one key in each pop-up.
void Menu(MainWindow& w, const QString& keys) {
    // Without a window manager a closed dialog leaves no window active.
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w)) qWarning("the main window is not active");
    QTest::keyClick(&w, keys[0].toLatin1(), Qt::AltModifier);
    QWidget* previous = nullptr;  // each key opens a new pop-up, the last runs the command
    for (qsizetype i = 1; i < keys.size(); ++i) {
        QWidget* popup = nullptr;
        if (!QTest::qWaitFor([&] {
                popup = QApplication::activePopupWidget();
                return popup && popup != previous && popup->isVisible();
            })) {
            qWarning("no menu for %c", keys[i].toLatin1());
            return;
        }
        previous = popup;
        QTest::keyClick(popup, keys[i].toLatin1());
    }
}

QString BoxText(QWidget* box) { return static_cast<QMessageBox*>(box)->text(); }

void Close(QWidget* box) { static_cast<QMessageBox*>(box)->accept(); }

// The text of a grid's row: its cells joined by "|".
QString GridRow(GridView* g, int row) {
    QStringList cells;
    for (int c = 0; c < g->gridCols(); ++c) cells << g->cellText(row, c);
    return cells.join('|');
}

}  // namespace

class NewcomerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void exampleStudyByKeyboard() {
        test::ClearUserFolders();
        QTemporaryDir dir;
        const QString study = dir.filePath("example.vdx");
        QVERIFY(QFile::copy(VDX_EXAMPLE_STUDY, study));
        MainWindow w;
        StartUp(w, study, false);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTRY_VERIFY(w.state().ProjectOpen);
        QCOMPARE(w.windowTitle(), "VELDRIX 1.41 - " + study);
        const PyCells before = w.state().PyValues;

        // Ctrl+O on an unchanged study: straight to the file dialog, cancelled.
        QStringList modals;
        test::OnNextModal([&](QWidget* m) {
            modals << m->metaObject()->className();
            static_cast<QDialog*>(m)->reject();
        });
        QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(modals, QStringList({"QFileDialog"}));
        QVERIFY(w.state().ProjectOpen);

        // Alt+C, P opens Compute > Person-Years; Alt+F reaches Age From.
        QString message, dialogName, ageFromText;
        bool focusOnAgeFrom = false;
        test::OnNextModal([&](QWidget* dialog) {
            dialogName = dialog->objectName();
            dialog->activateWindow();
            // The keys must reach the dialog: wait until the display has made it active.
            if (!QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; })) {
                static_cast<QDialog*>(dialog)->reject();  // the checks below then fail
                return;
            }
            QTest::keyClick(dialog, Qt::Key_F, Qt::AltModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(QApplication::focusWidget(), "abc");
            test::OnNextModalOf<QMessageBox>([&](QMessageBox* box) {
                message = box->text();
                box->accept();
                QTimer::singleShot(50, [&, dialog] {
                    auto* ageFrom = dialog->findChild<QLineEdit*>("txtAgeFrom");
                    focusOnAgeFrom = ageFrom && dialog->focusWidget() == ageFrom;
                    ageFromText = ageFrom ? ageFrom->text() : QString();
                    QTest::keyClick(dialog, Qt::Key_Escape);
                });
            });
            QTest::keyClick(dialog, Qt::Key_Return);  // Compute is the default button
        });
        QTest::keyClick(&w, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_P);
        QCOMPARE(dialogName, QString("frmPyComp"));
        QCOMPARE(message, QString::fromStdString(Message(10)));
        QVERIFY(focusOnAgeFrom);
        QCOMPARE(ageFromText, QString("abc"));
        QVERIFY(w.state().PyValues == before);  // nothing computed
        QVERIFY(!w.state().ProjectChanged);

        w.state().ProjectChanged = false;
        w.fileExit();
    }

    // A new study from a CSV cohort to the SMR report, through the menus and
    // dialogs, checked against figures worked out by hand.
    void newStudyFromCsvCohortToReportPrintAndPlot() {
        test::ClearUserFolders();
        QTemporaryDir dir;
        // Six persons: person 4's exit lies before the entry, person 5 is 25
        // (below every age class), 1 and 3 die of 162, 6 of 410.
        const QString cohort = dir.filePath("cohort.csv"), rates = dir.filePath("rates.csv");
        for (const auto& [path, text] :
             {std::pair{cohort, "id,sex,birth,entry,exit,cause\n"
                                "100001,1,1945-06-15,1994-01-01,1995-12-31,162\n"
                                "100002,2,1935-03-01,1996-01-01,1997-12-31,\n"
                                "100003,1,1934-01-01,1991-01-01,1991-06-30,162\n"
                                "100004,2,1950-01-01,1995-01-01,1994-01-01,\n"
                                "100005,2,1970-05-05,1995-01-01,1996-12-31,\n"
                                "100006,1,1940-01-01,1997-01-01,1998-12-31,410\n"},
              // Deaths per 1,000 person-years: ages 40-54 and 55-69 by 1990-94 and 1995-99.
              std::pair{rates, "p1990,p1995\n2,3\n10,12\n"}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        // By hand, both ends counted: person 1 in 1994 and in 1995; person 3
        // 1 January to 30 June 1991; persons 2 (1996, a leap year, and 1997)
        // and 6 (1997 and 1998).
        const double days[2][2] = {{365, 365}, {31 + 28 + 31 + 30 + 31 + 30, 366 + 365 + 365 + 365}};
        const double per1000[2][2] = {{2, 3}, {10, 12}};
        double expected = 0, totalDays = 0;
        for (int a = 0; a < 2; ++a)
            for (int p = 0; p < 2; ++p) {
                expected += days[a][p] / 365.25 * per1000[a][p] / 1000;
                totalDays += days[a][p];
            }
        auto fixed = [](double x, int decimals) { return QString::number(x, 'f', decimals); };

        MainWindow w;
        StartUp(w, "", false);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        ModalSteps steps;

        // File > New.
        const QString study = dir.filePath("study.vdx");
        steps.add("dlgCommonDialog", [&](QWidget* d) { ChooseFile(d, study); });
        Menu(w, "fn");
        QCOMPARE(w.windowTitle(), "VELDRIX 1.41 - " + study);

        // Tables > Main table > Add > CSV...: Integer chosen for the ids,
        // which 100001 does not fit; then Long, as proposed.
        QString idProposed, conversion;
        steps.add("dlgCommonDialog", [&](QWidget* d) { ChooseFile(d, cohort); });
        steps.add("frmTextImport", [&](QWidget* d) {
            QHeaderView* header = d->findChild<QTableWidget*>("GridTextImport")->horizontalHeader();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
            for (auto* option : d->findChildren<QRadioButton*>())
                if (option->isChecked()) idProposed = option->text();
            test::Child<QRadioButton>(d, "optInteger")->click();
            ClickLater(d, "btnImport");
        });
        steps.add("QMessageBox", [&](QWidget* box) {
            conversion = BoxText(box);
            Close(box);
        });
        steps.add("frmTextImport", [&](QWidget* d) {
            test::Child<QRadioButton>(d, "optLong")->click();
            ClickLater(d, "btnImport");
        });
        Menu(w, "tmas");
        QCOMPARE(idProposed, QString("Long"));
        QVERIFY2(conversion.startsWith("Following error has occured:\nNumber: 13\n"), qPrintable(conversion));
        QVERIFY2(conversion.contains("Line 2, column 1 (id) holds \"100001\""), qPrintable(conversion));
        auto* mainGrid = w.findChild<GridView*>("MainGrid");
        QVERIFY(mainGrid->isVisible());
        QCOMPARE(mainGrid->gridRows(), 7);
        QVERIFY2(GridRow(mainGrid, 1).contains("100001|1|15.06.1945|01.01.1994|31.12.1995|162"),
                 qPrintable(GridRow(mainGrid, 1)));

        // Tables > Rate table > Add > CSV..., given per 1,000 person-years;
        // once the rows are in, a grid (one column per period) as proposed.
        QString unitQuestion, converted;
        bool gridProposed = false;
        steps.add("dlgCommonDialog", [&](QWidget* d) { ChooseFile(d, rates); });
        steps.add("QInputDialog", [&](QWidget* d) {
            auto* input = static_cast<QInputDialog*>(d);
            unitQuestion = input->labelText();
            input->setTextValue("Deaths per 1,000 person-years");
            input->accept();
        });
        steps.add("frmTextImport", [&](QWidget* d) { ClickLater(d, "btnImport"); });
        steps.add("frmRateLayout", [&](QWidget* d) {
            gridProposed = test::Child<QRadioButton>(d, "optLayoutGrid")->isChecked();
            ClickLater(d, "btnOk");
        });
        steps.add("QMessageBox", [&](QWidget* box) {
            converted = BoxText(box);
            Close(box);
        });
        Menu(w, "tras");
        QCOMPARE(unitQuestion, QString("The rates of 'rates' are given as:"));
        QVERIFY(gridProposed);
        QVERIFY2(converted.contains("divided by 1,000"), qPrintable(converted));
        auto* rateGrid = w.findChild<GridView*>("InternalGrid");
        QVERIFY(rateGrid->isVisible());
        QCOMPARE(GridRow(rateGrid, 2).section('|', -2), QString("0.01|0.012"));

        // Compute > Person-Years: self-defined age classes 40-54 and 55-69
        // (the greyed From/To/Step boxes are left as they are), calendar
        // periods 1990 to 2000 by 5.
        QString summary, details;
        steps.add("frmPyComp", [&](QWidget* d) {
            Pick(d, "comDOB", "birth");
            Pick(d, "comEPS", "entry");
            Pick(d, "comTPS", "exit");
            test::Child<QCheckBox>(d, "chkAge")->click();
            ClickLater(d, "btnAgeClassSelfDefined");
        });
        steps.add("frmSelfDefined", [&](QWidget* d) {
            auto* grid = d->findChild<QTableWidget*>("SdFGrid");
            for (const char* cell : {"40", "54", "55", "69"}) {
                auto* box = qobject_cast<QLineEdit*>(grid->indexWidget(grid->currentIndex()));
                if (!box) return;
                QTest::keyClicks(box, cell);
                QTest::keyClick(box, Qt::Key_Tab);
            }
            ClickLater(d, "btnOk");
        });
        steps.add("frmPyComp", [&](QWidget* d) {
            Type(d, "txtCalendarFrom", "1990");
            Type(d, "txtCalendarTo", "2000");
            Type(d, "txtCalendarStep", "5");
            ClickLater(d, "cmdCompute");
        });
        steps.add("QMessageBox", [&](QWidget* box) {
            summary = BoxText(box);
            details = static_cast<QMessageBox*>(box)->detailedText();
            Close(box);
        });
        Menu(w, "cp");
        for (const QString& line : {QString("Persons read: 6 rows"), QString("Persons included: 4 rows"),
                                    QString("Persons left out: 2 rows"),
                                    "Person-years in Age*Calendar: " + fixed(totalDays / 365.25, 2) + " (" +
                                        QString::number(totalDays) + " days)"})
            QVERIFY2(summary.contains(line), qPrintable(summary));
        QVERIFY2(details.contains("Row 4: exit 01.01.1994 before entry 01.01.1995"), qPrintable(details));
        QVERIFY2(details.contains("Row 5: follow-up 01.01.1995 to 31.12.1996 (age 24 to 26)"), qPrintable(details));
        QVERIFY2(w.statusBar()->currentMessage().contains("Persons left out: 2 rows"),
                 qPrintable(w.statusBar()->currentMessage()));
        auto* result = w.findChild<GridView*>("ResultGrid");
        QVERIFY(result->isVisible());
        QStringList grid;
        for (int r = 0; r < result->gridRows(); ++r) grid << GridRow(result, r);
        QCOMPARE(grid, QStringList({"Age class|1990–1994|1995–1999", "40–54|" + fixed(days[0][0] / 365.25, 2) + "|" + fixed(days[0][1] / 365.25, 2),
                                    "55–69|" + fixed(days[1][0] / 365.25, 2) + "|" + fixed(days[1][1] / 365.25, 2)}));

        // Compute > SMR: deaths of 162; the report opens.
        steps.add("frmSMRComp", [&](QWidget* d) {
            Pick(d, "comDTH", "cause");
            Type(d, "txtDTHValues", "162");
            Pick(d, "comPyTable", "Age*Calendar");
            Pick(d, "comRateTable", "rates");
            ClickLater(d, "btnCompute");
        });
        Menu(w, "cs");
        auto* report = w.findChild<QTextEdit*>("RTFResults");
        QVERIFY(report->isVisible());
        const QString shown = report->toPlainText();
        for (const QString& line : {QString("Observed Cases: 2"), "Expected Cases: " + fixed(expected, 8),
                                    "Person Years: " + fixed(totalDays / 365.25, 8), QString("N Included: 4"),
                                    QString("Null Value: SMR=100"), "\n" + fixed(100 * 2 / expected, 8) + "    "})
            QVERIFY2(shown.contains(line), qPrintable(line + " not in\n" + shown));

        // Tables > Print with the person-years table on view, into a PDF file.
        QVERIFY(test::ClickTreeNode(w, "Main_Person-Years_Age*Calendar"));
        const QString pdf = dir.filePath("person-years.pdf");
        steps.add("QPrintDialog", [&](QWidget* d) {
            auto* printers = d->findChild<QComboBox*>("printers");
            if (printers) printers->setCurrentIndex(printers->findText("Print to File (PDF)"));
            auto* file = d->findChild<QLineEdit*>("filename");
            if (file) file->setText(pdf);
            static_cast<QDialog*>(d)->accept();
        });
        Menu(w, "tp");
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) QSKIP("pdftotext is not installed");
        const QString printed = test::PdfText(pdf);
        for (const QString& text : {QString("Age*Calendar"), QString("40–54"), QString("1995–1999"),
                                    fixed(days[1][0] / 365.25, 2), fixed(days[1][1] / 365.25, 2)})
            QVERIFY2(printed.contains(text), qPrintable(text + " not in\n" + printed));

        // A right click on the person-years plot; Save plot as... on its menu.
        const QString png = dir.filePath("plot.png");
        steps.add("dlgCommonDialog", [&](QWidget* d) { ChooseFile(d, png); });
        QVERIFY(test::ClickTreeNode(w, "Plots_Person-years", Qt::RightButton));
        QTRY_VERIFY(w.menus().mnuPlot->isVisible());
        QTest::keyClick(w.menus().mnuPlot, Qt::Key_P);
        QTRY_VERIFY2(QFileInfo::exists(png), qPrintable(steps.left().join(", ") + "|" + steps.unexpected.join('\n')));
        QFile plot(png);
        QVERIFY(plot.open(QIODevice::ReadOnly));
        QCOMPARE(plot.read(8), QByteArray("\x89PNG\r\n\x1a\n"));

        QVERIFY2(steps.unexpected.isEmpty(), qPrintable(steps.unexpected.join('\n')));
        QVERIFY2(steps.left().isEmpty(), qPrintable(steps.left().join(", ")));
        w.state().ProjectChanged = false;
        w.fileExit();
    }
};

QTEST_MAIN(NewcomerTest)
#include "newcomer_test.moc"
