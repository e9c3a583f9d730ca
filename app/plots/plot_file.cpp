#include "plots/plot_file.h"

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>

#include "plots/chart_painter.h"
#include "state/errors.h"

namespace vdx::plots {

const std::vector<PlotFileType>& PlotFileTypes() {
    static const std::vector<PlotFileType> types{
        {"png", "PNG picture"}, {"svg", "SVG drawing"}, {"pdf", "PDF document"}};
    return types;
}

void SavePlot(const Plot& plot, const QString& path) {
    const QString type = path.section('.', -1).toLower();
    const auto& types = PlotFileTypes();
    if (std::none_of(types.begin(), types.end(), [&](const PlotFileType& t) { return type == t.ending; })) {
        std::string endings;
        for (size_t k = 0; k < types.size(); ++k)
            endings += (k == 0 ? "." : k + 1 == types.size() ? " or ." : ", .") + std::string(types[k].ending);
        throw VdxError(err::PathAccess, "A plot is saved as " + endings + ", not as '" + path.toStdString() + "'.");
    }
    const QSize size = PlotSize(plot);
    const QRectF whole(QPointF(0, 0), size);
    auto failed = [&](const QString& why) {
        return VdxError(err::PermissionDenied,
                        "The plot could not be written to '" + path.toStdString() + "': " + why.toStdString());
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw failed(file.errorString());
    bool drawn = false;
    if (type == "png") {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        PaintPlot(plot, painter, whole);
        painter.end();
        drawn = image.save(&file, "PNG");
    } else if (type == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(plot.empty() ? QString() : plot.front().title);
        QPainter painter;
        drawn = painter.begin(&svg);
        if (drawn) PaintPlot(plot, painter, whole);
    } else {
        QPdfWriter pdf(&file);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 0.75, size.height() * 0.75), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        drawn = painter.begin(&pdf);
        if (drawn) PaintPlot(plot, painter, QRectF(0, 0, pdf.width(), pdf.height()));
    }
    if (!drawn) throw failed("the picture could not be drawn.");
    if (!file.commit()) throw failed(file.errorString());
}

}  // namespace vdx::plots
