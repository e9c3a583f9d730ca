// The CSV reader on arbitrary bytes: separator detection, quoting, types;
// then the text import dialog's reading of it: the preview, the types it
// proposes and the import of every record under them.
#include "exchange/formats/text/csv_import.h"
#include "exchange/formats/text/csv_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = vdx::fuzz::WriteInput("in.csv", data, size);
    try {
        vdx::exchange::CsvReader reader(path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    try {
        using namespace vdx::exchange;
        const char separator = SampleCsvFile(path).separator;
        PreviewCsvFile(path, separator);
        const CsvImportOptions options = ProposeCsvImportOptions(path, separator);
        CsvImportColumns(path, options, "in");
        size_t rows = 0;
        ImportCsvRows(path, options, [&](const std::vector<vdx::Value>&) { return ++rows < 100000; });
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
