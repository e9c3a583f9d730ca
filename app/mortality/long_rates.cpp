#include "mortality/long_rates.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "db/database.h"
#include "db/field_number.h"
#include "db/table_stream.h"
#include "state/errors.h"
#include "state/text_values.h"

namespace vdx::mortality {

namespace {

std::string StoredText(const db::TableStream& rows, int column) {
    switch (rows.storage(column)) {
        case db::TableStream::Storage::Null: return "";
        case db::TableStream::Storage::Text: return std::string(rows.text(column));
        default: return NumberText(rows.real(column));
    }
}

// The bounds of `display` with those of `rates` that lie strictly inside.
std::vector<double> Union(const std::vector<double>& display, const std::vector<double>& rates) {
    std::set<double> all(display.begin(), display.end());
    for (double r : rates)
        if (r > display.front() && r < display.back()) all.insert(r);
    return {all.begin(), all.end()};
}

// The class of `v` among ascending lower bounds: the last bound <= v, -1
// when v lies below the first.
int ClassOf(const std::vector<double>& lower, double v) {
    return static_cast<int>(std::upper_bound(lower.begin(), lower.end(), v) - lower.begin()) - 1;
}

}  // namespace

std::string SexCodeText(const std::string& text) {
    if (const auto n = ReadNumber(text)) return NumberText(*n);
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

LongRateExpected::LongRateExpected(db::Database& db, const std::string& table, const db::RateLayout& layout,
                                   const std::vector<double>& displayAges, const std::vector<int>& displayYears)
    : table_(table) {
    if (!layout.causeColumn.empty())
        throw DataError(err::TypeMismatch, "The rate table '" + table + "' gives rates by cause (column '" +
                                               layout.causeColumn +
                                               "'); an SMR uses a table of all causes or of one cause. Add the "
                                               "rates of the cause without a cause column.");
    if (displayAges.size() < 2 || displayYears.size() < 2)
        throw DataError(err::TypeMismatch, "The person-years run has no age classes or periods.");
    db::CheckLongRateTable(db, table, layout, false);
    std::vector<std::string> columns{layout.ageColumn, layout.yearColumn, layout.rateColumn};
    const bool withSex = !layout.sexColumn.empty();
    if (withSex) columns.push_back(layout.sexColumn);

    struct Row {
        double age, year, rate;
        std::string sex;
    };
    std::vector<Row> rows;
    std::set<double> ages, years;
    std::set<std::string> sexes;
    {
        db::TableStream stream(db, table, columns);
        while (stream.next()) {
            const std::optional<double> rate = db::FieldNumber(stream, 2);
            Row r{*db::FieldNumber(stream, 0), *db::FieldNumber(stream, 1), rate.value_or(0),
                  withSex ? SexCodeText(StoredText(stream, 3)) : std::string()};
            if (r.year != std::trunc(r.year) || r.year < 100 || r.year > 9999)
                throw DataError(err::TypeMismatch, "Row " + std::to_string(stream.position()) + " of the rate table '" +
                                                       table + "', column '" + layout.yearColumn + "' holds " +
                                                       NumberText(r.year) + ", not a calendar year.");
            if (withSex && r.sex.empty())
                throw DataError(err::TypeMismatch, "Row " + std::to_string(stream.position()) + " of the rate table '" +
                                                       table + "': the sex (column '" + layout.sexColumn +
                                                       "') is empty.");
            if (!rate || std::isnan(*rate) || *rate < 0) {
                const std::string shown = StoredText(stream, 2);
                throw DataError(err::TypeMismatch,
                                "The rate table '" + table + "' gives no usable rate for " +
                                    (withSex ? "sex " + r.sex + ", " : std::string()) + "age " + NumberText(r.age) +
                                    ", year " + NumberText(r.year) + ": the rate " +
                                    (shown.empty() ? std::string("is empty")
                                     : rate && !std::isnan(*rate) ? "is " + shown + ", negative"
                                                                  : "is '" + shown + "', not a number") +
                                    ". The SMR run has stopped; nothing has been stored.");
            }
            ages.insert(r.age);
            years.insert(r.year);
            if (withSex) sexes.insert(r.sex);
            rows.push_back(std::move(r));
        }
    }
    if (rows.empty()) throw DataError(err::TypeMismatch, "The rate table '" + table + "' holds no rates.");
    const std::vector<double> rateAges(ages.begin(), ages.end());
    std::vector<double> rateYears(years.begin(), years.end());
    const double lastWidth = rateYears.size() > 1 ? rateYears.back() - rateYears[rateYears.size() - 2] : 1.0;
    const double yearsEnd = rateYears.back() + lastWidth;
    sexCodes_.assign(sexes.begin(), sexes.end());
    for (size_t s = 0; s < sexCodes_.size(); ++s) {
        sexIndex_[sexCodes_[s]] = static_cast<int>(s);
        if (const auto n = ReadNumber(sexCodes_[s])) numericSex_.emplace_back(*n, static_cast<int>(s));
    }
    const size_t sexCount = std::max<size_t>(1, sexCodes_.size());

    // The rates as a grid per sex; cells the table does not give stay NoCell.
    const size_t nA = rateAges.size(), nY = rateYears.size();
    std::vector<double> grid(sexCount * nA * nY, 0.0);
    std::vector<bool> given(grid.size(), false);
    for (const Row& r : rows) {
        const size_t s = withSex ? static_cast<size_t>(sexIndex_[r.sex]) : 0;
        const size_t a = static_cast<size_t>(ClassOf(rateAges, r.age));
        const size_t y = static_cast<size_t>(ClassOf(rateYears, r.year));
        grid[(s * nA + a) * nY + y] = r.rate / layout.unit;
        given[(s * nA + a) * nY + y] = true;
    }

    // The fine classes: display bounds with the rate bounds inside them.
    std::vector<double> displayYearBounds(displayYears.begin(), displayYears.end());
    std::vector<double> yearBounds = rateYears;
    yearBounds.push_back(yearsEnd);
    fineAges_ = Union(displayAges, rateAges);
    fineYears_ = Union(displayYearBounds, yearBounds);
    fineA_ = static_cast<int>(fineAges_.size()) - 1;
    fineC_ = static_cast<int>(fineYears_.size()) - 1;
    displayA_ = static_cast<int>(displayAges.size()) - 1;
    displayC_ = static_cast<int>(displayYears.size()) - 1;
    if (fineA_ > INT16_MAX || fineC_ > INT16_MAX)
        throw DataError(err::Overflow, "The rate table '" + table + "' has more age classes or years than a "
                                                                   "person-years table can hold.");
    const size_t fineCells = static_cast<size_t>(fineA_) * static_cast<size_t>(fineC_);
    toDisplay_.resize(fineCells);
    rate_.assign(sexCount * fineCells, 0.0);
    status_.assign(sexCount * fineCells, NoCell);
    for (int j = 0; j < fineC_; ++j) {
        const double y = fineYears_[static_cast<size_t>(j)];
        const int dj = ClassOf(displayYearBounds, y);
        int ry = ClassOf(rateYears, y);
        if (y >= yearsEnd) ry = -1;
        for (int i = 0; i < fineA_; ++i) {
            const double a = fineAges_[static_cast<size_t>(i)];
            const int di = ClassOf(displayAges, a);
            const int ra = ClassOf(rateAges, a);  // the last class open upward
            const size_t k = static_cast<size_t>(i) + static_cast<size_t>(fineA_) * static_cast<size_t>(j);
            toDisplay_[k] = di + displayA_ * dj;
            if (ra < 0 || ry < 0) continue;
            for (size_t s = 0; s < sexCount; ++s) {
                const size_t g = (s * nA + static_cast<size_t>(ra)) * nY + static_cast<size_t>(ry);
                if (!given[g]) continue;
                rate_[s * fineCells + k] = grid[g];
                status_[s * fineCells + k] = Ok;
            }
        }
    }

    // The kernel's bound vectors: element 0 unused, calendar bounds as the
    // day number of 1 January.
    kernelAges_.assign(static_cast<size_t>(fineA_) + 2, 0.0);
    kernelDays_.assign(static_cast<size_t>(fineC_) + 2, 0.0);
    for (int k = 0; k <= fineA_; ++k) kernelAges_[static_cast<size_t>(k) + 1] = fineAges_[static_cast<size_t>(k)];
    for (int k = 0; k <= fineC_; ++k)
        kernelDays_[static_cast<size_t>(k) + 1] = DateSerial(static_cast<int>(fineYears_[static_cast<size_t>(k)]), 1, 1);
    strata_ = std::make_unique<library::Strata>(kernelAges_.data(), static_cast<int16_t>(fineA_), kernelDays_.data(),
                                                static_cast<int16_t>(fineC_));
    days_.assign(sexCount * fineCells, 0.0);
    deaths_.assign(sexCount * static_cast<size_t>(displayA_) * static_cast<size_t>(displayC_), 0);
    cellIndex_.resize(64);
    cellDays_.resize(64);
}

int LongRateExpected::sexIndex(const std::string& code) const {
    if (!bySex()) return 0;
    const auto it = sexIndex_.find(code);
    return it == sexIndex_.end() ? -1 : it->second;
}

int LongRateExpected::sexIndex(double code) const {
    if (!bySex()) return 0;
    for (const auto& [value, index] : numericSex_)
        if (value == code) return index;
    return -1;
}

void LongRateExpected::addPerson(int sex, double start, double exit, double birth) {
    if (start > exit) return;
    int32_t count;
    for (;;) {
        count = strata_->personCells(start, exit, birth, cellIndex_.data(), cellDays_.data(),
                                     static_cast<int32_t>(cellIndex_.size()));
        if (count <= static_cast<int32_t>(cellIndex_.size())) break;
        cellIndex_.resize(static_cast<size_t>(count));
        cellDays_.resize(static_cast<size_t>(count));
    }
    double* days = days_.data() + static_cast<size_t>(sex) * toDisplay_.size();
    for (int32_t c = 0; c < count; ++c) days[cellIndex_[static_cast<size_t>(c)] - 1] += cellDays_[static_cast<size_t>(c)];
}

void LongRateExpected::addDeath(int sex, int32_t cell) {
    const size_t cells = static_cast<size_t>(displayA_) * static_cast<size_t>(displayC_);
    if (cell >= 1 && static_cast<size_t>(cell) <= cells) ++deaths_[static_cast<size_t>(sex) * cells + static_cast<size_t>(cell) - 1];
}

void LongRateExpected::finish() {
    const size_t fineCells = toDisplay_.size();
    const size_t cells = static_cast<size_t>(displayA_) * static_cast<size_t>(displayC_);
    const size_t sexCount = std::max<size_t>(1, sexCodes_.size());
    expected_ = 0;
    sexCells_.assign(sexCount, SexCells{std::vector<double>(cells, 0.0), std::vector<double>(cells, 0.0),
                                        std::vector<int64_t>(cells, 0)});
    for (size_t s = 0; s < sexCount; ++s) {
        for (size_t k = 0; k < fineCells; ++k) {
            const double d = days_[s * fineCells + k];
            if (d <= 0) continue;
            if (status_[s * fineCells + k] != Ok) {
                const size_t i = k % static_cast<size_t>(fineA_), j = k / static_cast<size_t>(fineA_);
                throw DataError(err::TypeMismatch,
                                "The rate table '" + table_ + "' has no rate for " +
                                    (bySex() ? "sex " + sexCodes_[s] + ", " : std::string()) + "age " +
                                    NumberText(fineAges_[i]) + ", year " + NumberText(fineYears_[j]) + ": " +
                                    NumberText(d) + " person-days of the cohort fall there. The SMR run has "
                                    "stopped; nothing has been stored.");
            }
            const double e = d / 365.25 * rate_[s * fineCells + k];
            const size_t cell = static_cast<size_t>(toDisplay_[k]);
            sexCells_[s].days[cell] += d;
            sexCells_[s].expected[cell] += e;
            expected_ += e;
        }
        for (size_t c = 0; c < cells; ++c) sexCells_[s].deaths[c] = deaths_[s * cells + c];
    }
}

void StoreCellsTable(db::Database& db, const std::string& project, const LongRateExpected& rates) {
    const std::string table = project + kCellsSuffix;
    db.createTable({table,
                    0,
                    {{"Sex", FieldType::Text},
                     {"AgeClass", FieldType::Long, 0},
                     {"Period", FieldType::Long, 0},
                     {"Deaths", FieldType::Double, 0},
                     {"Days", FieldType::Double, 0},
                     {"Expected", FieldType::Double, 0}}});
    auto rs = db.openRecordset(table);
    const int A = rates.displayAges(), C = rates.displayPeriods();
    for (size_t s = 0; s < rates.bySexCells().size(); ++s) {
        const auto& cells = rates.bySexCells()[s];
        // A sex without persons in the table used (Age*Calendar*Sex=c) has no rows.
        double days = 0;
        int64_t deaths = 0;
        for (size_t k = 0; k < cells.days.size(); ++k) days += cells.days[k], deaths += cells.deaths[k];
        if (days == 0 && deaths == 0 && rates.bySex()) continue;
        for (int i = 0; i < A; ++i)
            for (int j = 0; j < C; ++j) {
                const size_t k = static_cast<size_t>(i) + static_cast<size_t>(A) * static_cast<size_t>(j);
                rs->addNew();
                rs->setValue("Sex", Value::text(rates.bySex() ? rates.sexCodes()[s] : std::string()));
                rs->setValue("AgeClass", Value::integer(i + 1));
                rs->setValue("Period", Value::integer(j + 1));
                rs->setValue("Deaths", Value::real(static_cast<double>(cells.deaths[k])));
                rs->setValue("Days", Value::real(cells.days[k]));
                rs->setValue("Expected", Value::real(cells.expected[k]));
                rs->update();
            }
    }
}

std::vector<SexSmrLine> ReadSexTotals(db::Database& db, const std::string& project) {
    std::vector<SexSmrLine> lines;
    const std::string table = project + kCellsSuffix;
    if (!db.tableExists(table)) return lines;
    db::TableStream rows(db, table, {"Sex", "Deaths", "Days", "Expected"});
    while (rows.next()) {
        const std::string sex = StoredText(rows, 0);
        if (sex.empty()) return {};
        if (lines.empty() || lines.back().sex != sex) lines.push_back(SexSmrLine{sex});
        lines.back().observed += db::FieldNumber(rows, 1).value_or(0);
        lines.back().personYears += db::FieldNumber(rows, 2).value_or(0) / 365.25;
        lines.back().expected += db::FieldNumber(rows, 3).value_or(0);
    }
    return lines;
}

}  // namespace vdx::mortality
