#include "exchange/table_reader.h"

#include "exchange/access_reader.h"
#include "exchange/csv_reader.h"
#include "exchange/dbase_reader.h"
#include "exchange/excel_reader.h"
#include "exchange/odbc_reader.h"
#include "exchange/paradox_reader.h"
#include "exchange/statistics_reader.h"
#include "exchange/text_import.h"
#include "exchange/xlsx_reader.h"
#include "state/errors.h"

namespace vdx::exchange {

namespace {
constexpr int kInstallableIsamNotFound = 3170;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}
}  // namespace

ConnectInfo ParseConnect(const std::string& connect) {
    ConnectInfo info;
    const size_t semi = connect.find(';');
    info.type = Trim(connect.substr(0, semi));
    const std::string rest = semi == std::string::npos ? std::string() : connect.substr(semi + 1);
    const std::string type = Lower(info.type);

    if (type == "odbc") {
        info.kind = SourceKind::Odbc;
        info.odbc = rest;
        return info;
    }
    if (type.empty()) info.kind = SourceKind::Access;
    else if (type == "excel 12.0 xml") info.kind = SourceKind::Xlsx;
    else if (type == "stata") info.kind = SourceKind::Stata;
    else if (type == "sas") info.kind = SourceKind::Sas;
    else if (type == "sas transport") info.kind = SourceKind::SasTransport;
    else if (type == "spss") info.kind = SourceKind::Spss;
    else if (type == "csv") info.kind = SourceKind::Csv;
    else if (type.rfind("excel ", 0) == 0) info.kind = SourceKind::Excel;
    else if (type.rfind("dbase ", 0) == 0) info.kind = SourceKind::DBase;
    else if (type.rfind("paradox ", 0) == 0) info.kind = SourceKind::Paradox;
    else if (type == "text") info.kind = SourceKind::Text;
    else throw VdxError(kInstallableIsamNotFound, "Could not find installable ISAM.");

    // DATABASE=... among the ";"-separated parts after the type.
    size_t at = 0;
    while (at <= rest.size()) {
        size_t end = rest.find(';', at);
        std::string part = rest.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (Lower(part).rfind("database=", 0) == 0) info.database = part.substr(9);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return info;
}

std::unique_ptr<TableReader> OpenTableReader(const std::string& connect, const std::string& databaseName) {
    ConnectInfo info = ParseConnect(connect);
    const std::string database = databaseName.empty() ? info.database : databaseName;
    switch (info.kind) {
        case SourceKind::Access: return std::make_unique<AccessReader>(database);
        case SourceKind::Excel: return std::make_unique<ExcelReader>(database);
        case SourceKind::DBase: return std::make_unique<DBaseReader>(database);
        case SourceKind::Paradox: return std::make_unique<ParadoxReader>(database);
        case SourceKind::Text: return std::make_unique<TextTableReader>(database);
        case SourceKind::Odbc: return std::make_unique<OdbcReader>(info.odbc);
        case SourceKind::Xlsx: return std::make_unique<XlsxReader>(database);
        case SourceKind::Stata: return std::make_unique<StatisticsReader>(StatisticsFormat::Stata, database);
        case SourceKind::Sas: return std::make_unique<StatisticsReader>(StatisticsFormat::Sas, database);
        case SourceKind::SasTransport:
            return std::make_unique<StatisticsReader>(StatisticsFormat::SasTransport, database);
        case SourceKind::Spss: return std::make_unique<StatisticsReader>(StatisticsFormat::Spss, database);
        case SourceKind::Csv: return std::make_unique<CsvReader>(database);
    }
    throw VdxError(kInstallableIsamNotFound, "Could not find installable ISAM.");
}

}  // namespace vdx::exchange
