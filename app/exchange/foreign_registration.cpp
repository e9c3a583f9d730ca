#include "exchange/foreign_registration.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fstream>
#include <mutex>
#include <thread>

#include "exchange/reader_support.h"

namespace vdx::exchange {

namespace {

// Rows travel between the threads in batches: one lock per batch, not per row.
constexpr size_t kBatchRows = 512;
// Batches waiting for the consumer; the reader waits when this many are queued.
constexpr size_t kQueuedBatches = 8;

class StreamedRows : public db::RowSource {
public:
    StreamedRows(std::vector<db::FieldDef> fields, std::function<void(const RowCallback&)> produce)
        : fields_(std::move(fields)), produce_(std::move(produce)) {}

    ~StreamedRows() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    const std::vector<db::FieldDef>& fields() const override { return fields_; }

    bool next(std::vector<Value>& row) override {
        if (!thread_.joinable() && !finished_) thread_ = std::thread([this] { run(); });
        while (at_ >= batch_.size()) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || done_; });
            if (queue_.empty()) {
                finished_ = true;
                if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
                return false;
            }
            batch_ = std::move(queue_.front());
            queue_.pop_front();
            at_ = 0;
            lock.unlock();
            changed_.notify_all();
        }
        row = std::move(batch_[at_++]);
        return true;
    }

private:
    // The reader's thread.
    void run() {
        std::vector<std::vector<Value>> batch;
        batch.reserve(kBatchRows);
        // Hands a full (or the last) batch over; false when the consumer has gone.
        auto handOver = [&] {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return queue_.size() < kQueuedBatches || stop_; });
            if (stop_) return false;
            if (!batch.empty()) queue_.push_back(std::move(batch));
            batch = {};
            batch.reserve(kBatchRows);
            lock.unlock();
            changed_.notify_all();
            return true;
        };
        std::exception_ptr error;
        try {
            produce_([&](const std::vector<Value>& row) {
                batch.push_back(row);
                return batch.size() < kBatchRows || handOver();
            });
            handOver();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            if (!batch.empty() && !stop_ && !error) queue_.push_back(std::move(batch));
            error_ = error;
            done_ = true;
        }
        changed_.notify_all();
    }

    std::vector<db::FieldDef> fields_;
    std::function<void(const RowCallback&)> produce_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<std::vector<Value>>> queue_;  // guarded by mutex_
    bool stop_ = false;                                  // guarded by mutex_
    bool done_ = false;                                  // guarded by mutex_
    std::exception_ptr error_;                           // guarded by mutex_
    // The consumer's side.
    std::vector<std::vector<Value>> batch_;
    size_t at_ = 0;
    bool finished_ = false;
};

// Our own project files begin with SQLite's header; anything else given as
// an Access source goes to the Access reader.
bool IsOwnDatabaseFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[16] = {};
    in.read(header, sizeof header);
    return in.gcount() == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

// The reader for a connect string: the type with the database beside it, or
// the ODBC connection string.
std::shared_ptr<TableReader> ReaderFor(const db::ConnectString& cs) {
    if (SameName(cs.type, "ODBC")) return OpenTableReader("ODBC;" + OdbcConnectionOf(cs), "");
    return OpenTableReader(cs.type + ";", cs.database);
}

std::vector<std::string> ListTables(const db::ConnectString& cs) { return ReaderFor(cs)->tableNames(); }

std::unique_ptr<db::RowSource> OpenTable(const db::ConnectString& cs, const std::string& table) {
    std::shared_ptr<TableReader> reader = ReaderFor(cs);
    std::vector<db::FieldDef> fields;
    for (const ColumnSpec& column : reader->columns(table)) fields.push_back(FieldOfColumn(column));
    // The reader goes with the thread that uses it and is released with the source.
    return StreamRows(std::move(fields), [reader, table](const RowCallback& onRow) {
        reader->readRows(table, onRow, nullptr);
    });
}

// The registry's functions, as types of their own so that a registration
// can be recognised as ours (std::function::target).
struct ReaderTables {
    std::vector<std::string> operator()(const db::ConnectString& cs) const { return ListTables(cs); }
};
struct ReaderTable {
    std::unique_ptr<db::RowSource> operator()(const db::ConnectString& cs, const std::string& table) const {
        return OpenTable(cs, table);
    }
};
// Access sources have the empty type, like our own project files, which are
// still read by the engine's own reader.
struct AccessOrOwnTables {
    std::vector<std::string> operator()(const db::ConnectString& cs) const {
        return IsOwnDatabaseFile(cs.database) ? db::OwnFormat().listTables(cs) : ListTables(cs);
    }
};
struct AccessOrOwnTable {
    std::unique_ptr<db::RowSource> operator()(const db::ConnectString& cs, const std::string& table) const {
        return IsOwnDatabaseFile(cs.database) ? db::OwnFormat().openTable(cs, table) : OpenTable(cs, table);
    }
};

// Puts our readers into a format unless they are there, keeping what another
// part of the program registered for it (a writer of the table export).
template <typename List, typename Open>
void RegisterReaders(const std::string& type) {
    db::ForeignFormat format;
    if (const db::ForeignFormat* existing = db::FindForeignFormat(type)) {
        if (existing->openTable.target<Open>() && existing->listTables.target<List>()) return;
        format = *existing;
    }
    format.type = type;
    format.listTables = List{};
    format.openTable = Open{};
    db::RegisterForeignFormat(std::move(format));
}

}  // namespace

db::FieldDef FieldOfColumn(const ColumnSpec& column) {
    db::FieldDef field;
    field.name = column.name;
    field.type = column.type;
    field.size = column.type == FieldType::Text ? (column.size > 0 && column.size <= 255 ? column.size : 255) : 0;
    field.allowZeroLength = true;
    return field;
}

std::unique_ptr<db::RowSource> StreamRows(std::vector<db::FieldDef> fields,
                                          std::function<void(const RowCallback&)> produce) {
    return std::make_unique<StreamedRows>(std::move(fields), std::move(produce));
}

std::string OdbcConnectionOf(const db::ConnectString& connect) {
    std::string out;
    for (const auto& [key, value] : connect.attributes) out += (out.empty() ? "" : ";") + key + "=" + value;
    return out;
}

void RegisterExchangeFormats() {
    // Checked on every call, so that readers replaced by a later
    // registration of the same type come back.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    for (const char* type : {"Excel 3.0", "Excel 4.0", "Excel 5.0", "Excel 8.0", "dBASE III", "dBASE IV", "dBase 5.0",
                             "Paradox 3.x", "Paradox 4.x", "Paradox 5.x", "Text", "ODBC", "Excel 12.0 Xml", "Stata", "SAS", "SAS Transport", "SPSS", "CSV"})
        RegisterReaders<ReaderTables, ReaderTable>(type);
    RegisterReaders<AccessOrOwnTables, AccessOrOwnTable>("");
}

}  // namespace vdx::exchange
