// The printer of the SMR report and of the SMR calculator: Qt's print dialog
// and the printing of the text document shown, in its fixed-pitch font.
#pragma once

#include "exchange/report_output.h"

class QPrinter;
class QTextDocument;
class QWidget;

namespace vdx {

class QtReportPrinter : public exchange::ReportPrinter {
public:
    // `printer` keeps the choices of the dialog between prints.
    QtReportPrinter(QWidget* parent, QPrinter& printer, const QTextDocument& document)
        : parent_(parent), printer_(printer), document_(document) {}

    bool choose() override;
    // Printing into a PDF file writes it through a temporary file that takes
    // its place when complete, so a failure leaves an older file as it was.
    void print() override;

private:
    QWidget* parent_;
    QPrinter& printer_;
    const QTextDocument& document_;
};

}  // namespace vdx
