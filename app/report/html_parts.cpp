#include "report/html_parts.h"

#include <QByteArray>

#include <cstdio>

#include "exchange/formats/html/html_writer.h"
#include "plots/plot_file.h"
#include "state/text_values.h"

namespace vdx::report::html {

std::string Fixed(double v, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

std::string Count(int64_t n) { return std::to_string(n); }

std::string Cell(double v, int decimals) {
    return "<td class=\"n\" data-value=\"" + NumberText(v) + "\">" + Fixed(v, decimals) + "</td>";
}

std::string Row(const std::string& label, const std::string& value, const std::string& id) {
    return "<tr" + (id.empty() ? std::string() : " id=\"" + id + "\"") + "><th>" + exchange::HtmlEscaped(label) + "</th><td>" +
           value + "</td></tr>\n";
}

std::string Figure(double v, int decimals) {
    return "<span data-value=\"" + NumberText(v) + "\">" + Fixed(v, decimals) + "</span>";
}

std::string Svg(const plots::Plot& plot) { return plots::PlotSvg(plot).toStdString(); }

std::string Base64Image(const std::string& svg, const std::string& alt) {
    const QByteArray data = QByteArray::fromStdString(svg).toBase64();
    return "<figure><img alt=\"" + exchange::HtmlEscaped(alt) + "\" src=\"data:image/svg+xml;base64," + data.toStdString() +
           "\"><figcaption>" + exchange::HtmlEscaped(alt) + "</figcaption></figure>\n";
}

}  // namespace vdx::report::html
