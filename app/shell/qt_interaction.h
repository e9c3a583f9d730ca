// The Qt face of vdx::Interaction: message boxes, file dialogs, input boxes,
// the hourglass pointer and the progress window frmProgress.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "state/interaction.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vdx {

// "VELDRIX file (*.vdx)|*.vdx|Text file (*.txt)|*.txt" as Qt name filters:
// {"VELDRIX file (*.vdx)", "Text file (*.txt)"}.
QStringList QtNameFilters(const std::string& filter);

// The progress window of long runs: label Label1, bar ProgressBar1 and the
// button btnCancel, which asks message 21 before it requests cancelling.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    ProgressWindow(QWidget* owner, const QString& label, int maximum, bool cancellable);
    void setLabel(const QString& text);
    void setValue(int value);
    bool cancelRequested() const { return cancelRequested_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}  // Escape does not close it

private:
    void askCancel();
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    bool cancelRequested_ = false;
};

class QtInteraction : public Interaction {
public:
    explicit QtInteraction(QWidget* owner) : owner_(owner) {}

    Answer message(const std::string& text, Buttons buttons, Icon icon,
                   const std::string& title) override;
    // A message box whose "Show Details..." button opens the details.
    void messageWithDetails(const std::string& text, const std::string& details, Icon icon,
                            const std::string& title) override;
    std::optional<FileDialogResult> saveFile(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> openFile(const FileDialogRequest& request) override;
    std::optional<int> choose(const std::string& prompt, const std::string& title,
                              const std::vector<std::string>& entries, int selected) override;
    std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                     const std::string& defaultAnswer) override;
    void busy(bool on) override;
    std::unique_ptr<Progress> progress(const std::string& caption, int maximum,
                                       bool cancellable) override;

private:
    Answer showBox(const std::string& text, const std::string& details, Buttons buttons, Icon icon,
                   const std::string& title);
    std::optional<FileDialogResult> fileDialog(const FileDialogRequest& request, bool save);
    QWidget* owner_;
};

}  // namespace vdx
