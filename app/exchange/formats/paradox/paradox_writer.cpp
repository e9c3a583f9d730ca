#include "exchange/formats/paradox/paradox_writer.h"

extern "C" {
#include <paradox.h>  // has no extern "C" guard of its own
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "state/text_values.h"

namespace vdx::exchange {

namespace {
constexpr size_t kMaxAlpha = 255;
constexpr size_t kMaxFieldName = 25;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void KeepError(pxdoc_t*, int level, const char* message, void* data) {
    if (level == PX_Warning || !data) return;
    *static_cast<std::string*>(data) = message ? message : "unknown error";
}

// The file version byte: 9 is Paradox 4.x, 11 Paradox 5.x.
constexpr size_t kVersionOffset = 0x39;

// The table in memory while pxlib builds it. pxlib seeks and reads a block
// header for every record it puts; on a real file that is hundreds of system
// calls a record (under a thousand records a second). pxlib writes the header
// through a stdio stream over this memory, then its stream functions are
// replaced by these, which work on the bytes directly.
struct MemoryFile {
    std::string bytes;
    size_t pos = 0;
    bool closed = false;

    static ssize_t read(void* cookie, char* buffer, size_t size) {
        auto* m = static_cast<MemoryFile*>(cookie);
        size_t n = m->pos < m->bytes.size() ? std::min(size, m->bytes.size() - m->pos) : 0;
        std::memcpy(buffer, m->bytes.data() + m->pos, n);
        m->pos += n;
        return static_cast<ssize_t>(n);
    }
    static ssize_t write(void* cookie, const char* buffer, size_t size) {
        auto* m = static_cast<MemoryFile*>(cookie);
        if (m->bytes.size() < m->pos + size) m->bytes.resize(m->pos + size);
        std::memcpy(m->bytes.data() + m->pos, buffer, size);
        m->pos += size;
        return static_cast<ssize_t>(size);
    }
    static int seek(void* cookie, off64_t* offset, int whence) {
        auto* m = static_cast<MemoryFile*>(cookie);
        off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<off64_t>(m->pos)
                                                                    : static_cast<off64_t>(m->bytes.size());
        if (base + *offset < 0) return -1;
        m->pos = static_cast<size_t>(base + *offset);
        *offset = static_cast<off64_t>(m->pos);
        return 0;
    }
    static int close(void* cookie) {
        static_cast<MemoryFile*>(cookie)->closed = true;
        return 0;
    }
    static thread_local MemoryFile* current;
    static size_t pxRead(pxdoc_t*, pxstream_t*, size_t size, void* buffer) {
        ssize_t n = read(current, static_cast<char*>(buffer), size);
        return static_cast<size_t>(n);
    }
    static size_t pxWrite(pxdoc_t*, pxstream_t*, size_t size, void* buffer) {
        return static_cast<size_t>(write(current, static_cast<const char*>(buffer), size));
    }
    static int pxSeek(pxdoc_t*, pxstream_t*, long offset, int whence) {
        off64_t o = offset;
        return seek(current, &o, whence);
    }
    static long pxTell(pxdoc_t*, pxstream_t*) { return static_cast<long>(current->pos); }

    std::FILE* open() {
        return fopencookie(this, "w+", cookie_io_functions_t{&MemoryFile::read, &MemoryFile::write,
                                                             &MemoryFile::seek, &MemoryFile::close});
    }
};
thread_local MemoryFile* MemoryFile::current = nullptr;
}  // namespace

std::vector<std::string> ParadoxFieldNames(const std::vector<ColumnSpec>& columns) {
    std::vector<std::string> names, taken;
    for (const ColumnSpec& column : columns) {
        std::string base = Utf8ToWindows1252(column.name).value_or(std::string());
        if (base.empty()) {
            for (unsigned char ch : column.name)
                if ((ch & 0xC0) != 0x80) base += ch < 0x80 ? static_cast<char>(ch) : '_';
        }
        if (base.empty()) base = "Field";
        std::string name = base.substr(0, kMaxFieldName);
        for (int n = 2; std::find(taken.begin(), taken.end(), Upper(name)) != taken.end(); ++n) {
            std::string suffix = "_" + std::to_string(n);
            name = base.substr(0, kMaxFieldName - suffix.size()) + suffix;
        }
        taken.push_back(Upper(name));
        names.push_back(name);
    }
    return names;
}

void ParadoxTableWriter::open(const std::vector<ColumnSpec>& columns) {
    fields_.assign(columns.size(), Field{});
    for (size_t c = 0; c < columns.size(); ++c) {
        Field& f = fields_[c];
        switch (columns[c].type) {
            case FieldType::Boolean: f.kind = version_ >= 5 ? 'L' : 'B'; f.width = 5; break;
            case FieldType::Date: f.kind = 'D'; break;
            case FieldType::Integer:
            case FieldType::Long: f.kind = version_ >= 5 ? 'I' : 'S'; break;
            case FieldType::Single:
            case FieldType::Double: f.kind = 'N'; break;
            default: f.kind = 'A'; break;
        }
    }
    converted_.resize(columns.size());
}

void ParadoxTableWriter::put(const std::vector<Value>& row) {
    const uint64_t rowNumber = rowsWritten() + 1;
    for (size_t c = 0; c < row.size(); ++c) {
        const Value& v = row[c];
        Field& f = fields_[c];
        converted_[c] = v;
        if (v.isNull()) continue;
        const std::string& column = columns()[c].name;
        switch (f.kind) {
            case 'A': {
                std::optional<std::string> bytes = Utf8ToWindows1252(CellText(v));
                if (!bytes) ThrowCannotHold(rowNumber, column, "the text has a character that Paradox tables (Windows-1252) cannot hold.");
                if (bytes->size() > kMaxAlpha) ThrowCannotHold(rowNumber, column, "a Paradox Alpha field holds at most 255 characters.");
                f.width = std::max(f.width, bytes->size());
                converted_[c] = Value::text(std::move(*bytes));
                break;
            }
            case 'S':
            case 'I':
            case 'N':
                if (!v.isNumber() || v.kind() == Value::Kind::Boolean) ThrowCannotHold(rowNumber, column, "the value is not a number.");
                if (v.kind() != Value::Kind::Integer) {
                    f.integersOnly = false;
                } else {
                    f.minimum = std::min(f.minimum, v.asInteger());
                    f.maximum = std::max(f.maximum, v.asInteger());
                }
                break;
            case 'D':
                if (v.kind() != Value::Kind::Date || !IsDayNumberInRange(v.asDouble()))
                    ThrowCannotHold(rowNumber, column, "the value is not a date of the years 100 to 9999.");
                break;
            case 'L':
            case 'B':
                if (v.kind() != Value::Kind::Boolean) ThrowCannotHold(rowNumber, column, "the value is not True or False.");
                break;
        }
    }
    spool_.append(converted_);
}

void ParadoxTableWriter::close() {
    // Integer columns whose values leave the field's range, or that hold
    // fractions, become Number fields (exact for integers up to 2^53).
    for (Field& f : fields_) {
        const int64_t limit = f.kind == 'S' ? 32767 : 2147483647;
        if ((f.kind == 'S' || f.kind == 'I') && (!f.integersOnly || f.minimum < -limit || f.maximum > limit)) f.kind = 'N';
    }
    const std::vector<std::string> names = ParadoxFieldNames(columns());
    const int n = static_cast<int>(fields_.size());
    // pxlib takes ownership of the field array and its names (malloc'ed).
    auto* px = static_cast<pxfield_t*>(std::calloc(n, sizeof(pxfield_t)));
    std::vector<int> offsets(n);
    int recordSize = 0;
    for (int i = 0; i < n; ++i) {
        const Field& f = fields_[i];
        px[i].px_fname = strdup(names[i].c_str());
        switch (f.kind) {
            case 'A': px[i].px_ftype = pxfAlpha; px[i].px_flen = static_cast<int>(f.width); break;
            case 'B': px[i].px_ftype = pxfAlpha; px[i].px_flen = 5; break;
            case 'N': px[i].px_ftype = pxfNumber; px[i].px_flen = 8; break;
            case 'S': px[i].px_ftype = pxfShort; px[i].px_flen = 2; break;
            case 'I': px[i].px_ftype = pxfLong; px[i].px_flen = 4; break;
            case 'D': px[i].px_ftype = pxfDate; px[i].px_flen = 4; break;
            case 'L': px[i].px_ftype = pxfLogical; px[i].px_flen = 1; break;
        }
        offsets[i] = recordSize;
        recordSize += px[i].px_flen;
    }

    std::string error;
    pxdoc_t* doc = PX_new3(KeepError, nullptr, nullptr, nullptr, &error);
    if (!doc) {
        for (int i = 0; i < n; ++i) std::free(px[i].px_fname);
        std::free(px);
        throw VdxError(err::PathAccess, "pxlib cannot start");
    }
    MemoryFile memory;
    std::FILE* stream = memory.open();
    struct Closer {
        pxdoc_t* doc;
        std::FILE* stream;
        MemoryFile& memory;
        bool open = false;
        ~Closer() {
            if (open) PX_close(doc);
            PX_delete(doc);
            if (stream && !memory.closed) std::fclose(stream);
            MemoryFile::current = nullptr;
        }
    } closer{doc, stream, memory};
    auto fail = [&](const std::string& what) {
        throw VdxError(err::PathAccess, "The Paradox table " + targetPath() + " cannot be written: " + what +
                                            (error.empty() ? "" : " (" + error + ")") + ". Nothing was written.");
    };
    if (!stream) fail("no memory");
    std::setvbuf(stream, nullptr, _IONBF, 0);  // so that both ways of writing see one position
    MemoryFile::current = &memory;
    if (PX_create_fp(doc, px, n, stream, pxfFileTypNonIndexDB) < 0) fail("pxlib cannot create it");
    closer.open = true;
    doc->px_stream->read = &MemoryFile::pxRead;
    doc->px_stream->write = &MemoryFile::pxWrite;
    doc->px_stream->seek = &MemoryFile::pxSeek;
    doc->px_stream->tell = &MemoryFile::pxTell;
    doc->px_head->px_fileversion = version_ >= 5 ? 50 : 40;
    const std::string tableName = Utf8ToWindows1252(this->tableName()).value_or("table");
    PX_set_parameter(doc, "tablename", tableName.c_str());
    PX_set_value(doc, "codepage", 1252);

    std::vector<char> record(recordSize);
    bool failed = false;
    spool_.forEach(fields_.size(), [&](const std::vector<Value>& row) {
        if (failed) return;
        std::fill(record.begin(), record.end(), 0);
        for (int i = 0; i < n; ++i) {
            const Value& v = row[i];
            if (v.isNull()) continue;
            char* cell = record.data() + offsets[i];
            switch (fields_[i].kind) {
                case 'A': {
                    std::string text = v.asText();
                    if (!text.empty()) PX_put_data_alpha(doc, cell, px[i].px_flen, text.data());
                    break;
                }
                case 'B': {
                    std::string text = BooleanText(v.asBool());
                    PX_put_data_alpha(doc, cell, 5, text.data());
                    break;
                }
                case 'N': PX_put_data_double(doc, cell, 8, v.asDouble()); break;
                case 'S': PX_put_data_short(doc, cell, 2, static_cast<short>(v.asInteger())); break;
                case 'I': PX_put_data_long(doc, cell, 4, static_cast<int>(v.asInteger())); break;
                case 'D': {
                    CivilDate d = DateOfDayNumber(v.asDouble());
                    PX_put_data_long(doc, cell, 4, static_cast<int>(PX_GregorianToSdn(d.year, d.month, d.day) - 1721425));
                    break;
                }
                case 'L': PX_put_data_byte(doc, cell, 1, v.asBool() ? 1 : 0); break;
            }
        }
        if (PX_put_record(doc, record.data()) < 0) failed = true;
    });
    if (failed) fail("a record cannot be written");
    closer.open = false;
    PX_close(doc);
    if (!memory.closed) std::fclose(stream);
    closer.stream = nullptr;
    if (!error.empty()) fail("pxlib reported an error");

    // pxlib writes the 4.0-and-later header with its own version byte; set the
    // version chosen (the layouts of 4.x and 5.x headers are the same).
    if (memory.bytes.size() <= kVersionOffset) fail("pxlib wrote no header");
    memory.bytes[kVersionOffset] = version_ >= 5 ? 0x0B : 0x09;
    AtomicFile file(targetPath());
    file.write(memory.bytes);
    file.commit();
}

}  // namespace vdx::exchange
