#include "plot_view.h"

#include <QContextMenuEvent>
#include <QGraphicsTextItem>
#include <QMenu>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

#include "state/errors.h"

namespace vdx {

PlotView::PlotView(QWidget* parent) : QGraphicsView(parent) {
    setObjectName("PlotView");
    setScene(&scene_);
    setRenderHint(QPainter::Antialiasing);
    setBackgroundBrush(Qt::white);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

PlotView::~PlotView() { clear(); }

void PlotView::clear() {
    // The charts belong to the view, not to the scene.
    for (const auto& chart : charts_) scene_.removeItem(chart.get());
    charts_.clear();
    delete note_;
    note_ = nullptr;
}

void PlotView::setCharts(std::vector<std::unique_ptr<QChart>> charts) {
    clear();
    charts_ = std::move(charts);
    for (const auto& chart : charts_) scene_.addItem(chart.get());
    layoutCharts();
}

void PlotView::showNote(const QString& text) {
    clear();
    note_ = scene_.addText(text);
    layoutCharts();
}

QString PlotView::note() const { return note_ ? note_->toPlainText() : QString(); }

void PlotView::layoutCharts() {
    const double width = std::max(400, viewport()->width() - 2);
    if (note_) {
        note_->setTextWidth(std::max(200.0, width - 48));
        note_->setPos(24, 24);
        scene_.setSceneRect(0, 0, width, note_->boundingRect().height() + 48);
        return;
    }
    const QSize file = plots::PlotSize(charts_);
    const double height = std::max(320.0, width * file.height() / file.width() / std::max<size_t>(charts_.size(), 1));
    double top = 0;
    for (const auto& chart : charts_) {
        chart->setGeometry(QRectF(0, top, width, height));
        top += height;
    }
    scene_.setSceneRect(0, 0, width, top);
}

void PlotView::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    layoutCharts();
}

void PlotView::contextMenuEvent(QContextMenuEvent* event) {
    if (charts_.empty() || menuActions_.isEmpty()) return;
    QMenu menu(this);
    menu.addActions(menuActions_);
    menu.exec(event->globalPos());
}

void PaintPlot(const std::vector<std::unique_ptr<QChart>>& charts, QPainter& painter, const QRectF& target) {
    const QSizeF size = plots::PlotSize(charts);
    QGraphicsScene scene;
    const double chartHeight = size.height() / std::max<size_t>(charts.size(), 1);
    double top = 0;
    for (const auto& chart : charts) {
        chart->setGeometry(QRectF(0, top, size.width(), chartHeight));
        scene.addItem(chart.get());
        top += chartHeight;
    }
    const QSizeF drawn = size.scaled(target.size(), Qt::KeepAspectRatio);
    const QRectF into(target.center() - QPointF(drawn.width() / 2, drawn.height() / 2), drawn);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, into, QRectF(QPointF(0, 0), size));
    // The charts belong to the caller, not to the scene.
    for (const auto& chart : charts) scene.removeItem(chart.get());
}

bool QtPlotPrinter::paint(QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device)) throw VdxError(err::PathAccess, "The printer could not be started.");
    // Along the top of the page, as wide as the page allows.
    const QSizeF size = plots::PlotSize(charts_);
    const double width = device.width();
    const double height = std::min<double>(device.height(), width * size.height() / size.width());
    PaintPlot(charts_, painter, QRectF(0, 0, width, height));
    painter.end();
    return true;
}

}  // namespace vdx
