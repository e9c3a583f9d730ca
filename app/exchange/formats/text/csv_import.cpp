#include "exchange/formats/text/csv_import.h"

#include <algorithm>

#include "exchange/formats/text/csv_reader.h"
#include "exchange/io/reader_support.h"

namespace vdx::exchange {

namespace {

CsvSample SampleWith(const std::string& path, char separator) {
    CsvSample sample = SampleCsvFile(path);
    sample.separator = separator;
    return sample;
}

// A Text column whose values are ISO dates but for a few (at most one in
// ten) is proposed as Date; the values that are not dates are noted.
void ProposeMostlyDates(const std::string& path, char separator, const std::vector<ColumnSpec>& columns,
                        CsvImportOptions& proposed) {
    std::vector<size_t> candidates;
    for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c].type == FieldType::Text) candidates.push_back(c);
    if (candidates.empty()) return;
    std::vector<int64_t> dates(columns.size(), 0);
    std::vector<NotDates> others(columns.size());
    bool header = true;
    ForEachCsvRecord(path, SampleWith(path, separator), [&](std::vector<std::string>& fields, uint64_t line) {
        if (header) {
            header = false;
            return true;
        }
        for (size_t c : candidates) {
            if (c >= fields.size() || fields[c].empty()) continue;
            if (ReadIsoDate(fields[c])) {
                ++dates[c];
            } else {
                NotDates& n = others[c];
                if (n.listed.size() < kListedNotDates) n.listed.emplace_back(line, fields[c]);
                ++n.total;
            }
        }
        return true;
    });
    for (size_t c : candidates) {
        if (dates[c] == 0 || others[c].total * 9 > dates[c]) continue;
        proposed.text.columns[c] = TextColumn{"Date", kIsoDateLayout, "", ""};
        proposed.notDates[c] = std::move(others[c]);
    }
}

}  // namespace

const std::vector<std::string>& CsvDateLayouts() {
    static const std::vector<std::string> layouts = [] {
        std::vector<std::string> all{kIsoDateLayout};
        all.insert(all.end(), kTextDateLayouts.begin(), kTextDateLayouts.end());
        return all;
    }();
    return layouts;
}

TextPreview PreviewCsvFile(const std::string& path, char separator) {
    TextPreview preview;
    ForEachCsvRecord(path, SampleWith(path, separator), [&](std::vector<std::string>& fields, uint64_t) {
        preview.columnCount = std::max(preview.columnCount, static_cast<int>(fields.size()));
        preview.lines.push_back(std::move(fields));
        return static_cast<int>(preview.lines.size()) < kTextPreviewLines;
    });
    return preview;
}

CsvImportOptions ProposeCsvImportOptions(const std::string& path, char separator) {
    CsvImportOptions proposed;
    proposed.separator = separator;
    proposed.text.headers = true;
    std::vector<ColumnSpec> columns;
    try {
        CsvReader reader(path, separator);
        columns = reader.columns(reader.tableNames().front());
    } catch (const VdxError& e) {
        if (e.number() == err::FileNotFound) throw;
        const size_t count = static_cast<size_t>(PreviewCsvFile(path, separator).columnCount);
        proposed.text.columns.assign(count, TextColumn{});
        proposed.memo.assign(count, false);
        return proposed;
    }
    for (const ColumnSpec& c : columns) {
        TextColumn column;
        if (c.type == FieldType::Long) column.type = "Long";
        else if (c.type == FieldType::Double) column.type = "Double";
        else if (c.type == FieldType::Date) column = TextColumn{"Date", kIsoDateLayout, "", ""};
        proposed.text.columns.push_back(column);
        proposed.memo.push_back(c.type == FieldType::Memo);
    }
    proposed.notDates.assign(columns.size(), NotDates{});
    ProposeMostlyDates(path, separator, columns, proposed);
    return proposed;
}

std::string NotDatesNotice(const CsvImportOptions& options, const std::vector<std::string>& header) {
    std::string notice;
    for (size_t c = 0; c < options.notDates.size(); ++c) {
        const NotDates& n = options.notDates[c];
        if (n.total == 0) continue;
        const std::string name = c < header.size() ? header[c] : "Var" + std::to_string(c + 1);
        notice += (notice.empty() ? "" : "\n") + std::string("Column ") + std::to_string(c + 1) + " (" + name +
                  ") is proposed as Date, but " + std::to_string(n.total) +
                  (n.total == 1 ? " value is" : " values are") + " not a date: ";
        for (size_t k = 0; k < n.listed.size(); ++k)
            notice += (k ? ", " : "") + std::string("line ") + std::to_string(n.listed[k].first) + " '" +
                      n.listed[k].second + "'";
        if (n.total > static_cast<int64_t>(n.listed.size()))
            notice += " and " + std::to_string(n.total - static_cast<int64_t>(n.listed.size())) + " more";
        notice += ".";
    }
    if (!notice.empty())
        notice += "\nThe import stops at a value that is not a date: correct it in the file, or choose Text for "
                  "the column.";
    return notice;
}

std::vector<ColumnSpec> CsvImportColumns(const std::string& path, const CsvImportOptions& options,
                                         const std::string& tableName) {
    TextImportOptions typesOnly = options.text;
    typesOnly.headers = false;
    std::vector<ColumnSpec> specs = TextImportColumns(path, typesOnly, tableName);
    std::vector<std::string> names;
    if (options.text.headers)
        ForEachCsvRecord(path, SampleWith(path, options.separator), [&](std::vector<std::string>& fields, uint64_t) {
            names = std::move(fields);
            return false;
        });
    for (size_t c = 0; c < specs.size(); ++c) {
        if (options.text.headers) specs[c].name = c < names.size() ? names[c] : std::string();
        if (specs[c].type == FieldType::Text && c < options.memo.size() && options.memo[c]) {
            specs[c].type = FieldType::Memo;
            specs[c].size = 0;
        }
    }
    CheckColumnNames(specs, tableName);
    return specs;
}

void ImportCsvRows(const std::string& path, const CsvImportOptions& options, const RowCallback& onRow,
                   ReadProgress* progress) {
    const std::vector<TextColumn>& columns = options.text.columns;
    std::vector<Value> row(columns.size());
    bool header = options.text.headers, stopped = false;
    uint64_t records = 0;
    ProgressTicker ticker(progress, 0, 4096);
    ForEachCsvRecord(path, SampleWith(path, options.separator), [&](std::vector<std::string>& fields, uint64_t line) {
        if (header) {
            header = false;
            return true;
        }
        if (fields.size() > columns.size())
            throw VdxError(err::ItemNotFound, "Line " + std::to_string(line) + " has more fields than the " +
                                                  std::to_string(columns.size()) + " columns of the table.");
        for (size_t c = 0; c < columns.size(); ++c) {
            if (c >= fields.size() || fields[c].empty()) row[c] = Value();
            else if (columns[c].type == "Text") row[c] = Value::text(std::move(fields[c]));
            else row[c] = ConvertTextField(fields[c], columns[c], static_cast<int>(c) + 1, static_cast<int64_t>(line));
        }
        ++records;
        if (!onRow(row) || !ticker.tick(records)) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (!stopped) ticker.finish();
}

}  // namespace vdx::exchange
