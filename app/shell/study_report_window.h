// Reports > Study report: the study report in a window of the program (a
// text browser, as the help window), with Save as HTML/PDF and Print.
#pragma once

#include <QWidget>

#include <string>

class QPrinter;
class QTextBrowser;

namespace vdx {

class Interaction;

class StudyReportWindow : public QWidget {
    Q_OBJECT
public:
    StudyReportWindow(QWidget* parent, Interaction& ui, QPrinter& printer);
    // Shows the document; `name` is proposed as the file name by Save as.
    void showReport(const std::string& html, const std::string& name);
    QTextBrowser* browser() const { return browser_; }

private:
    void saveAs();
    void print();

    Interaction& ui_;
    QPrinter& printer_;
    QTextBrowser* browser_;
    std::string html_, name_;
};

}  // namespace vdx
