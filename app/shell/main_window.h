// The main window frmMain: menus, toolbar, status bar, the navigator tree on
// the left and the view area on its right (Picture1, MainGrid, InternalGrid,
// ResultGrid, RTFResults, all at one place, one shown at a time).
//
// The window owns the program state. Menu entries run command functions over
// that state (which ask the user only through vdx::Interaction) and then
// refresh the widgets from it: caption, tree, view and enabled entries.
#pragma once

#include <QMainWindow>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "db/navigator_commands.h"
#include "main_menus.h"
#include "settings_store.h"
#include "state/interaction.h"
#include "state/state.h"

class QLabel;
class QPrinter;
class QStandardItemModel;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace vdx {

class PlotView;

namespace db {
struct ResultGridText;
}
class GridView;
class HelpWindow;
class StudyReportWindow;
class QtInteraction;
class RecordsetModel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window and runs its load step: window position and size and
    // the navigator width from the settings, the file association.
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    ProgramState& state() { return state_; }
    MainMenus& menus() { return menus_; }
    SettingsStore& settings() { return *settings_; }
    // The interaction the commands use: Qt dialogs, or one a test installs
    // (not owned; nullptr goes back to the dialogs).
    Interaction& ui();
    void setInteraction(Interaction* ui) { override_ = ui; }
    // How About opens its links (the desktop's viewer by default; tests
    // replace it). The help page itself opens in the help window.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    QString programDirectory() const { return programDir_; }

    // The project file to open on the first activation (the command line).
    void setCommandLine(const QString& path) { commandLine_ = path; }
    // Opens the command line's project file now (done once, on the first
    // activation); false when it could not be opened or there is none.
    bool openCommandLine();

    // Commands of the menus and the toolbar.
    void fileNew();
    void fileOpen();
    void fileSave();
    void fileSaveAs();
    void fileExit();  // closes the window unless the user cancels
    void tablesCopy();
    void tablesSaveAs();
    // Tables > Print: the grid on view (a table, a result, the cohort).
    void tablesPrint();
    void reportsPrint();
    void reportsSaveAs();
    void reportsStudyReport();
    // The printer Reports > Print, Tables > Print and File > Print plot use;
    // it keeps the choices of the dialog.
    QPrinter& reportPrinter() { return *reportPrinter_; }
    void helpContents();
    void helpAbout();
    void helpLicence();
    // Project > Rename and Delete, on the project selected in the tree.
    void projectRename();
    void projectDelete();

    // The navigator: a click on the node with this full path.
    void clickNode(const QString& fullPath, bool rightButton);
    // Selects the node in the tree and shows it, as a click does: the
    // result of a run just done.
    void openNode(const QString& fullPath);
    QString nodePath(QTreeWidgetItem* item) const;
    QTreeWidgetItem* findNode(const QString& fullPath) const;
    QString selectedNodePath() const;  // "" when nothing is selected

    // Shows a result grid's text (person-years and deaths tables) in ResultGrid.
    void showResultGrid(const db::ResultGridText& grid);
    // Builds the report of an SMR table and shows it in RTFResults.
    void showSmrReport(const std::string& smrTable);
    // Builds the SMR report on view again (after a new null value or heading).
    void showCurrentSmrReport();
    // Shows the report of an analysis of causes.
    void showCausesReport(const std::string& analysis);
    // Shows a plot of the "Plots" entries in PlotView (or a note when there
    // is nothing to plot yet); File > Save plot as... saves it into a file,
    // File > Print plot prints it.
    void showPlot(const std::string& plot, const std::string& project);
    void savePlot();
    void printPlot();
    // Makes the widgets show the state: caption, tree, view, entries.
    void refreshFromState();
    // Runs a command: lets go of the working copy, runs it, shows what it
    // left. Unexpected errors show the general error message.
    void runCommand(const std::function<void()>& command);
    // The same for a command on the open study: without one it says "No
    // project loaded" and ends.
    void runStudyCommand(const std::function<void(ProgramState& state, Interaction& ui)>& command);

    // The splitter between the tree and the view area.
    int navigatorWidth() const { return navigatorWidth_; }
    void setNavigatorWidth(int width);  // kept between 20 and the inner width less 20

    GridView* currentGridWidget() const;
    RecordsetModel* mainModel() const { return mainModel_; }

    // Twips (1/1440 inch) per pixel of the screen the window is on.
    double twipsPerPixel() const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets();
    void connectCommands();
    void loadStep();
    bool exitProgram();  // Exit without closing; false when cancelled
    void storeWindowSettings();
    void layoutViews();
    void rebuildTree();
    void fitNavigatorToEntries();
    void showViewWidgets();
    void applyEntries();
    void applyPrintEntries();
    void popUpPlotMenu();
    QString shownNodeTitle() const;
    void sizeToScreen();
    void closeDataViews();
    void reopenDataViews();
    void updateStatus();
    bool treeMouseEvent(QMouseEvent* event);

    ProgramState state_;
    std::unique_ptr<QtInteraction> dialogs_;
    Interaction* override_ = nullptr;
    std::unique_ptr<SettingsStore> settings_;
    std::function<bool(const QUrl&)> openUrl_;
    MainMenus menus_;

    QWidget* viewArea_ = nullptr;
    QTreeWidget* navigator_ = nullptr;
    QLabel* picture1_ = nullptr;
    GridView* mainGrid_ = nullptr;
    GridView* internalGrid_ = nullptr;
    GridView* resultGrid_ = nullptr;
    QTextEdit* rtfResults_ = nullptr;
    PlotView* plotView_ = nullptr;
    std::string shownPlot_, shownPlotProject_;  // what PlotView shows, for saving it
    QLabel* status_ = nullptr;
    HelpWindow* help_ = nullptr;  // made on the first Help > Contents
    StudyReportWindow* studyReport_ = nullptr;  // made on the first Reports > Study report
    RecordsetModel* mainModel_ = nullptr;
    RecordsetModel* internalModel_ = nullptr;
    QStandardItemModel* resultModel_ = nullptr;
    std::string shownReport_;  // the report RTFResults shows, lines ending in CR LF
    std::string shownCauses_;  // the analysis (of causes or categories) whose report is shown, "" for an SMR report
    std::unique_ptr<QPrinter> reportPrinter_;
    db::ResultGridText shownResult_;  // the texts ResultGrid shows, which Tables > Save as... writes

    QString programDir_;
    QString appPath_;
    QString commandLine_;
    int navigatorWidth_ = 200;
    bool sizing_ = false;        // the tree's right edge is being dragged
    bool rightButton_ = false;   // the click under way began with the right button
    bool treeMouseDown_ = false;
    bool activated_ = false;
    bool exiting_ = false;
    std::uint64_t shownRevision_ = UINT64_MAX;
    std::string internalTable_;  // the table InternalGrid shows
    std::optional<std::string> navigatorFittedFor_;  // the project whose tree the pane was widened for
};

}  // namespace vdx
