#include "qt_interaction.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "state/messages.h"

namespace vdx {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The extension of a Qt name filter's first pattern ("rtf" of "RTF file (*.rtf)").
QString FilterExtension(const QString& nameFilter) {
    static const QRegularExpression re(R"(\*\.([A-Za-z0-9_~]+))");
    const auto m = re.match(nameFilter);
    return m.hasMatch() ? m.captured(1) : QString();
}

class QtProgress : public Progress {
public:
    explicit QtProgress(ProgressWindow* window) : window_(window) {}
    ~QtProgress() override {
        if (!window_) return;
        window_->hide();
        window_->deleteLater();
    }
    void setLabel(const std::string& text) override {
        if (window_) window_->setLabel(Q(text));
    }
    void setValue(int value) override {
        if (window_) window_->setValue(value);
    }
    bool poll() override {
        QCoreApplication::processEvents();
        return window_ && window_->cancelRequested();
    }

private:
    QPointer<ProgressWindow> window_;
};

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed().replace(';', ' ');
        // Qt reads the patterns from the parentheses of the description.
        if (!description.contains('(')) description += " (" + patterns + ")";
        out << description;
    }
    if (parts.size() % 2 == 1 && !parts.last().trimmed().isEmpty() && out.isEmpty())
        out << parts.last().trimmed();
    return out;
}

ProgressWindow::ProgressWindow(QWidget* owner, const QString& label, int maximum,
                               bool cancellable)
    : QDialog(owner) {
    setObjectName("frmProgress");
    setWindowTitle("VELDRIX");
    setModal(false);
    label_ = new QLabel(label, this);
    label_->setObjectName("Label1");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("ProgressBar1");
    bar_->setRange(0, maximum > 0 ? maximum : 400);
    bar_->setValue(0);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("btnCancel");
    cancel_->setEnabled(cancellable);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    setMinimumWidth(360);
    connect(cancel_, &QPushButton::clicked, this, &ProgressWindow::askCancel);
}

void ProgressWindow::setLabel(const QString& text) { label_->setText(text); }

void ProgressWindow::setValue(int value) {
    bar_->setValue(std::clamp(value, bar_->minimum(), bar_->maximum()));
}

void ProgressWindow::askCancel() {
    const auto answer = QMessageBox::question(this, "VELDRIX", Q(Message(msg::ReallyCancel)),
                                              QMessageBox::Yes | QMessageBox::No);
    cancelRequested_ = answer == QMessageBox::Yes;
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is the Cancel button, where cancelling is allowed.
    if (cancel_->isEnabled()) askCancel();
    event->ignore();
}

Answer QtInteraction::message(const std::string& text, Buttons buttons, Icon icon,
                              const std::string& title) {
    return showBox(text, {}, buttons, icon, title);
}

void QtInteraction::messageWithDetails(const std::string& text, const std::string& details, Icon icon,
                                       const std::string& title) {
    showBox(text, details, Buttons::Ok, icon, title);
}

Answer QtInteraction::showBox(const std::string& text, const std::string& details, Buttons buttons, Icon icon,
                              const std::string& title) {
    QMessageBox box(owner_);
    box.setWindowTitle(Q(title));
    box.setText(Q(text).replace("\r\n", "\n"));
    if (!details.empty()) box.setDetailedText(Q(details).replace("\r\n", "\n"));
    switch (icon) {
        case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
        case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
    }
    switch (buttons) {
        case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case Buttons::YesNoDefaultNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    // A message box waits with the normal pointer even while a command works.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (busy) QApplication::restoreOverrideCursor();
    switch (result) {
        case QMessageBox::Ok: return Answer::Ok;
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

std::optional<FileDialogResult> QtInteraction::fileDialog(const FileDialogRequest& request,
                                                          bool save) {
    QFileDialog dialog(owner_, Q(request.title));
    dialog.setObjectName("dlgCommonDialog");
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && (request.flags & file_dialog::FileMustExist) ? QFileDialog::ExistingFile
                                                                 : QFileDialog::AnyFile);
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.flags & file_dialog::OverwritePrompt));
    dialog.setDirectory(request.initialDirectory.empty() ? QDir::currentPath()
                                                         : Q(request.initialDirectory));
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = std::clamp(request.filterIndex, 1, static_cast<int>(filters.size()));
        dialog.selectNameFilter(filters[index - 1]);
    }
    dialog.setDefaultSuffix(Q(request.defaultExtension));
    // A name typed without extension gets the extension of the chosen filter.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &request](const QString& f) {
        const QString ext = FilterExtension(f);
        dialog.setDefaultSuffix(ext.isEmpty() ? Q(request.defaultExtension) : ext);
    });
    const QString name = Q(request.fileName);
    if (!name.isEmpty() && !name.contains('*') && !name.contains('?')) dialog.selectFile(name);

    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    std::optional<FileDialogResult> result;
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString path = dialog.selectedFiles().first();
        const QFileInfo info(path);
        if ((request.flags & file_dialog::NoReadOnlyReturn) && info.exists() && !info.isWritable()) {
            QMessageBox::warning(&dialog, Q(request.title),
                                 path + "\nThis file is read-only. Please choose another file.");
            continue;
        }
        FileDialogResult r;
        r.path = path.toStdString();
        r.filterIndex = filters.isEmpty() ? 1 : static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
        if (r.filterIndex < 1) r.filterIndex = 1;
        result = r;
        break;
    }
    if (busy) QApplication::restoreOverrideCursor();
    return result;
}

std::optional<FileDialogResult> QtInteraction::saveFile(const FileDialogRequest& request) {
    return fileDialog(request, true);
}

std::optional<FileDialogResult> QtInteraction::openFile(const FileDialogRequest& request) {
    return fileDialog(request, false);
}

std::optional<std::string> QtInteraction::input(const std::string& prompt, const std::string& title,
                                                const std::string& defaultAnswer) {
    bool ok = false;
    const QString text = QInputDialog::getText(owner_, Q(title), Q(prompt), QLineEdit::Normal,
                                               Q(defaultAnswer), &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

std::optional<int> QtInteraction::choose(const std::string& prompt, const std::string& title,
                                         const std::vector<std::string>& entries, int selected) {
    QStringList items;
    for (const auto& e : entries) items << Q(e);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(owner_, Q(title), Q(prompt), items, selected, false, &ok);
    if (!ok) return std::nullopt;
    const int index = static_cast<int>(items.indexOf(chosen));
    if (index < 0) return std::nullopt;
    return index;
}

void QtInteraction::busy(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

std::unique_ptr<Progress> QtInteraction::progress(const std::string& caption, int maximum,
                                                  bool cancellable) {
    auto* window = new ProgressWindow(owner_, Q(caption), maximum, cancellable);
    window->show();
    QCoreApplication::processEvents();
    return std::make_unique<QtProgress>(window);
}

}  // namespace vdx
