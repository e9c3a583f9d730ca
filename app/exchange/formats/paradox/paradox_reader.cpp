#include "exchange/formats/paradox/paradox_reader.h"

extern "C" {
#include <paradox.h>  // has no extern "C" guard of its own
}

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "exchange/io/reader_support.h"
#include "exchange/io/text_encoding.h"
#include "state/errors.h"

namespace vdx::exchange {

namespace {

// Paradox dates count days from 1 January of year 1 (day 1); day 0 of the
// program is 30 December 1899, Paradox day 693594.
constexpr double kParadoxDayOfDayZero = 693594.0;
constexpr double kMillisecondsPerDay = 86400000.0;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// A 4-byte Long, Date, Time or AutoInc field: big-endian with the sign bit
// flipped; all four bytes zero is Null. pxlib's own decoder tests 8 bytes
// for Null (a C long here), so a Null field followed by a non-zero
// neighbour came back as a number: the field's own bytes decide.
std::optional<int32_t> Paradox32(const char* data) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const uint32_t raw = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
    if (raw == 0) return std::nullopt;
    return static_cast<int32_t>(raw ^ 0x80000000u);
}

bool IsSkippedType(int type) {
    return type == pxfBLOb || type == pxfOLE || type == pxfGraphic || type == pxfBytes;
}

// Whether a field's stored size suits its type.
bool SizeFits(int type, int size) {
    switch (type) {
        case pxfAlpha: case pxfBytes: return size >= 1 && size <= 255;
        case pxfDate: case pxfLong: case pxfTime: case pxfAutoInc: return size == 4;
        case pxfShort: return size == 2;
        case pxfCurrency: case pxfNumber: case pxfTimestamp: return size == 8;
        case pxfLogical: return size == 1;
        case pxfBCD: return size == 17;
        case pxfMemoBLOb: case pxfBLOb: case pxfFmtMemoBLOb: case pxfOLE: case pxfGraphic: return size >= 10 && size <= 240;
        default: return false;
    }
}

FieldType TypeOf(int type) {
    switch (type) {
        case pxfDate: case pxfTime: case pxfTimestamp: return FieldType::Date;
        case pxfShort: return FieldType::Integer;
        case pxfLong: case pxfAutoInc: return FieldType::Long;
        case pxfCurrency: case pxfNumber: case pxfBCD: return FieldType::Double;
        case pxfLogical: return FieldType::Boolean;
        case pxfMemoBLOb: case pxfFmtMemoBLOb: return FieldType::Memo;
        default: return FieldType::Text;
    }
}

// pxlib reports errors through a callback; the message of the last one is kept.
void KeepError(pxdoc_t*, int level, const char* message, void* data) {
    if (level == PX_Warning || !data) return;
    *static_cast<std::string*>(data) = message ? message : "unknown error";
}

// An open pxlib document, closed on every path.
class PxDocument {
public:
    explicit PxDocument(const std::string& path) : name_(FileNameOf(path)) {
        header_ = ReadParadoxHeader(path);
        doc_ = PX_new3(KeepError, nullptr, nullptr, nullptr, &error_);
        if (!doc_) throw VdxError(err::NotExpectedFormat, "pxlib cannot start");
        if (PX_open_file(doc_, path.c_str()) < 0) fail("pxlib cannot open it");
        // Texts come from pxlib as stored and are decoded here: Paradox 4.x
        // and later name their code page, Paradox 3.x tables are DOS text.
        decoder_ = std::make_unique<CodePageDecoder>(header_.codePage > 0 ? header_.codePage : 437);
        const std::string folder = path.substr(0, path.size() - name_.size());
        const std::string blob = FindFileInFolder(folder, StemOf(name_) + ".mb");
        if (!blob.empty()) hasBlobFile_ = PX_set_blob_file(doc_, blob.c_str()) == 0;
    }
    ~PxDocument() {
        if (doc_) {
            PX_close(doc_);
            PX_delete(doc_);
        }
    }
    PxDocument(const PxDocument&) = delete;
    PxDocument& operator=(const PxDocument&) = delete;

    [[noreturn]] void fail(const std::string& what) const {
        ThrowWrongFormat(name_, what + (error_.empty() ? std::string() : " (" + error_ + ")"));
    }
    pxdoc_t* doc() const { return doc_; }
    const ParadoxHeader& header() const { return header_; }
    const std::string& name() const { return name_; }
    bool hasBlobFile() const { return hasBlobFile_; }
    const CodePageDecoder& decoder() const { return *decoder_; }

private:
    std::string name_;
    ParadoxHeader header_;
    pxdoc_t* doc_ = nullptr;
    std::string error_;
    bool hasBlobFile_ = false;
    std::unique_ptr<CodePageDecoder> decoder_;
};

std::vector<ColumnSpec> ColumnsOf(const PxDocument& px) {
    std::vector<ColumnSpec> specs;
    pxfield_t* fields = PX_get_fields(px.doc());
    const int count = PX_get_num_fields(px.doc());
    if (!fields || count != px.header().fields) px.fail("its field list cannot be read");
    const CodePageDecoder& decoder = px.decoder();
    for (int i = 0; i < count; ++i) {
        if (IsSkippedType(fields[i].px_ftype)) continue;
        ColumnSpec columnSpec;
        columnSpec.name = decoder.decode(fields[i].px_fname ? fields[i].px_fname : "");
        columnSpec.type = TypeOf(fields[i].px_ftype);
        if (fields[i].px_ftype == pxfAlpha) columnSpec.size = fields[i].px_flen;
        specs.push_back(std::move(columnSpec));
    }
    return specs;
}

}  // namespace

ParadoxHeader ReadParadoxHeader(const std::string& path) {
    const std::string name = FileNameOf(path);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw VdxError(err::FileNotFound, "File not found: " + path);
    std::fseek(f, 0, SEEK_END);
    const long fileSize = std::ftell(f);
    std::rewind(f);
    std::vector<unsigned char> h(0x78 + 2 * 255, 0);
    const size_t got = std::fread(h.data(), 1, h.size(), f);
    std::fclose(f);
    if (got < 0x58) ThrowWrongFormat(name, "it is too short for a Paradox header");

    ParadoxHeader px;
    px.recordSize = Le16(&h[0x00]);
    px.headerSize = Le16(&h[0x02]);
    px.fileType = h[0x04];
    const int maxTableSize = h[0x05];
    px.records = static_cast<long>(Le32(&h[0x06]));
    px.fileBlocks = Le16(&h[0x0C]);
    px.fields = Le16(&h[0x21]);
    px.version = h[0x39];
    if (px.fileType != 0 && px.fileType != 2) ThrowWrongFormat(name, "it is no Paradox table");
    if (px.version < 3 || px.version > 12) ThrowWrongFormat(name, "its Paradox version byte is unknown");
    if (maxTableSize < 1 || maxTableSize > 32) ThrowWrongFormat(name, "its block size is not valid");
    px.blockSize = maxTableSize * 1024;
    if (px.fields < 1 || px.fields > 255) ThrowWrongFormat(name, "its number of fields is not valid");
    const size_t fieldInfo = px.version >= 5 ? 0x78 : 0x58;
    if (px.version >= 5) px.codePage = Le16(&h[0x6A]);
    if (px.headerSize < static_cast<int>(fieldInfo + 2 * px.fields) || px.headerSize > fileSize ||
        got < fieldInfo + 2 * px.fields)
        ThrowWrongFormat(name, "its header size is not valid");
    int sum = 0;
    for (int i = 0; i < px.fields; ++i) {
        int type = h[fieldInfo + 2 * i], size = h[fieldInfo + 2 * i + 1];
        if (!SizeFits(type, size))
            ThrowWrongFormat(name, "field " + std::to_string(i + 1) + " has an unknown type or size");
        px.fieldTypes.emplace_back(type, size);
        sum += size;
    }
    if (sum != px.recordSize) ThrowWrongFormat(name, "its record size does not match its fields");
    const long long needed = px.headerSize + static_cast<long long>(px.fileBlocks) * px.blockSize;
    if (needed > fileSize) ThrowWrongFormat(name, "it is truncated: its header announces " + std::to_string(px.fileBlocks) + " blocks");
    const int perBlock = (px.blockSize - 6) / px.recordSize;
    const long long capacity = static_cast<long long>(px.fileBlocks) * perBlock;
    if (px.records < 0 || px.records > capacity)
        ThrowWrongFormat(name, "its record count exceeds what its blocks hold");
    // The password marks: at 0x25 in every version (0xFF00FF00 means none),
    // at 0x5C from Paradox 4.x on.
    const uint32_t encryption1 = Le32(&h[0x25]);
    const uint32_t encryption2 = px.version >= 5 ? Le32(&h[0x5C]) : 0;
    if ((encryption1 != 0 && encryption1 != 0xFF00FF00u) || encryption2 != 0)
        ThrowWrongFormat(name, "it is protected by a password");

    // Walk the chain of data blocks: each names the next; none may repeat or
    // lie outside the file. A first block named in a table of no blocks is
    // broken too (pxlib would seek for it without end).
    const int firstBlock = Le16(&h[0x0E]);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) throw VdxError(err::FileNotFound, "File not found: " + path);
    std::vector<char> seen(static_cast<size_t>(px.fileBlocks) + 1, 0);
    long long found = 0;
    for (int block = firstBlock; block != 0;) {
        if (block < 1 || block > px.fileBlocks || seen[static_cast<size_t>(block)])
            ThrowWrongFormat(name, "its chain of data blocks is broken");
        seen[static_cast<size_t>(block)] = 1;
        unsigned char bh[6];
        const long offset = px.headerSize + static_cast<long>(block - 1) * px.blockSize;
        if (std::fseek(file.get(), offset, SEEK_SET) != 0 || std::fread(bh, 1, 6, file.get()) != 6)
            ThrowWrongFormat(name, "a data block cannot be read");
        const int16_t lastOffset = static_cast<int16_t>(Le16(bh + 4));
        int count = 0;
        if (lastOffset >= 0) {
            if (lastOffset % px.recordSize != 0 || lastOffset / px.recordSize + 1 > perBlock)
                ThrowWrongFormat(name, "data block " + std::to_string(block) + " is damaged");
            count = lastOffset / px.recordSize + 1;
        }
        px.blocks.emplace_back(block, count);
        found += count;
        block = Le16(bh);
    }
    if (found != px.records)
        ThrowWrongFormat(name, "its header announces " + std::to_string(px.records) + " records, its blocks hold " +
                                   std::to_string(found));
    return px;
}

std::vector<std::string> ParadoxReader::tableNames() { return FileTitlesInFolder(folder_, "db"); }

std::string ParadoxReader::fileOf(const std::string& table) {
    std::string path = FindFileInFolder(folder_, table + ".db");
    if (path.empty()) ThrowTableNotFound(table);
    return path;
}

std::vector<ColumnSpec> ParadoxReader::columns(const std::string& table) {
    PxDocument px(fileOf(table));
    std::vector<ColumnSpec> specs = ColumnsOf(px);
    CheckColumnNames(specs, table);
    return specs;
}

void ParadoxReader::readRows(const std::string& table, const RowCallback& onRow, ReadProgress* progress) {
    PxDocument px(fileOf(table));
    CheckColumnNames(ColumnsOf(px), table);
    pxdoc_t* doc = px.doc();
    pxfield_t* fields = PX_get_fields(doc);
    const int fieldCount = PX_get_num_fields(doc);
    const ParadoxHeader& header = px.header();
    size_t outputs = 0;
    for (int i = 0; i < fieldCount; ++i)
        if (!IsSkippedType(fields[i].px_ftype)) ++outputs;
    std::vector<Value> row(outputs);
    ProgressTicker ticker(progress, static_cast<uint64_t>(header.records));

    // The data blocks are read here, in chain order, and each record handed
    // to pxlib's field decoders: pxlib's own record lookup is slow on large
    // tables and trusts the chain.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileOf(table).c_str(), "rb"), std::fclose);
    if (!file) throw VdxError(err::FileNotFound, "File not found: " + table);
    std::vector<char> block(static_cast<size_t>(header.blockSize));
    auto freeText = [doc](char* p) { if (p) doc->free(doc, p); };
    uint64_t r = 0;
    for (const auto& [blockNumber, count] : header.blocks) {
        const long offset = header.headerSize + static_cast<long>(blockNumber - 1) * header.blockSize;
        if (std::fseek(file.get(), offset, SEEK_SET) != 0 ||
            std::fread(block.data(), 1, block.size(), file.get()) != block.size())
            px.fail("data block " + std::to_string(blockNumber) + " cannot be read");
      for (int k = 0; k < count; ++k, ++r) {
        char* data = block.data() + 6 + static_cast<size_t>(k) * static_cast<size_t>(header.recordSize);
        size_t out = 0;
        for (int i = 0; i < fieldCount; data += fields[i].px_flen, ++i) {
            const int type = fields[i].px_ftype, len = fields[i].px_flen;
            if (IsSkippedType(type)) continue;
            Value& v = row[out++];
            v = Value();
            switch (type) {
                case pxfAlpha: {
                    char* s = nullptr;
                    if (PX_get_data_alpha(doc, data, len, &s) > 0 && s) v = Value::text(px.decoder().decode(s));
                    freeText(s);
                    break;
                }
                case pxfShort: {
                    short int n;
                    if (PX_get_data_short(doc, data, len, &n) > 0) v = Value::integer(n);
                    break;
                }
                case pxfLong:
                case pxfAutoInc:
                    if (auto n = Paradox32(data)) v = Value::integer(*n);
                    break;
                case pxfDate:
                    if (auto n = Paradox32(data)) v = Value::date(static_cast<double>(*n) - kParadoxDayOfDayZero);
                    break;
                case pxfTime:
                    if (auto n = Paradox32(data)) v = Value::date(static_cast<double>(*n) / kMillisecondsPerDay);
                    break;
                case pxfTimestamp: {
                    double d;
                    if (PX_get_data_double(doc, data, len, &d) > 0)
                        v = Value::date(d / kMillisecondsPerDay - kParadoxDayOfDayZero);
                    break;
                }
                case pxfCurrency:
                case pxfNumber: {
                    double d;
                    if (PX_get_data_double(doc, data, len, &d) > 0 && std::isfinite(d)) v = Value::real(d);
                    break;
                }
                case pxfLogical: {
                    char b;
                    if (PX_get_data_byte(doc, data, len, &b) > 0) v = Value::boolean(b != 0);
                    break;
                }
                case pxfBCD: {
                    char* s = nullptr;
                    if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(data), fields[i].px_fdc, &s) > 0 && s)
                        v = Value::real(std::strtod(s, nullptr));
                    freeText(s);
                    break;
                }
                case pxfMemoBLOb:
                case pxfFmtMemoBLOb: {
                    char* s = nullptr;
                    int mod = 0, size = 0;
                    int rc = PX_get_data_blob(doc, data, len, &mod, &size, &s);
                    if (rc > 0 && s) {
                        std::string text(s, static_cast<size_t>(std::max(size, 0)));
                        while (!text.empty() && text.back() == '\0') text.pop_back();
                        v = Value::text(px.decoder().decode(text));
                    } else if (rc < 0) {
                        px.fail(px.hasBlobFile() ? "a memo of record " + std::to_string(r + 1) + " cannot be read"
                                                 : "its memo file " + StemOf(px.name()) + ".MB is missing");
                    }
                    freeText(s);
                    break;
                }
                default: break;
            }
        }
        if (!onRow(row)) return;
        if (!ticker.tick(r + 1)) return;
      }
    }
    ticker.finish();
}

}  // namespace vdx::exchange
