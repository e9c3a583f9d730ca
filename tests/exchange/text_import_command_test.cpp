// The ASCII import dialog's logic (frmTextImport without widgets): the
// preview and its header row, the type controls of each column, and Import
// into a study's working copy with its failures.
#include "exchange/commands/text_import_command.h"

#include <gtest/gtest.h>

#include "attach_test_support.h"
#include "db/database.h"
#include "state/text_values.h"
#include "test_support.h"

namespace vdx::exchange {
namespace {

using testing::ColumnTexts;
using testing::DumpDatabase;
using testing::RowCount;
using testing::TableNames;
using testing::TempFolder;

class TextImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db::CreateProjectFile(state, ui, dir.file("study.vdx")));
        ui.messages.clear();
    }
    void TearDown() override { db::ReleaseWorkingCopy(state); }

    // Points the state at a file of the source folder, as the attach commands do.
    std::unique_ptr<TextImportForm> load(const std::string& fileName, const std::string& bytes,
                                         const std::string& table = "imported") {
        src.write(fileName, bytes);
        state.ExternalDatabaseName = src.path() + "/";
        state.ExternalFileTitle = fileName;
        state.ExternalTableName = table;
        return std::make_unique<TextImportForm>(state, ui);
    }
    // A CSV file, as Add > CSV points the state at it.
    std::unique_ptr<TextImportForm> loadCsv(const std::string& fileName, const std::string& bytes,
                                            const std::string& table = "imported") {
        state.ExternalConnect = "CSV;";
        return load(fileName, bytes, table);
    }
    std::vector<std::string> proposedTypes(TextImportForm& form) {
        std::vector<std::string> types;
        for (int c = 1; c <= form.columnCount(); ++c) types.push_back(form.column(c).type);
        return types;
    }
    std::string wc() const { return state.WorkingCopyName; }
    // The stored values of the imported table, read back through the adapter.
    std::vector<std::vector<Value>> rows(const std::string& table = "imported") {
        std::vector<std::vector<Value>> out;
        auto d = db::Database::open(wc());
        auto rs = d->openRecordset(table);
        for (; !rs->eof(); rs->moveNext()) {
            std::vector<Value> row;
            for (int i = 0; i < rs->fieldCount(); ++i) row.push_back(rs->value(i));
            out.push_back(row);
        }
        return out;
    }
    db::TableDef definition(const std::string& table = "imported") { return db::Database::open(wc())->tableDef(table); }
    std::string lastMessage() const { return ui.messages.empty() ? std::string() : ui.messages.back().text; }

    TempFolder dir, src;
    ProgramState state;
    ScriptedInteraction ui;
};

std::string Lines(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "line" + std::to_string(i) + ";" + std::to_string(i) + "\r\n";
    return text;
}

// ---- The preview -------------------------------------------------------------------------------

TEST_F(TextImportTest, ThePreviewShowsTenLinesAndImportTakesThemAll) {
    auto form = load("long.txt", Lines(25));
    EXPECT_EQ(form->rows().size(), 10u);
    EXPECT_EQ(form->rows()[9], (std::vector<std::string>{"line10", "10"}));
    EXPECT_EQ(form->columnCount(), 2);
    ASSERT_TRUE(form->import());
    EXPECT_EQ(RowCount(wc(), "imported"), 25);

    auto headed = load("long.txt", Lines(25), "headed");
    headed->setHeaders(true);
    EXPECT_EQ(headed->rows().size(), 9u);
    ASSERT_TRUE(headed->import());
    EXPECT_EQ(RowCount(wc(), "headed"), 24);
    EXPECT_EQ(definition("headed").fields[0].name, "line1");
}

TEST_F(TextImportTest, CheckingHeadersMovesTheFirstLineIntoTheHeaderRow) {
    auto form = load("h.txt", "\"Name\";\"Born\"\r\nSmith;01021950\r\nJones;02031960\r\n");
    EXPECT_EQ(form->headerRow(), (std::vector<std::string>{"Var1", "Var2"}));
    EXPECT_EQ(form->rows(), (std::vector<std::vector<std::string>>{{"Name", "Born"}, {"Smith", "01021950"},
                                                                    {"Jones", "02031960"}}));
    form->setHeaders(true);
    EXPECT_EQ(form->headerRow(), (std::vector<std::string>{"Name", "Born"}));
    EXPECT_EQ(form->rows(), (std::vector<std::vector<std::string>>{{"Smith", "01021950"}, {"Jones", "02031960"}}));
    form->setHeaders(false);
    EXPECT_EQ(form->rows().front(), (std::vector<std::string>{"Name", "Born"}));
}

// ---- What the dialog proposes from the data ----------------------------------------------------

TEST_F(TextImportTest, TypesAndTheHeaderRowAreProposedFromTheData) {
    struct Case {
        const char* text;
        bool headers;
        std::vector<TextColumn> columns;
    };
    const TextColumn text, integer{"Integer", "", "", ""}, long_{"Long", "", "", ""}, real{"Double", "", "", ""};
    const Case cases[] = {
        {"ID;Born;Weight;Name\r\n1;01021950;70.5;Ann\r\n-2;31121949;80;Bert\r\n", true,
         {integer, {"Date", "DDMMYYYY", "", ""}, real, text}},
        {"40000;05mar1960;1e3\r\n2;17jan1961;2\r\n", false, {long_, {"Date", "DDMMMYYYY", "", ""}, real}},
        {"12251950\r\n01311960\r\n", false, {{"Date", "MMDDYYYY", "", ""}}},  // no 25th or 31st month
        {"3000000000;x\r\n1;\r\n", false, {real, text}},                      // an empty field stays Text
        {"Name;Town\r\nAnn;Oslo\r\n", false, {text, text}},                  // names over names: no header
        {"1;2\r\n", false, {integer, integer}},
    };
    for (const auto& c : cases) {
        auto form = load("p.txt", c.text);
        form->proposeFromData();
        EXPECT_EQ(form->headers(), c.headers) << c.text;
        for (int col = 1; col <= form->columnCount(); ++col)
            EXPECT_EQ(form->column(col), c.columns[static_cast<size_t>(col) - 1]) << c.text << " column " << col;
    }
}

TEST_F(TextImportTest, ThePreviewShowsTheFieldsAsTheyWillBeStored) {
    auto form = load("s.txt", "01021950;7;x\r\n12251950;8.5;y\r\n");
    form->clickColumn(1);
    form->chooseType("Date");  // DDMMYYYY: the 25th month rolls over, the mistake is in plain sight
    form->clickColumn(2);
    form->chooseType("Integer");
    form->clickColumn(3);
    form->chooseType("Double");
    EXPECT_EQ(form->rows(),
              (std::vector<std::vector<std::string>>{
                  {FormatDate(DayNumber(1950, 2, 1)), "7", std::string(kNotConvertible) + "x"},
                  {FormatDate(DayNumber(1952, 1, 12)), "8", std::string(kNotConvertible) + "y"}}));
}

TEST_F(TextImportTest, SeveralSelectedColumnsTakeOneTypeAtOnce) {
    auto form = load("m.txt", "a;b;c;d\r\n");
    form->clickColumn(2);
    form->selectColumns({2, 4});
    form->chooseType("Date");
    form->chooseDateLayout("YYYY");
    form->chooseMonth("07");
    const TextColumn july{"Date", "YYYY", "01", "07"};
    EXPECT_EQ(form->column(2), july);
    EXPECT_EQ(form->column(4), july);
    EXPECT_EQ(form->column(1), TextColumn{});
    EXPECT_EQ(form->column(3), TextColumn{});
    form->clickColumn(3);  // a plain click selects one column again
    form->chooseType("Long");
    EXPECT_EQ(form->column(4), july);
}

TEST_F(TextImportTest, ShortLinesFillTheWidestLinesColumnsWithBlanks) {
    auto form = load("w.txt", "a;b\r\nc;d;e\r\n\r\n");
    EXPECT_EQ(form->columnCount(), 3);
    EXPECT_EQ(form->rows(), (std::vector<std::vector<std::string>>{{"a", "b", ""}, {"c", "d", "e"}, {"", "", ""}}));
}

// ---- The type controls ----------------------------------------------------------------------

TEST_F(TextImportTest, EveryColumnStartsAsTextWithTheLayoutListsDisabled) {
    auto form = load("c.txt", "1;2;3\r\n");
    EXPECT_EQ(form->currentColumn(), 1);
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(form->column(c), TextColumn{});
    EXPECT_EQ(form->controls(), (TextImportForm::Controls{"Text", false, "", false, "", ""}));
    EXPECT_EQ(TextImportDays().size(), 31u);
    EXPECT_EQ(TextImportDays().front(), "01");
    EXPECT_EQ(TextImportDays()[8], "09");
    EXPECT_EQ(TextImportDays().back(), "31");
    EXPECT_EQ(TextImportMonths().size(), 12u);
    EXPECT_EQ(TextImportMonths().back(), "12");
}

TEST_F(TextImportTest, DateTakesTheStoredLayoutOrDDMMYYYYAndYYYYEnablesDayAndMonth) {
    auto form = load("c.txt", "1;2;3\r\n");
    form->clickColumn(2);
    form->chooseType("Date");
    EXPECT_EQ(form->controls(), (TextImportForm::Controls{"Date", true, "DDMMYYYY", false, "", ""}));
    form->chooseDateLayout("YYYY");
    EXPECT_EQ(form->controls(), (TextImportForm::Controls{"Date", true, "YYYY", true, "01", "01"}));
    form->chooseMonth("07");
    form->chooseDay("15");
    EXPECT_EQ(form->column(2), (TextColumn{"Date", "YYYY", "15", "07"}));

    // Another column shows its own description; coming back shows this one's.
    form->clickColumn(3);
    EXPECT_EQ(form->controls().type, "Text");
    EXPECT_FALSE(form->controls().layoutEnabled);
    form->clickColumn(2);
    EXPECT_EQ(form->controls(), (TextImportForm::Controls{"Date", true, "YYYY", true, "15", "07"}));

    // Text clears and disables the lists; Date again brings the stored layout back.
    form->chooseType("Text");
    EXPECT_EQ(form->controls(), (TextImportForm::Controls{"Text", false, "", false, "", ""}));
    form->chooseType("Date");
    EXPECT_EQ(form->controls().layout, "YYYY");
    form->chooseDateLayout("MMDDYYYY");
    EXPECT_FALSE(form->controls().dayMonthEnabled);
    // A choice no list offers is refused.
    EXPECT_EQ(testing::ErrorNumberOf([&] { form->chooseType("Currency"); }), err::TypeMismatch);
    EXPECT_EQ(testing::ErrorNumberOf([&] { form->chooseDay("32"); }), err::TypeMismatch);
    EXPECT_EQ(testing::ErrorNumberOf([&] { form->clickColumn(4); }), err::ItemNotFound);
}

// ---- Import ---------------------------------------------------------------------------------------

TEST_F(TextImportTest, QuotedHeadersNameTheColumnsAndTheDateIsRead) {
    auto form = load("names.txt", "\"Name\";\"Born\"\r\nSmith;01021950\r\n");
    form->setHeaders(true);
    form->clickColumn(2);
    form->chooseType("Date");
    ASSERT_TRUE(form->import());
    EXPECT_TRUE(state.TextImportDone);
    const db::TableDef def = definition();
    ASSERT_EQ(def.fields.size(), 2u);
    EXPECT_EQ(def.fields[0], (db::FieldDef{"Name", FieldType::Text, 255, true}));
    EXPECT_EQ(def.fields[1].name, "Born");
    EXPECT_EQ(def.fields[1].type, FieldType::Date);
    EXPECT_EQ(rows(), (std::vector<std::vector<Value>>{{Value::text("Smith"), Value::date(DayNumber(1950, 2, 1))}}));
}

TEST_F(TextImportTest, WithoutHeadersTheNamesAreVarNAndTheHeaderLineFailsInTheDateColumn) {
    auto form = load("names.txt", "\"Name\";\"Born\"\r\nSmith;01021950\r\n");
    form->clickColumn(2);
    form->chooseType("Date");
    const std::string before = DumpDatabase(wc());
    EXPECT_FALSE(form->import());
    EXPECT_EQ(lastMessage(),
              "Following error has occured:\r\nNumber: 13\r\nDescription: Can't convert data in column 2 to Date\r\n\r\n"
              "Line 1, column 2 (Var2) holds \"Born\": a Date column holds dates of the layout DDMMYYYY that exist.");
    EXPECT_EQ(ui.messages.back().icon, Icon::Critical);
    EXPECT_EQ(ui.messages.back().title, "Error");
    EXPECT_FALSE(state.TextImportDone);
    EXPECT_EQ(DumpDatabase(wc()), before);  // the new table is gone again

    // As text, the header line is the first row, under the names Var1 and Var2.
    form->chooseType("Text");
    ASSERT_TRUE(form->import());
    EXPECT_EQ(definition().fields[0].name, "Var1");
    EXPECT_EQ(definition().fields[1].name, "Var2");
    EXPECT_EQ(ColumnTexts(wc(), "imported", "Var2"), (std::vector<std::string>{"Born", "01021950"}));
}

TEST_F(TextImportTest, TheFourDateLayoutsWithRollover) {
    auto form = load("dates.txt", "05mar1960;31021950;07041955;1948;05MAR1960\r\n");
    const char* layouts[] = {"DDMMMYYYY", "DDMMYYYY", "MMDDYYYY", "YYYY", "DDMMMYYYY"};
    for (int c = 1; c <= 5; ++c) {
        form->clickColumn(c);
        form->chooseType("Date");
        form->chooseDateLayout(layouts[c - 1]);
    }
    form->clickColumn(4);
    form->chooseDay("01");
    form->chooseMonth("07");
    ASSERT_TRUE(form->import()) << lastMessage();
    EXPECT_EQ(rows()[0], (std::vector<Value>{Value::date(DayNumber(1960, 3, 5)), Value::date(DayNumber(1950, 3, 3)),
                                             Value::date(DayNumber(1955, 7, 4)), Value::date(DayNumber(1948, 7, 1)),
                                             Value::date(DayNumber(1960, 3, 5))}));
}

TEST_F(TextImportTest, NumbersOfEveryTypeAndEmptyFieldsThatCannotBeConverted) {
    auto form = load("n.txt", "1;70000;1.5;2.25;x\r\n-3;-70000;0.1;1e300;\r\n");
    const char* types[] = {"Integer", "Long", "Single", "Double", "Text"};
    for (int c = 1; c <= 5; ++c) {
        form->clickColumn(c);
        form->chooseType(types[c - 1]);
    }
    ASSERT_TRUE(form->import()) << lastMessage();
    const auto r = rows();
    EXPECT_EQ(r[0][0], Value::integer(1));
    EXPECT_EQ(r[0][1], Value::integer(70000));
    EXPECT_EQ(r[1][3], Value::real(1e300));
    EXPECT_EQ(r[1][4], Value::text(""));  // an empty text field stays an empty text
    const db::TableDef def = definition();
    EXPECT_EQ(def.fields[0].type, FieldType::Integer);
    EXPECT_EQ(def.fields[1].type, FieldType::Long);
    EXPECT_EQ(def.fields[2].type, FieldType::Single);

    // 70000 does not fit a 16-bit column; an empty field converts to no number.
    auto tooBig = load("big.txt", "1\r\n70000\r\n", "toobig");
    tooBig->chooseType("Integer");
    EXPECT_FALSE(tooBig->import());
    EXPECT_EQ(lastMessage(),
              "Following error has occured:\r\nNumber: 13\r\nDescription: Can't convert data in column 1 to Integer\r\n\r\n"
              "Line 2, column 1 (Var1) holds \"70000\": an Integer column holds whole numbers from -32768 to 32767.");
    auto empty = load("e.txt", "a;1\r\nb;\r\n", "empty");
    empty->clickColumn(2);
    empty->chooseType("Double");
    EXPECT_FALSE(empty->import());
    EXPECT_EQ(lastMessage(),
              "Following error has occured:\r\nNumber: 13\r\nDescription: Can't convert data in column 2 to Double\r\n\r\n"
              "Line 2, column 2 (Var2) is empty: a Double column needs a value in every line.");
    const auto tables = TableNames(wc());
    EXPECT_EQ(std::count(tables.begin(), tables.end(), "toobig") + std::count(tables.begin(), tables.end(), "empty"), 0);
}

TEST_F(TextImportTest, AnExistingTableIsLeftUntouched) {
    auto first = load("r.txt", "40;0.1\r\n", "Rates");
    ASSERT_TRUE(first->import());
    state.TextImportDone = false;
    const std::string before = DumpDatabase(wc());
    auto second = load("other.txt", "1;2;3\r\n4;5;6\r\n", "rates");
    EXPECT_FALSE(second->import());
    EXPECT_EQ(lastMessage(), "Table rates already exist!");
    EXPECT_EQ(ui.messages.back().icon, Icon::Critical);
    EXPECT_EQ(DumpDatabase(wc()), before);
    EXPECT_FALSE(state.TextImportDone);  // keeps its value
}

TEST_F(TextImportTest, ALineWithMoreFieldsThanThePreviewEndsWithTheGeneralMessage) {
    std::string text = Lines(12) + "a;b;c\r\n";
    auto form = load("wide.txt", text);
    const std::string before = DumpDatabase(wc());
    EXPECT_FALSE(form->import());
    EXPECT_EQ(lastMessage().rfind("Following error has occured:\r\nNumber: 3265\r\nDescription: Line 13 ", 0), 0u)
        << lastMessage();
    EXPECT_EQ(DumpDatabase(wc()), before);
}

TEST_F(TextImportTest, HeaderNamesThatAreEmptyRepeatedOrInvalidAreRefused) {
    const std::string before = DumpDatabase(wc());
    for (const char* header : {"A;;C", "A;B;a", "A;B.C;D", "A;[B];C"}) {
        ui.messages.clear();
        auto form = load("h.txt", std::string(header) + "\r\n1;2;3\r\n");
        form->setHeaders(true);
        EXPECT_FALSE(form->import()) << header;
        EXPECT_EQ(lastMessage().rfind("Following error has occured:\r\nNumber: 3125\r\n", 0), 0u) << lastMessage();
        EXPECT_EQ(DumpDatabase(wc()), before) << header;
    }
}

TEST_F(TextImportTest, AnEmptyFileHasTheWrongFormat) {
    auto form = load("empty.txt", "");
    EXPECT_EQ(form->columnCount(), 0);
    EXPECT_FALSE(form->import());
    EXPECT_EQ(testing::WrongFormatReason(lastMessage(), "imported", "empty.txt"),
              "is not in the expected format: it holds no fields");
}

TEST_F(TextImportTest, Utf8FilesAreReadAsUtf8AndOthersAsWindows1252) {
    auto utf8 = load("u.txt", "M\xC3\xBCller;\xE2\x82\xAC\r\n", "utf8");
    ASSERT_TRUE(utf8->import());
    auto ansi = load("a.txt", "M\xFCller;\x80\r\n", "ansi");
    ASSERT_TRUE(ansi->import());
    const std::vector<Value> expected{Value::text("M\xC3\xBCller"), Value::text("\xE2\x82\xAC")};
    EXPECT_EQ(rows("utf8")[0], expected);
    EXPECT_EQ(rows("ansi")[0], expected);
}

TEST_F(TextImportTest, CancelClearsTheImportFlag) {
    auto form = load("c.txt", "1\r\n");
    state.TextImportDone = true;
    form->cancel();
    EXPECT_FALSE(state.TextImportDone);
    EXPECT_EQ(TableNames(wc()).size(), 7u);  // the system tables only
}

TEST_F(TextImportTest, AMissingFileCannotBeLoaded) {
    state.ExternalDatabaseName = src.path() + "/";
    state.ExternalFileTitle = "none.txt";
    state.ExternalTableName = "none";
    EXPECT_EQ(testing::ErrorNumberOf([&] { TextImportForm form(state, ui); }), err::FileNotFound);
}

// ---- CSV files -------------------------------------------------------------------------------

TEST_F(TextImportTest, CsvFilesOpenWithTheDetectedSeparatorAndImportTheProposedTypes) {
    const std::string longNote(300, 'x');
    for (const char separator : {',', ';', '\t'}) {
        SCOPED_TRACE(std::string(1, separator));
        const std::string s(1, separator);
        const std::string bytes = "\xEF\xBB\xBFid" + s + "name" + s + "born" + s + "weight" + s + "note\r\n" +
                                  "1" + s + "\"Berg, Per; Lund\"" + s + "1867-03-15" + s + "71.5" + s +
                                  "\"said \"\"no\"\"\r\nthen left\"\r\n" +
                                  "2" + s + s + "1923-12-31 12:00:00" + s + s + longNote + "\r\n";
        const std::string table = separator == '\t' ? "tab" : separator == ',' ? "comma" : "semicolon";
        auto form = loadCsv(table + ".csv", bytes, table);
        EXPECT_EQ(form->separator(), separator);
        EXPECT_TRUE(form->headers());
        EXPECT_EQ(form->headerRow(), (std::vector<std::string>{"id", "name", "born", "weight", "note"}));
        form->proposeFromData();
        EXPECT_EQ(proposedTypes(*form), (std::vector<std::string>{"Long", "Text", "Date", "Double", "Text"}));
        form->clickColumn(3);
        EXPECT_EQ(form->controls().layout, kIsoDateLayout);
        EXPECT_EQ(form->rows()[1], (std::vector<std::string>{"2", "", "31.12.1923", "", longNote}));
        ASSERT_TRUE(form->import()) << lastMessage();
        EXPECT_EQ(rows(table), (std::vector<std::vector<Value>>{
                                   {Value::integer(1), Value::text("Berg, Per; Lund"), Value::date(DayNumber(1867, 3, 15)),
                                    Value::real(71.5), Value::text("said \"no\"\r\nthen left")},
                                   {Value::integer(2), Value(), Value::date(DayNumber(1923, 12, 31) + 0.5), Value(),
                                    Value::text(longNote)}}));
        std::vector<FieldType> types;
        for (const auto& f : definition(table).fields) types.push_back(f.type);
        EXPECT_EQ(types, (std::vector<FieldType>{FieldType::Long, FieldType::Text, FieldType::Date, FieldType::Double,
                                                 FieldType::Memo}));
    }
}

TEST_F(TextImportTest, ACsvColumnOfIsoDatesWithAFewThatAreNoDatesIsProposedAsDateNamingThem) {
    std::string bytes = "id,born,note\n";
    for (int i = 1; i <= 9; ++i) bytes += std::to_string(i) + ",1937-02-1" + std::to_string(i) + ",x\n";
    bytes += "10,1937-02-30,1950-01-01\n";  // line 11: an impossible date; one date among notes
    auto form = loadCsv("mostly.csv", bytes);
    form->proposeFromData();
    EXPECT_EQ(proposedTypes(*form), (std::vector<std::string>{"Long", "Date", "Text"}));
    const std::string& notice = form->proposalNotice();
    EXPECT_NE(notice.find("Column 2 (born) is proposed as Date, but 1 value is not a date: line 11 '1937-02-30'."),
              std::string::npos)
        << notice;
    EXPECT_EQ(notice.find("Column 3"), std::string::npos) << notice;
    EXPECT_FALSE(form->import());  // as the notice says, the import stops there
}

TEST_F(TextImportTest, AnotherSeparatorReadsTheCsvPreviewAgainAndProposesAnew) {
    auto form = loadCsv("two.csv", "n,d;x\n1,1950-02-01;7\n2,1960-03-04;8\n");
    EXPECT_EQ(form->separator(), ',');  // as many commas as semicolons: the comma
    form->proposeFromData();
    EXPECT_EQ(form->headerRow(), (std::vector<std::string>{"n", "d;x"}));
    EXPECT_EQ(proposedTypes(*form), (std::vector<std::string>{"Long", "Text"}));
    form->clickColumn(2);
    form->setSeparator(';');
    EXPECT_EQ(form->currentColumn(), 1);
    EXPECT_EQ(form->headerRow(), (std::vector<std::string>{"n,d", "x"}));
    EXPECT_EQ(proposedTypes(*form), (std::vector<std::string>{"Text", "Long"}));
    EXPECT_EQ(testing::ErrorNumberOf([&] { form->setSeparator('|'); }), err::TypeMismatch);
    ASSERT_TRUE(form->import()) << lastMessage();
    EXPECT_EQ(rows()[1], (std::vector<Value>{Value::text("2,1960-03-04"), Value::integer(8)}));

    state.ExternalConnect = "Text;";
    auto ascii = load("a.txt", "1;2\r\n");
    EXPECT_FALSE(ascii->isCsv());
    EXPECT_EQ(testing::ErrorNumberOf([&] { ascii->setSeparator(','); }), err::TypeMismatch);
}

TEST_F(TextImportTest, TheUserRetypesCsvColumnsAndEmptyFieldsStayNull) {
    auto form = loadCsv("r.csv", "id,dose,born,code\n1,2.5,01021950,162\n2,,,abc\n");
    form->proposeFromData();
    EXPECT_EQ(proposedTypes(*form), (std::vector<std::string>{"Long", "Double", "Long", "Text"}));
    form->clickColumn(1);
    form->chooseType("Text");
    form->clickColumn(2);
    form->chooseType("Long");  // 2.5 rounds to the even 2
    form->clickColumn(3);
    form->chooseType("Date");
    form->chooseDateLayout("DDMMYYYY");
    ASSERT_TRUE(form->import()) << lastMessage();
    EXPECT_EQ(rows(), (std::vector<std::vector<Value>>{
                          {Value::text("1"), Value::integer(2), Value::date(DayNumber(1950, 2, 1)), Value::text("162")},
                          {Value::text("2"), Value(), Value(), Value::text("abc")}}));

    auto refused = loadCsv("r.csv", "id,dose,born,code\n1,2.5,01021950,162\n2,,,abc\n", "refused");
    refused->proposeFromData();
    refused->clickColumn(4);
    refused->chooseType("Long");
    EXPECT_FALSE(refused->import());
    EXPECT_EQ(lastMessage(),
              "Following error has occured:\r\nNumber: 13\r\nDescription: Can't convert data in column 4 to Long\r\n\r\n"
              "Line 3, column 4 (code) holds \"abc\": a Long column holds whole numbers from -2147483648 to 2147483647.");
    const auto tables = TableNames(wc());
    EXPECT_EQ(std::count(tables.begin(), tables.end(), "refused"), 0);
}

}  // namespace
}  // namespace vdx::exchange
