// Help > Contents (the help window), About and Licence, and the splash
// window shown while the program starts.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

class QTextBrowser;

namespace vdx {

// The help page shipped beside the program.
QString HelpPagePath(const QString& programDirectory);

// The help pages in a window of the program, no web browser needed: a text
// browser with Back, Forward and Contents (the page's table of contents).
// It stays open beside the main window until closed (Escape closes it).
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent);
    // Shows the page (loading it unless it is the one shown), raised and
    // active; false when there is no such file.
    bool showPage(const QString& path);
    void showContents();

protected:
    void keyPressEvent(QKeyEvent* event) override;  // Escape closes the window

private:
    // Within the available area of the main window's screen, the first time
    // centred on the main window.
    void placeOnScreen();

    QTextBrowser* browser_;
    QString page_;
    bool placed_ = false;
};

// frmAbout: program name and version, and links that open through the
// desktop (the help page, the licence).
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    AboutWindow(QWidget* parent, const QString& programDirectory,
                std::function<bool(const QUrl&)> openUrl);
};

// frmLicence: the licence text.
class LicenceWindow : public QDialog {
    Q_OBJECT
public:
    explicit LicenceWindow(QWidget* parent);
};

QString LicenceText();

// frmSplash: the program's name while the main window is prepared.
QWidget* CreateSplashWindow();

}  // namespace vdx
