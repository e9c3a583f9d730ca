// Tables > Copy: which rows and columns a selection copies and how the text
// is laid out.
#include <gtest/gtest.h>

#include <string>

#include "copy_table.h"

namespace vdx {
namespace {

// A grid whose cells name their position: "r2c3".
std::string Named(int r, int c) { return "r" + std::to_string(r) + "c" + std::to_string(c); }

std::string Copy(int row, int col, int endRow, int endCol) {
    return CopySelectionText({row, col, endRow, endCol}, Named);
}

// The person-years grid of 3 age classes and 2 calendar periods.
std::string PyCell(int r, int c) {
    static const char* cells[4][3] = {{"Age class", "1970 - 1980", "1980 - 1990"},
                                      {"20 - 40", "0", "2.00"},
                                      {"40 - 60", "1.50", "3.25"},
                                      {"60 - 80", "4.00", "0"}};
    return cells[r][c];
}

TEST(CopyTable, SelectionStartedOnFirstCellTakesHeaderRowAndColumn) {
    const std::string text = CopySelectionText({1, 1, 2, 2}, PyCell);
    EXPECT_EQ(text,
              "Age class\t1970 - 1980\t1980 - 1990\n"
              "20 - 40\t0\t2.00\n"
              "40 - 60\t1.50\t3.25\n");
}

TEST(CopyTable, InnerSelectionCopiesExactlyItsCells) {
    EXPECT_EQ(Copy(2, 3, 3, 4), "r2c3\tr2c4\nr3c3\tr3c4\n");
}

TEST(CopyTable, DirectionOfTheDragDecidesAboutTheHeaderRow) {
    // Dragged from row 3 up to row 1: the start is row 3, no header row.
    EXPECT_EQ(Copy(3, 2, 1, 2), "r1c2\nr2c2\nr3c2\n");
    // Rows 1 to 3 selected downwards: the header row comes with them.
    EXPECT_EQ(Copy(1, 2, 3, 2), "r0c2\nr1c2\nr2c2\nr3c2\n");
}

TEST(CopyTable, StartInFirstColumnTakesHeaderColumnOnly) {
    EXPECT_EQ(Copy(2, 1, 2, 2), "r2c0\tr2c1\tr2c2\n");
    // Dragged leftwards onto column 1: no header column.
    EXPECT_EQ(Copy(2, 3, 2, 1), "r2c1\tr2c2\tr2c3\n");
}

TEST(CopyTable, SingleCellAndLineEnds) {
    const std::string text = Copy(4, 5, 4, 5);
    EXPECT_EQ(text, "r4c5\n");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find('\t'), std::string::npos);
}

TEST(CopyTable, EmptyCellsKeepTheirTabs) {
    const auto blank = [](int r, int c) { return r == 2 && c == 2 ? std::string() : Named(r, c); };
    EXPECT_EQ(CopySelectionText({2, 2, 2, 4}, blank), "\tr2c3\tr2c4\n");
}

}  // namespace
}  // namespace vdx
