// A table of the working copy as a Qt model for MainGrid and InternalGrid.
// Rows are fetched from the recordset in blocks when the view asks for them
// and only a few blocks are kept, so a table of a million rows opens at once
// and never sits in memory as a whole.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "state/value.h"

namespace vdx::db {
class Database;
class Recordset;
}  // namespace vdx::db

namespace vdx {

class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kBlockRows = 256;
    static constexpr int kCachedBlocks = 32;

    explicit RecordsetModel(QObject* parent = nullptr);
    ~RecordsetModel() override;

    // Shows a table of the database file; throws VdxError when it cannot be
    // read. With formatDates, every column whose first row holds a date (a
    // date value or text that reads as one) shows its dates as dd.mm.yyyy.
    void open(const std::string& databaseFile, const std::string& table, bool formatDates);
    // Lets go of the table and the file (before a command copies it).
    void close();
    bool isOpen() const { return recordset_ != nullptr; }
    const std::string& databaseFile() const { return file_; }
    const std::string& tableName() const { return table_; }
    bool isDateColumn(int column) const;
    // Rows held in memory now, and what was read from the file so far (for
    // the tests of the fetching).
    int cachedRows() const;
    int64_t rowsRead() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Block {
        int first = 0;
        std::vector<QStringList> rows;
    };
    const Block* block(int row) const;
    QString displayText(const Value& value, int column) const;

    std::unique_ptr<db::Database> db_;
    std::unique_ptr<db::Recordset> recordset_;
    std::string file_, table_;
    int rows_ = 0;
    QStringList headers_;
    std::vector<bool> dateColumns_;
    std::vector<bool> numberColumns_;  // shown right-aligned
    mutable std::vector<std::unique_ptr<Block>> cache_;  // most recently used last
};

}  // namespace vdx
