#include "sample_project.h"

#include "db/database.h"
#include "db/file_commands.h"
#include "db/project_file.h"
#include "test_sql.h"
#include "state/text_values.h"

namespace vdx::test {

namespace {

using db::FieldDef;
using db::TableDef;

FieldDef Field(const std::string& name, FieldType type, int size = 0) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = type == FieldType::Text ? (size ? size : 50) : 0;
    return f;
}

void AddRow(db::Recordset& rs, const std::vector<Value>& values) {
    rs.addNew();
    for (size_t i = 0; i < values.size(); ++i) rs.setValue(static_cast<int>(i), values[i]);
    rs.update();
}

}  // namespace

void SetSamplePersonYears(ProgramState& state) {
    PySettings& py = state.py;
    py.computed = true;
    py.tableCount = 3;
    py.bySex = true;
    py.sexCode1 = 1;
    py.sexCode2 = 2;
    py.ageBoundCount = 4;
    py.calendarBoundCount = 3;
    state.AgeBounds = {0, 20, 40, 60, 80};
    state.CalendarBounds = {0, 1970, 1980, 1990};
    state.PyValues.resize(3, 3, 2);
    for (int t = 1; t <= 3; ++t)
        for (int a = 1; a <= 3; ++a)
            for (int c = 1; c <= 2; ++c) state.PyValues.at(t, a, c) = 1000 * t + 100 * a + 10 * c;
    state.PyValues.at(1, 1, 1) = 0;
    state.PyValues.at(1, 1, 2) = 730;
}

bool CreateSampleProject(ProgramState& state, Interaction& ui, const std::string& path) {
    if (!db::CreateProjectFile(state, ui, path)) return false;
    auto wc = db::Database::open(state.WorkingCopyName);

    TableDef cohort;
    cohort.name = kMainTable;
    cohort.fields = {Field("ID", FieldType::Long), Field("Birth", FieldType::Date),
                     Field("Entry", FieldType::Text, 20), Field("Sex", FieldType::Integer),
                     Field("Name", FieldType::Text, 30)};
    wc->createTable(cohort);
    {
        auto rs = wc->openRecordset(kMainTable);
        AddRow(*rs, {Value::integer(1), Value::date(DayNumber(1950, 3, 15)), Value::text("1970-01-01"),
                     Value::integer(1), Value::text("Ann")});
        AddRow(*rs, {Value::integer(2), Value::date(DayNumber(1948, 12, 31)), Value::text("1972-07-04"),
                     Value::integer(2), Value::text("Bert")});
        AddRow(*rs, {Value::integer(3), Value::null(), Value::text("not known"), Value::integer(1),
                     Value::text("Cleo")});
    }

    TableDef rates;
    rates.name = kRateTable;
    rates.fields = {Field("Age", FieldType::Integer), Field("Rate", FieldType::Double)};
    wc->createTable(rates);
    {
        auto rs = wc->openRecordset(kRateTable);
        AddRow(*rs, {Value::integer(20), Value::real(0.0012)});
        AddRow(*rs, {Value::integer(40), Value::real(0.0034)});
        auto list = wc->openRecordset(db::kVdxSystemRateTables);
        AddRow(*list, {Value::text(kRateTable)});
    }

    test::CreateTable(*wc, std::string(kProject) + "_Deaths", "Deaths LONG");
    test::CreateTable(*wc, std::string(kProject) + "_SMR", "Typ TEXT, Values TEXT, Figures DOUBLE");
    {
        auto deaths = wc->openRecordset(std::string(kProject) + "_Deaths");
        for (int d = 1; d <= 6; ++d) AddRow(*deaths, {Value::integer(d)});
        // The 19 rows of an SMR table, as a run stores them.
        auto smr = wc->openRecordset(std::string(kProject) + "_SMR");
        const auto text = [&](const char* typ, const std::string& v) {
            AddRow(*smr, {Value::text(typ), Value::text(v), Value::null()});
        };
        const auto figure = [&](const char* typ, double v) {
            AddRow(*smr, {Value::text(typ), Value::null(), Value::real(v)});
        };
        text("ProjectName", kProject);
        text("RateTable", kRateTable);
        text("PyTable", "Age*Calendar");
        text("Alpha", "0.05");
        text("varDTH", "Sex");
        figure("varTod", 1);
        figure("totTote", 3);
        figure("totPy", 10.5);
        figure("totDthRate", 3 / 10.5);
        figure("Expected", 2);
        figure("Smr", 1.5);
        figure("Smr_l", 0.3);
        figure("Smr_h", 4.4);
        figure("N", 3);
        figure("NInc", 3);
        figure("Lag", 0);
        text("Method", "Byar");
        text("MainTable", kMainTable);
        text("valuesDTH", "1");
        auto list = wc->openRecordset(db::kVdxSystemProjects);
        AddRow(*list, {Value::text(kProject)});
    }

    state.MainTableName = kMainTable;
    state.MainTableFields = db::ClassifyColumns(*wc, kMainTable);
    state.RateTableCount = 1;
    state.ProjectCount = 1;
    SetSamplePersonYears(state);
    state.ProjectChanged = true;
    return true;
}

void AddLargeTable(const std::string& workingCopy, const std::string& name, int rows) {
    auto wc = db::Database::open(workingCopy);
    TableDef big;
    big.name = name;
    big.fields = {Field("ID", FieldType::Long), Field("Birth", FieldType::Date),
                  Field("Entry", FieldType::Date), Field("Sex", FieldType::Integer),
                  Field("Weight", FieldType::Double)};
    wc->createTable(big);
    wc->beginTransaction();
    {
        auto rs = wc->openRecordset(name);
        const double birth = DayNumber(1940, 1, 1);
        for (int i = 0; i < rows; ++i)
            AddRow(*rs, {Value::integer(i + 1), Value::date(birth + i % 7300),
                         Value::date(birth + 7300 + i % 3650), Value::integer(1 + i % 2),
                         Value::real(50 + (i % 500) / 10.0)});
    }
    wc->commit();
}

}  // namespace vdx::test
