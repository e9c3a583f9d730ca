#include "plot_view.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "plots/chart_painter.h"
#include "state/errors.h"

namespace vdx {

namespace {
constexpr int kNoteMargin = 24;
}

// Paints the view's plot (or note) at the canvas's own size.
class PlotView::Canvas : public QWidget {
public:
    explicit Canvas(PlotView* view) : QWidget(view), view_(view) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // The charts' height at `width`: the proportions of the file, at least 320
    // pixels each.
    static double chartHeight(const plots::Plot& plot, double width) {
        const QSize file = plots::PlotSize(plot);
        return std::max(320.0, width * file.height() / file.width() / std::max<size_t>(plot.size(), 1));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!view_->note_.isEmpty()) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(rect().adjusted(kNoteMargin, kNoteMargin, -kNoteMargin, -kNoteMargin),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, view_->note_);
            return;
        }
        const double height = chartHeight(view_->plot_, width());
        double top = 0;
        for (const plots::Chart& chart : view_->plot_) {
            plots::PaintChart(chart, painter, QRectF(0, top, width(), height));
            top += height;
        }
    }

private:
    PlotView* view_;
};

PlotView::PlotView(QWidget* parent) : QScrollArea(parent), canvas_(new Canvas(this)) {
    setObjectName("PlotView");
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundRole(QPalette::Base);
    setWidget(canvas_);
}

void PlotView::clear() {
    plot_.clear();
    note_.clear();
    layoutCanvas();
}

void PlotView::setPlot(plots::Plot plot) {
    note_.clear();
    plot_ = std::move(plot);
    layoutCanvas();
}

void PlotView::showNote(const QString& text) {
    plot_.clear();
    note_ = text;
    layoutCanvas();
}

void PlotView::layoutCanvas() {
    // The width with or without the scroll bar follows from the height the
    // plot needs at full width, not from whether the bar shows now, so that
    // showing it never makes the layout swing back and forth.
    const QSize room = contentsRect().size();
    auto heightAt = [&](int width) {
        if (!note_.isEmpty())
            return canvas_->fontMetrics()
                       .boundingRect(QRect(0, 0, width - 2 * kNoteMargin, 0), Qt::TextWordWrap, note_)
                       .height() +
                   2 * kNoteMargin;
        return static_cast<int>(Canvas::chartHeight(plot_, width) * static_cast<double>(plot_.size()));
    };
    int width = std::max(400, room.width());
    if (heightAt(width) > room.height()) width = std::max(400, room.width() - verticalScrollBar()->sizeHint().width());
    canvas_->resize(width, std::max(heightAt(width), room.height()));
    canvas_->update();
}

void PlotView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    layoutCanvas();
}

void PlotView::contextMenuEvent(QContextMenuEvent* event) {
    if (plot_.empty() || menuActions_.isEmpty()) return;
    QMenu menu(this);
    menu.addActions(menuActions_);
    menu.exec(event->globalPos());
}

bool QtPlotPrinter::paint(QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device)) throw VdxError(err::PathAccess, "The printer could not be started.");
    // Along the top of the page, as wide as the page allows.
    const QSizeF size = plots::PlotSize(plot_);
    const double width = device.width();
    const double height = std::min<double>(device.height(), width * size.height() / size.width());
    plots::PaintPlot(plot_, painter, QRectF(0, 0, width, height));
    painter.end();
    return true;
}

}  // namespace vdx
