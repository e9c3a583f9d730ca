#include "frm_select_external_odbc_table.h"

namespace vdx {

FrmSelectExternalODBCTable::FrmSelectExternalODBCTable(QWidget* parent, const std::vector<std::string>& tables,
                                                       std::function<bool(const std::string&)> copy)
    : FrmSelectExternalTable(parent, tables), copy_(std::move(copy)) {
    setObjectName("frmSelectExternalODBCTable");
    setWindowTitle("Select ODBC table");
}

void FrmSelectExternalODBCTable::ok() {
    const std::string table = selected();
    if (table.empty()) return;  // an empty list: only Cancel leaves
    if (!copy_(table)) return;  // the copy showed its message; choose again
    chosen_ = table;
    accept();
}

}  // namespace vdx
