// Writes a compound document (OLE2 structured storage, 512-byte sectors)
// holding one stream, as Excel 5.0 to 2003 workbooks are stored: "Book" for
// Excel 5.0/7.0, "Workbook" for Excel 8.0.
#pragma once

#include <string>

namespace vdx::exchange {

// The bytes of a compound file whose root holds the one stream. A stream
// shorter than 4096 bytes is padded with zeros to that length, so that it
// lives in ordinary sectors rather than the container's mini stream (readers
// of workbooks ignore what follows the last EOF record).
std::string CompoundFileWithStream(const std::string& streamName, std::string stream);

}  // namespace vdx::exchange
