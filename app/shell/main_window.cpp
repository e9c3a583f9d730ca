#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include "db/file_commands.h"
#include "file_association.h"
#include "grid_view.h"
#include "help_windows.h"
#include "mortality/categories_report.h"
#include "mortality/causes_report.h"
#include "db/database.h"
#include "mortality/rate_ratio_run.h"
#include "mortality/smr_report.h"
#include "db/navigator_commands.h"
#include "db/analysis_management.h"
#include "db/project_management.h"
#include "exchange/commands/export_command.h"
#include "report/report_output.h"
#include "report/study_report.h"
#include "study_report_window.h"
#include "mortality/strata_table.h"
#include "plot_view.h"
#include "plots/plot_file.h"
#include "plots/study_plots.h"
#include "qt_interaction.h"
#include "report_font.h"
#include "report_printer.h"
#include "state/errors.h"
#include "table_model.h"
#include "table_printer.h"

namespace vdx {

namespace {

constexpr int kNodeIdRole = Qt::UserRole + 1;
constexpr int kMinNavigatorWidth = 20;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Keeps widgets from the user while a print reads the view they would
// change; the progress window, a window of its own, stays usable.
class InputPaused {
public:
    explicit InputPaused(std::initializer_list<QWidget*> widgets) {
        for (QWidget* w : widgets)
            if (w && w->isEnabled()) {
                w->setEnabled(false);
                paused_.emplace_back(w);
            }
    }
    ~InputPaused() {
        for (const auto& w : paused_)
            if (w) w->setEnabled(true);
    }
    InputPaused(const InputPaused&) = delete;
    InputPaused& operator=(const InputPaused&) = delete;

private:
    std::vector<QPointer<QWidget>> paused_;
};

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      dialogs_(std::make_unique<QtInteraction>(this)),
      settings_(std::make_unique<SettingsStore>()),
      openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      reportPrinter_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setObjectName("frmMain");
    programDir_ = QCoreApplication::applicationDirPath();
    AddFixedNavigatorNodes(state_);
    buildWidgets();
    menus_ = BuildMainMenus(this);
    connectCommands();
    RefreshMenuBar(menus_);
    loadStep();
    refreshFromState();
}

MainWindow::~MainWindow() {
    // The views let go of the working copy before the state goes.
    if (mainModel_) mainModel_->close();
    if (internalModel_) internalModel_->close();
}

Interaction& MainWindow::ui() { return override_ ? *override_ : *dialogs_; }

void MainWindow::buildWidgets() {
    viewArea_ = new QWidget(this);
    viewArea_->setObjectName("ViewArea");
    setCentralWidget(viewArea_);

    navigator_ = new QTreeWidget(viewArea_);
    navigator_->setObjectName("Navigator");
    navigator_->setHeaderHidden(true);
    navigator_->setColumnCount(1);
    // Long names scroll instead of being cut short.
    navigator_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    navigator_->header()->setStretchLastSection(false);
    navigator_->setSelectionMode(QAbstractItemView::SingleSelection);
    navigator_->setExpandsOnDoubleClick(true);
    navigator_->viewport()->installEventFilter(this);
    navigator_->viewport()->setMouseTracking(true);
    connect(navigator_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) {
                // Moving through the tree with the keyboard clicks the node
                // reached; mouse clicks are handled on release.
                if (current && !treeMouseDown_ && navigator_->hasFocus())
                    clickNode(nodePath(current), false);
            });

    picture1_ = new QLabel(viewArea_);
    picture1_->setObjectName("Picture1");
    picture1_->setAlignment(Qt::AlignCenter);
    picture1_->setWordWrap(true);
    picture1_->setMargin(24);
    picture1_->setAutoFillBackground(true);
    picture1_->setStyleSheet("QLabel#Picture1 { color: palette(mid); background: palette(base); }");

    mainGrid_ = new GridView("MainGrid", viewArea_);
    internalGrid_ = new GridView("InternalGrid", viewArea_);
    resultGrid_ = new GridView("ResultGrid", viewArea_);
    mainModel_ = new RecordsetModel(this);
    internalModel_ = new RecordsetModel(this);
    resultModel_ = new QStandardItemModel(this);
    mainGrid_->setModel(mainModel_);
    internalGrid_->setModel(internalModel_);
    resultGrid_->setModel(resultModel_);
    for (GridView* g : {mainGrid_, internalGrid_, resultGrid_})
        connect(g, &GridView::copyRequested, this, &MainWindow::tablesCopy);

    plotView_ = new PlotView(viewArea_);
    rtfResults_ = new QTextEdit(viewArea_);
    rtfResults_->setObjectName("RTFResults");
    rtfResults_->setReadOnly(true);
    rtfResults_->setFont(ReportFont());
    rtfResults_->setLineWrapMode(QTextEdit::NoWrap);

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName("StatusBar1");
    setStatusBar(statusBar);
    status_ = new QLabel(statusBar);
    status_->setObjectName("StatusText");
    statusBar->addWidget(status_, 1);

    // The view area lays out the tree and the views when it is resized.
    viewArea_->installEventFilter(this);
}

void MainWindow::connectCommands() {
    connect(menus_.mnuFileNew, &QAction::triggered, this, &MainWindow::fileNew);
    connect(menus_.mnuFileOpen, &QAction::triggered, this, &MainWindow::fileOpen);
    connect(menus_.mnuFileSave, &QAction::triggered, this, &MainWindow::fileSave);
    connect(menus_.mnuFileSaveAs, &QAction::triggered, this, &MainWindow::fileSaveAs);
    connect(menus_.mnuFileExit, &QAction::triggered, this, &MainWindow::fileExit);
    connect(menus_.mnuTablesCopy, &QAction::triggered, this, &MainWindow::tablesCopy);
    connect(menus_.mnuTablesSaveAS, &QAction::triggered, this, &MainWindow::tablesSaveAs);
    connect(menus_.mnuTablesPrint, &QAction::triggered, this, &MainWindow::tablesPrint);
    connect(menus_.mnuFilePlotSaveAs, &QAction::triggered, this, &MainWindow::savePlot);
    connect(menus_.mnuFilePlotPrint, &QAction::triggered, this, &MainWindow::printPlot);
    plotView_->setMenuActions({menus_.mnuFilePlotSaveAs, menus_.mnuFilePlotPrint});
    connect(menus_.mnuReportsPrint, &QAction::triggered, this, &MainWindow::reportsPrint);
    connect(menus_.mnuReportsSaveAs, &QAction::triggered, this, &MainWindow::reportsSaveAs);
    connect(menus_.mnuReportsStudy, &QAction::triggered, this, &MainWindow::reportsStudyReport);
    connect(menus_.mnuHelpContents, &QAction::triggered, this, &MainWindow::helpContents);
    connect(menus_.mnuHelpAbout, &QAction::triggered, this, &MainWindow::helpAbout);
    connect(menus_.mnuHelpLicence, &QAction::triggered, this, &MainWindow::helpLicence);
    connect(menus_.mnuProjectRename, &QAction::triggered, this, &MainWindow::projectRename);
    connect(menus_.mnuProjectDelete, &QAction::triggered, this, &MainWindow::projectDelete);
    // A toolbar button runs the menu entry of the same meaning, by its key.
    connect(menus_.toolbar, &QToolBar::actionTriggered, this, [this](QAction* button) {
        if (QAction* command = ButtonCommand(menus_, button->data().toString()))
            if (command->isEnabled()) command->trigger();
    });
}

double MainWindow::twipsPerPixel() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

void MainWindow::loadStep() {
    const WindowSettings w = ReadWindowSettings(*settings_, programDir_);
    const double tpp = twipsPerPixel();
    if (w.sizeStored) {
        resize(std::max(1, static_cast<int>(std::lround(w.width / tpp))),
               std::max(1, static_cast<int>(std::lround(w.height / tpp))));
        move(static_cast<int>(std::lround(w.left / tpp)), static_cast<int>(std::lround(w.top / tpp)));
    } else {
        sizeToScreen();
    }
    navigatorWidth_ = w.navigatorWidth;
    appPath_ = w.appPath;
    WriteFileAssociation(appPath_);  // failures are ignored
    settings_->write("Settings", "RegisterFiles", "True");
    settings_->sync();
    layoutViews();
}

// The first start, with no size stored: most of the screen, centred.
void MainWindow::sizeToScreen() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect room = s->availableGeometry();
    QRect frame(QPoint(0, 0), QSize(room.width() * 4 / 5, room.height() * 4 / 5));
    frame.moveCenter(room.center());
    resize(frame.size());
    move(frame.topLeft());
}

// ---- Layout and splitter ----------------------------------------------------

void MainWindow::setNavigatorWidth(int width) {
    if (width < kMinNavigatorWidth) width = kMinNavigatorWidth;
    const int inner = viewArea_->width();
    if (width > inner - kMinNavigatorWidth) width = inner - kMinNavigatorWidth;
    navigatorWidth_ = width;
    layoutViews();
}

void MainWindow::layoutViews() {
    const int height = std::max(0, viewArea_->height());
    const int width = viewArea_->width();
    navigator_->setGeometry(0, 0, navigatorWidth_, height);
    const QRect view(navigatorWidth_, 0, std::max(0, width - navigatorWidth_), height);
    for (QWidget* w : {static_cast<QWidget*>(picture1_), static_cast<QWidget*>(mainGrid_),
                       static_cast<QWidget*>(internalGrid_), static_cast<QWidget*>(resultGrid_),
                       static_cast<QWidget*>(rtfResults_), static_cast<QWidget*>(plotView_)})
        w->setGeometry(view);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewArea_ && event->type() == QEvent::Resize) {
        layoutViews();
        return false;
    }
    if (navigator_ && watched == navigator_->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseMove:
                return treeMouseEvent(static_cast<QMouseEvent*>(event));
            default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::treeMouseEvent(QMouseEvent* event) {
    QWidget* viewport = navigator_->viewport();
    const int x = viewport->mapTo(navigator_, event->position().toPoint()).x();
    const bool nearEdge = navigator_->width() - 10 < x;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            treeMouseDown_ = true;
            rightButton_ = event->button() == Qt::RightButton;
            if (event->button() == Qt::LeftButton && nearEdge) {
                sizing_ = true;
                viewport->setCursor(Qt::SizeHorCursor);
                return true;  // the press belongs to the splitter, not to a node
            }
            return false;
        case QEvent::MouseMove:
            if (sizing_ && (event->buttons() & Qt::LeftButton)) {
                setNavigatorWidth(x);
                return true;
            }
            if (!event->buttons()) {
                // Show where the edge can be taken.
                if (nearEdge)
                    viewport->setCursor(Qt::SizeHorCursor);
                else
                    viewport->unsetCursor();
            }
            return false;
        case QEvent::MouseButtonRelease: {
            treeMouseDown_ = false;
            if (sizing_) {
                sizing_ = false;
                viewport->unsetCursor();
                return true;
            }
            QTreeWidgetItem* item = navigator_->itemAt(event->position().toPoint());
            const bool right = rightButton_;
            rightButton_ = false;
            // A click on the expand arrow only opens or closes the branch.
            if (item && navigator_->visualItemRect(item).contains(event->position().toPoint())) {
                const QString path = nodePath(item);
                QTimer::singleShot(0, this, [this, path, right] { clickNode(path, right); });
            }
            return false;
        }
        default: return false;
    }
}

// ---- The tree ---------------------------------------------------------------

QString MainWindow::nodePath(QTreeWidgetItem* item) const {
    QString path;
    for (; item; item = item->parent())
        path = path.isEmpty() ? item->text(0) : item->text(0) + NavigatorTree::kPathSeparator + path;
    return path;
}

QTreeWidgetItem* MainWindow::findNode(const QString& fullPath) const {
    for (QTreeWidgetItemIterator it(navigator_); *it; ++it)
        if (nodePath(*it) == fullPath) return *it;
    return nullptr;
}

void MainWindow::rebuildTree() {
    if (shownRevision_ == state_.Navigator.revision()) return;
    shownRevision_ = state_.Navigator.revision();
    const QSignalBlocker block(navigator_);
    navigator_->clear();
    std::map<int, QTreeWidgetItem*> items;
    for (const NavigatorNode& n : state_.Navigator.nodes()) {
        QTreeWidgetItem* item = nullptr;
        auto parent = items.find(n.parent);
        if (parent != items.end())
            item = new QTreeWidgetItem(parent->second);
        else
            item = new QTreeWidgetItem(navigator_);
        item->setText(0, Q(n.text));
        item->setToolTip(0, Q(n.text));  // the whole name where the pane cuts it
        item->setData(0, kNodeIdRole, n.id);
        QIcon icon = NavigatorImage(n.image);
        if (n.selectedImage) icon.addPixmap(NavigatorImage(n.selectedImage).pixmap(16), QIcon::Selected);
        item->setIcon(0, icon);
        items[n.id] = item;
    }
    navigator_->expandAll();
}

// The first time a project's tree is shown (and the empty tree at start) the
// pane widens to its longest entry; it never narrows, and the splitter's
// limits hold. Later the width is the user's.
void MainWindow::fitNavigatorToEntries() {
    if (!isVisible() || navigatorFittedFor_ == state_.ProjectFileName) return;
    navigatorFittedFor_ = state_.ProjectFileName;
    const QAbstractItemView* view = navigator_;  // the tree's own hint, through the public base
    int needed = view->sizeHintForColumn(0) + 2 * navigator_->frameWidth() + 8;
    if (navigator_->verticalScrollBar()->isVisible()) needed += navigator_->verticalScrollBar()->width();
    if (needed > navigatorWidth_) setNavigatorWidth(needed);
}

void MainWindow::clickNode(const QString& fullPath, bool rightButton) {
    statusBar()->clearMessage();
    const db::NodeClickAction action = db::ClickNode(state_, ui(), fullPath.toStdString(), rightButton);
    if (action.showProjectMenu) {
        // The project whose menu is shown is the selected entry its commands take.
        if (QTreeWidgetItem* item = findNode(fullPath)) {
            const QSignalBlocker block(navigator_);
            navigator_->setCurrentItem(item);
        }
        bool any = false;
        for (QAction* a : menus_.mnuProject->actions()) any = any || !a->isSeparator();
        if (any) menus_.mnuProject->popup(QCursor::pos());
        return;
    }
    try {
        switch (action.kind) {
            case db::NodeKind::RateTable:
                internalTable_ = action.tableName;
                internalModel_->open(state_.WorkingCopyName, internalTable_, false);
                break;
            case db::NodeKind::MainTable:
                mainModel_->open(state_.WorkingCopyName, state_.MainTableName, true);
                break;
            case db::NodeKind::Deaths:
            case db::NodeKind::SrrSettings:
            case db::NodeKind::PersonYears:
                if (action.resultGrid) showResultGrid(*action.resultGrid);
                break;
            case db::NodeKind::Strata:
                showResultGrid(mortality::ShowStrata(state_, action.project));
                break;
            case db::NodeKind::Plot:
                showPlot(action.plot, action.project);
                if (rightButton) QTimer::singleShot(0, this, &MainWindow::popUpPlotMenu);
                break;
            case db::NodeKind::Smr:
                showSmrReport(action.tableName);
                break;
            case db::NodeKind::StoredTable:
                if (action.resultGrid) showResultGrid(*action.resultGrid);
                break;
            case db::NodeKind::CausesReport:
                showCausesReport(action.project);
                break;
            case db::NodeKind::Other: break;
        }
    } catch (const VdxError& e) {
        ShowGeneralError(ui(), e.number(), e.description());
        ShowView(state_, ViewName::Empty);
        state_.Entries = db::EntriesAfterClick(db::NodeKind::Other, state_.Entries);
    }
    refreshFromState();
}

void MainWindow::openNode(const QString& fullPath) {
    if (QTreeWidgetItem* item = findNode(fullPath)) {
        const QSignalBlocker block(navigator_);
        navigator_->setCurrentItem(item);
        navigator_->scrollToItem(item);
    }
    clickNode(fullPath, false);
}

// ---- Views ------------------------------------------------------------------

void MainWindow::showResultGrid(const db::ResultGridText& g) {
    shownResult_ = g;
    resultModel_->clear();
    resultModel_->setRowCount(std::max(0, g.rows - 1));
    resultModel_->setColumnCount(std::max(0, g.cols - 1));
    for (int j = 1; j < g.cols; ++j) resultModel_->setHorizontalHeaderItem(j - 1, new QStandardItem(Q(g.at(0, j))));
    for (int i = 1; i < g.rows; ++i) resultModel_->setVerticalHeaderItem(i - 1, new QStandardItem(Q(g.at(i, 0))));
    for (int i = 1; i < g.rows; ++i)
        for (int j = 1; j < g.cols; ++j) {
            auto* item = new QStandardItem(Q(db::ShownCellText(g, i, j)));
            const bool text = j < static_cast<int>(g.textColumns.size()) && g.textColumns[static_cast<size_t>(j)];
            item->setTextAlignment((text ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            item->setEditable(false);
            resultModel_->setItem(i - 1, j - 1, item);
        }
    resultGrid_->setCornerText(Q(g.at(0, 0)));
    resultGrid_->resizeColumnsToContents();
}

void MainWindow::showCausesReport(const std::string& analysis) {
    // The analysis' report by its kind: categories, rate ratios or causes.
    const bool rateRatios = state_.CurrentResult != "CategoriesReport" &&
                            mortality::IsRateRatioAnalysis(*db::Database::open(state_.WorkingCopyName), analysis);
    shownReport_ = state_.CurrentResult == "CategoriesReport" ? mortality::BuildCategoriesReport(state_, analysis)
                   : rateRatios                                ? mortality::BuildRateRatioReport(state_, analysis)
                                                               : mortality::BuildCausesReport(state_, analysis);
    shownCauses_ = analysis;
    QString text = Q(shownReport_);
    text.replace("\r\n", "\n");
    rtfResults_->setPlainText(text);
}

void MainWindow::showSmrReport(const std::string& smrTable) {
    shownCauses_.clear();
    shownReport_ = mortality::BuildSmrReport(state_, smrTable);
    QString text = Q(shownReport_);
    text.replace("\r\n", "\n");
    rtfResults_->setPlainText(text);
}

void MainWindow::showCurrentSmrReport() {
    const bool causes = (state_.CurrentResult == "CausesReport" || state_.CurrentResult == "CategoriesReport") &&
                        !shownCauses_.empty();
    if (state_.CurrentView == ViewName::ResultRTF &&
        (causes || (state_.CurrentResult == "Smr" && !state_.CurrentSMRTable.empty()))) {
        try {
            if (causes) showCausesReport(shownCauses_);
            else showSmrReport(state_.CurrentSMRTable);
        } catch (const VdxError& e) {
            ShowGeneralError(ui(), e.number(), e.description());
            ShowView(state_, ViewName::Empty);
            state_.Entries = db::EntriesAfterClick(db::NodeKind::Other, state_.Entries);
        }
    }
    refreshFromState();
}

void MainWindow::showPlot(const std::string& plot, const std::string& project) {
    plotView_->clear();
    shownPlot_ = plot;
    shownPlotProject_ = project;
    plots::PlotKind kind{};
    plots::PlotKindFromName(plot, kind);
    try {
        plotView_->setPlot(plots::BuildPlot(state_, kind, project));
    } catch (const VdxError& e) {
        // Nothing to plot yet (no SMR project, no person-years): the view
        // says so; a file that cannot be read is an error.
        if (e.number() != err::ObjectNotFound) throw;
        plotView_->showNote(Q(e.description()));
    }
}

void MainWindow::printPlot() {
    if (state_.CurrentView != ViewName::Chart || !plotView_->hasPlot()) return;
    plots::PlotKind kind{};
    plots::PlotKindFromName(shownPlot_, kind);
    plots::Plot plot;
    try {
        plot = plots::BuildPlot(state_, kind, shownPlotProject_);
    } catch (const VdxError& e) {
        ShowGeneralError(ui(), e.number(), e.description());
        return;
    }
    reportPrinter_->setDocName(shownNodeTitle());
    QtPlotPrinter printer(this, *reportPrinter_, plot);
    report::PrintReport(ui(), printer);
}

// The pop-up menu of a plot's node, once a right click has shown the plot.
void MainWindow::popUpPlotMenu() {
    if (state_.CurrentView == ViewName::Chart && plotView_->hasPlot()) menus_.mnuPlot->popup(QCursor::pos());
}

void MainWindow::savePlot() {
    if (state_.CurrentView != ViewName::Chart || !plotView_->hasPlot()) return;
    FileDialogRequest request;
    request.title = "Save plot as";
    for (const plots::PlotFileType& type : plots::PlotFileTypes())
        request.filter += std::string(request.filter.empty() ? "" : "|") + type.name + " (*." + type.ending + ")|*." +
                          type.ending;
    request.defaultExtension = plots::PlotFileTypes().front().ending;
    request.fileName =
        (shownPlotProject_.empty() ? shownPlot_ : shownPlotProject_ + "-" + shownPlot_) + "." + request.defaultExtension;
    request.flags = file_dialog::OverwritePrompt;
    const auto chosen = ui().saveFile(request);
    if (!chosen) return;
    try {
        plots::PlotKind kind{};
        plots::PlotKindFromName(shownPlot_, kind);
        plots::SavePlot(plots::BuildPlot(state_, kind, shownPlotProject_), QString::fromStdString(chosen->path));
        statusBar()->showMessage("The plot has been saved as " + QString::fromStdString(chosen->path) + ".");
    } catch (const VdxError& e) {
        ShowGeneralError(ui(), e.number(), e.description());
    }
}

GridView* MainWindow::currentGridWidget() const {
    switch (state_.CurrentGrid) {
        case GridName::MainGrid: return mainGrid_;
        case GridName::InternalGrid: return internalGrid_;
        case GridName::ResultGrid: return resultGrid_;
        case GridName::None: return nullptr;
    }
    return nullptr;
}

void MainWindow::showViewWidgets() {
    // The main data table is shown through its own model, opened when needed.
    if (state_.CurrentView == ViewName::MainGrid && !mainModel_->isOpen()) {
        try {
            mainModel_->open(state_.WorkingCopyName, state_.MainTableName, true);
        } catch (const VdxError& e) {
            ShowGeneralError(ui(), e.number(), e.description());
            ShowView(state_, ViewName::Empty);
        }
    }
    QWidget* shown = picture1_;
    switch (state_.CurrentView) {
        case ViewName::Empty: shown = picture1_; break;
        case ViewName::MainGrid: shown = mainGrid_; break;
        case ViewName::InternalGrid: shown = internalGrid_; break;
        case ViewName::ResultGrid: shown = resultGrid_; break;
        case ViewName::ResultRTF: shown = rtfResults_; break;
        case ViewName::Chart: shown = plotView_; break;
    }
    for (QWidget* w : {static_cast<QWidget*>(picture1_), static_cast<QWidget*>(mainGrid_),
                       static_cast<QWidget*>(internalGrid_), static_cast<QWidget*>(resultGrid_),
                       static_cast<QWidget*>(rtfResults_), static_cast<QWidget*>(plotView_)})
        if (w != shown) w->hide();
    shown->show();
    picture1_->setText(state_.ProjectOpen
                           ? "Choose a table or result in the tree on the left to show it here."
                           : "No project file is open.\n\nCreate one with File > New or open one "
                             "with File > Open.");
}

void MainWindow::applyEntries() {
    const ViewEntries& e = state_.Entries;
    const std::pair<const char*, bool> entries[] = {
        {"mnuTablesSaveAS", e.tablesSaveAs},   {"mnuTablesCopy", e.tablesCopy},
        {"mnuReportsSaveAs", e.reportsSaveAs}, {"mnuReportsPrint", e.reportsPrint},
    };
    for (const auto& [name, on] : entries)
        if (QAction* a = findChild<QAction*>(name)) a->setEnabled(on);
    menus_.buttons.value("Copy")->setEnabled(e.buttonCopy);
    menus_.buttons.value("Print")->setEnabled(e.buttonPrint);
}

// Tables > Print while a grid is on view; the plot's entries while a plot is.
void MainWindow::applyPrintEntries() {
    const ViewName v = state_.CurrentView;
    menus_.mnuTablesPrint->setEnabled(v == ViewName::MainGrid || v == ViewName::InternalGrid ||
                                      v == ViewName::ResultGrid);
    const bool plot = v == ViewName::Chart && plotView_->hasPlot();
    menus_.mnuFilePlotSaveAs->setEnabled(plot);
    menus_.mnuFilePlotPrint->setEnabled(plot);
}

void MainWindow::updateStatus() {
    QString text;
    if (state_.CurrentView == ViewName::MainGrid || state_.CurrentView == ViewName::InternalGrid) {
        const RecordsetModel* m = state_.CurrentView == ViewName::MainGrid ? mainModel_ : internalModel_;
        text = Q(m->tableName()) + ": " + QLocale().toString(m->rowCount()) + " rows";
    } else if (state_.ProjectOpen) {
        text = Q(state_.ProjectFileName) + (db::ProjectFileReadOnly(state_) ? "  (read-only)" : "") +
               (state_.ProjectChanged ? "  (changed)" : "");
    } else {
        text = "No project file open";
    }
    status_->setText(text);
}

void MainWindow::refreshFromState() {
    setWindowTitle(Q(db::MainWindowCaption(state_)));
    rebuildTree();
    fitNavigatorToEntries();
    showViewWidgets();
    applyEntries();
    applyPrintEntries();
    updateStatus();
}

void MainWindow::closeDataViews() {
    mainModel_->close();
    internalModel_->close();
}

void MainWindow::reopenDataViews() {
    if (state_.CurrentView == ViewName::InternalGrid && !internalModel_->isOpen()) {
        try {
            internalModel_->open(state_.WorkingCopyName, internalTable_, false);
        } catch (const VdxError&) {
            ShowView(state_, ViewName::Empty);  // the table went away with the command
            state_.Entries = db::EntriesAfterClick(db::NodeKind::Other, state_.Entries);
        }
    }
}

void MainWindow::runCommand(const std::function<void()>& command) {
    statusBar()->clearMessage();  // the note of the command before
    closeDataViews();
    try {
        command();
    } catch (const VdxError& e) {
        ShowGeneralError(ui(), e.number(), e.description());
    } catch (const std::exception& e) {
        ShowGeneralError(ui(), err::EngineGeneral, e.what());
    }
    reopenDataViews();
    refreshFromState();
}

void MainWindow::runStudyCommand(const std::function<void(ProgramState& state, Interaction& ui)>& command) {
    runCommand([this, &command] {
        if (!state_.ProjectOpen) {
            ui().message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, kApplicationName);
            return;
        }
        command(state_, ui());
    });
}

// ---- File menu ----------------------------------------------------------------

void MainWindow::fileNew() {
    runCommand([this] { db::FileNew(state_, ui()); });
}

void MainWindow::fileOpen() {
    runCommand([this] { db::FileOpen(state_, ui()); });
}

void MainWindow::fileSave() {
    runCommand([this] { db::FileSave(state_, ui()); });
}

void MainWindow::fileSaveAs() {
    runCommand([this] { db::FileSaveAs(state_, ui()); });
}

bool MainWindow::openCommandLine() {
    activated_ = true;
    if (commandLine_.isEmpty()) return false;
    const std::string path = commandLine_.toStdString();
    commandLine_.clear();
    bool opened = false;
    runCommand([&] { opened = db::OpenProjectFile(state_, ui(), path); });
    return opened;
}

bool MainWindow::exitProgram() {
    // The views let go of the working copy before Exit deletes it.
    closeDataViews();
    bool done = false;
    try {
        done = db::FileExit(state_, ui());
    } catch (const VdxError& e) {
        ShowGeneralError(ui(), e.number(), e.description());
    }
    if (!done) {  // the program keeps running
        reopenDataViews();
        refreshFromState();
        return false;
    }
    if (!isMinimized()) storeWindowSettings();
    return true;
}

void MainWindow::storeWindowSettings() {
    const double tpp = twipsPerPixel();
    WindowSettings w;
    w.left = pos().x() * tpp;
    w.top = pos().y() * tpp;
    w.width = width() * tpp;
    w.height = height() * tpp;
    w.navigatorWidth = navigatorWidth_;
    w.appPath = programDir_;
    WriteExitSettings(*settings_, w, state_.SmrNullValue);
}

void MainWindow::fileExit() {
    if (!exitProgram()) return;
    exiting_ = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box runs Exit; Cancel there keeps the window open.
    if (!exiting_ && !exitProgram()) {
        event->ignore();
        return;
    }
    exiting_ = true;
    event->accept();
}

bool MainWindow::event(QEvent* event) {
    // The project file of the command line opens on the first activation;
    // a window that never becomes active (no window manager) opens it once
    // shown.
    if (!activated_ && (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)) {
        activated_ = true;
        QTimer::singleShot(0, this, [this] {
            fitNavigatorToEntries();
            openCommandLine();
        });
    }
    return QMainWindow::event(event);
}

// ---- Project menu (the navigator's pop-up) ------------------------------------

QString MainWindow::selectedNodePath() const {
    return navigator_->currentItem() ? nodePath(navigator_->currentItem()) : QString();
}

void MainWindow::projectRename() {
    const std::string path = selectedNodePath().toStdString();
    runCommand([this, &path] {
        if (db::IsAnalysisEntry(state_, path)) db::RenameAnalysis(state_, ui(), path);
        else db::RenameProject(state_, ui(), path);
    });
}

void MainWindow::projectDelete() {
    const std::string path = selectedNodePath().toStdString();
    runCommand([this, &path] {
        if (db::IsAnalysisEntry(state_, path)) db::DeleteAnalysis(state_, ui(), path);
        else db::DeleteProject(state_, ui(), path);
    });
}

// ---- Tables > Copy and Help ------------------------------------------------------

void MainWindow::tablesCopy() {
    GridView* grid = currentGridWidget();
    if (!grid) return;
    BusyPointer busy(ui());
    const std::string text = CopySelectionText(
        grid->selection(), [grid](int r, int c) { return grid->cellText(r, c).toStdString(); });
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(Q(text));
}

void MainWindow::tablesSaveAs() {
    runCommand([this] { exchange::SaveTableAs(state_, ui(), shownResult_, *settings_); });
}

// The printed title of the view: the project file and the node on view.
QString MainWindow::shownNodeTitle() const {
    QStringList path;
    for (QTreeWidgetItem* item = navigator_->currentItem(); item; item = item->parent()) path.prepend(item->text(0));
    const QString file = QFileInfo(Q(state_.ProjectFileName)).fileName();
    if (path.isEmpty()) return file;
    return file.isEmpty() ? path.join(" > ") : file + ": " + path.join(" > ");
}

void MainWindow::tablesPrint() {
    const ViewName v = state_.CurrentView;
    GridView* grid = currentGridWidget();
    if (!grid || (v != ViewName::MainGrid && v != ViewName::InternalGrid && v != ViewName::ResultGrid)) return;
    PrintedGrid printed;
    printed.title = shownNodeTitle();
    printed.rows = grid->gridRows();
    printed.cols = grid->gridCols();
    printed.text = [grid](int r, int c) { return grid->cellText(r, c); };
    printed.rightAligned = [grid](int r, int c) { return grid->cellRightAligned(r, c); };
    reportPrinter_->setDocName(printed.title);
    QtTablePrinter printer(this, *reportPrinter_, ui(), std::move(printed));
    if (!printer.choose()) return;
    // The grid is read while the pages are made: nothing may change it.
    const InputPaused paused({viewArea_, menuBar(), menus_.toolbar});
    BusyPointer busy(ui());
    ShowingErrors(ui(), [&] {
        printer.print();
        return true;
    });
}

// ---- Reports -----------------------------------------------------------------------

void MainWindow::reportsPrint() {
    if (state_.CurrentView != ViewName::ResultRTF) return;
    QtReportPrinter printer(this, *reportPrinter_, *rtfResults_->document());
    report::PrintReport(ui(), printer);
}

void MainWindow::reportsSaveAs() {
    if (state_.CurrentView != ViewName::ResultRTF) return;
    if ((state_.CurrentResult == "CausesReport" || state_.CurrentResult == "CategoriesReport") &&
        !shownCauses_.empty())
        report::SaveReportAs(ui(), shownCauses_, {shownReport_, 0, {}});
    else
        report::SaveSmrReportAs(state_, ui(), {shownReport_, 0, {}});
}

void MainWindow::reportsStudyReport() {
    if (!state_.ProjectOpen) {
        ui().message(Message(16), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return;
    }
    const auto html = report::MakeStudyReport(state_, ui());
    if (!html) return;
    if (!studyReport_) studyReport_ = new StudyReportWindow(this, ui(), reportPrinter());
    const std::string name = QFileInfo(Q(state_.ProjectFileName)).completeBaseName().toStdString() + " report";
    studyReport_->showReport(*html, name);
}

void MainWindow::helpContents() {
    const QString page = HelpPagePath(programDir_);
    if (!help_) help_ = new HelpWindow(this);
    if (!help_->showPage(page))
        ui().message("The help page " + page.toStdString() + " could not be opened.", Buttons::Ok,
                     Icon::Exclamation, "VELDRIX");
}

void MainWindow::helpAbout() {
    // The link to the help page closes About and opens the help window.
    const QUrl helpPage = QUrl::fromLocalFile(HelpPagePath(programDir_));
    bool showHelp = false;
    AboutWindow* shown = nullptr;
    AboutWindow about(this, programDir_, [&](const QUrl& url) {
        if (url != helpPage) return openUrl_(url);
        showHelp = true;
        shown->accept();
        return true;
    });
    shown = &about;
    about.exec();
    if (showHelp) helpContents();
}

void MainWindow::helpLicence() {
    LicenceWindow licence(this);
    licence.exec();
}

}  // namespace vdx
