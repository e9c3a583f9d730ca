// The fixed-pitch font of the SMR report and the SMR calculator's output:
// "Courier New" where it is installed, else the system's fixed-pitch font.
#pragma once

#include <QFont>

namespace vdx {

QFont ReportFont();

}  // namespace vdx
