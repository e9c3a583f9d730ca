#include "exchange/file_formats.h"

#include <stdexcept>

#include "exchange/access_reader.h"
#include "exchange/csv_reader.h"
#include "exchange/dbase_reader.h"
#include "exchange/excel_reader.h"
#include "exchange/odbc_reader.h"
#include "exchange/own_database_reader.h"
#include "exchange/paradox_reader.h"
#include "exchange/reader_support.h"
#include "exchange/statistics_reader.h"
#include "exchange/text_import.h"
#include "exchange/xlsx_reader.h"
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

using L = TableLayout;
using W = WriterFormat;
constexpr auto kNoWriter = std::nullopt;

// The Add menu's entries in its order; the save dialog's choices carry their
// filter index; HTML is only written.
const std::vector<FileFormat> kFormats{
    // subMenu, menuName, menuCaption, code, connect, filterName, patterns, layout, viaTextImport, reader,
    // exportIndex, exportCaption, writer, cliNames
    {"A&ccess", "Access80", "&8.0...", 1, "", "Access", "*.mdb", L::Database, false, AccessOrOwn,
     6, "Access 8.0", W::Access, {"access80", "access"}},
    {"A&ccess", "Access70", "&7.0...", 1, "", "Access", "*.mdb", L::Database, false, AccessOrOwn,
     5, "Access 7.0", W::Access, {"access70"}},
    // Access 2.0, 1.1 and 1.0 write the Jet 3 database of 7.0/8.0 (jet_writer.h).
    {"A&ccess", "Access20", "&2.0...", 1, "", "Access", "*.mdb", L::Database, false, AccessOrOwn,
     4, "Access 2.0", W::Access, {"access20"}},
    {"A&ccess", "Access11", "1.&1...", 1, "", "Access", "*.mdb", L::Database, false, AccessOrOwn,
     3, "Access 1.1", W::Access, {"access11"}},
    {"A&ccess", "Access10", "1.&0...", 1, "", "Access", "*.mdb", L::Database, false, AccessOrOwn,
     2, "Access 1.0", W::Access, {"access10"}},
    {"&Excel", "Excel80", "&8.0...", 5, "Excel 8.0;", "Excel", "*.xls", L::Database, false, Open<ExcelReader>,
     14, "Excel 8.0", W::Excel8, {"excel8"}},
    // Excel 7.0 workbooks are Excel 5.0 workbooks.
    {"&Excel", "Excel70", "&7.0...", 4, "Excel 5.0;", "Excel", "*.xls", L::Database, false, Open<ExcelReader>,
     13, "Excel 7.0", W::Excel5, {"excel7"}},
    {"&Excel", "Excel50", "&5.0...", 4, "Excel 5.0;", "Excel", "*.xls", L::Database, false, Open<ExcelReader>,
     12, "Excel 5.0", W::Excel5, {"excel5"}},
    {"&Excel", "Excel40", "&4.0...", 3, "Excel 4.0;", "Excel", "*.xls", L::Database, false, Open<ExcelReader>,
     11, "Excel 4.0", W::Excel4, {"excel4"}},
    {"&Excel", "Excel30", "&3.0...", 2, "Excel 3.0;", "Excel", "*.xls", L::Database, false, Open<ExcelReader>,
     10, "Excel 3.0", W::Excel3, {"excel3"}},
    {"&dBase", "dBase50", "&5.0...", 8, "dBase 5.0;", "dBase", "*.dbf", L::FolderTable, false, Open<DBaseReader>,
     9, "dBase 5.0", W::DBase5, {"dbase5"}},
    {"&dBase", "dBase40", "I&V...", 7, "dBASE IV;", "dBase", "*.dbf", L::FolderTable, false, Open<DBaseReader>,
     8, "dBase IV", W::DBase4, {"dbase4"}},
    {"&dBase", "dBase30", "&III...", 6, "dBASE III;", "dBase", "*.dbf", L::FolderTable, false, Open<DBaseReader>,
     7, "dBase III", W::DBase3, {"dbase3"}},
    {"&Paradox", "Paradox50", "&5.x...", 11, "Paradox 5.x;", "Paradox", "*.db", L::FolderTable, false,
     Open<ParadoxReader>, 17, "Paradox 5.x", W::Paradox5, {"paradox5"}},
    {"&Paradox", "Paradox40", "&4.x...", 10, "Paradox 4.x;", "Paradox", "*.db", L::FolderTable, false,
     Open<ParadoxReader>, 16, "Paradox 4.x", W::Paradox4, {"paradox4"}},
    {"&Paradox", "Paradox30", "&3.x...", 9, "Paradox 3.x;", "Paradox", "*.db", L::FolderTable, false,
     Open<ParadoxReader>, 15, "Paradox 3.x", W::Paradox3, {"paradox3"}},
    {"", "Ascii", "&ASCII...", 12, "Text;", "ASCII", "*.txt", L::FolderTable, true, Open<TextTableReader>,
     1, "ASCII files", W::Text, {"text"}},
    {"", "ODBC", "&ODBC...", 0, "ODBC;", "", "", L::DataSource, false, Open<OdbcReader>,
     0, nullptr, kNoWriter, {"odbc"}},
    {"", "Xlsx", "E&xcel 2007+ (.xlsx)...", 13, "Excel 12.0 Xml;", "Excel 2007+", "*.xlsx", L::Database, false,
     Open<XlsxReader>, 20, "Excel 2007+", W::Xlsx, {"xlsx"}},
    {"", "Csv", "C&SV...", 18, "CSV;", "CSV", "*.csv", L::SingleFile, true, Open<CsvReader>,
     19, "CSV", W::Csv, {"csv"}},
    {"", "Stata", "S&tata (.dta)...", 14, "Stata;", "Stata", "*.dta", L::SingleFile, false,
     OpenStatistics<StatisticsFormat::Stata>, 21, "Stata", W::Stata, {"dta", "stata"}},
    {"", "Sas", "SAS (.sas&7bdat)...", 15, "SAS;", "SAS", "*.sas7bdat", L::SingleFile, false,
     OpenStatistics<StatisticsFormat::Sas>, 0, nullptr, kNoWriter, {"sas7bdat", "sas"}},
    {"", "SasTransport", "SAS t&ransport (.xpt)...", 16, "SAS Transport;", "SAS transport", "*.xpt",
     L::SingleFile, false, OpenStatistics<StatisticsFormat::SasTransport>, 0, nullptr, kNoWriter,
     {"xpt", "xport"}},
    {"", "Spss", "SPSS (.sa&v)...", 17, "SPSS;", "SPSS", "*.sav;*.zsav", L::SingleFile, false,
     OpenStatistics<StatisticsFormat::Spss>, 0, nullptr, kNoWriter, {"sav", "spss"}},
    {nullptr, nullptr, nullptr, 0, "HTML Export;", "", "*.htm", L::None, false, nullptr,
     18, "HTML", W::Html, {"html"}},
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

std::string FileFormat::attachFilter() const {
    return std::string(filterName) + " (" + patterns + ")|" + patterns + "|All files (*.*)|*.*";
}

const std::vector<FileFormat>& FileFormats() { return kFormats; }

const FileFormat& SourceFormatOf(int code) {
    for (const FileFormat& f : kFormats)
        if (code != 0 && f.sourceCode == code) return f;
    throw VdxError(err::InvalidProcedureCall, "Invalid procedure call or argument: no source format " + std::to_string(code) + ".");
}

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
