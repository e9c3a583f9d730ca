// Helpers of the database tests: a scratch folder per test, file contents,
// and project files in the layouts of the older format versions, built with
// the adapter the way the program of that time laid them out.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/project_file.h"
#include "test_sql.h"
#include "state/errors.h"

namespace vdx::test {

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vdx_db_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string dir_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The error number a statement throws, 0 when it throws none.
template <typename F>
int ErrorNumber(F&& f) {
    try {
        f();
    } catch (const VdxError& e) {
        return e.number();
    }
    return 0;
}

inline void AddTextRow(db::Database& d, const std::string& table,
                       const std::vector<std::pair<std::string, std::string>>& values) {
    auto rs = d.openRecordset(table);
    rs->addNew();
    for (const auto& [field, value] : values) rs->setValue(field, Value::text(value));
    rs->update();
}

// Texts of one column of a table in stored order.
inline std::vector<std::string> ColumnTexts(db::Database& d, const std::string& table,
                                            const std::string& column) {
    std::vector<std::string> out;
    auto rs = d.openRecordset(table);
    for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
        Value v = rs->value(column);
        out.push_back(v.isNull() ? "<null>" : v.kind() == Value::Kind::Text ? v.asText()
                                                                           : std::to_string(v.asDouble()));
    }
    return out;
}

// A project file of format "1.0" or "2.0": VdxSystemMain with 4 rows, the
// settings, one project P with its SMR table in that version's layout, and
// a main data table Cohort.
struct OldProject {
    std::string version = "1.0";
    std::string projectName = "P";
    std::string pyTableRow = "1";  // row 3 of the SMR table
    std::string sex1 = "1", sex2 = "2";
    std::vector<std::string> figures = {"12", "30.5", "1000.25", "0.0305", "7.5",
                                        "160", "80.1", "250.3", "2000", "1900", "10", "0.05"};
};

inline void MakeOldProjectFile(const std::string& path, const OldProject& p) {
    auto d = db::Database::create(path);
    using db::FieldDef;
    auto text = [](const char* n, bool zls) { return FieldDef{n, FieldType::Text, 255, zls}; };
    d->createTable({"VdxSystemMain", 0, {text("Typ", false), text("Value", true)}});
    d->createTable({"VdxSystemPY", 0, {text("Typ", false), text("Value", true)}});
    d->createTable({"VdxSystemRateTables", 0, {text("RateTables", false)}});
    test::CreateTable(*d, "VdxPyValues", "PersonYears LONG");
    test::CreateTable(*d, "VdxAgeClassValues", "AgeClass INTEGER");
    test::CreateTable(*d, "VdxYearClassValues", "YearClass INTEGER");
    d->createTable({"VdxSystemProjects", 0, {text("Projects", false)}});
    AddTextRow(*d, "VdxSystemMain", {{"Typ", "Version"}, {"Value", p.version}});
    AddTextRow(*d, "VdxSystemMain", {{"Typ", "MainTable"}, {"Value", "Cohort"}});
    AddTextRow(*d, "VdxSystemMain", {{"Typ", "intRateTablesAnzahl"}, {"Value", "0"}});
    AddTextRow(*d, "VdxSystemMain", {{"Typ", "intProjectAnzahl"}, {"Value", "1"}});
    const auto& keys = db::SystemPyKeys();
    for (size_t i = 0; i < keys.size(); ++i) {
        std::string v = "0";
        if (keys[i][0] == 'b' || keys[i] == "varSexStatus" || keys[i] == "varLagStatus") v = "False";
        if (keys[i] == "varDOB" || keys[i] == "varEPS" || keys[i] == "varTPS") v = "";
        if (keys[i] == "varSEX" || keys[i] == "varDOH") v = "";
        if (keys[i] == "varSex1") v = p.sex1;
        if (keys[i] == "varSex2") v = p.sex2;
        AddTextRow(*d, "VdxSystemPY", {{"Typ", keys[i]}, {"Value", v}});
    }
    AddTextRow(*d, "VdxSystemProjects", {{"Projects", p.projectName}});
    test::CreateTable(*d, "Cohort", "ID LONG, DOB DATE, Sex INTEGER, Name TEXT");
    {
        auto rs = d->openRecordset("Cohort");
        rs->addNew();
        rs->setValue("ID", Value::integer(1));
        rs->setValue("DOB", Value::date(10000));
        rs->setValue("Sex", Value::integer(1));
        rs->setValue("Name", Value::text("A"));
        rs->update();
    }
    CreateTable(*d, p.projectName + "_Deaths", "Deaths LONG");
    CreateTable(*d, p.projectName + "_SMR", p.version == "1.0" ? "Typ TEXT, Values TEXT" : "Typ TEXT, Values TEXT, Figures DOUBLE");
    const std::string smr = p.projectName + "_SMR";
    AddTextRow(*d, smr, {{"Typ", "ProjectName"}, {"Values", p.projectName}});
    AddTextRow(*d, smr, {{"Typ", "RateTable"}, {"Values", "RATES"}});
    AddTextRow(*d, smr, {{"Typ", "PyTable"}, {"Values", p.pyTableRow}});
    AddTextRow(*d, smr, {{"Typ", "Alpha"}, {"Values", "0.05"}});
    AddTextRow(*d, smr, {{"Typ", "varDTH"}, {"Values", "ICD"}});
    const char* keys6to17[] = {"varTod", "totTote", "totPy", "totDthRate", "Expected", "Smr",
                               "Smr_l",  "Smr_h",   "N",     "NInc",       "Lag",      "Level"};
    for (int i = 0; i < 12; ++i) {
        auto rs = d->openRecordset(smr);
        rs->addNew();
        rs->setValue("Typ", Value::text(keys6to17[i]));
        if (p.version == "1.0")
            rs->setValue("Values", Value::text(p.figures[static_cast<size_t>(i)]));
        else
            rs->setValue("Figures", Value::text(p.figures[static_cast<size_t>(i)]));
        rs->update();
        if (p.version == "2.0" && i == 10) break;  // 2.0: rows 6 to 16 and then Method
    }
    if (p.version == "2.0") AddTextRow(*d, smr, {{"Typ", "Method"}, {"Values", "Exact"}});
}

}  // namespace vdx::test
