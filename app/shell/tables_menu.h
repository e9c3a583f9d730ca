// Tables > Main table and Tables > Rate table, each with its Add sub-menu
// (the entries of the table of formats, file_formats.h: Access 8.0 ... 1.0,
// Excel 8.0 ... 3.0, dBase, Paradox, ASCII..., ODBC..., today's formats) and
// its Remove entry, and the dialogs the attach commands show, built from the
// shell's Qt dialogs.
#pragma once

#include "exchange/commands/attach_commands.h"

class QMainWindow;
class QMenu;
class QWidget;

namespace vdx {

// The attach commands' dialogs on the main window: frmSelectExternalTable,
// frmOdbcDataSource, frmSelectExternalODBCTable and frmTextImport.
class QtAttachDialogs : public exchange::AttachDialogs {
public:
    explicit QtAttachDialogs(QWidget* owner) : owner_(owner) {}
    std::string selectExternalTable(const std::vector<std::string>& tables) override;
    std::optional<std::string> selectOdbcDataSource(const std::vector<exchange::OdbcDataSource>& sources) override;
    bool selectExternalOdbcTable(const std::vector<std::string>& tables,
                                 const std::function<bool(const std::string&)>& copy) override;
    bool textImport(ProgramState& state, Interaction& ui) override;
    std::optional<std::optional<db::RateLayout>> rateTableLayout(const std::string& table,
                                                                 const std::vector<std::string>& columns,
                                                                 double unit) override;

private:
    QWidget* owner_;
};

// Adds the "Main table", "Rate table" and "Cause list" sub-menus to the Tables menu.
void AddTablesMenuEntries(QMainWindow* window, QMenu* mnuTables);

// Tables > Main table > Remove, and Tables > Rate table > Remove... with a
// chooser of the rate tables (starting on the one the tree has selected).
void MenuRemoveTable(QMainWindow* window, bool rateTable);

// An Add entry: the command over the main window's state, then the new
// table's node is clicked, so that the table shows in its grid. `format` is
// the entry's format (file_formats.h).
void MenuAddTable(QMainWindow* window, bool rateTable, const exchange::FileFormat& format);
// Tables > Cause list > Add: `format` the entry's format, nullptr for the
// list the program brings along.
void MenuAddCauseList(QMainWindow* window, const exchange::FileFormat* format);

}  // namespace vdx
