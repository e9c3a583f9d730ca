// The ASCII import on arbitrary bytes: preview, names and every column type.
#include <sys/stat.h>

#include "exchange/formats/text/text_import.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vdx::exchange;
    if (size < 1) return 0;
    // The first byte chooses headers and the column types.
    const uint8_t choice = data[0];
    std::string path = vdx::fuzz::WriteInput("in.txt", data + 1, size - 1);
    try {
        TextPreview preview = PreviewTextFile(path);
        TextImportOptions options = DefaultTextImportOptions(preview, choice & 1);
        for (size_t i = 0; i < options.columns.size(); ++i) {
            TextColumn& c = options.columns[i];
            c.type = kTextColumnTypes[((choice >> 1) + i) % kTextColumnTypes.size()];
            c.dateLayout = kTextDateLayouts[(choice >> 4) % kTextDateLayouts.size()];
            c.day = "31";
            c.month = "02";
        }
        try {
            TextImportColumns(path, options, "in");
        } catch (const vdx::VdxError&) {
        }
        ImportTextRows(path, options, [](const std::vector<vdx::Value>&) { return true; });
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
