#include "study_report_window.h"

#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "report/study_report.h"
#include "report_printer.h"
#include "state/interaction.h"

namespace vdx {

StudyReportWindow::StudyReportWindow(QWidget* parent, Interaction& ui, QPrinter& printer)
    : QWidget(parent, Qt::Window), ui_(ui), printer_(printer), browser_(new QTextBrowser(this)) {
    setObjectName("frmStudyReport");
    setWindowTitle("Study report");
    browser_->setObjectName("txtStudyReport");
    browser_->setOpenLinks(false);
    auto* save = new QPushButton("Save &as HTML/PDF...", this);
    save->setObjectName("cmdSaveAs");
    auto* print = new QPushButton("&Print...", this);
    print->setObjectName("cmdPrint");
    auto* close = new QPushButton("&Close", this);
    close->setObjectName("cmdClose");
    connect(save, &QPushButton::clicked, this, &StudyReportWindow::saveAs);
    connect(print, &QPushButton::clicked, this, &StudyReportWindow::print);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(print);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addLayout(buttons);
    resize(900, 800);
}

void StudyReportWindow::showReport(const std::string& html, const std::string& name) {
    html_ = html;
    name_ = name;
    const QString text = QString::fromStdString(html);
    // The text browser draws no inline SVG of its own: each plot is handed
    // to it as a picture under its data address.
    QTextDocument* document = browser_->document();
    static const QRegularExpression image("src=\"(data:image/svg\\+xml;base64,([^\"]*))\"");
    for (auto it = image.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const QImage picture = QImage::fromData(QByteArray::fromBase64(m.captured(2).toLatin1()), "SVG");
        if (!picture.isNull())
            document->addResource(QTextDocument::ImageResource, QUrl(m.captured(1)), picture.scaledToWidth(760, Qt::SmoothTransformation));
    }
    browser_->setHtml(text);
    show();
    raise();
    activateWindow();
}

void StudyReportWindow::saveAs() { report::SaveStudyReportAs(ui_, html_, name_); }

void StudyReportWindow::print() {
    QtReportPrinter printer(this, printer_, *browser_->document());
    report::PrintReport(ui_, printer);
}

}  // namespace vdx
