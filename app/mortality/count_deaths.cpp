#include "mortality/count_deaths.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>

#include "db/database.h"
#include "db/field_number.h"
#include "db/row_blocks.h"
#include "db/table_stream.h"
#include "mortality/death_group.h"
#include "mortality/long_rates.h"
#include "state/errors.h"
#include "state/text_values.h"
#include "state/veldrix_library.h"

namespace vdx::mortality {

namespace {

using db::TableStream;

// Error numbers of an unusable value, as the run time reports them.

// How often, at most, the run lets the window breathe.
constexpr auto kPollInterval = std::chrono::milliseconds(100);

struct DateColumn {
    int index = -1;
    const char* meaning = "";
};

[[noreturn]] void UnusableDate(const ProgramState& state, const TableStream& rows, const DateColumn& column,
                               const std::string& shown, bool empty) {
    std::string text = "Row " + std::to_string(rows.position()) + " of the main data table '" +
                       state.MainTableName + "': the " + column.meaning + " (column '" +
                       rows.field(column.index).name + "') ";
    text += empty ? std::string("is empty.") : "holds '" + shown + "', which is not a date.";
    text += " The SMR run has stopped; nothing has been stored.";
    throw DataError(empty ? err::InvalidUseOfNull : err::TypeMismatch, text);
}

// A date field as a day number; none for an empty value. Dates may be
// stored as dates or as text that reads as a date.
std::optional<double> OptionalDate(const ProgramState& state, const TableStream& rows, const DateColumn& column) {
    switch (rows.storage(column.index)) {
        case TableStream::Storage::Null: return std::nullopt;
        case TableStream::Storage::Integer:
        case TableStream::Storage::Real: {
            const double value = rows.real(column.index);
            if (rows.field(column.index).type == FieldType::Date && std::isfinite(value)) return value;
            UnusableDate(state, rows, column, NumberText(value), false);
        }
        case TableStream::Storage::Text: {
            const std::string text(rows.text(column.index));
            if (text.find_first_not_of(' ') == std::string::npos) return std::nullopt;
            if (auto d = ReadDate(text)) return *d;
            UnusableDate(state, rows, column, text, false);
        }
    }
    return std::nullopt;
}

double RequiredDate(const ProgramState& state, const TableStream& rows, const DateColumn& column) {
    if (auto d = OptionalDate(state, rows, column)) return *d;
    UnusableDate(state, rows, column, {}, true);
}

// A death whose exit is before the entry lies outside the person's
// follow-up, where the person-years run counted no day.
[[noreturn]] void ExitBeforeEntry(const ProgramState& state, const TableStream& rows, const DateColumn& exit,
                                  double exitDay, const DateColumn& entry, double entryDay) {
    throw VdxError(err::InvalidProcedureCall,
                   "Row " + std::to_string(rows.position()) + " of the main data table '" + state.MainTableName +
                       "': the " + exit.meaning + " (column '" + rows.field(exit.index).name + "') " +
                       FormatDate(exitDay) + " is before the " + entry.meaning + " (column '" +
                       rows.field(entry.index).name + "') " + FormatDate(entryDay) +
                       ", so this death lies outside the person's follow-up. The SMR run has stopped; nothing has "
                       "been stored.");
}

// A person born after entering the study: the person-years run stops on it.
[[noreturn]] void BornAfterEntry(const ProgramState& state, const TableStream& rows, const DateColumn& birth,
                                 double birthDay, const DateColumn& entry, double entryDay) {
    throw DataError(err::InvalidProcedureCall,
                   "Row " + std::to_string(rows.position()) + " of the main data table '" + state.MainTableName +
                       "': the " + birth.meaning + " (column '" + rows.field(birth.index).name + "') " +
                       FormatDate(birthDay) + " is after the " + entry.meaning + " (column '" +
                       rows.field(entry.index).name + "') " + FormatDate(entryDay) +
                       ". The SMR run has stopped; nothing has been stored.");
}

// Whether the follow-up from start to exit has a day in some stratum.
template <class Person>
bool HasDayInStrata(const library::Strata& strata, const Person& person, std::vector<int32_t>& cellIndex,
                    std::vector<double>& days) {
    if (person.start > person.exit) return false;
    // The first or the last day in a stratum settles it with one look-up each
    // (the last day is walked when it lies a whole number of days on).
    if (strata.deathCell(person.start, person.birth) > 0) return true;
    if (std::trunc(person.exit - person.start) == person.exit - person.start &&
        strata.deathCell(person.exit, person.birth) > 0)
        return true;
    for (;;) {
        const int32_t count = strata.personCells(person.start, person.exit, person.birth, cellIndex.data(), days.data(),
                                                 static_cast<int32_t>(cellIndex.size()));
        if (count > static_cast<int32_t>(cellIndex.size())) {
            cellIndex.resize(static_cast<size_t>(count));
            days.resize(static_cast<size_t>(count));
            continue;
        }
        return std::any_of(days.begin(), days.begin() + count, [](double d) { return d > 0; });
    }
}

}  // namespace

bool CountDeathClasses(ProgramState& state, db::Database& workingCopy, Progress& progress,
                       const std::string& deathColumnName, int classCount, const DeathClassifier& classifier,
                       std::vector<std::vector<std::vector<int32_t>>>& counts, LongRateExpected* longRates,
                       const std::string& sexColumnName) {
    MortalityResults& m = state.mortality;
    const PySettings& p = state.py;
    const int boundsA = std::max<int>(p.ageBoundCount, 0);
    const int boundsC = std::max<int>(p.calendarBoundCount, 0);
    if (static_cast<int>(state.AgeBounds.size()) < boundsA + 1 ||
        static_cast<int>(state.CalendarBounds.size()) < boundsC + 1)
        throw VdxError(err::SubscriptOutOfRange, "Subscript out of range: the class bounds do not match their counts.");
    const int ages = p.ageClassCount();
    const int periods = p.periodCount();

    // The sex code of the chosen person-years table. With the stratification
    // by sex, table 1 holds the persons of both codes only.
    const int selector = m.PyTableSelector;
    const double sexCode = selector == 2 ? p.sexCode1 : p.sexCode2;
    const bool bySex = selector == 2 || selector == 3;
    const bool bothSexes = selector == 1 && p.bySex;

    // Bound vectors as the kernel takes them: element 0 unused, ages in
    // years, calendar bounds as the day number of 1 January of the year.
    std::vector<double> ageVector(static_cast<size_t>(boundsA) + 2, 0.0);
    std::vector<double> calendarVector(static_cast<size_t>(boundsC) + 2, 0.0);
    for (int k = 1; k <= boundsA; ++k) ageVector[static_cast<size_t>(k)] = state.AgeBounds[static_cast<size_t>(k)];
    for (int k = 1; k <= boundsC; ++k)
        calendarVector[static_cast<size_t>(k)] = DateSerial(state.CalendarBounds[static_cast<size_t>(k)], 1, 1);
    const size_t cellCount = static_cast<size_t>(ages) * static_cast<size_t>(periods);
    // Class c's cell k = i + ages * (j - 1) at c * (cellCount + 1) + k.
    std::vector<int64_t> run(static_cast<size_t>(classCount) * (cellCount + 1), 0);
    counts.assign(static_cast<size_t>(classCount),
                  std::vector<std::vector<int32_t>>(static_cast<size_t>(ages) + 1,
                                                    std::vector<int32_t>(static_cast<size_t>(periods) + 1, 0)));

    const int lag = m.DeathLag;
    std::vector<std::string> names{deathColumnName, p.exitColumn, p.birthColumn};
    const bool withEntry = !p.entryColumn.empty();
    if (withEntry) names.push_back(p.entryColumn);
    const int sexColumn = bySex || bothSexes ? static_cast<int>(names.size()) : -1;
    if (sexColumn >= 0) names.push_back(p.sexColumn);
    const int hireIndex = lag > 0 ? static_cast<int>(names.size()) : -1;
    if (lag > 0) names.push_back(p.hireColumn);
    // The person's own sex for rates by sex.
    const int rateSexColumn = longRates && longRates->bySex() ? static_cast<int>(names.size()) : -1;
    if (rateSexColumn >= 0) names.push_back(sexColumnName);
    const int firstExtra = static_cast<int>(names.size());
    names.insert(names.end(), classifier.extraColumns.begin(), classifier.extraColumns.end());
    TableStream rows(workingCopy, state.MainTableName, names);
    const DateColumn exitColumn{1, "termination point of study"};
    const DateColumn birthColumn{2, "date of birth"};
    const DateColumn entryColumn{withEntry ? 3 : -1, "entry point of study"};
    const DateColumn hireColumn{hireIndex, "date of hire"};

    const library::Strata strata(ageVector.data(), static_cast<int16_t>(ages), calendarVector.data(),
                                 static_cast<int16_t>(periods));

    // A person of the table used, read on this thread; on the computing
    // thread the person is included when the follow-up (from the entry, or
    // the end of the lag, to the exit) has a day in some stratum, as the
    // person-years run counts it, and a death is placed in its stratum.
    struct Person {
        double start, exit, birth;
        bool datesKnown;  // without an exit, entry or birth date the person stays in
        const std::vector<int32_t>* death;  // the classes it counts in; none when no death counts
        bool included;  // false: read only for the person-time at the rates' resolution
        int sex;        // index among the rates' sexes; -1 for a code without rates
    };
    std::map<std::string, int64_t> sexesWithoutRates;
    m.IncludedCount = 0;
    auto read = [&](const TableStream& rows, Person& person) {
        if (selector < 1 || selector > 3) return false;
        if (sexColumn >= 0) {
            const auto sex = db::FieldNumber(rows, sexColumn);
            if (!sex || (bySex ? *sex != sexCode : *sex != p.sexCode1 && *sex != p.sexCode2)) return false;
        }
        // No follow-up: an exit before the entry (whole days), or a lag that
        // ends on or after the exit (hire date plus the lag in calendar years,
        // 29 February becoming 28 February). An empty date makes the
        // comparison false: the person stays in.
        // At the rates' resolution every date is needed, as the person-years
        // run needs it: an empty one stops the run naming its row and column.
        const auto exit = longRates ? std::optional(RequiredDate(state, rows, exitColumn))
                                    : OptionalDate(state, rows, exitColumn);
        double entry = 0;
        bool hasEntry = false;
        if (withEntry)
            if (const auto e = longRates ? std::optional(RequiredDate(state, rows, entryColumn))
                                         : OptionalDate(state, rows, entryColumn))
                std::tie(entry, hasEntry) = std::pair(*e, true);
        const bool exitBeforeEntry = exit && hasEntry && std::trunc(*exit) < std::trunc(entry);
        bool included = !exitBeforeEntry;
        std::optional<double> lagEnd;
        if (lag > 0 && (included || longRates)) {
            const auto hire = longRates ? std::optional(RequiredDate(state, rows, hireColumn))
                                        : OptionalDate(state, rows, hireColumn);
            if (hire) lagEnd = AddYears(*hire, lag);
            if (lagEnd && exit && *lagEnd >= *exit) included = false;
        }

        const std::vector<int32_t>* classes = classifier.classify(rows, firstExtra, exit);
        const bool counted = classes != nullptr;
        if (counted && exitBeforeEntry) ExitBeforeEntry(state, rows, exitColumn, *exit, entryColumn, entry);
        // A person left out of the count still has the days the person-years
        // run gave (a lag ending on the exit day: that day).
        if (!included && !longRates) return false;

        person.exit = counted ? RequiredDate(state, rows, exitColumn) : exit.value_or(0);
        const auto birth = counted || longRates ? std::optional<double>(RequiredDate(state, rows, birthColumn))
                                                : OptionalDate(state, rows, birthColumn);
        if (longRates && hasEntry && std::trunc(*birth) > std::trunc(entry))
            BornAfterEntry(state, rows, birthColumn, *birth, entryColumn, entry);
        person.birth = birth.value_or(0);
        person.datesKnown = exit && hasEntry && birth;
        person.start = entry;
        if (lagEnd && *lagEnd > person.start) person.start = *lagEnd;
        person.death = classes;
        person.included = included;
        person.sex = 0;
        if (rateSexColumn >= 0) {
            // A code that reads as a number is matched as one; text as text.
            const auto number = db::FieldNumber(rows, rateSexColumn);
            person.sex = number ? longRates->sexIndex(*number) : -1;
            if (person.sex < 0 && !number && rows.storage(rateSexColumn) == TableStream::Storage::Text)
                person.sex = longRates->sexIndex(SexCodeText(std::string(rows.text(rateSexColumn))));
            if (person.sex < 0)
                ++sexesWithoutRates[number ? NumberText(*number)
                                           : rows.storage(rateSexColumn) == TableStream::Storage::Text
                                                 ? SexCodeText(std::string(rows.text(rateSexColumn)))
                                                 : std::string()];
        }
        return true;
    };
    std::vector<int32_t> cellIndex(16);
    std::vector<double> days(16);
    auto place = [&](const Person* persons, size_t count) {
        for (const Person* d = persons; d != persons + count; ++d) {
            if (longRates && d->sex >= 0) longRates->addPerson(d->sex, d->start, d->exit, d->birth);
            if (!d->included || (d->datesKnown && !HasDayInStrata(strata, *d, cellIndex, days))) continue;
            ++m.IncludedCount;
            if (!d->death) continue;
            const int32_t cell = strata.deathCell(d->exit, d->birth);
            if (cell > 0 && static_cast<size_t>(cell) <= cellCount)
                for (int32_t c : *d->death) ++run[static_cast<size_t>(c) * (cellCount + 1) + static_cast<size_t>(cell)];
            if (longRates && d->sex >= 0) longRates->addDeath(d->sex, cell);
        }
    };
    if (!db::ReadRowsInBlocks<Person>(rows, progress, kPollInterval, read, place)) return false;
    progress.setValue(400);
    if (!sexesWithoutRates.empty()) {
        std::string text = "The rate table '" + m.RateTableName + "' gives no rates for ";
        // The ten codes of most persons, then how many more.
        std::vector<std::pair<std::string, int64_t>> codes(sexesWithoutRates.begin(), sexesWithoutRates.end());
        std::stable_sort(codes.begin(), codes.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        auto persons = [](int64_t n) { return std::to_string(n) + (n == 1 ? " person" : " persons"); };
        constexpr size_t kNamed = 10;
        for (size_t k = 0; k < codes.size() && k < kNamed; ++k)
            text += (k ? ", " : "") + (codes[k].first.empty() ? std::string("an empty sex") : "sex code " + codes[k].first) +
                    " (" + persons(codes[k].second) + ")";
        if (codes.size() > kNamed) {
            int64_t more = 0;
            for (size_t k = kNamed; k < codes.size(); ++k) more += codes[k].second;
            text += " and " + std::to_string(codes.size() - kNamed) + " further codes (" + persons(more) + ")";
        }
        text += " of the column '" + sexColumnName + "'. The SMR run has stopped; nothing has been stored.";
        throw DataError(err::TypeMismatch, text);
    }
    if (longRates) longRates->finish();

    // Transfer: period outer, age class inner, as the cells are numbered.
    for (size_t c = 0; c < counts.size(); ++c) {
        size_t k = 1;
        for (int j = 1; j <= periods; ++j)
            for (int i = 1; i <= ages; ++i, ++k)
                counts[c][static_cast<size_t>(i)][static_cast<size_t>(j)] +=
                    RoundToInt32(static_cast<double>(run[c * (cellCount + 1) + k]));
    }
    return true;
}

bool CountDeaths(ProgramState& state, db::Database& workingCopy, Progress& progress, LongRateExpected* longRates,
                 const std::string& sexColumnName) {
    MortalityResults& m = state.mortality;
    // A text column compares codes as texts (C34 takes C34.1); any other
    // column as numbers. The death value as typed names the group; without
    // one, the single code.
    const bool textCodes = IsTextDeathColumn(workingCopy, state.MainTableName, m.DeathColumn);
    const DeathGroupParse typed = ParseDeathGroup(m.DeathValuesText);
    const DeathGroup group = typed.ok ? typed.group : DeathGroup(m.DeathCode);
    const std::string typedText = m.DeathValuesText.empty() ? std::to_string(m.DeathCode) : m.DeathValuesText;
    const CodeGroupParse codes = textCodes ? ParseCodeGroup(typedText) : CodeGroupParse{};
    if (textCodes && !codes.ok) throw DataError(err::TypeMismatch, codes.message);
    static const std::vector<int32_t> kTheGroup{0};
    DeathClassifier classifier;
    classifier.classify = [&](const TableStream& rows, int, std::optional<double>) -> const std::vector<int32_t>* {
        constexpr int deathColumn = 0;
        bool counted = false;
        if (textCodes) {
            counted = codes.group.contains(DeathCodeText(rows, deathColumn));
        } else {
            const auto death = db::FieldNumber(rows, deathColumn);
            counted = death && group.contains(*death);
        }
        return counted ? &kTheGroup : nullptr;
    };
    std::vector<std::vector<std::vector<int32_t>>> counts;
    const bool done =
        CountDeathClasses(state, workingCopy, progress, m.DeathColumn, 1, classifier, counts, longRates, sexColumnName);
    m.DeathCounts = std::move(counts[0]);
    if (!done)
        for (auto& ageRow : m.DeathCounts) std::fill(ageRow.begin(), ageRow.end(), 0);
    return done;
}

bool IsTextDeathColumn(db::Database& workingCopy, const std::string& table, const std::string& column) {
    for (const db::FieldDef& f : workingCopy.tableDef(table).fields)
        if (f.name == column) return f.type == FieldType::Text || f.type == FieldType::Memo;
    return false;
}

std::string DeathCodeText(const db::TableStream& rows, int column) {
    switch (rows.storage(column)) {
        case db::TableStream::Storage::Text: return NormalisedCode(rows.text(column));
        case db::TableStream::Storage::Integer:
        case db::TableStream::Storage::Real: return NormalisedCode(NumberText(rows.real(column)));
        case db::TableStream::Storage::Null: break;
    }
    return {};
}

void StoreDeathsTable(db::Database& workingCopy, const std::string& project,
                      const std::vector<std::vector<int32_t>>& deathCounts) {
    const std::string table = project + "_Deaths";
    workingCopy.createTable({table, 0, {{"Deaths", FieldType::Long, 0}}});
    std::vector<int64_t> values;
    for (size_t i = 1; i < deathCounts.size(); ++i)
        for (size_t j = 1; j < deathCounts[i].size(); ++j) values.push_back(deathCounts[i][j]);
    db::AppendIntegerRows(workingCopy, table, "Deaths", values);
}

}  // namespace vdx::mortality
