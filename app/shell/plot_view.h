// The view that shows a plot of the "Plots" entries: its charts one below
// the other, drawn to the width of the view. Its context menu saves the
// plot as PNG, SVG or PDF.
#pragma once

#include <QGraphicsView>

#include <memory>
#include <vector>

#include "charts/plot_charts.h"

namespace vdx {

class PlotView : public QGraphicsView {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent);
    ~PlotView() override;

    void setCharts(std::vector<std::unique_ptr<QChart>> charts);
    void clear();

signals:
    void saveRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void layoutCharts();

    QGraphicsScene scene_;
    std::vector<std::unique_ptr<QChart>> charts_;
};

}  // namespace vdx
