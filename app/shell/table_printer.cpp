#include "table_printer.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <memory>

#include "state/errors.h"

namespace vdx {

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kMeasureSteps = 200;  // of kProgressSteps: the pass that measures the columns
constexpr int kRowsPerPoll = 256;

std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

std::vector<std::pair<int, int>> ColumnBands(const std::vector<double>& widths, double pageWidth) {
    std::vector<std::pair<int, int>> bands;
    if (widths.size() < 2) return bands;
    const double room = pageWidth - widths[0];
    int first = 1;
    double used = 0;
    for (int c = 1; c < static_cast<int>(widths.size()); ++c) {
        if (c > first && used + widths[static_cast<size_t>(c)] > room) {
            bands.emplace_back(first, c - 1);
            first = c;
            used = 0;
        }
        used += widths[static_cast<size_t>(c)];
    }
    bands.emplace_back(first, static_cast<int>(widths.size()) - 1);
    return bands;
}

bool QtTablePrinter::paint(QPagedPaintDevice& device) {
    const PrintedGrid& g = grid_;
    const int dataRows = std::max(0, g.rows - 1);
    std::unique_ptr<Progress> progress;
    if (dataRows > kQuietRows) {
        progress = ui_.progress("Printing " + S(g.title), kProgressSteps, true);
        progress->setLabel("Preparing the pages of " + S(QLocale().toString(dataRows)) + " rows...");
    }
    QPainter painter;
    if (!painter.begin(&device)) throw VdxError(err::PathAccess, "The printer could not be started.");
    auto cancelled = [&] {
        if (!progress || !progress->poll()) return false;
        if (auto* printer = dynamic_cast<QPrinter*>(&device)) printer->abort();
        painter.end();
        return true;
    };

    QFont font = QApplication::font();
    font.setPointSizeF(9);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF fm(font, &device), fmBold(bold, &device);
    const double pageWidth = device.width(), pageHeight = device.height();
    const double pad = fm.averageCharWidth() * 1.5;
    const double rowHeight = std::ceil(fm.height() * 1.3);
    const double titleHeight = std::ceil(fmBold.height() * 1.8);

    // The width of each column: its widest text, in the header's bold for
    // row 0 and column 0.
    std::vector<double> widths(static_cast<size_t>(std::max(g.cols, 1)), 0.0);
    for (int r = 0; r < g.rows; ++r) {
        for (int c = 0; c < g.cols; ++c) {
            const QFontMetricsF& m = r == 0 || c == 0 ? fmBold : fm;
            widths[static_cast<size_t>(c)] = std::max(widths[static_cast<size_t>(c)], m.horizontalAdvance(g.text(r, c)));
        }
        if (progress && r % kRowsPerPoll == 0) {
            progress->setValue(static_cast<int>(static_cast<double>(r) / g.rows * kMeasureSteps));
            if (cancelled()) return false;
        }
    }
    for (double& w : widths) w += pad;
    // A text wider than a page is cut short on it (with "…").
    widths[0] = std::min(widths[0], pageWidth / 3);
    for (size_t c = 1; c < widths.size(); ++c) widths[c] = std::min(widths[c], pageWidth - widths[0]);

    const auto bands = ColumnBands(widths, pageWidth);
    const int rowsPerPage = std::max(1, static_cast<int>((pageHeight - titleHeight - rowHeight) / rowHeight));
    const int rowBlocks = std::max(1, (dataRows + rowsPerPage - 1) / rowsPerPage);
    const int bandCount = std::max<int>(1, static_cast<int>(bands.size()));
    const int pages = rowBlocks * bandCount;
    if (progress)
        progress->setLabel("Printing " + S(QLocale().toString(dataRows)) + " rows on " +
                           S(QLocale().toString(pages)) + " pages...");

    auto cell = [&](double x, double y, int r, int c) {
        const bool header = r == 0 || c == 0;
        const double w = widths[static_cast<size_t>(c)];
        const QRectF box(x + pad / 2, y, w - pad, rowHeight);
        const QFontMetricsF& m = header ? fmBold : fm;
        // A column title stands as its figures do.
        const bool right = c > 0 && g.rightAligned && g.rightAligned(r == 0 && g.rows > 1 ? 1 : r, c);
        painter.setFont(header ? bold : font);
        painter.drawText(box, (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                         m.elidedText(g.text(r, c), Qt::ElideRight, box.width()));
    };

    int page = 0;
    for (int block = 0; block < rowBlocks; ++block) {
        const int firstRow = 1 + block * rowsPerPage;
        const int lastRow = std::min(dataRows, firstRow + rowsPerPage - 1);
        for (int band = 0; band < bandCount; ++band) {
            if (page > 0 && !device.newPage()) throw VdxError(err::PathAccess, "The printer refused a new page.");
            ++page;
            const int firstCol = bands.empty() ? 1 : bands[static_cast<size_t>(band)].first;
            const int lastCol = bands.empty() ? 0 : bands[static_cast<size_t>(band)].second;
            double tableWidth = widths[0];
            for (int c = firstCol; c <= lastCol; ++c) tableWidth += widths[static_cast<size_t>(c)];

            painter.setFont(bold);
            const QRectF titleBox(0, 0, pageWidth, fmBold.height());
            const QString pageText = QString("Page %1 of %2").arg(page).arg(pages);
            painter.drawText(titleBox, Qt::AlignRight | Qt::AlignTop, pageText);
            painter.drawText(titleBox.adjusted(0, 0, -fmBold.horizontalAdvance(pageText) - pad, 0),
                             Qt::AlignLeft | Qt::AlignTop,
                             fmBold.elidedText(g.title, Qt::ElideRight,
                                               pageWidth - fmBold.horizontalAdvance(pageText) - pad));

            // One line of the grid: its title cell, then the columns of the band.
            auto line = [&](double y, int r) {
                cell(0, y, r, 0);
                double x = widths[0];
                for (int c = firstCol; c <= lastCol; ++c) {
                    cell(x, y, r, c);
                    x += widths[static_cast<size_t>(c)];
                }
            };
            double y = titleHeight;
            line(y, 0);
            y += rowHeight;
            painter.setPen(QPen(Qt::black, 0));
            painter.drawLine(QPointF(0, y), QPointF(tableWidth, y));
            painter.drawLine(QPointF(widths[0], titleHeight),
                             QPointF(widths[0], y + (lastRow - firstRow + 1) * rowHeight));
            for (int r = firstRow; r <= lastRow; ++r, y += rowHeight) line(y, r);
            if (progress) {
                progress->setValue(kMeasureSteps + static_cast<int>(static_cast<double>(page) / pages *
                                                                    (kProgressSteps - kMeasureSteps)));
                if (cancelled()) return false;
            }
        }
    }
    painter.end();
    return true;
}

}  // namespace vdx
