// Compute > Rate ratios: the dialog frmRateRatios and the menu command. The
// dialog only fills and reads its controls; the run is
// mortality::RunRateRatios, the same request veldrix-cli rate-ratios fills.
#pragma once

#include <QDialog>
#include <string>
#include <utility>
#include <vector>

#include "mortality/rate_ratio_request.h"
#include "state/interaction.h"
#include "state/state.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QRadioButton;

namespace vdx {

class FrmRateRatios : public QDialog {
    Q_OBJECT
public:
    // `categories`: the exposure categories of the last person-years run.
    FrmRateRatios(QWidget* parent, const ProgramState& state, Interaction& ui,
                  const std::vector<std::string>& categories);
    mortality::RateRatioRequest request() const;
    // Compute: a death variable, value or cause missing is refused (the
    // dialog stays open); otherwise the dialog closes accepted.
    void compute();

private:
    void fillCauses();
    Interaction& ui_;
    // The causes of each cause list of the study (and "default"), in order.
    std::vector<std::pair<std::string, std::vector<std::string>>> causesOf_;
    QRadioButton *optCodes_, *optCause_;
    QComboBox *comDTH_, *comCauseList_, *comCause_, *comReference_, *comLevel_;
    QLineEdit *txtDeathValue_, *txtName_;
    QCheckBox *chkAge_, *chkCalendar_, *chkSex_;
    QPushButton *btnCompute_, *btnCancel_;
};

// Compute > Rate ratios (mnuComputeRateRatios): the dialog, the run, then the
// new analysis's report on view.
void MenuComputeRateRatios(QMainWindow* window);

}  // namespace vdx
