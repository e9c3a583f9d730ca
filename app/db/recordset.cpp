// Recordsets: on a table (read on demand, updatable) and in memory (the
// rows of a SELECT text or of a foreign table, read-only).
#include <algorithm>

#include "db/db_internal.h"

namespace vdx::db {

using namespace detail;

namespace {

[[noreturn]] void NoCurrentRecord() { Fail(err::NoCurrentRecord, "No current record."); }
[[noreturn]] void NoPendingUpdate() {
    Fail(err::UpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit.");
}
[[noreturn]] void ItemNotFound(const std::string& what) {
    Fail(err::ItemNotFound, "Item not found in this collection: " + what + ".");
}

int FindField(const std::vector<FieldDef>& fields, const std::string& name) {
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameName(fields[i].name, name)) return static_cast<int>(i);
    ItemNotFound("field '" + name + "'");
}

const FieldDef& FieldAt(const std::vector<FieldDef>& fields, int index) {
    if (index < 0 || index >= static_cast<int>(fields.size()))
        ItemNotFound("field " + std::to_string(index));
    return fields[static_cast<size_t>(index)];
}

// ---- Table recordset -------------------------------------------------------

class TableRecordset : public Recordset {
public:
    static constexpr int64_t kAnchorStep = 1024;

    TableRecordset(Database& db, std::string table)
        : db_(db), table_(std::move(table)), quoted_(QuoteIdentifier(table_)) {
        fields_ = TableFields(db_, table_);
        order_ = RowOrderName(fields_, table_);
        std::string columns;
        for (const auto& f : fields_) columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(f.name);
        columns_ = columns;
        stamp_ = changes();
        moveFirst();
    }

    void moveFirst() override {
        endEditing();
        auto first = queryRowid("SELECT " + order_ + " FROM " + quoted_ + " ORDER BY " + order_ + " LIMIT 1", firstStmt_);
        if (first) {
            setRow(*first, 0);
        } else {
            bof_ = eof_ = true;
            deleted_ = false;
        }
    }

    void moveNext() override {
        endEditing();
        if (eof_) NoCurrentRecord();
        if (bof_) {
            moveFirst();
            if (bof_) eof_ = true;
            return;
        }
        refreshIfChanged();
        // Within the rows read ahead, or the next block of them.
        if (!deleted_ && ahead_.at + 1 < ahead_.rowids.size() && ahead_.rowids[ahead_.at] == rowid_) {
            ++ahead_.at;
            setRow(ahead_.rowids[ahead_.at], pos_ + 1);
            return;
        }
        if (readAhead(rowid_)) {
            setRow(ahead_.rowids[0], deleted_ ? pos_ : pos_ + 1);
        } else {
            eof_ = true;
            deleted_ = false;
        }
    }

    void move(int64_t rows) override {
        endEditing();
        if (bof_ || eof_) NoCurrentRecord();
        if (rows == 0) {
            if (deleted_) NoCurrentRecord();
            return;
        }
        // A few rows are stepped; longer jumps go through the rowid index.
        if (rows > 0 && rows <= 16) {
            for (int64_t i = 0; i < rows && !eof_; ++i) moveNext();
            return;
        }
        if (rows < 0 && rows >= -16) {
            for (int64_t i = 0; i < -rows && !bof_; ++i) movePrevious();
            return;
        }
        const int64_t target = (deleted_ && rows > 0) ? pos_ + rows - 1 : pos_ + rows;
        if (target < 0) {
            bof_ = true;
            deleted_ = false;
        } else if (target >= recordCount()) {
            eof_ = true;
            deleted_ = false;
        } else {
            seek(target);
        }
    }

    bool eof() const override { return eof_; }

    int64_t recordCount() override {
        refreshIfChanged();
        if (!count_) {
            Statement st(db_, "SELECT count(*) FROM " + quoted_);
            st.step();
            count_ = sqlite3_column_int64(st.get(), 0);
        }
        return *count_;
    }

    void setAbsolutePosition(int64_t position) override {
        endEditing();
        if (position < 0 || position >= recordCount()) Fail(err::InvalidArgument, "Invalid argument: position " +
                                                                      std::to_string(position) + ".");
        seek(position);
    }

    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    const FieldDef& field(int index) const override { return FieldAt(fields_, index); }
    int fieldIndex(const std::string& name) const override { return FindField(fields_, name); }

    Value value(int index) override {
        FieldAt(fields_, index);
        if (mode_ != Mode::None) return buffer_[static_cast<size_t>(index)];
        loadCurrent();
        return current_[static_cast<size_t>(index)];
    }

    void addNew() override {
        mode_ = Mode::AddNew;
        buffer_.assign(fields_.size(), Value::null());
        dirty_.assign(fields_.size(), false);
    }

    void edit() override {
        mode_ = Mode::None;
        loadCurrent();
        buffer_ = current_;
        dirty_.assign(fields_.size(), false);
        mode_ = Mode::Edit;
    }

    void setValue(int index, const Value& v) override {
        const FieldDef& f = FieldAt(fields_, index);
        if (mode_ == Mode::None) NoPendingUpdate();
        buffer_[static_cast<size_t>(index)] = ConvertForField(f, v);
        dirty_[static_cast<size_t>(index)] = true;
    }

    void update() override {
        if (mode_ == Mode::None) NoPendingUpdate();
        refreshIfChanged();
        if (mode_ == Mode::AddNew) {
            if (!insertStmt_) {
                std::string params;
                for (size_t i = 0; i < fields_.size(); ++i) params += (i ? ", ?" : "?") + std::to_string(i + 1);
                insertStmt_ = std::make_unique<Statement>(
                    db_, "INSERT INTO " + quoted_ + " (" + columns_ + ") VALUES (" + params + ")");
            }
            for (size_t i = 0; i < fields_.size(); ++i) insertStmt_->bind(static_cast<int>(i + 1), buffer_[i]);
            insertStmt_->step();
            insertStmt_->reset();
            if (count_) {
                // The new row is the last one: the index stays valid.
                if (anchorsValid_ && *count_ % kAnchorStep == 0)
                    anchors_.push_back(sqlite3_last_insert_rowid(db_.handle()));
                ++*count_;
            }
        } else {
            std::string sets;
            std::vector<size_t> changed;
            for (size_t i = 0; i < fields_.size(); ++i) {
                if (!dirty_[i]) continue;
                sets += (sets.empty() ? "" : ", ") + QuoteIdentifier(fields_[i].name) + " = ?" +
                        std::to_string(changed.size() + 1);
                changed.push_back(i);
            }
            if (!changed.empty()) {
                Statement st(db_, "UPDATE " + quoted_ + " SET " + sets + " WHERE " + order_ + " = ?" +
                                      std::to_string(changed.size() + 1));
                for (size_t k = 0; k < changed.size(); ++k) st.bind(static_cast<int>(k + 1), buffer_[changed[k]]);
                st.bindInt(static_cast<int>(changed.size() + 1), rowid_);
                st.step();
            }
            currentRowid_ = -1;  // read the row again
            ahead_ = {};
        }
        mode_ = Mode::None;
        stamp_ = changes();
    }

    void remove() override {
        endEditing();
        if (!onRow()) NoCurrentRecord();
        refreshIfChanged();
        Statement st(db_, "DELETE FROM " + quoted_ + " WHERE " + order_ + " = ?1");
        st.bindInt(1, rowid_);
        st.step();
        deleted_ = true;
        currentRowid_ = -1;
        ahead_ = {};
        if (count_) --*count_;
        anchorsValid_ = false;
        anchors_.clear();
        stamp_ = changes();
    }

private:
    enum class Mode { None, AddNew, Edit };

    // One row back from the current one (a short move backwards); before the
    // first row the recordset stands at BOF.
    void movePrevious() {
        if (!prevStmt_)
            prevStmt_ = std::make_unique<Statement>(
                db_, "SELECT " + order_ + " FROM " + quoted_ + " WHERE " + order_ + " < ?1 ORDER BY " + order_ +
                         " DESC LIMIT 1");
        prevStmt_->bindInt(1, rowid_);
        const bool found = prevStmt_->step();
        const int64_t prev = found ? sqlite3_column_int64(prevStmt_->get(), 0) : 0;
        prevStmt_->reset();
        if (found) {
            setRow(prev, pos_ - 1);
        } else {
            bof_ = true;
            deleted_ = false;
        }
    }

    bool onRow() const { return !bof_ && !eof_ && !deleted_; }

    int64_t changes() const { return sqlite3_total_changes64(db_.handle()); }

    // Another statement or recordset changed the database: counts and the
    // rowid index may be stale.
    void refreshIfChanged() {
        const int64_t now = changes();
        if (now == stamp_) return;
        stamp_ = now;
        count_.reset();
        anchorsValid_ = false;
        anchors_.clear();
        currentRowid_ = -1;
        ahead_ = {};
    }

    // Moving ends an AddNew or Edit without saving it, as the old engine did.
    void endEditing() { mode_ = Mode::None; }

    void setRow(int64_t rowid, int64_t pos) {
        rowid_ = rowid;
        pos_ = pos;
        bof_ = eof_ = deleted_ = false;
    }

    // Reads the rows after `rowid` in blocks that grow while the caller keeps
    // stepping forward (16, 32, ... 1024 rows), so that a pass over the
    // table costs one query per block, not two per row. The statement is
    // reset after each block: no read stays open between calls.
    bool readAhead(int64_t rowid) {
        if (!aheadStmt_)
            aheadStmt_ = std::make_unique<Statement>(
                db_, "SELECT " + order_ + std::string(columns_.empty() ? "" : ", ") + columns_ + " FROM " +
                         quoted_ + " WHERE " + order_ + " > ?1 ORDER BY " + order_ + " LIMIT ?2");
        const bool continuing = !ahead_.rowids.empty() && ahead_.rowids.back() == rowid;
        aheadSize_ = continuing ? std::min<int64_t>(aheadSize_ * 2, 1024) : 16;
        ahead_ = {};
        aheadStmt_->bindInt(1, rowid);
        aheadStmt_->bindInt(2, aheadSize_);
        while (aheadStmt_->step()) {
            ahead_.rowids.push_back(sqlite3_column_int64(aheadStmt_->get(), 0));
            std::vector<Value> row;
            row.reserve(fields_.size());
            for (size_t i = 0; i < fields_.size(); ++i)
                row.push_back(ColumnValue(aheadStmt_->get(), static_cast<int>(i + 1), fields_[i]));
            ahead_.values.push_back(std::move(row));
        }
        aheadStmt_->reset();
        return !ahead_.rowids.empty();
    }

    std::optional<int64_t> queryRowid(const std::string& sql, std::unique_ptr<Statement>& cache) {
        if (!cache) cache = std::make_unique<Statement>(db_, sql);
        std::optional<int64_t> out;
        if (cache->step() && sqlite3_column_type(cache->get(), 0) != SQLITE_NULL)
            out = sqlite3_column_int64(cache->get(), 0);
        cache->reset();
        return out;
    }

    void buildIndex() {
        refreshIfChanged();
        if (anchorsValid_) return;
        anchors_.clear();
        Statement st(db_, "SELECT " + order_ + " FROM " + quoted_ + " ORDER BY " + order_);
        int64_t n = 0;
        while (st.step()) {
            if (n % kAnchorStep == 0) anchors_.push_back(sqlite3_column_int64(st.get(), 0));
            ++n;
        }
        count_ = n;
        anchorsValid_ = true;
    }

    void seek(int64_t position) {
        buildIndex();
        const auto anchor = static_cast<size_t>(position / kAnchorStep);
        if (!seekStmt_)
            seekStmt_ = std::make_unique<Statement>(
                db_, "SELECT " + order_ + " FROM " + quoted_ + " WHERE " + order_ + " >= ?1 ORDER BY " + order_ +
                         " LIMIT 1 OFFSET ?2");
        seekStmt_->bindInt(1, anchors_[anchor]);
        seekStmt_->bindInt(2, position % kAnchorStep);
        const bool found = seekStmt_->step();
        const int64_t rowid = found ? sqlite3_column_int64(seekStmt_->get(), 0) : 0;
        seekStmt_->reset();
        if (!found) NoCurrentRecord();
        setRow(rowid, position);
    }

    void loadCurrent() {
        if (!onRow()) NoCurrentRecord();
        refreshIfChanged();
        if (currentRowid_ == rowid_) return;
        if (ahead_.at < ahead_.rowids.size() && ahead_.rowids[ahead_.at] == rowid_) {
            current_ = ahead_.values[ahead_.at];
            currentRowid_ = rowid_;
            return;
        }
        if (!readStmt_)
            readStmt_ = std::make_unique<Statement>(
                db_, "SELECT " + columns_ + " FROM " + quoted_ + " WHERE " + order_ + " = ?1");
        readStmt_->bindInt(1, rowid_);
        if (!readStmt_->step()) {
            readStmt_->reset();
            Fail(err::NoCurrentRecord, "No current record (the row was deleted).");
        }
        current_.clear();
        for (size_t i = 0; i < fields_.size(); ++i)
            current_.push_back(ColumnValue(readStmt_->get(), static_cast<int>(i), fields_[i]));
        readStmt_->reset();
        currentRowid_ = rowid_;
    }

    Database& db_;
    std::string table_, quoted_, columns_;
    std::string order_;  // rowid, or _rowid_ or oid when a column hides it
    std::vector<FieldDef> fields_;

    bool bof_ = false, eof_ = false, deleted_ = false;
    int64_t rowid_ = 0, pos_ = -1;

    int64_t stamp_ = 0;
    std::optional<int64_t> count_;
    std::vector<int64_t> anchors_;  // rowid of the rows 0, 1024, 2048, ...
    bool anchorsValid_ = false;

    int64_t currentRowid_ = -1;
    std::vector<Value> current_;

    // Rows read ahead by moveNext; `at` is the current one among them.
    struct ReadAhead {
        std::vector<int64_t> rowids;
        std::vector<std::vector<Value>> values;
        size_t at = 0;
    };
    ReadAhead ahead_;
    int64_t aheadSize_ = 16;

    Mode mode_ = Mode::None;
    std::vector<Value> buffer_;
    std::vector<bool> dirty_;

    std::unique_ptr<Statement> firstStmt_, prevStmt_, seekStmt_, readStmt_, insertStmt_,
        aheadStmt_;
};

// ---- In-memory recordset (read-only) ---------------------------------------

class MemoryRecordset : public Recordset {
public:
    MemoryRecordset(std::vector<FieldDef> fields, std::vector<std::vector<Value>> rows)
        : fields_(std::move(fields)), rows_(std::move(rows)) {
        moveFirst();
    }

    void moveFirst() override { go(0); }
    void moveNext() override {
        if (pos_ >= size()) NoCurrentRecord();
        go(pos_ + 1);
    }
    void move(int64_t rows) override {
        if (pos_ < 0 || pos_ >= size()) NoCurrentRecord();
        go(pos_ + rows);
    }
    bool eof() const override { return pos_ >= size() || rows_.empty(); }
    int64_t recordCount() override { return size(); }
    void setAbsolutePosition(int64_t position) override {
        if (position < 0 || position >= size()) Fail(err::InvalidArgument, "Invalid argument.");
        pos_ = position;
    }
    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    const FieldDef& field(int index) const override { return FieldAt(fields_, index); }
    int fieldIndex(const std::string& name) const override { return FindField(fields_, name); }
    Value value(int index) override {
        FieldAt(fields_, index);
        if (pos_ < 0 || pos_ >= size()) NoCurrentRecord();
        const auto& row = rows_[static_cast<size_t>(pos_)];
        return static_cast<size_t>(index) < row.size() ? row[static_cast<size_t>(index)] : Value::null();
    }
    void addNew() override { readOnly(); }
    void edit() override { readOnly(); }
    void setValue(int, const Value&) override { readOnly(); }
    void update() override { readOnly(); }
    void remove() override { readOnly(); }

private:
    int64_t size() const { return static_cast<int64_t>(rows_.size()); }
    void go(int64_t pos) { pos_ = std::clamp<int64_t>(pos, -1, size()); }
    [[noreturn]] void readOnly() {
        Fail(err::ReadOnlyRecordset, "Cannot update. Database or object is read-only.");
    }

    std::vector<FieldDef> fields_;
    std::vector<std::vector<Value>> rows_;
    int64_t pos_ = 0;
};

// ---- Rows of a table as a RowSource ---------------------------------------

class TableRowSource : public RowSource {
public:
    TableRowSource(Database& db, const std::string& table) : fields_(TableFields(db, table)) {
        std::string columns;
        for (const auto& f : fields_) columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(f.name);
        stmt_ = std::make_unique<Statement>(
            db, "SELECT " + columns + " FROM " + QuoteIdentifier(table) + " ORDER BY " + RowOrderName(fields_, table));
    }
    const std::vector<FieldDef>& fields() const override { return fields_; }
    bool next(std::vector<Value>& row) override {
        if (done_) return false;
        if (!stmt_->step()) {
            done_ = true;
            stmt_->reset();
            return false;
        }
        row.clear();
        for (size_t i = 0; i < fields_.size(); ++i)
            row.push_back(ColumnValue(stmt_->get(), static_cast<int>(i), fields_[i]));
        return true;
    }

private:
    std::vector<FieldDef> fields_;
    std::unique_ptr<Statement> stmt_;
    bool done_ = false;
};

}  // namespace

namespace detail {

std::unique_ptr<Recordset> OpenTableRecordset(Database& db, const std::string& table) {
    return std::make_unique<TableRecordset>(db, table);
}

std::unique_ptr<Recordset> OpenQueryRecordset(Database& db, const std::string& sql) {
    Statement st(db, sql);
    const int n = sqlite3_column_count(st.get());
    std::vector<FieldDef> fields;
    for (int i = 0; i < n; ++i) {
        const char* name = sqlite3_column_name(st.get(), i);
        const char* decl = sqlite3_column_decltype(st.get(), i);
        fields.push_back(FieldFromDeclaredType(name ? name : "", decl ? decl : ""));
    }
    std::vector<std::vector<Value>> rows;
    while (st.step()) {
        std::vector<Value> row;
        for (int i = 0; i < n; ++i) {
            // Computed columns carry no declared type: keep the stored kind.
            if (!sqlite3_column_decltype(st.get(), i)) {
                switch (sqlite3_column_type(st.get(), i)) {
                    case SQLITE_INTEGER: row.push_back(Value::integer(sqlite3_column_int64(st.get(), i))); continue;
                    case SQLITE_FLOAT: row.push_back(Value::real(sqlite3_column_double(st.get(), i))); continue;
                    default: break;
                }
            }
            row.push_back(ColumnValue(st.get(), i, fields[static_cast<size_t>(i)]));
        }
        rows.push_back(std::move(row));
    }
    return std::make_unique<MemoryRecordset>(std::move(fields), std::move(rows));
}

std::unique_ptr<RowSource> TableRows(Database& db, const std::string& table) {
    return std::make_unique<TableRowSource>(db, table);
}

}  // namespace detail

}  // namespace vdx::db
