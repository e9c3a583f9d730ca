#include "table_model.h"

#include <algorithm>
#include <climits>

#include "db/database.h"
#include "state/text_values.h"

namespace vdx {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}
RecordsetModel::~RecordsetModel() = default;

void RecordsetModel::open(const std::string& databaseFile, const std::string& table,
                          bool formatDates) {
    beginResetModel();
    recordset_.reset();
    db_.reset();
    cache_.clear();
    headers_.clear();
    dateColumns_.clear();
    rows_ = 0;
    file_ = databaseFile;
    table_ = table;
    try {
        db_ = db::Database::open(databaseFile);
        recordset_ = db_->openRecordset(table);
        const int64_t count = recordset_->recordCount();
        rows_ = static_cast<int>(std::min<int64_t>(count, INT_MAX - 1));
        const int fields = recordset_->fieldCount();
        for (int i = 0; i < fields; ++i) headers_ << QString::fromStdString(recordset_->field(i).name);
        dateColumns_.assign(fields, false);
        numberColumns_.assign(fields, false);
        for (int i = 0; i < fields; ++i) {
            const FieldType t = recordset_->field(i).type;
            numberColumns_[i] = t == FieldType::Integer || t == FieldType::Long ||
                                t == FieldType::Single || t == FieldType::Double;
        }
        if (formatDates && rows_ > 0) {
            recordset_->moveFirst();
            for (int i = 0; i < fields; ++i) {
                const Value v = recordset_->value(i);
                dateColumns_[i] = v.kind() == Value::Kind::Date ||
                                  (v.kind() == Value::Kind::Text && ReadDate(v.asText()).has_value());
            }
        }
    } catch (...) {
        recordset_.reset();
        db_.reset();
        rows_ = 0;
        headers_.clear();
        dateColumns_.clear();
        numberColumns_.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void RecordsetModel::close() {
    if (!db_ && !recordset_) return;
    beginResetModel();
    recordset_.reset();
    db_.reset();
    cache_.clear();
    headers_.clear();
    dateColumns_.clear();
    numberColumns_.clear();
    rows_ = 0;
    endResetModel();
}

bool RecordsetModel::isDateColumn(int column) const {
    return column >= 0 && column < static_cast<int>(dateColumns_.size()) && dateColumns_[column];
}

int64_t RecordsetModel::rowsRead() const { return db_ ? db_->readCounts().rows : 0; }

int RecordsetModel::cachedRows() const {
    int n = 0;
    for (const auto& b : cache_) n += static_cast<int>(b->rows.size());
    return n;
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QString RecordsetModel::displayText(const Value& v, int column) const {
    switch (v.kind()) {
        case Value::Kind::Null: return {};
        case Value::Kind::Boolean: return QString::fromStdString(BooleanText(v.asBool()));
        case Value::Kind::Integer: return QString::number(v.asInteger());
        case Value::Kind::Double: return QString::fromStdString(NumberText(v.asDouble()));
        case Value::Kind::Date: return QString::fromStdString(FormatDate(v.asDouble()));
        case Value::Kind::Text:
            if (isDateColumn(column))
                if (auto day = ReadDate(v.asText())) return QString::fromStdString(FormatDate(*day));
            return QString::fromStdString(v.asText());
    }
    return {};
}

const RecordsetModel::Block* RecordsetModel::block(int row) const {
    const int first = row - row % kBlockRows;
    for (size_t i = 0; i < cache_.size(); ++i) {
        if (cache_[i]->first != first) continue;
        if (i + 1 != cache_.size()) std::rotate(cache_.begin() + i, cache_.begin() + i + 1, cache_.end());
        return cache_.back().get();
    }
    auto b = std::make_unique<Block>();
    b->first = first;
    try {
        recordset_->setAbsolutePosition(first);
        const int fields = columnCount();
        for (int r = 0; r < kBlockRows && first + r < rows_ && !recordset_->eof(); ++r) {
            QStringList cells;
            cells.reserve(fields);
            for (int c = 0; c < fields; ++c) cells << displayText(recordset_->value(c), c);
            b->rows.push_back(std::move(cells));
            recordset_->moveNext();
        }
    } catch (const std::exception&) {
        // A row that cannot be read shows as empty; the view goes on.
    }
    if (cache_.size() >= static_cast<size_t>(kCachedBlocks)) cache_.erase(cache_.begin());
    cache_.push_back(std::move(b));
    return cache_.back().get();
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !recordset_ || index.row() >= rows_) return {};
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() < static_cast<int>(numberColumns_.size()) &&
                            numberColumns_[index.column()];
        return QVariant::fromValue(Qt::Alignment((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole) return {};
    const Block* b = block(index.row());
    const size_t r = static_cast<size_t>(index.row() - b->first);
    if (r >= b->rows.size() || index.column() >= b->rows[r].size()) return {};
    return b->rows[r][index.column()];
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < headers_.size() ? QVariant(headers_[section]) : QVariant();
    return QString::number(section + 1);
}

}  // namespace vdx
