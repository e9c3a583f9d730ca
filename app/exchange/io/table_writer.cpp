#include "exchange/io/table_writer.h"

#include "exchange/formats/text/csv_writer.h"
#include "exchange/formats/dbase/dbase_writer.h"
#include "exchange/formats/statistics/dta_writer.h"
#include "exchange/formats/excel/excel_writer.h"
#include "exchange/formats/html/html_writer.h"
#include "exchange/formats/access/jet_writer.h"
#include "exchange/formats/paradox/paradox_writer.h"
#include "exchange/formats/text/text_writer.h"
#include "exchange/formats/xlsx/xlsx_writer.h"

namespace vdx::exchange {

std::unique_ptr<TableWriter> MakeTableWriter(WriterFormat format, const std::string& targetPath,
                                             const std::string& tableName) {
    switch (format) {
        case WriterFormat::Text: return std::make_unique<TextTableWriter>(targetPath, tableName);
        case WriterFormat::Access: return std::make_unique<AccessTableWriter>(targetPath, tableName);
        case WriterFormat::Html: return std::make_unique<HtmlTableWriter>(targetPath, tableName);
        case WriterFormat::DBase3: return std::make_unique<DBaseTableWriter>(targetPath, tableName, 3);
        case WriterFormat::DBase4: return std::make_unique<DBaseTableWriter>(targetPath, tableName, 4);
        case WriterFormat::DBase5: return std::make_unique<DBaseTableWriter>(targetPath, tableName, 5);
        case WriterFormat::Excel3: return std::make_unique<ExcelTableWriter>(targetPath, tableName, 3);
        case WriterFormat::Excel4: return std::make_unique<ExcelTableWriter>(targetPath, tableName, 4);
        case WriterFormat::Excel5:
        case WriterFormat::Excel7: return std::make_unique<ExcelTableWriter>(targetPath, tableName, 5);
        case WriterFormat::Excel8: return std::make_unique<ExcelTableWriter>(targetPath, tableName, 8);
        case WriterFormat::Paradox3:
        case WriterFormat::Paradox4: return std::make_unique<ParadoxTableWriter>(targetPath, tableName, 4);
        case WriterFormat::Paradox5: return std::make_unique<ParadoxTableWriter>(targetPath, tableName, 5);
        case WriterFormat::Csv: return std::make_unique<CsvTableWriter>(targetPath, tableName);
        case WriterFormat::Xlsx: return std::make_unique<XlsxTableWriter>(targetPath, tableName);
        case WriterFormat::Stata: return std::make_unique<DtaTableWriter>(targetPath, tableName);
    }
    throw std::logic_error("MakeTableWriter: unknown format");
}

}  // namespace vdx::exchange
