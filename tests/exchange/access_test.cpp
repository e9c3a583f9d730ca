// Access databases (Jet 3, Jet 4 and ACE) from the shared sample files, and
// the choice of reader by connect string.
#include "exchange/formats/access/access_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "exchange/formats/dbase/dbase_reader.h"
#include "exchange/formats/excel/excel_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "exchange/formats/text/text_import.h"
#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::ErrorNumberOf;
using testing::Names;
using testing::ReadAll;
using testing::Rows;
using testing::TempFolder;
using testing::Types;

const std::string kAccess = VDX_SHARED_ACCESS;

class AccessFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(kAccess)) GTEST_SKIP() << "no sample databases in " << kAccess;
    }
};

TEST_F(AccessFiles, ListsTheUserTablesOfAJet3Database) {
    AccessReader reader(kAccess + "/nwind.mdb");
    std::vector<std::string> tables = reader.tableNames();
    EXPECT_EQ(tables.size(), 9u);
    EXPECT_NE(std::find(tables.begin(), tables.end(), "Employees"), tables.end());
    EXPECT_NE(std::find(tables.begin(), tables.end(), "Ums\xC3\xA4tze"), tables.end());  // a non-ASCII name
    for (const std::string& t : tables) EXPECT_NE(t.rfind("MSys", 0), 0u) << t;  // no system tables
}

TEST_F(AccessFiles, ColumnsAndRowsWithNullsMemosAndDates) {
    AccessReader reader(kAccess + "/nwind.mdb");
    std::vector<ColumnSpec> columns = reader.columns("Employees");
    std::vector<std::string> names = Names(columns);
    // The OLE photo is left out; the memo and the dates are kept.
    EXPECT_EQ(std::find(names.begin(), names.end(), "Photo"), names.end());
    ASSERT_EQ(names.size(), 16u);
    EXPECT_EQ(columns[0], (ColumnSpec{"EmployeeID", FieldType::Long, 0}));
    EXPECT_EQ(columns[1], (ColumnSpec{"LastName", FieldType::Text, 20}));
    EXPECT_EQ(columns[5].type, FieldType::Date);
    EXPECT_EQ(columns[14].type, FieldType::Memo);
    Rows rows = ReadAll(reader, "Employees");
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(rows[0][1], Value::text("Davolio"));
    EXPECT_EQ(rows[0][5], Value::date(DayNumber(1948, 12, 8)));
    EXPECT_EQ(rows[0][6], Value::date(DayNumber(1992, 5, 1)));
    EXPECT_EQ(rows[0][14].asText().rfind("Education includes a BA in psychology", 0), 0u);
    EXPECT_EQ(rows[0][15], Value::integer(2));  // after the memo, still read from the row
    EXPECT_TRUE(rows[1][15].isNull());          // Fuller reports to no one
}

TEST_F(AccessFiles, NumbersOfEveryWidthAndYesNoValues) {
    AccessReader reader(kAccess + "/nwind.mdb");
    EXPECT_EQ(Types(reader.columns("Order Details")),
              (std::vector<FieldType>{FieldType::Long, FieldType::Long, FieldType::Double, FieldType::Integer,
                                      FieldType::Single}));
    Rows details = ReadAll(reader, "Order Details");
    EXPECT_EQ(details.size(), 2155u);
    EXPECT_EQ(details[1][2], Value::real(9.8));
    EXPECT_EQ(details[1][3], Value::integer(10));
    Rows products = ReadAll(reader, "Products");
    ASSERT_EQ(products.size(), 77u);
    int discontinued = 0;
    for (const auto& p : products) discontinued += p[9].asBool() ? 1 : 0;
    EXPECT_EQ(products[0][9], Value::boolean(false));
    EXPECT_GT(discontinued, 0);
}

TEST_F(AccessFiles, DatesBefore1900AndInYear9999ComeAsDayNumbers) {
    AccessReader reader(kAccess + "/DateTestDatabase.mdb");
    EXPECT_EQ(reader.tableNames(), std::vector<std::string>{"DateTest"});
    Rows rows = ReadAll(reader, "DateTest");
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(DateOfDayNumber(rows[1][1].asDouble()), (CivilDate{9999, 1, 1}));
    EXPECT_EQ(DateOfDayNumber(rows[2][1].asDouble()), (CivilDate{1898, 1, 1}));
    EXPECT_EQ(DateOfDayNumber(rows[2][2].asDouble()), (CivilDate{1899, 1, 1}));
    EXPECT_EQ(DateOfDayNumber(rows[3][1].asDouble()), (CivilDate{632, 1, 1}));
    EXPECT_EQ(rows[5][4], Value::text("New line\r\nin field"));
}

TEST_F(AccessFiles, AnAccdbFileOfAccess2007) {
    AccessReader reader(kAccess + "/ASampleDatabase.accdb");
    EXPECT_EQ(reader.tableNames(), std::vector<std::string>{"Asset Items"});
    Rows rows = ReadAll(reader, "Asset Items");
    ASSERT_EQ(rows.size(), 65u);
    EXPECT_EQ(rows[0][0], Value::text("30050"));
    EXPECT_EQ(rows[0][7], Value::date(DayNumber(1997, 9, 2)));
    EXPECT_EQ(rows[0][8], Value::real(1995.5));
}

TEST_F(AccessFiles, MissingTablesAndFilesThatAreNoDatabases) {
    AccessReader reader(kAccess + "/nwind.mdb");
    EXPECT_EQ(ErrorNumberOf([&] { reader.columns("MSysObjects"); }), err::ObjectNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { reader.columns("Nothing"); }), err::ObjectNotFound);
    TempFolder dir;
    EXPECT_EQ(ErrorNumberOf([&] { AccessReader(dir.write("x.mdb", std::string(8192, 'x'))); }), err::UnrecognizedDatabase);
    EXPECT_EQ(ErrorNumberOf([&] { AccessReader(dir.write("e.mdb", "")); }), err::UnrecognizedDatabase);
    EXPECT_EQ(ErrorNumberOf([&] { AccessReader(dir.file("none.mdb")); }), err::FileNotFound);
}

}  // namespace
}  // namespace vdx::exchange
