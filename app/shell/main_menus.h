// The menu bar and the toolbar of the main window. Every entry is a QAction
// named after its menu path (mnuFileNew, mnuTablesCopy ...), every toolbar
// button a QAction named after its key ("New", "Copy" ...).
//
// A command that is not yet part of the program has no entry: the menus
// Compute, Reports and Tools and the Project pop-up menu exist but stay out of
// the menu bar until they hold an entry, and toolbar buttons whose command is
// missing stay hidden. To add a command, add its action to its menu here and
// connect it in MainWindow; RefreshMenuBar() then shows the menu and the
// toolbar button that runs it.
#pragma once

#include <QIcon>
#include <QMap>
#include <QString>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace vdx {

struct MainMenus {
    QMenu* mnuFile = nullptr;
    QMenu* mnuTables = nullptr;
    QMenu* mnuCompute = nullptr;
    QMenu* mnuReports = nullptr;
    QMenu* mnuTools = nullptr;
    QMenu* mnuHelp = nullptr;
    QMenu* mnuProject = nullptr;  // the navigator's pop-up menu, never in the menu bar
    QMenu* mnuPlot = nullptr;     // the pop-up menu of a plot's node and of the plot view

    QAction* mnuFileNew = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileSaveAs = nullptr;
    QAction* mnuFilePlotSaveAs = nullptr;  // the plot on view
    QAction* mnuFilePlotPrint = nullptr;
    QAction* mnuFileExit = nullptr;
    QAction* mnuTablesSaveAS = nullptr;
    QAction* mnuTablesCopy = nullptr;
    QAction* mnuTablesPrint = nullptr;
    QAction* mnuReportsPrint = nullptr;
    QAction* mnuReportsSaveAs = nullptr;
    QAction* mnuReportsStudy = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpLicence = nullptr;
    QAction* mnuHelpAbout = nullptr;
    QAction* mnuProjectRename = nullptr;
    QAction* mnuProjectDelete = nullptr;

    QToolBar* toolbar = nullptr;         // Toolbar1
    QMap<QString, QAction*> buttons;     // by key: New, Open, Save, Print, Copy, Py, Smr, SMRCalculator, Help
};

// Builds the menus and the toolbar of the window (not yet connected).
MainMenus BuildMainMenus(QMainWindow* window);

// The menu entry that the toolbar button with the given key runs
// ("Copy" -> mnuTablesCopy); nullptr while the program has no such entry.
QString ButtonCommandName(const QString& key);
QAction* ButtonCommand(const MainMenus& menus, const QString& key);

// Shows in the menu bar each menu that holds a visible entry, hides the
// others, and hides toolbar buttons whose menu entry does not exist.
void RefreshMenuBar(MainMenus& menus);

// The pictures of the navigator: 1 folder, 2 open folder, 3 table.
QIcon NavigatorImage(int image);

}  // namespace vdx
