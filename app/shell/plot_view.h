// The view that shows a plot of the "Plots" entries: its charts one below
// the other, drawn by app/plots to the width of the view, or a note saying
// why there is no plot to draw. Its context menu offers the commands on the
// plot (Save plot as..., Print plot...).
#pragma once

#include <QList>
#include <QScrollArea>

#include "plots/chart.h"
#include "report_printer.h"

class QAction;

namespace vdx {

class PlotView : public QScrollArea {
    Q_OBJECT
public:
    explicit PlotView(QWidget* parent);

    void setPlot(plots::Plot plot);
    // No plot; the text says why.
    void showNote(const QString& text);
    void clear();
    bool hasPlot() const { return !plot_.empty(); }
    QString note() const { return note_; }
    // The entries of the context menu while a plot is shown.
    void setMenuActions(const QList<QAction*>& actions) { menuActions_ = actions; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class Canvas;
    void layoutCanvas();

    Canvas* canvas_;
    plots::Plot plot_;
    QString note_;
    QList<QAction*> menuActions_;
};

// File > Print plot...: the plot on one page.
class QtPlotPrinter : public QtPrinter {
public:
    QtPlotPrinter(QWidget* parent, QPrinter& printer, const plots::Plot& plot)
        : QtPrinter(parent, printer), plot_(plot) {}

protected:
    bool paint(QPagedPaintDevice& device) override;

private:
    const plots::Plot& plot_;
};

}  // namespace vdx
