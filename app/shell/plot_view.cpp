#include "plot_view.h"

#include <QContextMenuEvent>
#include <QMenu>

#include <algorithm>

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
}

void PlotView::setCharts(std::vector<std::unique_ptr<QChart>> charts) {
    clear();
    charts_ = std::move(charts);
    for (const auto& chart : charts_) scene_.addItem(chart.get());
    layoutCharts();
}

void PlotView::layoutCharts() {
    const QSize file = plots::PlotSize(charts_);
    const double width = std::max(400, viewport()->width() - 2);
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
    if (charts_.empty()) return;
    QMenu menu(this);
    QAction* save = menu.addAction("Save plot as...");
    if (menu.exec(event->globalPos()) == save) emit saveRequested();
}

}  // namespace vdx
