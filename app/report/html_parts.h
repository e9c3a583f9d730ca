// Small pieces of the study report's HTML, shared by its sections: figures
// shown rounded but kept whole in data-value (for whoever reads the file or
// tests it), table rows and plots embedded as SVG images.
#pragma once

#include <cstdint>
#include <string>

#include "plots/chart.h"

namespace vdx::report::html {

std::string Fixed(double v, int decimals);
std::string Count(int64_t n);
// <td class="n" data-value="v">v rounded</td>
std::string Cell(double v, int decimals);
// <tr><th>label</th><td>value</td></tr>; `value` is HTML already.
std::string Row(const std::string& label, const std::string& value, const std::string& id = {});
// <span data-value="v">v rounded</span>
std::string Figure(double v, int decimals);
// The plot drawn as SVG.
std::string Svg(const plots::Plot& plot);
// A figure with the SVG inline as a base64 image and its caption.
std::string Base64Image(const std::string& svg, const std::string& alt);

}  // namespace vdx::report::html
