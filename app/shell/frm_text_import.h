// frmTextImport ("ASCII file import"): the dialog of Tables > Main table /
// Rate table > Add > ASCII. It shows exchange::TextImportForm: the preview
// grid GridTextImport (at most 10 lines; the header row shows the column
// names, the first line when chkHeaders is checked), the type of the
// clicked column (optText ... optDate, comDateFormat, comDay, comMonth),
// and btnImport / btnCancel. Import failures keep the dialog open. For a
// CSV file ("CSV file import") comSeparator shows the detected separator;
// another choice reads the preview again and proposes the types anew; the
// label lblProposal names the values of a column proposed as Date that are
// not dates.
#pragma once

#include <QDialog>
#include <memory>

#include "exchange/commands/text_import_command.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace vdx {

class FrmTextImport : public QDialog {
    Q_OBJECT
public:
    // Loads the dialog over the file, table and working copy named in state;
    // throws VdxError when the file cannot be read.
    FrmTextImport(QWidget* parent, ProgramState& state, Interaction& ui);
    ~FrmTextImport() override;

    exchange::TextImportForm& form() { return *form_; }

    // A click on grid column c (from 1).
    void clickColumn(int c);
    // Columns selected with Ctrl or Shift: the type controls set them all.
    void selectionChanged();
    // btnImport: closes the dialog when the table was created.
    void importClicked();
    // btnCancel and the close box.
    void reject() override;
    // comSeparator's entries, in their order, and what each separates by.
    static const std::vector<std::pair<const char*, char>>& separatorChoices();

private:
    void showGrid();
    void showControls();
    void typeChosen(const std::string& type, bool on);
    void showProposalNotice();

    std::unique_ptr<exchange::TextImportForm> form_;
    bool showing_ = false;  // the controls are being set from the form
    QTableWidget* grid_;
    QCheckBox* chkHeaders_;
    std::vector<std::pair<std::string, QRadioButton*>> options_;  // optText ... optDate
    QComboBox* comSeparator_ = nullptr;  // CSV files only
    QLabel* lblProposal_ = nullptr;
    QComboBox* comDateFormat_;
    QComboBox* comDay_;
    QComboBox* comMonth_;
    QPushButton* btnImport_;
    QPushButton* btnCancel_;
};

}  // namespace vdx
