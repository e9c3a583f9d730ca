// ODBC sources through unixODBC: the SQLite ODBC driver with a private
// driver and data source configuration, and a PostgreSQL server that
// run_postgres_tests.sh starts for the PostgresOdbc tests (they are skipped
// when VDX_PG_PORT is not set).
#include "exchange/formats/odbc/odbc_reader.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

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


// One private ODBC configuration for the whole test program: unixODBC reads
// ODBCSYSINI and ODBCINI, so the machine's own configuration is not touched.
class OdbcConfiguration : public ::testing::Environment {
public:
    void SetUp() override {
        folder_ = std::make_unique<TempFolder>();
        database_ = folder_->file("cohort.sqlite");
        const char* sql =
            "CREATE TABLE cohort (Name VARCHAR(30), Born DATE, Sex SMALLINT, Id INTEGER, Weight DOUBLE, Notes TEXT);"
            "INSERT INTO cohort VALUES ('Smith', '1950-02-01', 1, 101, 72.5, 'first');"
            "INSERT INTO cohort VALUES ('M\xC3\xBCller', '1889-05-12', 2, 102, 60.25, NULL);"
            "INSERT INTO cohort VALUES (NULL, NULL, NULL, NULL, NULL, '');"
            "CREATE TABLE rates (Age INTEGER, Rate DOUBLE);"
            "INSERT INTO rates VALUES (40, 0.0012);"
            "CREATE VIEW men AS SELECT Name FROM cohort WHERE Sex = 1;";
        testing::MakePrivateOdbcSource(*folder_, "vdx_cohort", database_, sql);
    }
    void TearDown() override { folder_.reset(); }
    static const std::string& database() { return database_; }

private:
    std::unique_ptr<TempFolder> folder_;
    static inline std::string database_;
};

const auto* const kConfiguration = ::testing::AddGlobalTestEnvironment(new OdbcConfiguration);

TEST(SqliteOdbc, TheDataSourcesOfThePrivateConfigurationAreListed) {
    std::vector<OdbcDataSource> sources = ListOdbcDataSources();
    auto it = std::find_if(sources.begin(), sources.end(), [](const OdbcDataSource& s) { return s.name == "vdx_cohort"; });
    ASSERT_NE(it, sources.end());
    EXPECT_EQ(it->description, "VdxSQLite3");
}

TEST(SqliteOdbc, TablesAndViewsOfADataSource) {
    OdbcReader reader("DSN=vdx_cohort");
    std::vector<std::string> tables = reader.tableNames();
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(tables, (std::vector<std::string>{"cohort", "men", "rates"}));
}

TEST(SqliteOdbc, ColumnsAndRowsWithTheirTypes) {
    OdbcReader reader("vdx_cohort");  // a bare name is a data source name
    std::vector<ColumnSpec> columns = reader.columns("cohort");
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"Name", "Born", "Sex", "Id", "Weight", "Notes"}));
    EXPECT_EQ(columns[0], (ColumnSpec{"Name", FieldType::Text, 30}));
    EXPECT_EQ(Types(columns), (std::vector<FieldType>{FieldType::Text, FieldType::Date, FieldType::Integer,
                                                      FieldType::Long, FieldType::Double, FieldType::Memo}));
    Rows rows = ReadAll(reader, "cohort");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value::text("Smith"));
    EXPECT_EQ(rows[0][1], Value::date(DayNumber(1950, 2, 1)));
    EXPECT_EQ(rows[0][3], Value::integer(101));
    EXPECT_EQ(rows[0][4], Value::real(72.5));
    EXPECT_EQ(rows[1][0], Value::text("M\xC3\xBCller"));
    EXPECT_EQ(rows[1][1], Value::date(DayNumber(1889, 5, 12)));
    EXPECT_EQ(rows[1][2], Value::integer(2));
    EXPECT_TRUE(rows[1][5].isNull());
    for (const Value& v : std::vector<Value>(rows[2].begin(), rows[2].end() - 1)) EXPECT_TRUE(v.isNull());
    EXPECT_EQ(rows[2][5], Value::text(""));
}

TEST(SqliteOdbc, AFullConnectionStringAndACaseInsensitiveTableName) {
    OdbcReader reader("DRIVER={VdxSQLite3};DATABASE=" + OdbcConfiguration::database());
    Rows rows = ReadAll(reader, "RATES");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value::integer(40));
    EXPECT_EQ(rows[0][1], Value::real(0.0012));
}

TEST(SqliteOdbc, FailuresCarryTheDriversMessage) {
    try {
        OdbcReader reader("DSN=no_such_source");
        ADD_FAILURE();
    } catch (const VdxError& e) {
        EXPECT_EQ(e.number(), err::OdbcConnectionFailed);
        EXPECT_NE(std::string(e.what()).find("(IM002)"), std::string::npos) << e.what();  // data source not found
    }
    OdbcReader reader("DSN=vdx_cohort");
    EXPECT_EQ(ErrorNumberOf([&] { reader.columns("missing"); }), err::ObjectNotFound);
}

// --- PostgreSQL ------------------------------------------------------------------

class PostgresOdbc : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("VDX_PG_PORT");
        if (!port) GTEST_SKIP() << "no PostgreSQL server: run tests/exchange/run_postgres_tests.sh";
        // psqlodbc hands booleans over as the characters 1 and 0 unless told otherwise.
        connection = std::string("DRIVER={VdxPostgreSQL};SERVER=127.0.0.1;PORT=") + port +
                     ";DATABASE=postgres;UID=postgres;PWD=;BoolsAsChar=0;";
    }
    std::string connection;
};

TEST_F(PostgresOdbc, TablesAreListedWithTheirSchema) {
    OdbcReader reader(connection);
    std::vector<std::string> tables = reader.tableNames();
    EXPECT_NE(std::find(tables.begin(), tables.end(), "public.cohort"), tables.end());
    EXPECT_NE(std::find(tables.begin(), tables.end(), "study.rates"), tables.end());
}

TEST_F(PostgresOdbc, RowsOfEveryTypeFromASchemaTable) {
    OdbcReader reader(connection);
    std::vector<ColumnSpec> columns = reader.columns("public.cohort");
    EXPECT_EQ(Names(columns), (std::vector<std::string>{"name", "born", "sex", "id", "weight", "alive", "seen"}));
    EXPECT_EQ(Types(columns), (std::vector<FieldType>{FieldType::Text, FieldType::Date, FieldType::Integer,
                                                      FieldType::Long, FieldType::Double, FieldType::Boolean,
                                                      FieldType::Date}));
    Rows rows = ReadAll(reader, "public.cohort");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value::text("Smith"));
    EXPECT_EQ(rows[0][1], Value::date(DayNumber(1950, 2, 1)));
    EXPECT_EQ(rows[0][4], Value::real(72.5));
    EXPECT_EQ(rows[0][5], Value::boolean(true));
    EXPECT_EQ(rows[0][6], Value::date(DayNumber(2001, 2, 3) + 0.5));
    EXPECT_EQ(rows[1][0], Value::text("M\xC3\xBCller"));
    EXPECT_EQ(rows[1][1], Value::date(DayNumber(1889, 5, 12)));
    EXPECT_EQ(rows[1][5], Value::boolean(false));
    EXPECT_TRUE(rows[2][0].isNull());
    EXPECT_TRUE(rows[2][1].isNull());
    Rows rates = ReadAll(reader, "study.rates");
    ASSERT_EQ(rates.size(), 2u);
    EXPECT_EQ(rates[1][1], Value::real(0.0021));
}

TEST_F(PostgresOdbc, AWrongPortIsAConnectionFailure) {
    EXPECT_EQ(ErrorNumberOf([] { OdbcReader("DRIVER={VdxPostgreSQL};SERVER=127.0.0.1;PORT=1;DATABASE=postgres;UID=postgres"); }),
              err::OdbcConnectionFailed);
}

}  // namespace
}  // namespace vdx::exchange
