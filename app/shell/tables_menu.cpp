#include "tables_menu.h"

#include "frm_causes_comp.h"
#include "frm_rate_layout.h"

#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenu>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "frm_odbc_data_source.h"
#include "frm_select_external_odbc_table.h"
#include "frm_select_external_table.h"
#include "frm_text_import.h"
#include "db/database.h"
#include "db/navigator_commands.h"
#include "db/project_file.h"
#include "db/remove_table.h"
#include "mortality/cause_list.h"
#include "state/messages.h"
#include "main_window.h"

namespace vdx {

namespace {

constexpr const char* kDefaultCausesTable = "DefaultCauses";

QMenu* SubMenu(QMenu* parent, const QString& name, const QString& caption) {
    QMenu* menu = parent->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name + "Menu");
    return menu;
}

// The formats a table can be added from (ODBC sources only with
// `dataSources`), in their sub-menus, each calling `chosen` with its format.
template <typename Chosen>
void AddFileFormatEntries(QMainWindow* window, QMenu* add, const QString& base, bool dataSources, Chosen chosen) {
    QMap<QString, QMenu*> formats;
    for (const exchange::FileFormat& e : exchange::FileFormats()) {
        if (!e.hasMenuEntry() || (!dataSources && e.layout == exchange::TableLayout::DataSource)) continue;
        QMenu* menu = add;
        if (*e.subMenu) {
            menu = formats.value(e.subMenu);
            if (!menu) {
                menu = SubMenu(add, base + "Add" + QString(e.subMenu).remove('&'), e.subMenu);
                formats.insert(e.subMenu, menu);
            }
        }
        QAction* entry = menu->addAction(e.menuCaption);
        entry->setObjectName(base + "Add" + e.menuName);
        QObject::connect(entry, &QAction::triggered, window, [window, &e, chosen] { chosen(window, e); });
    }
}

// "Main table" or "Rate table" with its Add sub-menu.
void AddTableMenu(QMainWindow* window, QMenu* mnuTables, bool rateTable) {
    const QString base = rateTable ? "mnuTablesRateTable" : "mnuTablesMainTable";
    QMenu* table = SubMenu(mnuTables, base, rateTable ? "&Rate table" : "&Main table");
    QMenu* add = SubMenu(table, base + "Add", "&Add");
    // One entry per format with a menu entry, in the table's order; captions
    // carry their access keys ("&"), object names leave them out.
    AddFileFormatEntries(window, add, base, true,
                         [rateTable](QMainWindow* w, const exchange::FileFormat& e) { MenuAddTable(w, rateTable, e); });
    QAction* remove = table->addAction(rateTable ? "&Remove..." : "&Remove");
    remove->setObjectName(base + "Remove");
    QObject::connect(remove, &QAction::triggered, window, [window, rateTable] { MenuRemoveTable(window, rateTable); });
}

// Tables > Work history > Add: the formats that hold tables in files.
void MenuAddWorkHistory(QMainWindow* window, const exchange::FileFormat& format) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    QtAttachDialogs dialogs(main);
    main->runCommand([&] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        if (exchange::AddWorkHistory(state, ui, dialogs, format))
            ui.message("Work history " + state.ExternalTableName + " added.", Buttons::Ok, Icon::Information,
                       "VELDRIX");
    });
}

void AddWorkHistoryMenu(QMainWindow* window, QMenu* mnuTables) {
    const QString base = "mnuTablesWorkHistory";
    QMenu* add = SubMenu(SubMenu(mnuTables, base, "&Work history"), base + "Add", "&Add");
    AddFileFormatEntries(window, add, base, false, [](QMainWindow* w, const exchange::FileFormat& e) { MenuAddWorkHistory(w, e); });
}

// Tables > Cause list > Add: the list the program brings along, or a table
// of any format but ODBC, checked as it comes in.
void AddCauseListMenu(QMainWindow* window, QMenu* mnuTables) {
    const QString base = "mnuTablesCauseList";
    QMenu* list = SubMenu(mnuTables, base, "Ca&use list");
    QMenu* add = SubMenu(list, base + "Add", "&Add");
    QAction* bundled = add->addAction("Default &list");
    bundled->setObjectName(base + "AddDefault");
    QObject::connect(bundled, &QAction::triggered, window, [window] { MenuAddCauseList(window, nullptr); });
    add->addSeparator();
    AddFileFormatEntries(window, add, base, false, [](QMainWindow* w, const exchange::FileFormat& e) { MenuAddCauseList(w, &e); });
    QAction* revisions = list->addAction("ICD &revisions...");
    revisions->setObjectName("mnuTablesRevisions");
    QObject::connect(revisions, &QAction::triggered, window, [window] { MenuRevisions(window); });
}

// The rate table the tree has selected, "" when it shows something else.
QString SelectedRateTable(MainWindow* main) {
    const auto* tree = main->findChild<QTreeWidget*>("Navigator");
    const QString path = tree && tree->currentItem() ? main->nodePath(tree->currentItem()) : QString();
    const QString prefix = "Main_Rate tables_";
    return path.startsWith(prefix) ? path.mid(prefix.size()) : QString();
}

}  // namespace

std::string QtAttachDialogs::selectExternalTable(const std::vector<std::string>& tables) {
    FrmSelectExternalTable dialog(owner_, tables);
    dialog.exec();
    return dialog.chosen();
}

std::optional<std::string> QtAttachDialogs::selectOdbcDataSource(const std::vector<exchange::OdbcDataSource>& sources) {
    FrmOdbcDataSource dialog(owner_, sources);
    dialog.exec();
    return dialog.chosen();
}

bool QtAttachDialogs::selectExternalOdbcTable(const std::vector<std::string>& tables,
                                              const std::function<bool(const std::string&)>& copy) {
    FrmSelectExternalODBCTable dialog(owner_, tables, copy);
    return dialog.exec() == QDialog::Accepted && !dialog.chosen().empty();
}

bool QtAttachDialogs::textImport(ProgramState& state, Interaction& ui) {
    FrmTextImport dialog(owner_, state, ui);
    return dialog.exec() == QDialog::Accepted && state.TextImportDone;
}

std::optional<std::optional<db::RateLayout>> QtAttachDialogs::rateTableLayout(const std::string& table,
                                                                              const std::vector<std::string>& columns,
                                                                              double unit) {
    FrmRateLayout dialog(owner_, table, columns, unit);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.layout();
}

void AddTablesMenuEntries(QMainWindow* window, QMenu* mnuTables) {
    AddTableMenu(window, mnuTables, false);
    AddTableMenu(window, mnuTables, true);
    AddCauseListMenu(window, mnuTables);
    AddWorkHistoryMenu(window, mnuTables);
    mnuTables->addSeparator();
}

void MenuRemoveTable(QMainWindow* window, bool rateTable) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    main->runCommand([&] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        if (!rateTable || !state.ProjectOpen) {
            if (rateTable) db::RemoveRateTable(state, ui, {});  // says that no file is open
            else db::RemoveMainTable(state, ui);
            return;
        }
        QStringList names;
        for (const auto& n : db::ReadNameList(state.WorkingCopyName, db::kVdxSystemRateTables, "RateTables",
                                              state.RateTableCount))
            names << QString::fromStdString(n);
        if (names.isEmpty()) {
            ui.message("There is no rate table in this project file.", Buttons::Ok, Icon::Exclamation, "VELDRIX");
            return;
        }
        // The chooser starts on the rate table selected in the tree.
        QInputDialog chooser(main);
        chooser.setObjectName("frmRemoveRateTable");
        chooser.setWindowTitle("Remove rate table");
        chooser.setLabelText("&Rate table:");
        chooser.setComboBoxItems(names);
        chooser.setComboBoxEditable(false);
        const int selected = names.indexOf(SelectedRateTable(main));
        chooser.setTextValue(names.value(selected < 0 ? 0 : selected));
        // Wide enough that a window frame shows the whole title (the dialog
        // takes the width of its list).
        if (auto* list = chooser.findChild<QComboBox*>())
            list->setMinimumWidth(std::max(320, chooser.fontMetrics().horizontalAdvance(chooser.windowTitle()) * 2));
        if (chooser.exec() != QDialog::Accepted) return;
        db::RemoveRateTable(state, ui, chooser.textValue().toStdString());
    });
}

void MenuAddTable(QMainWindow* window, bool rateTable, const exchange::FileFormat& format) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    QtAttachDialogs dialogs(main);
    bool added = false;
    main->runCommand([&] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        added = rateTable ? exchange::AddRateTable(state, ui, dialogs, format)
                          : exchange::AddMainTable(state, ui, dialogs, format);
    });
    if (!added) return;
    // Show what came in: the new node, selected in the tree and clicked, fills the grid.
    const QString path = QString::fromStdString(main->state().Navigator.fullPath(main->state().CurrentNode));
    if (QTreeWidgetItem* item = main->findNode(path)) {
        const QSignalBlocker quiet(item->treeWidget());
        item->treeWidget()->setCurrentItem(item);
    }
    main->clickNode(path, false);
}

void MenuAddCauseList(QMainWindow* window, const exchange::FileFormat* format) {
    auto* main = qobject_cast<MainWindow*>(window);
    if (!main) return;
    QtAttachDialogs dialogs(main);
    std::string added;
    main->runCommand([&] {
        ProgramState& state = main->state();
        Interaction& ui = main->ui();
        if (format) {
            if (exchange::AddCauseList(state, ui, dialogs, *format, mortality::RegisterCauseList))
                added = state.ExternalTableName;
        } else if (!state.ProjectOpen) {
            ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        } else {
            try {
                auto db = db::Database::open(state.WorkingCopyName);
                db->beginTransaction();
                mortality::StoreDefaultCauseList(*db, kDefaultCausesTable);
                db->commit();
                state.ProjectChanged = true;
                added = kDefaultCausesTable;
            } catch (const VdxError& e) {
                ShowRunError(ui, e);
            }
        }
        if (!added.empty()) db::RebuildNavigator(state, ui);
    });
    // The list on view, shown and exportable like any table.
    if (!added.empty()) main->openNode(QString::fromStdString("Cause lists_" + added));
}

}  // namespace vdx
