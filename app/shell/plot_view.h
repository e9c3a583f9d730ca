// The view that shows a plot of the "Plots" entries: its charts one below
// the other, drawn to the width of the view, or a note saying why there is
// no plot to draw. Its context menu offers the commands on the plot (Save
// plot as..., Print plot...).
#pragma once

#include <QGraphicsView>
#include <QList>

#include <memory>
#include <vector>

#include "plots/study_plots.h"
#include "report_printer.h"

class QAction;
class QGraphicsTextItem;

namespace vdx {

class PlotView : public QGraphicsView {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent);
    ~PlotView() override;

    void setCharts(std::vector<std::unique_ptr<QChart>> charts);
    // No charts; the text says why.
    void showNote(const QString& text);
    void clear();
    bool hasCharts() const { return !charts_.empty(); }
    QString note() const;
    // The entries of the context menu while charts are shown.
    void setMenuActions(const QList<QAction*>& actions) { menuActions_ = actions; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void layoutCharts();

    QGraphicsScene scene_;
    std::vector<std::unique_ptr<QChart>> charts_;
    QGraphicsTextItem* note_ = nullptr;
    QList<QAction*> menuActions_;
};

// Draws the charts of a plot into `target`, in the proportions of its file
// (plots::PlotSize), as large as fits and centred.
void PaintPlot(const std::vector<std::unique_ptr<QChart>>& charts, QPainter& painter, const QRectF& target);

// File > Print plot...: the plot on one page.
class QtPlotPrinter : public QtPrinter {
public:
    QtPlotPrinter(QWidget* parent, QPrinter& printer, const std::vector<std::unique_ptr<QChart>>& charts)
        : QtPrinter(parent, printer), charts_(charts) {}

protected:
    bool paint(QPagedPaintDevice& device) override;

private:
    const std::vector<std::unique_ptr<QChart>>& charts_;
};

}  // namespace vdx
