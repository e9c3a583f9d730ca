// frmSelectExternalTable ("Select table"): the table chooser of Tables >
// Main table / Rate table > Add for Access databases and Excel workbooks.
// It lists the source's tables in a drop-down list with the first one
// selected; Ok takes the selected table, Cancel and the close box none.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;

namespace vdx {

class FrmSelectExternalTable : public QDialog {
    Q_OBJECT
public:
    FrmSelectExternalTable(QWidget* parent, const std::vector<std::string>& tables);

    // The table chosen with Ok; "" after Cancel, the close box, or Ok on an
    // empty list.
    const std::string& chosen() const { return chosen_; }

    // btnOk.
    virtual void ok();
    // btnCancel, Escape and the close box.
    void reject() override;

protected:
    std::string selected() const;
    std::string chosen_;
    QLabel* label1_;
    QComboBox* comTable_;
    QPushButton* btnOk_;
    QPushButton* btnCancel_;
};

}  // namespace vdx
