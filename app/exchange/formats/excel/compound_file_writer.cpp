#include "exchange/formats/excel/compound_file_writer.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace vdx::exchange {

namespace {
constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kHeaderDifatEntries = 109;

void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string DirectoryEntry(const std::string& name, uint8_t type, uint32_t child, uint32_t start, uint32_t size) {
    std::string e(128, '\0');
    for (size_t i = 0; i < name.size() && i < 31; ++i) e[2 * i] = name[i];  // UTF-16LE of an ASCII name
    Put16(e, 64, static_cast<uint16_t>(name.empty() ? 0 : 2 * (name.size() + 1)));
    e[66] = static_cast<char>(type);
    e[67] = 1;  // black
    Put32(e, 68, kNoStream);
    Put32(e, 72, kNoStream);
    Put32(e, 76, child);
    Put32(e, 116, start);
    Put32(e, 120, size);
    return e;
}
}  // namespace

std::string CompoundFileWithStream(const std::string& streamName, std::string stream) {
    if (stream.size() < kMiniStreamCutoff) stream.resize(kMiniStreamCutoff, '\0');
    const auto streamSize = static_cast<uint32_t>(stream.size());
    const uint32_t streamSectors = (streamSize + kSectorSize - 1) / kSectorSize;
    stream.resize(static_cast<size_t>(streamSectors) * kSectorSize, '\0');
    const uint32_t directorySector = streamSectors;

    // The FAT must cover its own sectors and those of the DIFAT that lists
    // the FAT sectors beyond the 109 the header holds.
    uint32_t fatSectors = 0, difatSectors = 0;
    while (true) {
        uint32_t total = streamSectors + 1 + fatSectors + difatSectors;
        uint32_t needFat = (total + 127) / 128;
        uint32_t needDifat = needFat > kHeaderDifatEntries ? (needFat - kHeaderDifatEntries + 126) / 127 : 0;
        if (needFat == fatSectors && needDifat == difatSectors) break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    const uint32_t firstFat = directorySector + 1;
    const uint32_t firstDifat = firstFat + fatSectors;

    std::vector<uint32_t> fat(static_cast<size_t>(fatSectors) * 128, kFree);
    for (uint32_t i = 0; i < streamSectors; ++i) fat[i] = i + 1 < streamSectors ? i + 1 : kEndOfChain;
    fat[directorySector] = kEndOfChain;
    for (uint32_t i = 0; i < fatSectors; ++i) fat[firstFat + i] = kFatSector;
    for (uint32_t i = 0; i < difatSectors; ++i) fat[firstDifat + i] = kDifatSector;

    std::string header(kSectorSize, '\0');
    const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(header.data(), signature, 8);
    Put16(header, 24, 0x003E);  // minor version
    Put16(header, 26, 0x0003);  // major version 3: 512-byte sectors
    Put16(header, 28, 0xFFFE);  // little-endian
    Put16(header, 30, 9);       // sector size 2^9
    Put16(header, 32, 6);       // mini sector size 2^6
    Put32(header, 44, fatSectors);
    Put32(header, 48, directorySector);
    Put32(header, 56, kMiniStreamCutoff);
    Put32(header, 60, kEndOfChain);  // no mini FAT
    Put32(header, 64, 0);
    Put32(header, 68, difatSectors ? firstDifat : kEndOfChain);
    Put32(header, 72, difatSectors);
    for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
        Put32(header, 76 + 4 * i, i < fatSectors ? firstFat + i : kFree);

    std::string out;
    out.reserve(header.size() + stream.size() + (1 + fatSectors + difatSectors) * kSectorSize);
    out += header;
    out += stream;

    std::string directory = DirectoryEntry("Root Entry", 5, 1, kEndOfChain, 0);
    directory += DirectoryEntry(streamName, 2, kNoStream, 0, streamSize);
    for (int i = 0; i < 2; ++i) directory += DirectoryEntry("", 0, kNoStream, 0, 0);
    out += directory;

    std::string fatBytes(fat.size() * 4, '\0');
    for (size_t i = 0; i < fat.size(); ++i) Put32(fatBytes, 4 * i, fat[i]);
    out += fatBytes;

    for (uint32_t d = 0; d < difatSectors; ++d) {
        std::string sector(kSectorSize, '\0');
        for (uint32_t k = 0; k < 127; ++k) {
            uint32_t index = kHeaderDifatEntries + d * 127 + k;
            Put32(sector, 4 * k, index < fatSectors ? firstFat + index : kFree);
        }
        Put32(sector, 508, d + 1 < difatSectors ? firstDifat + d + 1 : kEndOfChain);
        out += sector;
    }
    return out;
}

}  // namespace vdx::exchange
