// The Qt face of the commands' questions: message boxes with their buttons,
// icons and titles, the file dialogs from a request, input boxes, the
// hourglass and the progress window.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "qt_interaction.h"
#include "widget_test_support.h"

using namespace vdx;

namespace {

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Records the next message box and presses one of its buttons.
void PressOnNextBox(SeenBox* seen, QMessageBox::StandardButton press) {
    test::OnNextModal([seen, press](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        box->button(press)->click();
    });
}

// Types a file name into the dialog's name box, as a user does.
void TypeFileName(QFileDialog* d, const QString& name) {
    auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
    if (edit) edit->setText(name);
}

}  // namespace

class InteractionTest : public QObject {
    Q_OBJECT
    QWidget owner_;

private slots:
    void messageBoxHasTheCallersButtonsIconAndTitle() {
        QtInteraction ui(&owner_);
        SeenBox seen;
        PressOnNextBox(&seen, QMessageBox::No);
        QCOMPARE(ui.message("Do you want to save your changes?", Buttons::YesNoCancel, Icon::Question,
                            "VELDRIX"),
                 Answer::No);
        QCOMPARE(seen.title, QString("VELDRIX"));
        QCOMPARE(seen.text, QString("Do you want to save your changes?"));
        QCOMPARE(seen.icon, QMessageBox::Question);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);

        PressOnNextBox(&seen, QMessageBox::Cancel);
        QCOMPARE(ui.message("x", Buttons::OkCancel, Icon::Question, "VELDRIX"), Answer::Cancel);
        QCOMPARE(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);

        PressOnNextBox(&seen, QMessageBox::Ok);
        QCOMPARE(ui.message("There is no VELDRIX file loaded!", Buttons::Ok, Icon::Exclamation, "VELDRIX"),
                 Answer::Ok);
        QCOMPARE(seen.icon, QMessageBox::Warning);

        PressOnNextBox(&seen, QMessageBox::Yes);
        QCOMPARE(ui.message("y", Buttons::YesNo, Icon::Critical, "Error"), Answer::Yes);
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QCOMPARE(seen.title, QString("Error"));
    }

    void generalErrorShowsItsLinesAsLines() {
        QtInteraction ui(&owner_);
        SeenBox seen;
        PressOnNextBox(&seen, QMessageBox::Ok);
        ShowGeneralError(ui, 3146, "disk I/O error");
        QCOMPARE(seen.text, QString("Following error has occured:\nNumber: 3146\nDescription: disk I/O error"));
        QCOMPARE(seen.icon, QMessageBox::Critical);
    }

    void escapeOnAQuestionIsCancel() {
        QtInteraction ui(&owner_);
        test::OnNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        QCOMPARE(ui.message("q", Buttons::YesNoCancel, Icon::Question, "VELDRIX"), Answer::Cancel);
    }

    void filtersInTheDialogsForm() {
        QCOMPARE(QtNameFilters("VELDRIX file (*.vdx)|*.vdx"), QStringList({"VELDRIX file (*.vdx)"}));
        QCOMPARE(QtNameFilters("RTF file (*.rtf)|*.rtf|Text file (*.txt)|*.txt"),
                 QStringList({"RTF file (*.rtf)", "Text file (*.txt)"}));
        QCOMPARE(QtNameFilters("Excel files|*.xls;*.xlsx"), QStringList({"Excel files (*.xls *.xlsx)"}));
        QCOMPARE(QtNameFilters(""), QStringList());
    }

    void saveDialogFromARequest() {
        QTemporaryDir dir;
        QtInteraction ui(&owner_);
        FileDialogRequest r;
        r.title = "Create new file as...";
        r.initialDirectory = dir.path().toStdString();
        r.fileName = "*.vdx";
        r.filter = "VELDRIX file (*.vdx)|*.vdx";
        r.defaultExtension = "vdx";
        r.flags = 32774;
        QString title, suffix;
        QStringList filters;
        test::OnNextModalOf<QFileDialog>([&](QFileDialog* d) {
            title = d->windowTitle();
            filters = d->nameFilters();
            suffix = d->defaultSuffix();
            TypeFileName(d, "study");
            test::AcceptUntilClosed(d);
        });
        const auto result = ui.saveFile(r);
        QCOMPARE(title, QString("Create new file as..."));
        QCOMPARE(filters, QStringList({"VELDRIX file (*.vdx)"}));
        QCOMPARE(suffix, QString("vdx"));
        QVERIFY(result.has_value());
        QCOMPARE(QString::fromStdString(result->path), dir.filePath("study.vdx"));
        QCOMPARE(result->filterIndex, 1);
    }

    void secondFilterGivesItsIndexAndExtension() {
        QTemporaryDir dir;
        QtInteraction ui(&owner_);
        FileDialogRequest r;
        r.title = "Save as ...";
        r.initialDirectory = dir.path().toStdString();
        r.filter = "RTF file (*.rtf)|*.rtf|Text file (*.txt)|*.txt";
        r.defaultExtension = "rtf";
        r.flags = 32774;
        test::OnNextModalOf<QFileDialog>([&](QFileDialog* d) {
            d->selectNameFilter("Text file (*.txt)");
            emit d->filterSelected("Text file (*.txt)");
            TypeFileName(d, "report");
            test::AcceptUntilClosed(d);
        });
        const auto result = ui.saveFile(r);
        QVERIFY(result.has_value());
        QCOMPARE(result->filterIndex, 2);
        QCOMPARE(QString::fromStdString(result->path), dir.filePath("report.txt"));
    }

    void cancelledDialogGivesNothing() {
        QtInteraction ui(&owner_);
        FileDialogRequest r;
        r.title = "Open File";
        r.filter = "VELDRIX file (*.vdx)|*.vdx";
        r.flags = 36868;
        test::OnNextModalOf<QFileDialog>([](QFileDialog* d) { d->reject(); });
        QVERIFY(!ui.openFile(r).has_value());
    }

    void inputBoxGivesTheTextOrNothing() {
        QtInteraction ui(&owner_);
        test::OnNextModal([](QWidget* modal) {
            auto* d = qobject_cast<QInputDialog*>(modal);
            if (!d) return;
            d->setTextValue("Lung cancer");
            static_cast<QDialog*>(d)->accept();
        });
        QCOMPARE(ui.input("New name:", "Rename", "P1"), std::optional<std::string>("Lung cancer"));
        test::OnNextModal([](QWidget* modal) {
            if (auto* d = qobject_cast<QInputDialog*>(modal)) d->reject();
        });
        QCOMPARE(ui.input("New name:", "Rename", "P1"), std::optional<std::string>());
    }

    void hourglassWhileBusy() {
        QtInteraction ui(&owner_);
        QVERIFY(!QApplication::overrideCursor());
        {
            BusyPointer busy(ui);
            QVERIFY(QApplication::overrideCursor());
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(!QApplication::overrideCursor());
    }

    void progressWindowAsksBeforeCancelling() {
        QtInteraction ui(&owner_);
        auto progress = ui.progress("Computing Person-Years", 400, true);
        auto* window = owner_.findChild<QWidget*>("frmProgress");
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QString("VELDRIX"));
        QCOMPARE(window->findChild<QLabel*>("Label1")->text(), QString("Computing Person-Years"));
        auto* bar = window->findChild<QProgressBar*>("ProgressBar1");
        QCOMPARE(bar->maximum(), 400);
        progress->setValue(120);
        QCOMPARE(bar->value(), 120);
        progress->setLabel("Computing Deaths");
        QCOMPARE(window->findChild<QLabel*>("Label1")->text(), QString("Computing Deaths"));
        QVERIFY(!progress->poll());

        auto* cancel = window->findChild<QPushButton*>("btnCancel");
        QVERIFY(cancel->isEnabled());
        SeenBox seen;
        PressOnNextBox(&seen, QMessageBox::No);
        cancel->click();
        QCOMPARE(seen.text, QString("Do you really want to cancel?"));
        QCOMPARE(seen.title, QString("VELDRIX"));
        QVERIFY(!progress->poll());  // No: the run goes on
        PressOnNextBox(&seen, QMessageBox::Yes);
        cancel->click();
        QVERIFY(progress->poll());

        progress.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!owner_.findChild<QWidget*>("frmProgress"));
    }

    void progressWithoutCancel() {
        QtInteraction ui(&owner_);
        auto progress = ui.progress("Computing Deaths", 400, false);
        auto* window = owner_.findChild<QWidget*>("frmProgress");
        QVERIFY(!window->findChild<QPushButton*>("btnCancel")->isEnabled());
        window->close();  // closing the window cancels nothing
        QVERIFY(!progress->poll());
    }
};

QTEST_MAIN(InteractionTest)
#include "interaction_test.moc"
