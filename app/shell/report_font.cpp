#include "report_font.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace vdx {

QFont ReportFont() {
    QFont font("Courier New", 10);
    font.setStyleHint(QFont::TypeWriter);
    // Without Courier New the font matcher may pick a proportional face;
    // columns of the report line up only in a fixed-pitch one.
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(10);
    }
    return font;
}

}  // namespace vdx
