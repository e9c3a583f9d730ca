// The compound document container (OLE2 structured storage) of Excel 5.0 to
// 2003 workbooks: a small file system of sectors whose streams hold the
// workbook ("Book" for Excel 5.0/7.0, "Workbook" for Excel 8.0).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vdx::exchange {

class CompoundFile {
public:
    // Whether the bytes begin with the compound document signature.
    static bool HasSignature(std::string_view bytes);

    // Reads the container's directory; VdxError 3274 for a damaged container.
    // `name` only names the file in error messages.
    CompoundFile(std::string_view bytes, std::string name);

    // The contents of the stream of that name (ASCII names, compared without
    // regard to letter case), or nullopt when there is none.
    std::optional<std::string> stream(const std::string& name) const;

private:
    struct Entry {
        std::string name;  // ASCII part of the UTF-16 name
        int type = 0;      // 1 storage, 2 stream, 5 root
        uint32_t start = 0;
        uint64_t size = 0;
    };
    std::string chain(uint32_t start, uint64_t size, bool mini) const;
    [[noreturn]] void damaged(const std::string& why) const;

    std::string_view bytes_;
    std::string name_;
    uint32_t sectorSize_ = 512;
    uint32_t miniSectorSize_ = 64;
    uint32_t miniCutoff_ = 4096;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> miniFat_;
    std::string miniStream_;
    std::vector<Entry> entries_;
};

}  // namespace vdx::exchange
