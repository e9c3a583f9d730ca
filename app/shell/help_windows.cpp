#include "help_windows.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "state/messages.h"

namespace vdx {

QString HelpPagePath(const QString& programDirectory) {
    return QDir(programDirectory).filePath("veldrix.html");
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmHelp");
    setWindowTitle("VELDRIX Help");
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("txtHelp");
    browser_->setOpenExternalLinks(false);  // pages of the help only; nothing leaves the program
    auto* bar = new QToolBar(this);
    bar->setObjectName("HelpToolbar");
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QStyle* style = QApplication::style();
    QAction* back = bar->addAction(style->standardIcon(QStyle::SP_ArrowBack), "&Back", browser_,
                                   &QTextBrowser::backward);
    back->setObjectName("Back");
    back->setShortcuts(QKeySequence::Back);
    QAction* forward = bar->addAction(style->standardIcon(QStyle::SP_ArrowForward), "&Forward", browser_,
                                      &QTextBrowser::forward);
    forward->setObjectName("Forward");
    forward->setShortcuts(QKeySequence::Forward);
    QAction* contents = bar->addAction(style->standardIcon(QStyle::SP_DirHomeIcon), "&Contents", this,
                                       &HelpWindow::showContents);
    contents->setObjectName("Contents");
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(browser_);
    resize(720, 640);
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void HelpWindow::placeOnScreen() {
    const QWidget* owner = parentWidget();
    const QScreen* s = owner && owner->screen() ? owner->screen() : screen();
    if (!s) return;
    const QRect room = s->availableGeometry();
    // The frame of a window manager is not known before the first show:
    // leave room for a title bar and borders.
    const QSize frame(16, 40);
    resize(size().boundedTo(room.size() - frame));
    QRect at(pos(), size() + frame);
    if (!placed_ && owner) at.moveCenter(owner->frameGeometry().center());
    placed_ = true;
    at.moveLeft(std::clamp(at.left(), room.left(), room.right() + 1 - at.width()));
    at.moveTop(std::clamp(at.top(), room.top(), room.bottom() + 1 - at.height()));
    move(at.topLeft());
}

bool HelpWindow::showPage(const QString& path) {
    if (!QFileInfo::exists(path)) return false;
    if (path != page_) {
        page_ = path;
        browser_->setSource(QUrl::fromLocalFile(path));
        browser_->clearHistory();
    }
    if (!isVisible()) placeOnScreen();
    show();
    raise();
    activateWindow();
    return true;
}

void HelpWindow::showContents() {
    if (page_.isEmpty()) return;
    QUrl contents = QUrl::fromLocalFile(page_);
    contents.setFragment("contents");
    browser_->setSource(contents);
}

QString LicenceText() {
    return QStringLiteral(
        "VELDRIX %1\n"
        "Copyright (C) the VELDRIX developers.\n\n"
        "Permission is hereby granted, free of charge, to any person obtaining a copy of this "
        "software and associated documentation files (the \"Software\"), to deal in the Software "
        "without restriction, including without limitation the rights to use, copy, modify, "
        "merge, publish, distribute, sublicense, and/or sell copies of the Software, and to "
        "permit persons to whom the Software is furnished to do so, subject to the following "
        "conditions:\n\n"
        "The above copyright notice and this permission notice shall be included in all copies "
        "or substantial portions of the Software.\n\n"
        "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, "
        "INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A "
        "PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT "
        "HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF "
        "CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE "
        "OR THE USE OR OTHER DEALINGS IN THE SOFTWARE.\n\n"
        "The results of the program are estimates. Check them before you publish them.\n")
        .arg(QString::fromStdString(kProgramVersion));
}

AboutWindow::AboutWindow(QWidget* parent, const QString& programDirectory,
                         std::function<bool(const QUrl&)> openUrl)
    : QDialog(parent) {
    setObjectName("frmAbout");
    setWindowTitle("About VELDRIX");
    const QString version = QString::fromStdString(kProgramVersion);
    auto* title = new QLabel(QStringLiteral("<h2>VELDRIX %1</h2>").arg(version), this);
    title->setObjectName("lblTitle");
    auto* text = new QLabel(
        "Person-years and mortality analysis of occupational cohort studies:<br>"
        "person-years by age class and calendar period, observed and expected deaths,<br>"
        "standardised mortality ratios with confidence bounds.<br><br>"
        "Project file format " + QString::fromStdString(kFormatVersion) + "<br><br>" +
            QStringLiteral("<a href=\"%1\">Help</a>")
                .arg(QUrl::fromLocalFile(HelpPagePath(programDirectory)).toString()),
        this);
    text->setObjectName("lblInfo");
    text->setTextFormat(Qt::RichText);
    text->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(text, &QLabel::linkActivated, this,
            [openUrl](const QString& link) { if (openUrl) openUrl(QUrl(link)); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("cmdOK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(text);
    layout->addWidget(buttons);
}

LicenceWindow::LicenceWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("frmLicence");
    setWindowTitle("Licence");
    auto* text = new QPlainTextEdit(LicenceText(), this);
    text->setObjectName("txtLicence");
    text->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("cmdOK");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(buttons);
    resize(520, 420);
}

QWidget* CreateSplashWindow() {
    auto* splash = new QLabel(QStringLiteral("<div style='padding:24px'><h1>VELDRIX %1</h1>"
                                             "<p>Person-years and mortality analysis</p></div>")
                                  .arg(QString::fromStdString(kProgramVersion)));
    splash->setObjectName("frmSplash");
    splash->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    splash->setAlignment(Qt::AlignCenter);
    splash->setFrameStyle(QFrame::Box);
    splash->resize(360, 160);
    return splash;
}

}  // namespace vdx
