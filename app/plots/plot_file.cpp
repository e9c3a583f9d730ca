#include "plots/plot_file.h"

#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QBuffer>
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

namespace {

bool DrawSvg(const Plot& plot, QIODevice& device) {
    const QSize size = PlotSize(plot);
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(plot.empty() ? QString() : plot.front().title);
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    PaintPlot(plot, painter, QRectF(QPointF(0, 0), size));
    return painter.end();
}

}  // namespace

QByteArray PlotSvg(const Plot& plot) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!DrawSvg(plot, buffer))
        throw VdxError(err::PermissionDenied, "The plot could not be drawn as an SVG drawing.");
    return buffer.data();
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
        drawn = DrawSvg(plot, file);
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
