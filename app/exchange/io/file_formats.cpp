#include "exchange/io/file_formats.h"

#include <algorithm>
#include <stdexcept>

#include "exchange/formats/access/access_reader.h"
#include "exchange/formats/access/jet_writer.h"
#include "exchange/formats/dbase/dbase_reader.h"
#include "exchange/formats/dbase/dbase_writer.h"
#include "exchange/formats/excel/excel_reader.h"
#include "exchange/formats/excel/excel_writer.h"
#include "exchange/formats/html/html_writer.h"
#include "exchange/formats/odbc/odbc_reader.h"
#include "exchange/formats/own_database/own_database_reader.h"
#include "exchange/formats/paradox/paradox_reader.h"
#include "exchange/formats/paradox/paradox_writer.h"
#include "exchange/formats/statistics/dta_writer.h"
#include "exchange/formats/statistics/statistics_reader.h"
#include "exchange/formats/text/csv_reader.h"
#include "exchange/formats/text/csv_writer.h"
#include "exchange/formats/text/text_import.h"
#include "exchange/formats/text/text_writer.h"
#include "exchange/formats/xlsx/xlsx_reader.h"
#include "exchange/formats/xlsx/xlsx_writer.h"
#include "exchange/io/reader_support.h"
#include "state/errors.h"

namespace vdx::exchange {

namespace {


// Access sources: our own project files (the program's earlier files were
// Access databases) are read as such, anything else by the Access reader.
std::unique_ptr<TableReader> AccessOrOwn(const std::string& path) {
    if (IsOwnDatabaseFile(path)) return std::make_unique<OwnDatabaseReader>(path);
    return std::make_unique<AccessReader>(path);
}
template <typename Reader>
std::unique_ptr<TableReader> Open(const std::string& database) {
    return std::make_unique<Reader>(database);
}
template <StatisticsFormat format>
std::unique_ptr<TableReader> OpenStatistics(const std::string& path) {
    return std::make_unique<StatisticsReader>(format, path);
}
// The writer class, and the version of the format it writes where it writes several.
template <typename Writer, int... version>
std::unique_ptr<TableWriter> Write(const std::string& targetPath, const std::string& tableName) {
    return std::make_unique<Writer>(targetPath, tableName, version...);
}

using L = TableLayout;

// The Add menu's entries in its order; the save dialog's choices carry their
// filter index; HTML is only written. The eighteen choices of old keep the
// layout of their files (figures as shown); CSV, .xlsx and .dta carry the
// figures as stored.
const std::vector<FileFormat> kFormats{
    // The five Access choices all write one Jet 3 database (jet_writer.h).
    {.subMenu = "A&ccess", .menuName = "Access80", .menuCaption = "&8.0...", .filterName = "Access",
     .patterns = "*.mdb", .layout = L::Database, .reader = AccessOrOwn,
     .exportIndex = 6, .exportCaption = "Access 8.0", .writer = Write<AccessTableWriter>, .cliNames = {"access80", "access"}},
    {.subMenu = "A&ccess", .menuName = "Access70", .menuCaption = "&7.0...", .filterName = "Access",
     .patterns = "*.mdb", .layout = L::Database, .reader = AccessOrOwn,
     .exportIndex = 5, .exportCaption = "Access 7.0", .writer = Write<AccessTableWriter>, .cliNames = {"access70"}},
    {.subMenu = "A&ccess", .menuName = "Access20", .menuCaption = "&2.0...", .filterName = "Access",
     .patterns = "*.mdb", .layout = L::Database, .reader = AccessOrOwn,
     .exportIndex = 4, .exportCaption = "Access 2.0", .writer = Write<AccessTableWriter>, .cliNames = {"access20"}},
    {.subMenu = "A&ccess", .menuName = "Access11", .menuCaption = "1.&1...", .filterName = "Access",
     .patterns = "*.mdb", .layout = L::Database, .reader = AccessOrOwn,
     .exportIndex = 3, .exportCaption = "Access 1.1", .writer = Write<AccessTableWriter>, .cliNames = {"access11"}},
    {.subMenu = "A&ccess", .menuName = "Access10", .menuCaption = "1.&0...", .filterName = "Access",
     .patterns = "*.mdb", .layout = L::Database, .reader = AccessOrOwn,
     .exportIndex = 2, .exportCaption = "Access 1.0", .writer = Write<AccessTableWriter>, .cliNames = {"access10"}},
    {.subMenu = "&Excel", .menuName = "Excel80", .menuCaption = "&8.0...", .connect = "Excel 8.0;", .filterName = "Excel",
     .patterns = "*.xls", .layout = L::Database, .reader = Open<ExcelReader>,
     .exportIndex = 14, .exportCaption = "Excel 8.0", .writer = Write<ExcelTableWriter, 8>, .cliNames = {"excel8"}},
    // Excel 7.0 workbooks are Excel 5.0 workbooks.
    {.subMenu = "&Excel", .menuName = "Excel70", .menuCaption = "&7.0...", .connect = "Excel 5.0;", .filterName = "Excel",
     .patterns = "*.xls", .layout = L::Database, .reader = Open<ExcelReader>,
     .exportIndex = 13, .exportCaption = "Excel 7.0", .writer = Write<ExcelTableWriter, 5>, .cliNames = {"excel7"}},
    {.subMenu = "&Excel", .menuName = "Excel50", .menuCaption = "&5.0...", .connect = "Excel 5.0;", .filterName = "Excel",
     .patterns = "*.xls", .layout = L::Database, .reader = Open<ExcelReader>,
     .exportIndex = 12, .exportCaption = "Excel 5.0", .writer = Write<ExcelTableWriter, 5>, .cliNames = {"excel5"}},
    {.subMenu = "&Excel", .menuName = "Excel40", .menuCaption = "&4.0...", .connect = "Excel 4.0;", .filterName = "Excel",
     .patterns = "*.xls", .layout = L::Database, .reader = Open<ExcelReader>,
     .exportIndex = 11, .exportCaption = "Excel 4.0", .writer = Write<ExcelTableWriter, 4>, .cliNames = {"excel4"}},
    {.subMenu = "&Excel", .menuName = "Excel30", .menuCaption = "&3.0...", .connect = "Excel 3.0;", .filterName = "Excel",
     .patterns = "*.xls", .layout = L::Database, .reader = Open<ExcelReader>,
     .exportIndex = 10, .exportCaption = "Excel 3.0", .writer = Write<ExcelTableWriter, 3>, .cliNames = {"excel3"}},
    {.subMenu = "&dBase", .menuName = "dBase50", .menuCaption = "&5.0...", .connect = "dBase 5.0;", .filterName = "dBase",
     .patterns = "*.dbf", .layout = L::FolderTable, .reader = Open<DBaseReader>,
     .exportIndex = 9, .exportCaption = "dBase 5.0", .writer = Write<DBaseTableWriter, 5>, .cliNames = {"dbase5"}},
    {.subMenu = "&dBase", .menuName = "dBase40", .menuCaption = "I&V...", .connect = "dBASE IV;", .filterName = "dBase",
     .patterns = "*.dbf", .layout = L::FolderTable, .reader = Open<DBaseReader>,
     .exportIndex = 8, .exportCaption = "dBase IV", .writer = Write<DBaseTableWriter, 4>, .cliNames = {"dbase4"}},
    {.subMenu = "&dBase", .menuName = "dBase30", .menuCaption = "&III...", .connect = "dBASE III;", .filterName = "dBase",
     .patterns = "*.dbf", .layout = L::FolderTable, .reader = Open<DBaseReader>,
     .exportIndex = 7, .exportCaption = "dBase III", .writer = Write<DBaseTableWriter, 3>, .cliNames = {"dbase3"}},
    {.subMenu = "&Paradox", .menuName = "Paradox50", .menuCaption = "&5.x...", .connect = "Paradox 5.x;",
     .filterName = "Paradox", .patterns = "*.db", .layout = L::FolderTable, .reader = Open<ParadoxReader>,
     .exportIndex = 17, .exportCaption = "Paradox 5.x", .writer = Write<ParadoxTableWriter, 5>, .cliNames = {"paradox5"}},
    {.subMenu = "&Paradox", .menuName = "Paradox40", .menuCaption = "&4.x...", .connect = "Paradox 4.x;",
     .filterName = "Paradox", .patterns = "*.db", .layout = L::FolderTable, .reader = Open<ParadoxReader>,
     .exportIndex = 16, .exportCaption = "Paradox 4.x", .writer = Write<ParadoxTableWriter, 4>, .cliNames = {"paradox4"}},
    // The Paradox 3.x choice writes a 4.x table.
    {.subMenu = "&Paradox", .menuName = "Paradox30", .menuCaption = "&3.x...", .connect = "Paradox 3.x;",
     .filterName = "Paradox", .patterns = "*.db", .layout = L::FolderTable, .reader = Open<ParadoxReader>,
     .exportIndex = 15, .exportCaption = "Paradox 3.x", .writer = Write<ParadoxTableWriter, 4>, .cliNames = {"paradox3"}},
    {.menuName = "Ascii", .menuCaption = "&ASCII...", .connect = "Text;", .filterName = "ASCII", .patterns = "*.txt",
     .layout = L::FolderTable, .viaTextImport = true, .reader = Open<TextTableReader>,
     .exportIndex = 1, .exportCaption = "ASCII files", .writer = Write<TextTableWriter>, .cliNames = {"text"}},
    {.menuName = "ODBC", .menuCaption = "&ODBC...", .connect = "ODBC;", .layout = L::DataSource, .reader = Open<OdbcReader>,
     .cliNames = {"odbc"}},
    {.menuName = "Xlsx", .menuCaption = "E&xcel 2007+ (.xlsx)...", .connect = "Excel 12.0 Xml;", .filterName = "Excel 2007+",
     .patterns = "*.xlsx", .layout = L::Database, .reader = Open<XlsxReader>,
     .exportIndex = 20, .exportCaption = "Excel 2007+", .writer = Write<XlsxTableWriter>, .sheetNamedAfterResult = true,
     .values = ExportValues::Stored, .cliNames = {"xlsx"}},
    {.menuName = "Csv", .menuCaption = "C&SV...", .connect = "CSV;", .filterName = "CSV", .patterns = "*.csv",
     .layout = L::SingleFile, .viaTextImport = true, .reader = Open<CsvReader>,
     .exportIndex = 19, .exportCaption = "CSV", .writer = Write<CsvTableWriter>, .values = ExportValues::Stored,
     .cliNames = {"csv"}},
    {.menuName = "Stata", .menuCaption = "S&tata (.dta)...", .connect = "Stata;", .filterName = "Stata", .patterns = "*.dta",
     .layout = L::SingleFile, .reader = OpenStatistics<StatisticsFormat::Stata>,
     .exportIndex = 21, .exportCaption = "Stata", .writer = Write<DtaTableWriter>, .values = ExportValues::Stored,
     .cliNames = {"dta", "stata"}},
    {.menuName = "Sas", .menuCaption = "SAS (.sas&7bdat)...", .connect = "SAS;", .filterName = "SAS",
     .patterns = "*.sas7bdat", .layout = L::SingleFile, .reader = OpenStatistics<StatisticsFormat::Sas>,
     .cliNames = {"sas7bdat", "sas"}},
    {.menuName = "SasTransport", .menuCaption = "SAS t&ransport (.xpt)...", .connect = "SAS Transport;",
     .filterName = "SAS transport", .patterns = "*.xpt", .layout = L::SingleFile,
     .reader = OpenStatistics<StatisticsFormat::SasTransport>, .cliNames = {"xpt", "xport"}},
    {.menuName = "Spss", .menuCaption = "SPSS (.sa&v)...", .connect = "SPSS;", .filterName = "SPSS",
     .patterns = "*.sav;*.zsav", .layout = L::SingleFile, .reader = OpenStatistics<StatisticsFormat::Spss>,
     .cliNames = {"sav", "spss"}},
    // A page is saved as .htm or .html.
    {.subMenu = nullptr, .connect = "HTML Export;", .patterns = "*.htm;*.html",
     .exportIndex = 18, .exportCaption = "HTML", .writer = Write<HtmlTableWriter>, .cliNames = {"html"}},
};

// The type of a connect string: what comes before its first ";", trimmed.
std::string ConnectType(const std::string& connect) {
    std::string type = connect.substr(0, connect.find(';'));
    const size_t b = type.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return type.substr(b, type.find_last_not_of(' ') - b + 1);
}

}  // namespace

std::string FileFormat::initialFileName() const {
    const std::string all = patterns;
    return all.substr(0, all.find(';'));
}

std::vector<std::string> FileFormat::extensions() const {
    std::vector<std::string> out;
    const std::string all = patterns;
    for (size_t at = 0; at < all.size();) {
        const size_t end = std::min(all.find(';', at), all.size());
        out.push_back(all.substr(at + 2, end - at - 2));  // after "*."
        at = end + 1;
    }
    return out;
}

std::string FileFormat::attachFilter() const {
    return std::string(filterName) + " (" + patterns + ")|" + patterns + "|All files (*.*)|*.*";
}

const std::vector<FileFormat>& FileFormats() { return kFormats; }

const FileFormat& FormatOfConnect(const std::string& connect) {
    const std::string type = ConnectType(connect);
    for (const FileFormat& f : kFormats)
        if (SameName(ConnectType(f.connect), type)) return f;
    throw VdxError(err::InstallableIsamNotFound, "Could not find installable ISAM.");
}

const FileFormat* FormatOfCliName(const std::string& name) {
    for (const FileFormat& f : kFormats)
        for (const std::string& n : f.cliNames)
            if (n == name) return &f;
    return nullptr;
}

const FileFormat& FormatNamed(const std::string& name) {
    if (const FileFormat* f = FormatOfCliName(name)) return *f;
    throw std::logic_error("FileFormats: no format is named " + name);
}

std::vector<const FileFormat*> ExportFormats() {
    std::vector<const FileFormat*> formats;
    for (const FileFormat& f : kFormats) {
        if (f.exportIndex <= 0) continue;
        if (formats.size() < static_cast<size_t>(f.exportIndex)) formats.resize(static_cast<size_t>(f.exportIndex));
        formats[static_cast<size_t>(f.exportIndex) - 1] = &f;
    }
    for (const FileFormat* f : formats)
        if (!f) throw std::logic_error("FileFormats: the save dialog's filter indexes leave a gap");
    return formats;
}

}  // namespace vdx::exchange
