#include "exchange/formats/statistics/statistics_reader.h"

#include <readstat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "exchange/io/isolated_process.h"
#include "exchange/io/reader_support.h"
#include "state/errors.h"
#include "state/names.h"
#include "state/text_values.h"

namespace vdx::exchange {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// "DATETIME20." -> "DATETIME": the format's name without width and decimals.
std::string FormatName(const std::string& format) {
    std::string name = Upper(format);
    while (!name.empty() && (std::isdigit(static_cast<unsigned char>(name.back())) || name.back() == '.'))
        name.pop_back();
    return name;
}

readstat_error_t Parse(StatisticsFormat format, readstat_parser_t* parser, const std::string& path, void* context) {
    switch (format) {
        case StatisticsFormat::Stata: return readstat_parse_dta(parser, path.c_str(), context);
        case StatisticsFormat::Sas: return readstat_parse_sas7bdat(parser, path.c_str(), context);
        case StatisticsFormat::SasTransport: return readstat_parse_xport(parser, path.c_str(), context);
        case StatisticsFormat::Spss: return readstat_parse_sav(parser, path.c_str(), context);
    }
    return READSTAT_ERROR_PARSE;
}

// ReadStat's own file access reads a .dta file row by row, one system call
// per row; through stdio it reads blocks of 1 MiB.
struct BufferedInput {
    std::FILE* file = nullptr;
    std::vector<char> buffer = std::vector<char>(size_t{1} << 20);

    static int Open(const char* path, void* io) {
        auto* in = static_cast<BufferedInput*>(io);
        in->file = std::fopen(path, "rb");
        if (!in->file) return -1;
        std::setvbuf(in->file, in->buffer.data(), _IOFBF, in->buffer.size());
        return 0;
    }
    static int Close(void* io) {
        auto* in = static_cast<BufferedInput*>(io);
        const int rc = in->file ? std::fclose(in->file) : 0;
        in->file = nullptr;
        return rc;
    }
    static readstat_off_t Seek(readstat_off_t offset, readstat_io_flags_t whence, void* io) {
        auto* in = static_cast<BufferedInput*>(io);
        const int from = whence == READSTAT_SEEK_SET ? SEEK_SET : whence == READSTAT_SEEK_CUR ? SEEK_CUR : SEEK_END;
        if (::fseeko(in->file, offset, from) != 0) return -1;
        return ::ftello(in->file);
    }
    static ssize_t Read(void* buffer, size_t bytes, void* io) {
        auto* in = static_cast<BufferedInput*>(io);
        const size_t got = std::fread(buffer, 1, bytes, in->file);
        return got < bytes && std::ferror(in->file) ? -1 : static_cast<ssize_t>(got);
    }
    static readstat_error_t Update(long fileSize, readstat_progress_handler progress, void* user, void* io) {
        if (!progress || fileSize <= 0) return READSTAT_OK;
        const readstat_off_t at = ::ftello(static_cast<BufferedInput*>(io)->file);
        if (at < 0) return READSTAT_ERROR_SEEK;
        return progress(static_cast<double>(at) / static_cast<double>(fileSize), user) == READSTAT_HANDLER_OK
                   ? READSTAT_OK
                   : READSTAT_ERROR_USER_ABORT;
    }
};

struct Parser {
    BufferedInput input;
    readstat_parser_t* p = readstat_parser_init();
    Parser() {
        readstat_set_open_handler(p, &BufferedInput::Open);
        readstat_set_close_handler(p, &BufferedInput::Close);
        readstat_set_seek_handler(p, &BufferedInput::Seek);
        readstat_set_read_handler(p, &BufferedInput::Read);
        readstat_set_update_handler(p, &BufferedInput::Update);
        readstat_set_io_ctx(p, &input);
    }
    ~Parser() {
        readstat_parser_free(p);
        BufferedInput::Close(&input);
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
};

double Number(readstat_value_t value) {
    switch (readstat_value_type(value)) {
        case READSTAT_TYPE_INT8: return readstat_int8_value(value);
        case READSTAT_TYPE_INT16: return readstat_int16_value(value);
        case READSTAT_TYPE_INT32: return readstat_int32_value(value);
        case READSTAT_TYPE_FLOAT: return readstat_float_value(value);
        default: return readstat_double_value(value);
    }
}

std::string RowCountText(int declared, uint64_t read) {
    return "its header declares " + std::to_string(declared) + " rows, but " +
           (read < static_cast<uint64_t>(declared) ? "its data end after row " : "it holds ") + std::to_string(read);
}

}  // namespace

std::optional<StatisticsDateRule> StatisticsDateOf(StatisticsFormat format, const std::string& displayFormat) {
    static const double day1960 = DayNumber(1960, 1, 1);
    static const double day1582 = DayNumber(1582, 10, 14);
    const std::string f = Upper(displayFormat);
    switch (format) {
        case StatisticsFormat::Stata:
            // %td days, %tc/%tC milliseconds, since 1 January 1960 (%d: Stata before 10).
            if (StartsWith(f, "%TD") || StartsWith(f, "%D")) return StatisticsDateRule{day1960, 1};
            if (StartsWith(f, "%TC")) return StatisticsDateRule{day1960, 86400000.0};
            return std::nullopt;
        case StatisticsFormat::Sas:
        case StatisticsFormat::SasTransport: {
            // Date formats count days, date-time formats seconds, since 1 January 1960.
            const std::string name = FormatName(f);
            static const char* const dateTimes[] = {"DATETIME", "DATEAMPM", "E8601DT", "IS8601DT", "B8601DT", "MDYAMPM"};
            for (const char* d : dateTimes)
                if (name == d) return StatisticsDateRule{day1960, 86400.0};
            static const char* const dates[] = {"DATE",     "DDMMYY",   "MMDDYY",   "YYMMDD",   "E8601DA", "IS8601DA",
                                                "B8601DA",  "WORDDATE", "WEEKDATE", "WORDDATX", "EURDFDE", "NLDATE",
                                                "DDMMYYD",  "DDMMYYS",  "DDMMYYP",  "DDMMYYN",  "MMDDYYD", "MMDDYYS",
                                                "MMDDYYP",  "MMDDYYN",  "YYMMDDD",  "YYMMDDS",  "YYMMDDP", "YYMMDDN",
                                                "MONYY",    "YYMON",    "JULIAN",   "MINGUO",   "DOWNAME", "MONNAME"};
            for (const char* d : dates)
                if (name == d) return StatisticsDateRule{day1960, 1};
            return std::nullopt;
        }
        case StatisticsFormat::Spss: {
            // Seconds since 14 October 1582.
            const std::string name = FormatName(f);
            static const char* const dates[] = {"DATE",  "ADATE", "EDATE", "SDATE", "JDATE", "DATETIME",
                                                "YMDHMS", "MOYR", "QYR",   "WKYR"};
            for (const char* d : dates)
                if (name == d) return StatisticsDateRule{day1582, 86400.0};
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<double> StatisticsDate(StatisticsFormat format, const std::string& displayFormat, double stored) {
    const std::optional<StatisticsDateRule> rule = StatisticsDateOf(format, displayFormat);
    if (!rule) return std::nullopt;
    return rule->dayNumber(stored);
}

StatisticsReader::StatisticsReader(StatisticsFormat format, std::string path)
    : format_(format), path_(std::move(path)), table_(StemOf(FileNameOf(path_))) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec)) throw VdxError(err::FileNotFound, "File not found: " + path_);
    RunIsolated(
        FileNameOf(path_),
        [&](MessageSender& out) {
            readColumnsHere();
            MessageWriter m;
            m.put<int32_t>(rowCount_).put<uint32_t>(static_cast<uint32_t>(columns_.size()));
            for (const Column& c : columns_)
                m.text(c.description.name).put<int32_t>(static_cast<int32_t>(c.description.type)).put<int32_t>(c.description.size).text(c.displayFormat);
            out.send(m);
        },
        [&](MessageReader& in) {
            rowCount_ = in.get<int32_t>();
            columns_.resize(in.get<uint32_t>());
            for (Column& c : columns_) {
                c.description.name = in.text();
                c.description.type = static_cast<FieldType>(in.get<int32_t>());
                c.description.size = in.get<int32_t>();
                c.displayFormat = in.text();
            }
            return true;
        });
    std::vector<ColumnSpec> specs;
    for (const Column& c : columns_) specs.push_back(c.description);
    CheckColumnNames(specs, table_);
}

void StatisticsReader::readColumnsHere() {
    Parser parser;
    readstat_set_metadata_handler(parser.p, [](readstat_metadata_t* metadata, void* context) {
        static_cast<StatisticsReader*>(context)->rowCount_ = readstat_get_row_count(metadata);
        return int(READSTAT_HANDLER_OK);
    });
    readstat_set_variable_handler(parser.p, [](int, readstat_variable_t* variable, const char*, void* context) {
        auto* self = static_cast<StatisticsReader*>(context);
        Column column;
        const char* name = readstat_variable_get_name(variable);
        const char* displayFormat = readstat_variable_get_format(variable);
        column.description.name = name ? name : "";
        column.displayFormat = displayFormat ? displayFormat : "";
        switch (readstat_variable_get_type(variable)) {
            case READSTAT_TYPE_STRING:
            case READSTAT_TYPE_STRING_REF: {
                const size_t width = readstat_variable_get_storage_width(variable);
                if (width > 255) column.description.type = FieldType::Memo;
                else { column.description.type = FieldType::Text; column.description.size = 255; }
                break;
            }
            case READSTAT_TYPE_INT8:
            case READSTAT_TYPE_INT16:
            case READSTAT_TYPE_INT32: column.description.type = FieldType::Long; break;
            case READSTAT_TYPE_FLOAT: column.description.type = FieldType::Single; break;
            case READSTAT_TYPE_DOUBLE: column.description.type = FieldType::Double; break;
        }
        if (column.description.type != FieldType::Text && column.description.type != FieldType::Memo &&
            StatisticsDate(self->format_, column.displayFormat, 0))
            column.description.type = FieldType::Date;
        self->columns_.push_back(std::move(column));
        return int(READSTAT_HANDLER_OK);
    });
    // The columns only: the first value ends the parse.
    readstat_set_value_handler(parser.p, [](int, readstat_variable_t*, readstat_value_t, void*) {
        return int(READSTAT_HANDLER_ABORT);
    });
    const readstat_error_t error = Parse(format_, parser.p, path_, this);
    if (error != READSTAT_OK && error != READSTAT_ERROR_USER_ABORT)
        ThrowWrongFormat(FileNameOf(path_),
                         std::string("its header and column descriptions cannot be read (") +
                             readstat_error_message(error) + ")");
    if (columns_.empty()) ThrowWrongFormat(FileNameOf(path_), "it has no columns");
}

std::vector<std::string> StatisticsReader::tableNames() { return {table_}; }

void StatisticsReader::checkTable(const std::string& table) const {
    if (!SameName(table, table_)) ThrowTableNotFound(table);
}

std::vector<ColumnSpec> StatisticsReader::columns(const std::string& table) {
    checkTable(table);
    std::vector<ColumnSpec> specs;
    for (const Column& c : columns_) specs.push_back(c.description);
    return specs;
}

void StatisticsReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    checkTable(table);
    // Rows cross from the child in batches: one message per batch.
    constexpr uint32_t kBatchRows = 256;
    ProgressTicker ticker(progress, rowCount_ > 0 ? static_cast<uint64_t>(rowCount_) : 0, 1024);
    uint64_t done = 0;
    bool stopped = false;
    std::vector<Value> row(columns_.size());
    RunIsolated(
        FileNameOf(path_),
        [&](MessageSender& out) {
            MessageWriter m;
            uint32_t inBatch = 0;
            auto send = [&] {
                out.send(m);
                m.clear();
                inBatch = 0;
            };
            readRowsHere([&](const std::vector<Value>& r) {
                m.values(r);
                if (++inBatch == kBatchRows) send();
                return true;
            });
            if (inBatch) send();
        },
        [&](MessageReader& in) {
            while (!in.atEnd()) {
                in.values(row);
                if (row.size() != columns_.size()) ThrowWrongFormat(FileNameOf(path_), "a row has the wrong width");
                if (!onRow(row) || !ticker.tick(++done)) {
                    stopped = true;
                    return false;
                }
            }
            return true;
        });
    if (stopped) return;
    // A file whose data end before (or run past) the rows its header
    // declares is damaged: the rows read are not the table.
    if (rowCount_ >= 0 && done != static_cast<uint64_t>(rowCount_))
        ThrowWrongFormat(FileNameOf(path_), RowCountText(rowCount_, done));
    ticker.finish();
}

void StatisticsReader::readRowsHere(const RowCallback& onRow) const {
    struct Context {
        const StatisticsReader* self;
        const RowCallback& onRow;
        ProgressTicker ticker;
        std::vector<Value> row;
        std::vector<std::optional<StatisticsDateRule>> dates;  // by column
        int rowIndex = -1;
        uint64_t done = 0;
        bool stopped = false;
        // Hands the row being filled over; false when the reading should stop.
        bool flush() {
            if (rowIndex < 0) return true;
            ++done;
            if (!onRow(row) || !ticker.tick(done)) {
                stopped = true;
                return false;
            }
            std::fill(row.begin(), row.end(), Value());
            return true;
        }
    } context{this, onRow, ProgressTicker(nullptr, 0), std::vector<Value>(columns_.size()), {}};
    for (const Column& column : columns_)
        context.dates.push_back(column.description.type == FieldType::Date
                                    ? StatisticsDateOf(format_, column.displayFormat)
                                    : std::nullopt);

    Parser parser;
    // ReadStat reads values only after a variable handler has seen the columns.
    readstat_set_variable_handler(parser.p, [](int, readstat_variable_t*, const char*, void*) {
        return int(READSTAT_HANDLER_OK);
    });
    readstat_set_value_handler(parser.p, [](int obsIndex, readstat_variable_t* variable, readstat_value_t value,
                                            void* data) {
        auto& c = *static_cast<Context*>(data);
        if (obsIndex != c.rowIndex) {
            if (!c.flush()) return int(READSTAT_HANDLER_ABORT);
            c.rowIndex = obsIndex;
        }
        const int index = readstat_variable_get_index(variable);
        if (index < 0 || static_cast<size_t>(index) >= c.row.size()) return int(READSTAT_HANDLER_ABORT);
        if (readstat_value_is_system_missing(value) || readstat_value_is_tagged_missing(value)) return int(READSTAT_HANDLER_OK);
        const Column& column = c.self->columns_[static_cast<size_t>(index)];
        Value& cell = c.row[static_cast<size_t>(index)];
        switch (column.description.type) {
            case FieldType::Text:
            case FieldType::Memo: {
                const char* s = readstat_string_value(value);
                if (s) cell = Value::text(s);
                break;
            }
            case FieldType::Long: cell = Value::integer(static_cast<int64_t>(Number(value))); break;
            case FieldType::Date: {
                const double number = Number(value);
                const auto& rule = c.dates[static_cast<size_t>(index)];
                std::optional<double> day = std::isfinite(number) && rule ? std::optional(rule->dayNumber(number))
                                                                          : std::nullopt;
                if (day && IsDayNumberInRange(*day)) cell = Value::date(*day);
                break;
            }
            default: {
                const double number = Number(value);
                if (std::isfinite(number)) cell = Value::real(number);
                break;
            }
        }
        return int(READSTAT_HANDLER_OK);
    });
    const readstat_error_t error = Parse(format_, parser.p, path_, &context);
    if (context.stopped) return;
    if (error != READSTAT_OK) {
        std::string why = readstat_error_message(error);
        if (rowCount_ > 0 && context.done < static_cast<uint64_t>(rowCount_))
            why = RowCountText(rowCount_, context.done) + " (" + why + ")";
        ThrowWrongFormat(FileNameOf(path_), why);
    }
    context.flush();
}

}  // namespace vdx::exchange
