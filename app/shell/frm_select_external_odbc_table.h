// frmSelectExternalODBCTable ("Select ODBC table"): the table chooser of
// Tables > Main table / Rate table > Add > ODBC. Its Ok copies the chosen
// table at once; when the copy fails (its message is shown by the copy) the
// dialog stays open, so that the user can choose another table or cancel.
#pragma once

#include <functional>

#include "frm_select_external_table.h"

namespace vdx {

class FrmSelectExternalODBCTable : public FrmSelectExternalTable {
    Q_OBJECT
public:
    FrmSelectExternalODBCTable(QWidget* parent, const std::vector<std::string>& tables,
                               std::function<bool(const std::string&)> copy);
    void ok() override;

private:
    std::function<bool(const std::string&)> copy_;
};

}  // namespace vdx
