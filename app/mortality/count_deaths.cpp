#include "mortality/count_deaths.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <tuple>

#include "db/database.h"
#include "db/field_number.h"
#include "db/row_blocks.h"
#include "db/table_stream.h"
#include "mortality/death_group.h"
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

bool CountDeaths(ProgramState& state, db::Database& workingCopy, Progress& progress) {
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
    std::vector<int64_t> run(cellCount + 1, 0);  // cell k = i + ages * (j - 1)
    m.DeathCounts.assign(static_cast<size_t>(ages) + 1, std::vector<int32_t>(static_cast<size_t>(periods) + 1, 0));

    const int lag = m.DeathLag;
    std::vector<std::string> names{m.DeathColumn, p.exitColumn, p.birthColumn};
    const bool withEntry = !p.entryColumn.empty();
    if (withEntry) names.push_back(p.entryColumn);
    const int sexColumn = bySex || bothSexes ? static_cast<int>(names.size()) : -1;
    if (sexColumn >= 0) names.push_back(p.sexColumn);
    if (lag > 0) names.push_back(p.hireColumn);
    TableStream rows(workingCopy, state.MainTableName, names);
    constexpr int deathColumn = 0;
    const DateColumn exitColumn{1, "termination point of study"};
    const DateColumn birthColumn{2, "date of birth"};
    const DateColumn entryColumn{withEntry ? 3 : -1, "entry point of study"};
    const DateColumn hireColumn{lag > 0 ? static_cast<int>(names.size()) - 1 : -1, "date of hire"};
    // The death value as typed names the group; without one, the single code.
    const DeathGroupParse typed = ParseDeathGroup(m.DeathValuesText);
    const DeathGroup group = typed.ok ? typed.group : DeathGroup(m.DeathCode);

    const library::Strata strata(ageVector.data(), static_cast<int16_t>(ages), calendarVector.data(),
                                 static_cast<int16_t>(periods));

    // A person of the table used, read on this thread; on the computing
    // thread the person is included when the follow-up (from the entry, or
    // the end of the lag, to the exit) has a day in some stratum, as the
    // person-years run counts it, and a death is placed in its stratum.
    struct Person {
        double start, exit, birth;
        bool datesKnown;  // without an exit, entry or birth date the person stays in
        bool death;
    };
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
        const auto exit = OptionalDate(state, rows, exitColumn);
        double entry = 0;
        bool hasEntry = false;
        if (withEntry)
            if (const auto e = OptionalDate(state, rows, entryColumn)) std::tie(entry, hasEntry) = std::pair(*e, true);
        const bool exitBeforeEntry = exit && hasEntry && std::trunc(*exit) < std::trunc(entry);
        bool included = !exitBeforeEntry;
        std::optional<double> lagEnd;
        if (lag > 0 && included) {
            const auto hire = OptionalDate(state, rows, hireColumn);
            if (hire) lagEnd = AddYears(*hire, lag);
            if (lagEnd && exit && *lagEnd >= *exit) included = false;
        }

        const auto death = db::FieldNumber(rows, deathColumn);
        const bool counted = death && group.contains(*death);
        if (counted && exitBeforeEntry) ExitBeforeEntry(state, rows, exitColumn, *exit, entryColumn, entry);
        if (!included) return false;

        person.exit = counted ? RequiredDate(state, rows, exitColumn) : exit.value_or(0);
        const auto birth = counted ? std::optional<double>(RequiredDate(state, rows, birthColumn))
                                   : OptionalDate(state, rows, birthColumn);
        person.birth = birth.value_or(0);
        person.datesKnown = exit && hasEntry && birth;
        person.start = entry;
        if (lagEnd && *lagEnd > person.start) person.start = *lagEnd;
        person.death = counted;
        return true;
    };
    std::vector<int32_t> cellIndex(16);
    std::vector<double> days(16);
    auto place = [&](const Person* persons, size_t count) {
        for (const Person* d = persons; d != persons + count; ++d) {
            if (d->datesKnown && !HasDayInStrata(strata, *d, cellIndex, days)) continue;
            ++m.IncludedCount;
            if (!d->death) continue;
            const int32_t cell = strata.deathCell(d->exit, d->birth);
            if (cell > 0 && static_cast<size_t>(cell) <= cellCount) ++run[static_cast<size_t>(cell)];
        }
    };
    if (!db::ReadRowsInBlocks<Person>(rows, progress, kPollInterval, read, place)) {
        for (auto& ageRow : m.DeathCounts) std::fill(ageRow.begin(), ageRow.end(), 0);
        return false;
    }
    progress.setValue(400);

    // Transfer: period outer, age class inner, as the cells are numbered.
    size_t k = 1;
    for (int j = 1; j <= periods; ++j)
        for (int i = 1; i <= ages; ++i, ++k)
            m.DeathCounts[static_cast<size_t>(i)][static_cast<size_t>(j)] += RoundToInt32(static_cast<double>(run[k]));
    return true;
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
