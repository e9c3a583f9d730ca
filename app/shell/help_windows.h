// Help > Contents, About and Licence, and the splash window shown while the
// program starts.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

namespace vdx {

// The help page shipped beside the program.
QString HelpPagePath(const QString& programDirectory);

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
