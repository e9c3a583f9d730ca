#include "report_printer.h"

#include <QFile>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

#include "exchange/io/writer_support.h"
#include "state/errors.h"

namespace vdx {

bool QtPrinter::choose() {
    QPrintDialog dialog(&printer_, parent_);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

void QtPrinter::print() {
    const QString target = printer_.outputFileName();
    if (printer_.outputFormat() != QPrinter::PdfFormat || target.isEmpty()) {
        const bool done = paint(printer_);
        if (done && printer_.printerState() == QPrinter::Error)
            throw VdxError(err::PathAccess,
                           "The printer " + printer_.printerName().toStdString() + " could not print.");
        return;
    }
    // A painter on a PDF writer reports nothing when its file cannot be
    // written: the PDF goes into a temporary file of AtomicFile, whose
    // errors are checked, and takes the target's place when it is whole.
    exchange::AtomicFile file(target.toStdString());
    bool done = false;
    {
        QFile pdf(QString::fromStdString(file.temporaryPath()));
        if (!pdf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw VdxError(err::PathAccess, "Could not print into " + target.toStdString() + ": " +
                                                pdf.errorString().toStdString());
        QPdfWriter writer(&pdf);
        writer.setResolution(printer_.resolution());
        writer.setPageLayout(printer_.pageLayout());
        writer.setCreator("VELDRIX");
        writer.setTitle(printer_.docName());
        done = paint(writer);
        pdf.close();
        if (pdf.error() != QFileDevice::NoError)
            throw VdxError(err::PathAccess, "Could not print into " + target.toStdString() + ": " +
                                                pdf.errorString().toStdString());
    }
    if (done) file.commit();  // a cancelled print leaves no file
}

bool QtReportPrinter::paint(QPagedPaintDevice& device) {
    document_.print(&device);
    return true;
}

}  // namespace vdx
