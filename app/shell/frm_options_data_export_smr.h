// The dialog frmOptionsDataExportSMR ("Data Export Options for the SMR"):
// which figures of an SMR result Tables > Save as... writes. The choice is
// kept in the dialog until Ok stores it in the settings (section "Exports");
// Cancel and the close box store nothing. Opened modally by the Data Export
// button of Tools > Options.
#pragma once

#include <QDialog>

#include "exchange/commands/export_command.h"
#include "state/settings_access.h"

class QListWidget;

namespace vdx {

class FrmOptionsDataExportSMR : public QDialog {
    Q_OBJECT
public:
    FrmOptionsDataExportSMR(QWidget* parent, SettingsAccess& settings);

private:
    // Both lists again from the choices: each name, in order, in
    // lstSelected when exported, else in lstVariables.
    void refill();
    // ">" and "<": the entry selected in `from` changes side; nothing when no entry is selected.
    void move(QListWidget* from, bool exported);
    void setAll(bool exported);
    void ok();

    SettingsAccess& settings_;
    exchange::SmrExportChoices choices_;
    QListWidget* lstVariables_;
    QListWidget* lstSelected_;
};

}  // namespace vdx
