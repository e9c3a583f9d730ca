// frmOdbcDataSource ("Select data source"): the ODBC data-source chooser the
// ODBC entries of Tables > Add show before frmSelectExternalODBCTable, in
// place of the driver manager's prompt, which unixODBC does not have. It
// lists the data sources the driver manager knows (lstDataSources) and
// takes a full connection string (txtConnect); choosing a listed source
// puts "DSN=<name>" into the field. Cancel is the cancelled prompt.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "exchange/formats/odbc/odbc_reader.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vdx {

class FrmOdbcDataSource : public QDialog {
    Q_OBJECT
public:
    FrmOdbcDataSource(QWidget* parent, const std::vector<exchange::OdbcDataSource>& sources);

    // The connection string chosen with Ok; nullopt after Cancel.
    const std::optional<std::string>& chosen() const { return chosen_; }
    void ok();
    void reject() override;

private:
    std::optional<std::string> chosen_;
    QListWidget* lstDataSources_;
    QLineEdit* txtConnect_;
    QPushButton* btnOk_;
    QPushButton* btnCancel_;
};

}  // namespace vdx
