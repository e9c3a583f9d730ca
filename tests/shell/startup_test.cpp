// Start-up of the main window: caption, menus, buttons and tree as the
// program starts, the settings read at start and written at Exit, the file
// association, Help.
#include <QAction>
#include <QKeySequence>
#include <QScreen>
#include <QSet>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QDir>
#include <QToolBar>
#include <QTreeWidget>
#include <clocale>
#include <cmath>
#include <functional>

#include "file_association.h"
#include "help_windows.h"
#include "grid_view.h"
#include "main_window.h"
#include "settings_store.h"
#include "startup.h"
#include "widget_test_support.h"

using namespace vdx;

namespace {

QString StoreFile() { return SettingsStore().fileName(); }

int Px(MainWindow& w, double twips) { return static_cast<int>(std::lround(twips / w.twipsPerPixel())); }

QStringList EntryTexts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << (a->isSeparator() ? "-" : a->text());
    return out;
}

QString ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }
    void init() { test::ClearUserFolders(); }

    void captionTreeAndEntriesAtStart() {
        MainWindow w;
        StartUp(w, "", false);
        QCOMPARE(w.objectName(), QString("frmMain"));
        QCOMPARE(w.windowTitle(), QString("VELDRIX 1.41"));
        QVERIFY(w.isVisible());
        QCOMPARE(w.state().ProgramVersion, std::string("1.41"));
        QCOMPARE(w.state().FormatVersion, std::string("3.0"));
        QCOMPARE(w.state().ProjectCount, int16_t(0));
        QVERIFY(!w.state().ProjectOpen);

        // The four fixed nodes, by full path, and their keys.
        QCOMPARE(test::TreePaths(w),
                 QStringList({"Main", "Main_Data", "Main_Rate tables", "Main_Person-Years"}));
        const NavigatorTree& tree = w.state().Navigator;
        QCOMPARE(tree.fullPath(tree.findByKey("DATA")), std::string("Main_Data"));
        QCOMPARE(tree.fullPath(tree.findByKey("RATE")), std::string("Main_Rate tables"));
        QCOMPARE(tree.fullPath(tree.findByKey("PY")), std::string("Main_Person-Years"));

        // The empty view; the grids hidden.
        QVERIFY(w.findChild<QLabel*>("Picture1")->isVisible());
        for (const char* name : {"MainGrid", "InternalGrid", "ResultGrid", "RTFResults"})
            QVERIFY2(!w.findChild<QWidget*>(name)->isVisible(), name);
        QVERIFY(w.findChild<QStatusBar*>("StatusBar1") != nullptr);

        // Entries that need a view are off.
        QVERIFY(!w.findChild<QAction*>("mnuTablesCopy")->isEnabled());
        QVERIFY(!w.menus().buttons.value("Copy")->isEnabled());
        QVERIFY(!w.menus().buttons.value("Print")->isEnabled());
    }

    void fileAndHelpEntriesHaveTheDesktopsKeys() {
        MainWindow w;
        StartUp(w, "", false);
        const std::pair<const char*, QKeySequence> keys[] = {
            {"mnuFileNew", QKeySequence("Ctrl+N")},         {"mnuFileOpen", QKeySequence("Ctrl+O")},
            {"mnuFileSave", QKeySequence("Ctrl+S")},        {"mnuFileSaveAs", QKeySequence("Ctrl+Shift+S")},
            {"mnuFileExit", QKeySequence("Ctrl+Q")},        {"mnuHelpContents", QKeySequence("F1")},
        };
        for (const auto& [name, key] : keys)
            QVERIFY2(w.findChild<QAction*>(name)->shortcuts().contains(key), name);
    }

    // Every menu and entry can be reached by its access key, and no two
    // entries of one menu share one.
    void everyMenuEntryHasItsOwnAccessKey() {
        MainWindow w;
        StartUp(w, "", false);
        std::function<void(const QList<QAction*>&)> check = [&](const QList<QAction*>& entries) {
            QSet<QChar> used;
            for (QAction* a : entries) {
                if (a->isSeparator() || !a->isVisible()) continue;
                const int at = a->text().indexOf('&');
                QVERIFY2(at >= 0 && at + 1 < a->text().size(), qPrintable(a->text()));
                const QChar key = a->text().at(at + 1).toLower();
                QVERIFY2(!used.contains(key), qPrintable(a->text()));
                used.insert(key);
                if (a->menu()) check(a->menu()->actions());
            }
        };
        check(w.menuBar()->actions());
        check(w.menus().mnuProject->actions());
    }

    void menusHoldTheirEntries() {
        MainWindow w;
        StartUp(w, "", false);
        MainMenus& m = w.menus();
        QCOMPARE(m.mnuFile->title(), QString("&File"));
        QCOMPARE(EntryTexts(m.mnuFile),
                 QStringList({"&New", "&Open", "-", "&Save", "Save &as...", "-", "Save &plot as...", "P&rint plot",
                              "-", "&Exit"}));
        QCOMPARE(m.mnuTables->title(), QString("&Tables"));
        QCOMPARE(EntryTexts(m.mnuTables),
                 QStringList({"&Main table", "&Rate table", "Ca&use list", "&Work history", "-", "Save &as...", "&Copy", "&Print"}));
        QCOMPARE(EntryTexts(m.mnuReports), QStringList({"&Print", "Save &as...", "-", "&Study report"}));
        QCOMPARE(m.mnuHelp->title(), QString("&Help"));
        QCOMPARE(EntryTexts(m.mnuHelp), QStringList({"&Contents", "&Licence", "-", "&About"}));
        for (const char* name : {"mnuFileNew", "mnuFileOpen", "mnuFileSave", "mnuFileSaveAs",
                                 "mnuFileExit", "mnuTablesCopy", "mnuHelpContents",
                                 "mnuHelpLicence", "mnuHelpAbout"})
            QVERIFY2(w.findChild<QAction*>(name) != nullptr, name);

        // Menus in the menu bar: those that hold an entry; the Project menu
        // never (it is the tree's pop-up menu).
        QStringList shown;
        for (QAction* a : w.menuBar()->actions())
            if (a->isVisible()) shown << a->text();
        for (const char* title : {"&File", "&Tables", "&Help"}) QVERIFY2(shown.contains(title), title);
        QVERIFY(!shown.contains("Project"));
        QVERIFY(!m.mnuProject->menuAction()->isVisible());
        QCOMPARE(m.mnuProject->objectName(), QString("mnuProject"));
        for (QMenu* menu : {m.mnuCompute, m.mnuReports, m.mnuTools}) {
            bool entries = false;
            for (QAction* a : menu->actions()) entries = entries || (!a->isSeparator() && a->isVisible());
            QCOMPARE(menu->menuAction()->isVisible(), entries);
        }
        QCOMPARE(EntryTexts(m.mnuProject), QStringList({"&Rename", "-", "&Delete"}));
    }

    void srrEntryIsHiddenUnlessTheSettingsShowIt() {
        const std::pair<const char*, bool> cases[] = {
            {nullptr, false}, {"True", true}, {"1", true}, {"False", false}, {"yes", false}};
        for (const auto& [stored, shown] : cases) {
            test::ClearUserFolders();
            if (stored) {
                SettingsStore store;
                store.write("Settings", "ShowSRR", stored);
                store.sync();
            }
            MainWindow w;
            StartUp(w, "", false);
            QAction* srr = w.findChild<QAction*>("mnuComputeSrr");
            QVERIFY(srr);
            QVERIFY2(srr->isVisible() == shown, stored ? stored : "(none)");
        }
    }

    void menuWithoutEntriesStaysOutOfTheMenuBar() {
        MainWindow w;
        StartUp(w, "", false);
        MainMenus& m = w.menus();
        for (QAction* a : m.mnuTables->actions()) a->setVisible(false);
        RefreshMenuBar(m);
        QVERIFY(!m.mnuTables->menuAction()->isVisible());
        QVERIFY(m.mnuFile->menuAction()->isVisible());
        m.mnuTablesCopy->setVisible(true);
        RefreshMenuBar(m);
        QVERIFY(m.mnuTables->menuAction()->isVisible());
    }

    void toolbarButtonsKeysAndTips() {
        MainWindow w;
        StartUp(w, "", false);
        QToolBar* bar = w.findChild<QToolBar*>("Toolbar1");
        QVERIFY(bar);
        QStringList keys, tips;
        for (QAction* a : bar->actions()) {
            keys << a->objectName();
            tips << a->toolTip();
        }
        QCOMPARE(keys, QStringList({"New", "Open", "Save", "Print", "Copy", "Py", "Smr",
                                    "SMRCalculator", "Help"}));
        QCOMPARE(tips, QStringList({"New", "Open", "Save", "Print", "Copy", "Compute person-years",
                                    "Compute SMR", "SMR Calculator", "Help"}));
        // A button is shown when the program has its command.
        for (const char* key : {"New", "Open", "Save", "Copy", "Help"})
            QVERIFY2(w.menus().buttons.value(key)->isVisible(), key);
        for (const QString& key : w.menus().buttons.keys())
            QCOMPARE(w.menus().buttons.value(key)->isVisible(), ButtonCommand(w.menus(), key) != nullptr);
        QCOMPARE(ButtonCommandName("Print"), QString("mnuReportsPrint"));
        QCOMPARE(ButtonCommandName("Py"), QString("mnuComputePY"));
        QCOMPARE(ButtonCommandName("Smr"), QString("mnuComputeSmr"));
        QCOMPARE(ButtonCommandName("SMRCalculator"), QString("mnuToolsSMRCalculator"));
    }

    void toolbarButtonRunsTheMenuCommandOfItsKey() {
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, "", false);
        // Save with no project open shows message 16: the button runs File > Save.
        w.menus().buttons.value("Save")->trigger();
        QCOMPARE(ui.messages.size(), size_t(1));
        QCOMPARE(ui.messages[0].text, std::string("There is no VELDRIX file loaded!"));
        // Open runs File > Open: its dialog is asked for.
        w.menus().buttons.value("Open")->trigger();
        QCOMPARE(ui.fileDialogs.size(), size_t(1));
        QCOMPARE(ui.fileDialogs[0].request.title, std::string("Open File"));
    }

    void emptyStoreGivesTheDefaultWindow() {
        MainWindow w;
        StartUp(w, "", false);
        // No size stored: most of the screen, all of the window on it.
        const QRect room = w.screen()->availableGeometry();
        QVERIFY(room.contains(w.frameGeometry()));
        QVERIFY2(w.width() >= room.width() * 3 / 4 && w.height() >= room.height() * 3 / 4,
                 qPrintable(QString("%1 x %2").arg(w.width()).arg(w.height())));
        QCOMPARE(w.navigatorWidth(), 200);
        QCOMPARE(w.findChild<QTreeWidget*>("Navigator")->width(), 200);
        QCOMPARE(w.state().SmrNullValue, 100.0);
        // The load step writes the association with the program's directory.
        QCOMPARE(w.settings().read("Settings", "RegisterFiles", ""), QString("True"));
        const FileAssociationFiles files = FileAssociationPaths(qEnvironmentVariable("XDG_DATA_HOME"));
        QCOMPARE(ReadFile(files.desktopFile), DesktopEntry(QCoreApplication::applicationDirPath()));
        QCOMPARE(ReadFile(files.mimeFile), MimeTypeXml());
    }

    void storedValuesAreReadWhateverTheKeysLetterCase() {
        {
            QSettings raw(StoreFile(), QSettings::IniFormat);
            raw.setValue("Settings/mainleft", "1500");
            raw.setValue("Settings/MAINTOP", "1800");
            raw.setValue("Settings/MainWidth", "9000");
            raw.setValue("Settings/mainheight", "7200");
            raw.setValue("Settings/XLEFT", "260");
            raw.setValue("Settings/appPATH", "/opt/elsewhere");
            raw.setValue("SMR/NullValue", "1");
        }
        MainWindow w;
        StartUp(w, "", false);
        QCOMPARE(w.pos(), QPoint(Px(w, 1500), Px(w, 1800)));
        QCOMPARE(w.size(), QSize(Px(w, 9000), Px(w, 7200)));
        QCOMPARE(w.navigatorWidth(), 260);
        QCOMPARE(w.state().SmrNullValue, 1.0);
        const FileAssociationFiles files = FileAssociationPaths(qEnvironmentVariable("XDG_DATA_HOME"));
        QCOMPARE(ReadFile(files.desktopFile), DesktopEntry("/opt/elsewhere"));
    }

    void exitStoresWhatTheNextStartReads() {
        {
            MainWindow w;
            test::CountingInteraction ui;
            w.setInteraction(&ui);
            StartUp(w, "", false);
            w.resize(700, 500);
            w.move(90, 60);
            w.setNavigatorWidth(150);
            w.state().SmrNullValue = 1;  // as the Options dialog sets it
            w.menus().mnuFileExit->trigger();
            QVERIFY(!w.isVisible());
            QVERIFY(ui.messages.empty());  // nothing to save, nothing asked
        }
        SettingsStore store;
        QCOMPARE(store.read("SMR", "NULLValue", "?"), QString("1"));
        QCOMPARE(store.read("Copyright", "Application", "?"), QString("VELDRIX 1.41"));
        QCOMPARE(store.read("Settings", "AppPath", "?"), QCoreApplication::applicationDirPath());
        {
            QSettings raw(StoreFile(), QSettings::IniFormat);
            raw.beginGroup("SMR");
            QCOMPARE(raw.childKeys(), QStringList({"NullValue"}));
        }
        MainWindow next;
        StartUp(next, "", false);
        QCOMPARE(next.size(), QSize(700, 500));
        QCOMPARE(next.pos(), QPoint(90, 60));
        QCOMPARE(next.navigatorWidth(), 150);
        QCOMPARE(next.state().SmrNullValue, 1.0);
        QCOMPARE(store.read("Settings", "MainWidth", "?"), SettingNumberText(700 * next.twipsPerPixel()));
    }

    void closeBoxRunsExit() {
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, "", false);
        w.resize(640, 480);
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        QCOMPARE(SettingsStore().read("Settings", "MainWidth", "?"), SettingNumberText(640 * w.twipsPerPixel()));
    }

    void minimizedWindowStoresNothing() {
        MainWindow w;
        test::CountingInteraction ui;
        w.setInteraction(&ui);
        StartUp(w, "", false);
        w.state().SmrNullValue = 1;
        w.setWindowState(Qt::WindowMinimized);
        QVERIFY(w.isMinimized());
        w.fileExit();
        QVERIFY(!w.isVisible());
        SettingsStore store;
        QCOMPARE(store.read("Settings", "MainLeft", "none"), QString("none"));
        QCOMPARE(store.read("SMR", "NullValue", "none"), QString("none"));
    }

    void helpOpensInAWindowOfTheProgramWithBackForwardAndContents() {
        MainWindow w;
        StartUp(w, "", false);
        QList<QUrl> opened;
        w.setUrlOpener([&](const QUrl& url) { opened << url; return true; });
        w.findChild<QAction*>("mnuHelpContents")->trigger();
        auto* help = w.findChild<QWidget*>("frmHelp");
        QVERIFY(help && help->isVisible());
        auto* browser = help->findChild<QTextBrowser*>("txtHelp");
        QCOMPARE(browser->source().toLocalFile(), QCoreApplication::applicationDirPath() + "/veldrix.html");
        QVERIFY(browser->toPlainText().contains("File > New"));
        QVERIFY(opened.isEmpty());  // no web browser

        auto* back = help->findChild<QAction*>("Back");
        auto* forward = help->findChild<QAction*>("Forward");
        QVERIFY(!back->isEnabled() && !forward->isEnabled());
        browser->setSource(QUrl("#copy"));  // a link of the contents
        QVERIFY(back->isEnabled());
        back->trigger();
        QVERIFY(forward->isEnabled());
        forward->trigger();
        QCOMPARE(browser->source().fragment(), QString("copy"));
        help->findChild<QAction*>("Contents")->trigger();
        QCOMPARE(browser->source().fragment(), QString("contents"));
        // On the screen, whatever its size; Escape closes it.
        QVERIFY(w.screen()->availableGeometry().contains(help->frameGeometry()));
        QTest::keyClick(browser, Qt::Key_Escape);
        QVERIFY(!help->isVisible());

        // The Help button and F1 show the same window again.
        help->hide();
        w.menus().buttons.value("Help")->trigger();
        QVERIFY(help->isVisible());
        QCOMPARE(w.findChildren<QWidget*>("frmHelp").size(), 1);
    }

    // The help page names every entry of the menus: by its path ("Tables >
    // Main table > Remove"), and the formats of the Add menus by their caption.
    void helpNamesEveryMenuEntry() {
        MainWindow w;
        StartUp(w, "", false);
        w.findChild<QAction*>("mnuHelpContents")->trigger();
        const QString help = w.findChild<QTextBrowser*>("txtHelp")->toPlainText();
        auto caption = [](const QAction* a) { return a->text().remove('&').remove("..."); };
        int entries = 0;
        std::function<void(QMenu*, const QStringList&)> walk = [&](QMenu* menu, const QStringList& path) {
            for (QAction* a : menu->actions()) {
                if (a->isSeparator()) continue;
                const QStringList here = path + QStringList{caption(a)};
                const QString named = here.size() <= 3 ? here.join(" > ") : here.last();
                QVERIFY2(help.contains(named), qPrintable(named));
                ++entries;
                if (a->menu()) walk(a->menu(), here);
            }
        };
        for (QAction* menu : w.menuBar()->actions()) walk(menu->menu(), {caption(menu)});
        QVERIFY(entries > 40);
    }

    void aMissingHelpPageIsReported() {
        HelpWindow help(nullptr);
        QVERIFY(!help.showPage(QDir::temp().filePath("no-such-help.html")));
        QVERIFY(!help.isVisible());
    }

    void aboutAndLicenceWindowsAreModal() {
        MainWindow w;
        StartUp(w, "", false);
        QString seen, text;
        test::OnNextModal([&](QWidget* modal) {
            seen = modal->objectName();
            for (QLabel* l : modal->findChildren<QLabel*>()) text += l->text();
            modal->close();
        });
        w.findChild<QAction*>("mnuHelpAbout")->trigger();
        QCOMPARE(seen, QString("frmAbout"));
        QVERIFY(text.contains("VELDRIX 1.41"));

        test::OnNextModal([&](QWidget* modal) {
            seen = modal->objectName();
            modal->close();
        });
        w.findChild<QAction*>("mnuHelpLicence")->trigger();
        QCOMPARE(seen, QString("frmLicence"));
    }

    void commandLineIsTheWholeArgumentList() {
        using A = CommandLine::Action;
        struct Case {
            QStringList arguments;
            A action;
            QString path;
        };
        const Case cases[] = {
            {{"veldrix"}, A::Open, ""},
            {{"veldrix", "/data/study.vdx"}, A::Open, "/data/study.vdx"},
            {{"veldrix", "/data/my", "study.vdx"}, A::Open, "/data/my study.vdx"},
            {{"veldrix", "--", "--help"}, A::Open, "--help"},
            {{"veldrix", "/data/a", "-", "b.vdx"}, A::Open, "/data/a - b.vdx"},
            {{"veldrix", "--help"}, A::Help, ""},
            {{"veldrix", "-h", "study.vdx"}, A::Help, ""},
            {{"veldrix", "--version"}, A::Version, ""},
            {{"veldrix", "--hel"}, A::Refuse, ""},
            {{"veldrix", "-", "study.vdx"}, A::Refuse, ""},
        };
        for (const auto& c : cases) {
            const CommandLine line = ParseCommandLine(c.arguments);
            QVERIFY2(line.action == c.action, qPrintable(c.arguments.join(' ')));
            QCOMPARE(line.path, c.path);
        }
        QVERIFY(ParseCommandLine({"veldrix", "--version"}).text.startsWith("VELDRIX 1.41"));
        QVERIFY(ParseCommandLine({"veldrix", "--bogus"}).text.contains("unknown option '--bogus'"));
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
