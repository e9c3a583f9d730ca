#include "exchange/formats/excel/compound_file.h"

#include <cstring>

#include "exchange/io/reader_support.h"

namespace vdx::exchange {

namespace {
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

uint16_t Le16(const char* p) {
    return static_cast<uint16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
}
uint32_t Le32(const char* p) {
    return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
           (static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8) |
           (static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}
}  // namespace

bool CompoundFile::HasSignature(std::string_view bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

void CompoundFile::damaged(const std::string& why) const { ThrowWrongFormat(name_, "its compound document is damaged (" + why + ")"); }

CompoundFile::CompoundFile(std::string_view bytes, std::string name) : bytes_(bytes), name_(std::move(name)) {
    if (bytes.size() < 512 || !HasSignature(bytes)) ThrowWrongFormat(name_, "it is no compound document");
    const char* h = bytes.data();
    const uint16_t sectorShift = Le16(h + 0x1E);
    const uint16_t miniShift = Le16(h + 0x20);
    if (sectorShift != 9 && sectorShift != 12) damaged("sector size");
    if (miniShift != 6) damaged("mini sector size");
    sectorSize_ = 1u << sectorShift;
    miniSectorSize_ = 1u << miniShift;
    const uint32_t fatSectors = Le32(h + 0x2C);
    const uint32_t firstDirectory = Le32(h + 0x30);
    miniCutoff_ = Le32(h + 0x38);
    const uint32_t firstMiniFat = Le32(h + 0x3C);
    const uint32_t miniFatSectors = Le32(h + 0x40);
    uint32_t difatSector = Le32(h + 0x44);
    const uint32_t difatSectors = Le32(h + 0x48);

    const uint64_t sectorCount = (bytes.size() - 512 + sectorSize_ - 1) / sectorSize_ + 1;
    if (fatSectors > sectorCount || miniFatSectors > sectorCount || difatSectors > sectorCount)
        damaged("sector counts");

    auto sectorBytes = [&](uint32_t sector, std::string& out) {
        uint64_t offset = (static_cast<uint64_t>(sector) + 1) * sectorSize_;
        if (sector >= 0xFFFFFFFA || offset >= bytes_.size()) damaged("sector outside the file");
        size_t n = static_cast<size_t>(std::min<uint64_t>(sectorSize_, bytes_.size() - offset));
        out.assign(bytes_.data() + offset, n);
        out.resize(sectorSize_, '\0');  // a short last sector reads as zeros
    };

    // The sectors of the allocation table: 109 in the header, the rest in a
    // chain of DIFAT sectors.
    std::vector<uint32_t> fatSectorList;
    for (int i = 0; i < 109 && fatSectorList.size() < fatSectors; ++i) fatSectorList.push_back(Le32(h + 0x4C + 4 * i));
    std::string sector;
    for (uint32_t n = 0; n < difatSectors && fatSectorList.size() < fatSectors; ++n) {
        if (difatSector == kEndOfChain || difatSector == kFreeSector) break;
        sectorBytes(difatSector, sector);
        const uint32_t perSector = sectorSize_ / 4 - 1;
        for (uint32_t i = 0; i < perSector && fatSectorList.size() < fatSectors; ++i)
            fatSectorList.push_back(Le32(sector.data() + 4 * i));
        difatSector = Le32(sector.data() + 4 * perSector);
    }
    if (fatSectorList.size() < fatSectors) damaged("allocation table list");
    for (uint32_t s : fatSectorList) {
        sectorBytes(s, sector);
        for (uint32_t i = 0; i < sectorSize_ / 4; ++i) fat_.push_back(Le32(sector.data() + 4 * i));
    }

    // The directory: 128-byte entries.
    std::string directory = chain(firstDirectory, UINT64_MAX, false);
    for (size_t at = 0; at + 128 <= directory.size(); at += 128) {
        const char* e = directory.data() + at;
        Entry entry;
        uint16_t nameBytes = Le16(e + 0x40);
        if (nameBytes > 64) nameBytes = 64;
        for (uint16_t i = 0; i + 1 < nameBytes; i += 2) {
            uint16_t ch = Le16(e + i);
            if (ch == 0) break;
            entry.name += ch < 0x80 ? static_cast<char>(ch) : '?';
        }
        entry.type = static_cast<unsigned char>(e[0x42]);
        entry.start = Le32(e + 0x74);
        entry.size = Le32(e + 0x78);
        if (sectorSize_ == 4096) entry.size |= static_cast<uint64_t>(Le32(e + 0x7C)) << 32;
        entries_.push_back(std::move(entry));
    }
    if (entries_.empty() || entries_[0].type != 5) damaged("no root entry");

    // Small streams live in the mini stream, which is the root entry's stream.
    if (miniFatSectors > 0 && firstMiniFat != kEndOfChain) {
        std::string table = chain(firstMiniFat, UINT64_MAX, false);
        for (size_t i = 0; i + 4 <= table.size(); i += 4) miniFat_.push_back(Le32(table.data() + i));
        miniStream_ = chain(entries_[0].start, entries_[0].size, false);
    }
}

std::string CompoundFile::chain(uint32_t start, uint64_t size, bool mini) const {
    const std::vector<uint32_t>& table = mini ? miniFat_ : fat_;
    const uint32_t unit = mini ? miniSectorSize_ : sectorSize_;
    std::string out;
    uint32_t sector = start;
    size_t steps = 0;
    while (sector != kEndOfChain && out.size() < size) {
        if (sector >= table.size() || ++steps > table.size()) damaged("sector chain");
        if (mini) {
            uint64_t offset = static_cast<uint64_t>(sector) * unit;
            if (offset + unit > miniStream_.size()) damaged("mini stream");
            out.append(miniStream_, static_cast<size_t>(offset), unit);
        } else {
            uint64_t offset = (static_cast<uint64_t>(sector) + 1) * unit;
            if (offset >= bytes_.size()) damaged("sector outside the file");
            size_t n = static_cast<size_t>(std::min<uint64_t>(unit, bytes_.size() - offset));
            // A stream of known size must lie wholly in the file; only the
            // unused end of its last sector may be missing.
            if (size != UINT64_MAX && n < std::min<uint64_t>(unit, size - out.size()))
                damaged("a stream runs past the end of the file");
            out.append(bytes_.data() + offset, n);
            if (n < unit) out.append(unit - n, '\0');
        }
        sector = table[sector];
    }
    if (size != UINT64_MAX) {
        if (out.size() < size) damaged("stream shorter than its size");
        out.resize(static_cast<size_t>(size));
    }
    return out;
}

std::optional<std::string> CompoundFile::stream(const std::string& name) const {
    const std::string wanted = Lower(name);
    for (size_t i = 1; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (e.type != 2 || Lower(e.name) != wanted) continue;
        if (e.size > bytes_.size() * 2 + 4096) damaged("stream size");
        return chain(e.start, e.size, e.size < miniCutoff_);
    }
    return std::nullopt;
}

}  // namespace vdx::exchange
