// A code column's value as a number, the way the runs compare sex codes and
// death codes: a stored number, or text that reads as one; none for an empty
// value or text that is no number.
#pragma once

#include <optional>
#include <string>

#include "db/table_stream.h"
#include "state/text_values.h"

namespace vdx::db {

inline std::optional<double> FieldNumber(const TableStream& rows, int index) {
    switch (rows.storage(index)) {
        case TableStream::Storage::Integer:
        case TableStream::Storage::Real: return rows.real(index);
        case TableStream::Storage::Text: return ReadNumber(std::string(rows.text(index)));
        case TableStream::Storage::Null: break;
    }
    return std::nullopt;
}

}  // namespace vdx::db
