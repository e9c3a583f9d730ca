#include "main_menus.h"

#include <QAction>
#include <QKeySequence>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>
#include <QToolBar>

#include "frm_options.h"
#include "frm_py_comp.h"
#include "frm_smr_calculator.h"
#include "frm_categories.h"
#include "frm_causes_comp.h"
#include "frm_check_cohort.h"
#include "frm_rate_ratios.h"
#include "frm_smr_comp.h"
#include "frm_srr_comp.h"
#include "tables_menu.h"

namespace vdx {

namespace {

QAction* AddEntry(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

// An entry with the desktop's usual key for its command; `fallback` where
// the platform theme names none (Save as has none without a desktop).
QAction* AddEntry(QMenu* menu, const char* name, const QString& caption, QKeySequence::StandardKey key,
                  const char* fallback) {
    QAction* a = AddEntry(menu, name, caption);
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    if (!keys.contains(QKeySequence(fallback))) keys.append(QKeySequence(fallback));
    a->setShortcuts(keys);
    return a;
}

QMenu* AddMenu(QMainWindow* window, const char* name, const QString& caption) {
    QMenu* m = window->menuBar()->addMenu(caption);
    m->setObjectName(name);
    m->menuAction()->setObjectName(QString(name) + "Menu");
    return m;
}

// A toolbar picture drawn from a short text, for buttons that have no
// picture among the style's standard icons.
QIcon TextIcon(const QString& text, const QColor& colour) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(1, 4, 30, 24), 5, 5);
    QFont f = QApplication::font();
    f.setBold(true);
    f.setPixelSize(text.size() > 2 ? 10 : 13);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(1, 4, 30, 24), Qt::AlignCenter, text);
    return QIcon(pm);
}

QIcon CopyIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(240, 240, 240));
    p.drawRect(4, 3, 15, 19);
    p.drawRect(12, 10, 15, 19);
    return QIcon(pm);
}

QIcon NewIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(Qt::white);
    const QPointF page[] = {{6, 3}, {19, 3}, {26, 10}, {26, 29}, {6, 29}};
    p.drawPolygon(page, 5);
    p.drawPolyline(QPolygonF({QPointF(19, 3), QPointF(19, 10), QPointF(26, 10)}));
    p.setPen(QPen(QColor(40, 140, 60), 3));
    p.drawLine(QPointF(11, 20), QPointF(21, 20));
    p.drawLine(QPointF(16, 15), QPointF(16, 25));
    return QIcon(pm);
}

QIcon PrintIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(Qt::white);
    p.drawRect(9, 3, 14, 10);
    p.setBrush(QColor(170, 170, 170));
    p.drawRoundedRect(3, 12, 26, 11, 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(9, 19, 14, 10);
    return QIcon(pm);
}

// A question mark in a blue disc: the style's help icon is a red life
// buoy that reads as "delete" at toolbar size.
QIcon HelpIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 110, 170));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    QFont f = QApplication::font();
    f.setBold(true);
    f.setPixelSize(20);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, "?");
    return QIcon(pm);
}

}  // namespace

QIcon NavigatorImage(int image) {
    QStyle* style = QApplication::style();
    switch (image) {
        case 1: return style->standardIcon(QStyle::SP_DirClosedIcon);
        case 2: return style->standardIcon(QStyle::SP_DirOpenIcon);
        case 3: return style->standardIcon(QStyle::SP_FileDialogDetailedView);
        default: return {};
    }
}

MainMenus BuildMainMenus(QMainWindow* window) {
    MainMenus m;
    window->menuBar()->setObjectName("MenuBar");

    m.mnuFile = AddMenu(window, "mnuFile", "&File");
    m.mnuFileNew = AddEntry(m.mnuFile, "mnuFileNew", "&New", QKeySequence::New, "Ctrl+N");
    m.mnuFileOpen = AddEntry(m.mnuFile, "mnuFileOpen", "&Open", QKeySequence::Open, "Ctrl+O");
    m.mnuFile->addSeparator();
    m.mnuFileSave = AddEntry(m.mnuFile, "mnuFileSave", "&Save", QKeySequence::Save, "Ctrl+S");
    m.mnuFileSaveAs =
        AddEntry(m.mnuFile, "mnuFileSaveAs", "Save &as...", QKeySequence::SaveAs, "Ctrl+Shift+S");
    m.mnuFile->addSeparator();
    m.mnuFilePlotSaveAs = AddEntry(m.mnuFile, "mnuFilePlotSaveAs", "Save &plot as...");
    m.mnuFilePlotPrint = AddEntry(m.mnuFile, "mnuFilePlotPrint", "P&rint plot");
    m.mnuFile->addSeparator();
    m.mnuFileExit = AddEntry(m.mnuFile, "mnuFileExit", "&Exit", QKeySequence::Quit, "Ctrl+Q");

    m.mnuTables = AddMenu(window, "mnuTables", "&Tables");
    AddTablesMenuEntries(window, m.mnuTables);
    m.mnuTablesSaveAS = AddEntry(m.mnuTables, "mnuTablesSaveAS", "Save &as...");
    m.mnuTablesCopy = AddEntry(m.mnuTables, "mnuTablesCopy", "&Copy");
    m.mnuTablesPrint = AddEntry(m.mnuTables, "mnuTablesPrint", "&Print");

    m.mnuCompute = AddMenu(window, "mnuCompute", "&Compute");
    QAction* computePY = AddEntry(m.mnuCompute, "mnuComputePY", "&Person-Years");
    QObject::connect(computePY, &QAction::triggered, window, [window] { MenuComputePersonYears(window); });
    QAction* computeSmr = AddEntry(m.mnuCompute, "mnuComputeSmr", "&SMR");
    QObject::connect(computeSmr, &QAction::triggered, window, [window] { MenuComputeSmr(window); });
    QAction* computeCauses = AddEntry(m.mnuCompute, "mnuComputeCauses", "SMR for a &cause list...");
    QObject::connect(computeCauses, &QAction::triggered, window, [window] { MenuComputeCauses(window); });
    QAction* computeCategories = AddEntry(m.mnuCompute, "mnuComputeSmrByCategory", "SMR by cate&gory...");
    QObject::connect(computeCategories, &QAction::triggered, window, [window] { MenuComputeSmrByCategory(window); });
    QAction* computeRateRatios = AddEntry(m.mnuCompute, "mnuComputeRateRatios", "Rate ra&tios...");
    QObject::connect(computeRateRatios, &QAction::triggered, window, [window] { MenuComputeRateRatios(window); });
    // Hidden at start-up unless the settings ask for it (startup.cpp).
    QAction* computeSrr = AddEntry(m.mnuCompute, "mnuComputeSrr", "SR&R");
    QObject::connect(computeSrr, &QAction::triggered, window, [window] { MenuComputeSrr(window); });
    m.mnuReports = AddMenu(window, "mnuReports", "&Reports");
    m.mnuReportsPrint = AddEntry(m.mnuReports, "mnuReportsPrint", "&Print", QKeySequence::Print, "Ctrl+P");
    m.mnuReportsSaveAs = AddEntry(m.mnuReports, "mnuReportsSaveAs", "Save &as...");
    m.mnuReports->addSeparator();
    m.mnuReportsStudy = AddEntry(m.mnuReports, "mnuReportsStudy", "&Study report");
    m.mnuTools = AddMenu(window, "mnuTools", "T&ools");
    QAction* calculator = AddEntry(m.mnuTools, "mnuToolsSMRCalculator", "SMR &Calculator");
    QObject::connect(calculator, &QAction::triggered, window, [window] { MenuToolsSMRCalculator(window); });
    QAction* check = AddEntry(m.mnuTools, "mnuToolsCheckCohort", "Check co&hort");
    QObject::connect(check, &QAction::triggered, window, [window] { MenuToolsCheckCohort(window); });
    QAction* options = AddEntry(m.mnuTools, "mnuToolsOptions", "&Options");
    QObject::connect(options, &QAction::triggered, window, [window] { MenuToolsOptions(window); });

    m.mnuHelp = AddMenu(window, "mnuHelp", "&Help");
    m.mnuHelpContents = AddEntry(m.mnuHelp, "mnuHelpContents", "&Contents", QKeySequence::HelpContents, "F1");
    m.mnuHelpLicence = AddEntry(m.mnuHelp, "mnuHelpLicence", "&Licence");
    m.mnuHelp->addSeparator();
    m.mnuHelpAbout = AddEntry(m.mnuHelp, "mnuHelpAbout", "&About");

    // The Project menu is the navigator's pop-up menu: it lives in the menu
    // bar but is never shown there.
    m.mnuProject = AddMenu(window, "mnuProject", "Project");
    m.mnuProject->menuAction()->setVisible(false);
    m.mnuProjectRename = AddEntry(m.mnuProject, "mnuProjectRename", "&Rename");
    m.mnuProject->addSeparator();
    m.mnuProjectDelete = AddEntry(m.mnuProject, "mnuProjectDelete", "&Delete");
    // A plot's commands, on the pop-up menu of its node.
    m.mnuPlot = new QMenu(window);
    m.mnuPlot->setObjectName("mnuPlot");
    m.mnuPlot->addAction(m.mnuFilePlotSaveAs);
    m.mnuPlot->addAction(m.mnuFilePlotPrint);

    m.toolbar = new QToolBar("Toolbar", window);
    m.toolbar->setObjectName("Toolbar1");
    m.toolbar->setMovable(false);
    m.toolbar->setFloatable(false);
    m.toolbar->setIconSize(QSize(24, 24));
    m.toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    window->addToolBar(Qt::TopToolBarArea, m.toolbar);

    QStyle* style = QApplication::style();
    struct ButtonDef {
        const char* key;
        const char* tip;
        QIcon icon;
    };
    const ButtonDef defs[] = {
        {"New", "New", NewIcon()},
        {"Open", "Open", style->standardIcon(QStyle::SP_DialogOpenButton)},
        {"Save", "Save", style->standardIcon(QStyle::SP_DialogSaveButton)},
        {"Print", "Print", PrintIcon()},
        {"Copy", "Copy", CopyIcon()},
        {"Py", "Compute person-years", TextIcon("PY", QColor(40, 110, 170))},
        {"Smr", "Compute SMR", TextIcon("SMR", QColor(170, 70, 40))},
        {"SMRCalculator", "SMR Calculator", TextIcon("Calc", QColor(90, 130, 50))},
        {"Help", "Help", HelpIcon()},
    };
    for (const auto& d : defs) {
        QAction* a = m.toolbar->addAction(d.icon, d.tip);
        a->setObjectName(d.key);
        a->setToolTip(d.tip);
        a->setData(QString(d.key));
        m.buttons.insert(d.key, a);
    }
    return m;
}

QString ButtonCommandName(const QString& key) {
    static const QMap<QString, QString> commands = {
        {"New", "mnuFileNew"},         {"Open", "mnuFileOpen"},
        {"Save", "mnuFileSave"},       {"Print", "mnuReportsPrint"},
        {"Copy", "mnuTablesCopy"},     {"Py", "mnuComputePY"},
        {"Smr", "mnuComputeSmr"},      {"SMRCalculator", "mnuToolsSMRCalculator"},
        {"Help", "mnuHelpContents"},
    };
    return commands.value(key);
}

QAction* ButtonCommand(const MainMenus& m, const QString& key) {
    const QString name = ButtonCommandName(key);
    if (name.isEmpty() || !m.toolbar || !m.toolbar->parentWidget()) return nullptr;
    return m.toolbar->parentWidget()->findChild<QAction*>(name);
}

void RefreshMenuBar(MainMenus& m) {
    for (QMenu* menu : {m.mnuFile, m.mnuTables, m.mnuCompute, m.mnuReports, m.mnuTools, m.mnuHelp}) {
        bool any = false;
        for (QAction* a : menu->actions()) any = any || (!a->isSeparator() && a->isVisible());
        menu->menuAction()->setVisible(any);
    }
    m.mnuProject->menuAction()->setVisible(false);
    // A button runs the menu entry of the same meaning; without one it would
    // do nothing, so it stays hidden.
    for (auto it = m.buttons.begin(); it != m.buttons.end(); ++it)
        it.value()->setVisible(ButtonCommand(m, it.key()) != nullptr);
}

}  // namespace vdx
