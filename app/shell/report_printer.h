// The printers of the main window and of the SMR calculator: Qt's print
// dialog, then the pages painted on the printer chosen. QtPrinter does the
// dialog and the output; a printer of one kind of view paints its pages.
#pragma once

#include "report/report_output.h"

class QPagedPaintDevice;
class QPrinter;
class QTextDocument;
class QWidget;

namespace vdx {

class QtPrinter : public report::ReportPrinter {
public:
    // `printer` keeps the choices of the dialog between prints.
    QtPrinter(QWidget* parent, QPrinter& printer) : parent_(parent), printer_(printer) {}

    bool choose() override;
    // Printing into a PDF file ("Print to File (PDF)") writes it through a
    // temporary file that takes its place when complete, so a failure or a
    // cancelled print leaves an older file as it was.
    void print() override;

protected:
    // Paints every page on `device` (the printer, or the PDF file being
    // written); false when the user cancelled. A painter on a QPrinter that
    // is cancelled aborts the print job before it ends.
    virtual bool paint(QPagedPaintDevice& device) = 0;
    QWidget* parent() const { return parent_; }

private:
    QWidget* parent_;
    QPrinter& printer_;
};

// Reports > Print and the calculator's Print: the text document shown, in
// its fixed-pitch font.
class QtReportPrinter : public QtPrinter {
public:
    QtReportPrinter(QWidget* parent, QPrinter& printer, const QTextDocument& document)
        : QtPrinter(parent, printer), document_(document) {}

protected:
    bool paint(QPagedPaintDevice& device) override;

private:
    const QTextDocument& document_;
};

}  // namespace vdx
