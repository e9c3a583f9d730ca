#include "report_printer.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

#include "exchange/writer_support.h"
#include "state/errors.h"

namespace vdx {

bool QtReportPrinter::choose() {
    QPrintDialog dialog(&printer_, parent_);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

void QtReportPrinter::print() {
    // QTextDocument::print reports nothing: a file that cannot be opened
    // gives no pages and no error. The PDF is therefore made in memory and
    // written by AtomicFile, which reports every failure.
    const QString target = printer_.outputFileName();
    if (printer_.outputFormat() != QPrinter::PdfFormat || target.isEmpty()) {
        document_.print(&printer_);
        if (printer_.printerState() == QPrinter::Error)
            throw VdxError(err::PathAccess, "The printer " + printer_.printerName().toStdString() +
                                                " could not print the report.");
        return;
    }
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(printer_.resolution());
        writer.setPageLayout(printer_.pageLayout());
        writer.setCreator("VELDRIX");
        writer.setTitle(printer_.docName());
        document_.print(&writer);
    }
    if (pdf.isEmpty()) throw VdxError(err::PathAccess, "The report could not be printed into " + target.toStdString());
    exchange::AtomicFile file(target.toStdString());
    file.write(std::string_view(pdf.constData(), static_cast<size_t>(pdf.size())));
    file.commit();
}

}  // namespace vdx
