// Tables > Save as... on the main window and the dialog that chooses the SMR
// figures it writes (frmOptionsDataExportSMR).
#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "frm_options_data_export_smr.h"
#include "main_window.h"
#include "sample_project.h"
#include "settings_store.h"
#include "widget_test_support.h"

using namespace vdx;

namespace {

QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class DataExportTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void saveAsWritesTheResultShown() {
        test::ClearUserFolders();
        test::CountingInteraction ui;
        std::unique_ptr<MainWindow> w;
        test::OpenTestWindow(w, ui);
        QVERIFY(test::CreateSampleProject(w->state(), ui, dir_.filePath("study.vdx").toStdString()));
        db::RebuildNavigator(w->state(), ui);
        w->refreshFromState();
        QAction* saveAs = w->findChild<QAction*>("mnuTablesSaveAS");
        QVERIFY(!saveAs->isEnabled());

        struct Case {
            const char* node;
            const char* file;
            const char* format;
            const char* expected;
        };
        for (const Case& c : {Case{"Main_Person-Years_Age*Calendar", "py.txt", "text", "Age class;"},
                              Case{"P1_Deaths", "deaths.htm", "html", "<title>deaths</title>"}}) {
            QVERIFY(test::ClickTreeNode(*w, c.node));
            QVERIFY2(saveAs->isEnabled(), c.node);
            ui.files.push_back(FileDialogResult{dir_.filePath(c.file).toStdString(), exchange::ExportFormatIndex(c.format)});
            saveAs->trigger();
            QVERIFY2(FileBytes(dir_.filePath(c.file)).contains(c.expected), c.file);
        }
        QVERIFY(ui.messages.empty());
        test::CloseTestWindow(w);
    }

    void dialogKeepsChangesUntilOk() {
        SettingsStore store(dir_.filePath("settings.ini"));
        FrmOptionsDataExportSMR dialog(nullptr, store);
        dialog.show();
        auto* variables = dialog.findChild<QListWidget*>("lstVariables");
        auto* selected = dialog.findChild<QListWidget*>("lstSelected");
        auto click = [&](const char* name) { dialog.findChild<QPushButton*>(name)->click(); };
        const QStringList defaults = Entries(selected);
        QCOMPARE(defaults, QStringList({"SMR", "Lower Confidence Bound", "Upper Confidence Bound", "Alpha", "Method",
                                        "Observed Cases", "Expected Cases"}));

        click("btnSelect");  // nothing selected: nothing moves
        QCOMPARE(variables->count(), 11);
        QCOMPARE(Entries(selected), defaults);

        variables->setCurrentRow(2);  // "N"
        click("btnSelect");
        QCOMPARE(Entries(selected).last(), QString("N"));
        selected->setCurrentRow(0);  // "SMR"
        click("btnUnselect");
        QCOMPARE(Entries(variables).last(), QString("SMR"));
        click("btnSelectAll");
        QCOMPARE(variables->count(), 0);
        QCOMPARE(Entries(selected).first(), QString("SMR"));  // back in their order
        click("btnDefault");
        QCOMPARE(Entries(selected), defaults);
        QCOMPARE(store.read("Exports", "0", "missing"), QString("missing"));  // not saved before Ok

        click("btnUnselectAll");
        click("btnOk");
        QCOMPARE(store.read("Exports", "0", "missing"), QString("SMR 0"));
        QCOMPARE(store.read("Exports", "17", "missing"), QString("PY Table 0"));
    }
};

QTEST_MAIN(DataExportTest)
#include "data_export_test.moc"
