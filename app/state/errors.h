// Errors of the program's commands. Every failing engine or command step
// throws a VdxError that carries the engine's error number and a description;
// a command's handler tests a few numbers for messages of its own and shows
// the general error message for the rest.
#pragma once

#include <stdexcept>
#include <string>

namespace vdx {

// The error numbers of the program, in one place. They are those of the
// database engine and run time the program was first written for, so that
// stored habits and documentation stay valid.
namespace err {
// Run time.
inline constexpr int InvalidProcedureCall = 5;   // an argument a step cannot take
inline constexpr int Overflow = 6;               // a number too big for its type, field or result
inline constexpr int OutOfMemory = 7;            // memory for a run could not be had
inline constexpr int SubscriptOutOfRange = 9;    // class bounds, cells or rates that do not match their counts
inline constexpr int DivisionByZero = 11;        // a ratio with nothing to divide by
inline constexpr int TypeMismatch = 13;          // a value of the wrong type
inline constexpr int DllLoad = 48;               // the computation library cannot be loaded
inline constexpr int FileNotFound = 53;          // a file does not exist
inline constexpr int DiskFull = 61;              // the disk is full
inline constexpr int PermissionDenied = 70;      // a file cannot be written or read
inline constexpr int PathAccess = 75;            // a path cannot be used
inline constexpr int InvalidUseOfNull = 94;      // an empty value where a run needs one
inline constexpr int DllEntryPoint = 453;        // an export of the library is missing
// Database engine.
inline constexpr int InvalidArgument = 3001;     // a recordset position outside its rows
inline constexpr int TableExists = 3010;         // a table of that name exists
inline constexpr int ObjectNotFound = 3011;      // no table (or object) of that name
inline constexpr int ObjectExists = 3012;        // an object of that name exists
inline constexpr int UpdateWithoutEdit = 3020;   // Update (or a value set) without AddNew or Edit
inline constexpr int NoCurrentRecord = 3021;     // a recordset has no current row
inline constexpr int ReadOnlyRecordset = 3027;   // the recordset cannot be updated
inline constexpr int FileInUse = 3045;           // the file is in use by another instance
inline constexpr int OdbcCancelled = 3059;       // the data-source prompt was cancelled
inline constexpr int InvalidName = 3125;         // not a valid table or column name
// Every other failure of the underlying database engine (SQLite) or of an
// ODBC driver call is reported under this number, with the engine's own
// description.
inline constexpr int EngineGeneral = 3146;
inline constexpr int OdbcConnectionFailed = 3151;// an ODBC data source cannot be connected
inline constexpr int FieldTooSmall = 3163;       // text longer than the field's size
inline constexpr int InstallableIsamNotFound = 3170;  // no reader for the source's format
inline constexpr int TooManyFields = 3190;       // more columns than a table can have
inline constexpr int FieldDefinedTwice = 3191;   // two columns of one name
inline constexpr int InvalidFieldType = 3259;    // a text size outside 1 to 255
inline constexpr int ItemNotFound = 3265;        // no field of that name or index
inline constexpr int NotExpectedFormat = 3274;   // an external table is not in the expected format
inline constexpr int ZeroLengthNotAllowed = 3315;// "" into a field that refuses it
inline constexpr int UnrecognizedDatabase = 3343;// the file is not a database of the engine's format
inline constexpr int DialogCancelled = 32755;    // a dialog asked during a command was cancelled
}  // namespace err

class VdxError : public std::runtime_error {
public:
    VdxError(int number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}
    int number() const { return number_; }
    const std::string& description() const { return description_; }

private:
    int number_;
    std::string description_;
};

// A value of the user's data that a run cannot use (an empty or unreadable
// date, a rate that is no number ...). The description names the row, the
// column and the value in words and is shown as it stands, without the
// error number (ShowRunError); the number stays for the program's own tests.
class DataError : public VdxError {
public:
    using VdxError::VdxError;
};

}  // namespace vdx
