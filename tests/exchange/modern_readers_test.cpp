// The readers of today's formats (.xlsx, Stata, SAS, SPSS, CSV) over
// fixtures written by independent producers (tests/exchange/fixtures/modern,
// made by the scripts there), compared cell for cell; damaged and hostile
// files are refused with 3274 naming the file.
#include <gtest/gtest.h>

#include "exchange/xlsx_reader.h"
#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::Names;
using testing::ReadAll;
using testing::Rows;
using testing::Types;

const std::string kModern = std::string(VDX_FIXTURES) + "/modern/";

// The message of the VdxError a call throws ("" with number 0 when none).
template <typename F>
std::pair<int, std::string> ErrorOf(F&& f) {
    try {
        f();
    } catch (const VdxError& e) {
        return {e.number(), e.what()};
    }
    return {0, ""};
}

class XlsxEpochs : public ::testing::TestWithParam<const char*> {};

TEST_P(XlsxEpochs, ReadsSheetsCellForCell) {
    XlsxReader reader(kModern + GetParam());
    EXPECT_EQ(reader.tableNames(), (std::vector<std::string>{"Cohort$", "Rates$"}));
    const std::vector<ColumnSpec> columns = reader.columns("Cohort$");
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"id", "name", "birth", "alive", "weight"}));
    EXPECT_EQ(Types(columns), (std::vector<FieldType>{FieldType::Double, FieldType::Text, FieldType::Date,
                                                      FieldType::Boolean, FieldType::Double}));
    const Rows expected = {
        {Value::real(1), Value::text("\xC3\x85lund, \"Per\""), Value::date(DayNumber(1867, 3, 15)),
         Value::boolean(true), Value::real(71.5)},
        {Value::real(2), Value(), Value::date(DayNumber(1923, 12, 31)), Value::boolean(false), Value()},
        {Value::real(3), Value::text("Berg"), Value::date(DayNumber(1900, 1, 1)), Value::boolean(true), Value::real(80)},
    };
    EXPECT_EQ(ReadAll(reader, "Cohort$"), expected);
    EXPECT_EQ(ReadAll(reader, "rates"), (Rows{{Value::real(20), Value::real(0.0012)}}));
}

INSTANTIATE_TEST_SUITE_P(OpenpyxlWorkbooks, XlsxEpochs, ::testing::Values("cohort.xlsx", "cohort1904.xlsx"));

TEST(XlsxBadFiles, TruncatedAndBombedWorkbooksAreRefusedNamingTheFile) {
    for (const char* file : {"truncated.xlsx", "bomb.xlsx"}) {
        auto [number, message] = ErrorOf([&] {
            XlsxReader reader(kModern + file);
            ReadAll(reader, reader.tableNames().front());
        });
        EXPECT_EQ(number, err::NotExpectedFormat) << file;
        EXPECT_NE(message.find(file), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace vdx::exchange
