#include "copy_table.h"

#include <algorithm>

namespace vdx {

std::string CopySelectionText(const GridSelection& s,
                              const std::function<std::string(int, int)>& cellText) {
    int r1 = std::min(s.currentRow, s.endRow);
    int r2 = std::max(s.currentRow, s.endRow);
    int c1 = std::min(s.currentCol, s.endCol);
    int c2 = std::max(s.currentCol, s.endCol);
    if (s.currentRow == 1) r1 = 0;
    if (s.currentCol == 1) c1 = 0;

    std::string text;
    for (int r = r1; r <= r2; ++r) {
        for (int c = c1; c <= c2; ++c) {
            text += cellText(r, c);
            text += c == c2 ? '\n' : '\t';
        }
    }
    return text;
}

}  // namespace vdx
