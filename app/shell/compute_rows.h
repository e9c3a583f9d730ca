// The rows the Compute dialogs (SMR, SMR for a cause list, Rate ratios)
// share: a list with its objectName, captioned rows of a grid, the SMR's
// significance level and method lists, and the Compute / Cancel row.
#pragma once

#include <string>
#include <vector>

#include "mortality/smr_run.h"

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLayout;
class QPushButton;
class QWidget;

namespace vdx {

// A list named `name` holding `entries`, `selected` chosen (-1: none).
QComboBox* NamedList(QWidget* parent, const char* name, const std::vector<std::string>& entries, int selected);

// A caption whose mnemonic moves the focus to `buddy`.
QLabel* BuddyLabel(QWidget* parent, const char* caption, QWidget* buddy);

// Rows of a caption and a widget (or a layout), top to bottom.
class CaptionedRows {
public:
    explicit CaptionedRows(QWidget* parent, QGridLayout* grid = nullptr);
    QLabel* add(const char* caption, QWidget* widget);
    void add(QWidget* caption, QLayout* layout);
    void add(QWidget* caption, QWidget* widget);
    QGridLayout* grid() const { return grid_; }

private:
    QWidget* parent_;
    QGridLayout* grid_;
    int row_ = 0;
};

// The SMR's significance level (comSigLevel) and method (comMethod) lists
// at the choices' defaults.
QComboBox* SignificanceLevelList(QWidget* parent, const mortality::SmrChoices& choices);
QComboBox* MethodList(QWidget* parent, const mortality::SmrChoices& choices);

// Compute (btnCompute, the default button) and Cancel (btnCancel), right-aligned.
QHBoxLayout* ComputeCancelRow(QWidget* dialog, QPushButton*& compute, QPushButton*& cancel,
                              const char* caption = "&Compute");

}  // namespace vdx
