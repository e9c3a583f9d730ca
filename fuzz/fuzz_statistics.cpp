// The Stata, SAS and SPSS reader on arbitrary bytes; the first byte picks
// the format. ReadStat runs in its child process.
#include "exchange/formats/statistics/statistics_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    using vdx::exchange::StatisticsFormat;
    const StatisticsFormat formats[] = {StatisticsFormat::Stata, StatisticsFormat::Sas, StatisticsFormat::SasTransport,
                                        StatisticsFormat::Spss};
    const StatisticsFormat format = formats[data[0] % 4];
    std::string path = vdx::fuzz::WriteInput("in.dat", data + 1, size - 1);
    try {
        vdx::exchange::StatisticsReader reader(format, path);
        vdx::fuzz::ReadEverything(reader);
    } catch (const vdx::VdxError&) {
    }
    return 0;
}
