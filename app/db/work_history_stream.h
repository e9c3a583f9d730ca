// A registered work history read person by person, for the runs that pass
// over the main table once: the periods are read in the order of the person
// id (the database sorts them, on disk when they are many), and each call
// hands out the periods of one person only, so that memory holds the work
// history of the persons in flight, never the whole table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/table_stream.h"

namespace vdx::db {

class Database;

// A person id as the database orders it: empty < numbers < text.
struct PersonId {
    enum class Kind { Null, Number, Text } kind = Kind::Null;
    double number = 0;
    std::string text;
};
int ComparePersonIds(const PersonId& a, const PersonId& b);
PersonId PersonIdOf(const TableStream& rows, int column);
std::string PersonIdText(const PersonId& id);

// One period of employment: the days start .. end, both included.
struct WorkPeriodRow {
    double start = 0, end = 0, intensity = 1;
};

// The columns registered for a work history in VdxWorkHistories.
struct WorkHistoryColumnNames {
    std::string id, start, end, intensity, job;
};
// The registration of `name`; error 3011 with a clear text when there is none.
WorkHistoryColumnNames RegisteredWorkHistory(Database& db, const std::string& name);
// The names of the registered work histories, in registration order.
std::vector<std::string> RegisteredWorkHistories(Database& db);

// Keeps the work history `name` in the order the runs read it: an index of
// the study file over id, start, end and intensity, which the database
// keeps up to date through every later change, so that a run reads the
// periods in one pass along it instead of sorting the table. Created when
// the work history is attached; without it (an older study) a run sorts.
// Works in the caller's transaction.
void IndexWorkHistory(Database& db, const std::string& name);

class WorkHistoryStream {
public:
    WorkHistoryStream(Database& db, const std::string& name);
    ~WorkHistoryStream();
    // The periods of the person, by start date. Persons asked in ascending
    // id order are one step each along the sorted periods; an id below the
    // one asked before starts the reading again. Throws DataError naming
    // the row, the column and the value for an empty or impossible date and
    // for an intensity that is not a number of zero or more.
    void periodsOf(const PersonId& id, std::vector<WorkPeriodRow>& out);
    // The row (in the work history's stored order, from 1) of the person's
    // k-th period as periodsOf gives them, from 0; for messages, looked up
    // by a query of its own.
    int64_t rowOf(const PersonId& id, size_t k);
    const std::string& name() const { return name_; }

private:
    struct Cursor;
    bool advance();
    Database& db_;
    std::string name_;
    std::string order_;  // the name of the row order
    WorkHistoryColumnNames columns_;
    std::unique_ptr<Cursor> cursor_;
    bool has_ = false;
    PersonId last_;
    bool asked_ = false;
};

}  // namespace vdx::db
