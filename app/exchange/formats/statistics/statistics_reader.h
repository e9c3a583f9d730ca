// The data files of the statistics packages: Stata .dta (versions 104 to
// 119), SAS .sas7bdat and transport .xpt, SPSS .sav and .zsav, read through
// ReadStat. The file holds one table, named after the file less its
// extension.
//
// Integer columns are Long, float Single, double Double and strings Text
// (Memo beyond 255 characters). A numeric column whose display format is a
// date or date-time format of its package is Date (Stata %td/%tc, SAS DATE9.,
// DATETIME20., ..., SPSS DATE11, ADATE10, DATETIME20, ...). Missing values
// (system and tagged) are Null; value labels are not applied: codes stay
// codes, as a cause-of-death column needs them.
//
// ReadStat trusts the files it reads and can crash on damaged ones: it runs
// in a child process (isolated_process.h), and a crash there is VdxError
// 3274 naming the file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/io/table_reader.h"

namespace vdx::exchange {

enum class StatisticsFormat { Stata, Sas, SasTransport, Spss };

// How a package's date format counts: day number = epoch + stored / unitsPerDay.
struct StatisticsDateRule {
    double epoch;
    double unitsPerDay;
    double dayNumber(double stored) const { return epoch + stored / unitsPerDay; }
};
// The rule of a display format; nullopt when the format is no date format.
std::optional<StatisticsDateRule> StatisticsDateOf(StatisticsFormat format, const std::string& displayFormat);
// The day number of a package's stored value in a column of that display
// format; nullopt when the format is no date format.
std::optional<double> StatisticsDate(StatisticsFormat format, const std::string& displayFormat, double stored);

class StatisticsReader : public TableReader {
public:
    // Reads the columns; VdxError 53 when the file is missing, 3274 naming
    // the file when it is not a readable file of that package.
    StatisticsReader(StatisticsFormat format, std::string path);
    std::vector<std::string> tableNames() override;
    std::vector<ColumnSpec> columns(const std::string& table) override;
    void readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) override;

private:
    struct Column {
        ColumnSpec description;
        std::string displayFormat;
    };
    void checkTable(const std::string& table) const;
    // The parses themselves, run in the child process.
    void readColumnsHere();
    void readRowsHere(const RowCallback& onRow) const;

    StatisticsFormat format_;
    std::string path_;
    std::string table_;
    std::vector<Column> columns_;
    int rowCount_ = -1;
};

}  // namespace vdx::exchange
