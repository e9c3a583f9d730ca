// A newcomer's first minutes, on a real X display (Xvfb) with the program's
// own dialogs and message boxes: the example study opened from the command
// line, Ctrl+O cancelled without a question, and Compute > Person-Years
// reached by the keyboard with "abc" in Age From: the message, the focus on
// the box, nothing computed.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <clocale>

#include "main_window.h"
#include "startup.h"
#include "state/messages.h"
#include "widget_test_support.h"

using namespace vdx;

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
};

QTEST_MAIN(NewcomerTest)
#include "newcomer_test.moc"
