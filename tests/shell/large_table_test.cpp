// A main data table of a million rows opens in the view at once and is not
// read into memory as a whole.
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <clocale>

#include "db/database.h"
#include "db/navigator_commands.h"
#include "grid_view.h"
#include "main_window.h"
#include "sample_project.h"
#include "test_sql.h"
#include "startup.h"
#include "table_model.h"
#include "widget_test_support.h"

using namespace vdx;

namespace {

// Resident memory of this process in kB.
long ResidentKb() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

}  // namespace

class LargeTableTest : public QObject {
    Q_OBJECT
    static constexpr int kRows = 1'000'000;

private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        test::ClearUserFolders();
    }

    void millionRowsOpenAtOnceAndStayOnDisk() {
        QTemporaryDir dir;
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, "", false);
        w.resize(900, 600);
        ProgramState& state = w.state();
        QVERIFY(test::CreateSampleProject(state, ui, dir.filePath("big.vdx").toStdString()));
        test::AddLargeTable(state.WorkingCopyName, "Big", kRows);
        state.MainTableName = "Big";
        db::RebuildNavigator(state, ui);
        w.refreshFromState();
        QCoreApplication::processEvents();

        const long before = ResidentKb();
        QVERIFY(test::ClickTreeNode(w, "Main_Data_Big"));
        QCoreApplication::processEvents();
        RecordsetModel* model = w.mainModel();
        // At most one pass over the rowids (the index that jumps use) and
        // the blocks on view: never every row of the table.
        const int64_t readToOpen = model->rowsRead();
        qInfo("opening %d rows in the view read %lld rows", kRows, static_cast<long long>(readToOpen));
        QVERIFY2(readToOpen <= kRows + 8 * RecordsetModel::kBlockRows, qPrintable(QString::number(readToOpen)));

        GridView* g = w.findChild<GridView*>("MainGrid");
        QVERIFY(g->isVisible());
        QCOMPARE(g->gridRows(), kRows + 1);
        QCOMPARE(g->cellText(1, 1), QString("1"));
        QCOMPARE(g->cellText(1, 2), QString("01.01.1940"));

        // To the end and back: rows arrive as they are shown, a few blocks.
        const int64_t readBeforeScrolling = model->rowsRead();
        g->verticalScrollBar()->setValue(g->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        QCOMPARE(g->cellText(kRows, 1), QString::number(kRows));
        g->verticalScrollBar()->setValue(g->verticalScrollBar()->maximum() / 2);
        QCoreApplication::processEvents();
        const int64_t readToScroll = model->rowsRead() - readBeforeScrolling;
        qInfo("scrolling to the end and the middle read %lld rows", static_cast<long long>(readToScroll));
        QVERIFY2(readToScroll <= 8 * RecordsetModel::kBlockRows, qPrintable(QString::number(readToScroll)));

        QVERIFY(model->cachedRows() <= RecordsetModel::kBlockRows * RecordsetModel::kCachedBlocks);
        const long grown = ResidentKb() - before;
        qInfo("resident memory grew by %ld kB", grown);
        // The table as text would take well over 100 MB.
        QVERIFY2(grown < 40 * 1024, qPrintable(QString("grew by %1 kB").arg(grown)));

        // The view, stopped in the middle of the table, leaves the working
        // copy free for a command that writes it.
        {
            auto wc = db::Database::open(state.WorkingCopyName);
            test::CreateTable(*wc, "Written", "A LONG");
            QVERIFY(wc->tableExists("Written"));
        }

        state.ProjectChanged = false;
        w.fileExit();
    }

    // Tables > Print of 100,000 rows works with the progress window, which
    // says how many pages they take; Cancel stops it, writes no file and
    // gives the window back.
    void printingALargeTableShowsItsPagesAndCancels() {
        QTemporaryDir dir;
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, "", false);
        ProgramState& state = w.state();
        QVERIFY(test::CreateSampleProject(state, ui, dir.filePath("big.vdx").toStdString()));
        test::AddLargeTable(state.WorkingCopyName, "Big", 100'000);
        state.MainTableName = "Big";
        db::RebuildNavigator(state, ui);
        w.refreshFromState();
        QVERIFY(test::ClickTreeNode(w, "Main_Data_Big"));

        const QString pdf = dir.filePath("big.pdf");
        w.reportPrinter().setOutputFormat(QPrinter::PdfFormat);
        w.reportPrinter().setOutputFileName(pdf);
        ui.cancelAfterPolls = 100'000 / 256 + 20;  // the columns measured, some pages made
        test::OnNextModalOf<QPrintDialog>([](QPrintDialog* d) { d->accept(); });
        QElapsedTimer timer;
        timer.start();
        w.findChild<QAction*>("mnuTablesPrint")->trigger();
        qInfo("printing until Cancel took %lld ms", timer.elapsed());
        QVERIFY(!QFileInfo::exists(pdf));
        QVERIFY(ui.messages.empty());
        const auto pages = std::find_if(ui.progressLabels.begin(), ui.progressLabels.end(),
                                        [](const std::string& l) { return l.find(" rows on ") != std::string::npos; });
        QVERIFY(pages != ui.progressLabels.end());
        qInfo("%s", pages->c_str());
        QVERIFY(ui.maxProgressValue > 0);
        QVERIFY(w.menuBar()->isEnabled() && w.centralWidget()->isEnabled());

        state.ProjectChanged = false;
        w.fileExit();
    }
};

QTEST_MAIN(LargeTableTest)
#include "large_table_test.moc"
