#include "state/veldrix_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <atomic>
#include <mutex>

#include "../../lib/include/veldrix.h"  // the exports' signatures, nothing else
#include "state/errors.h"

namespace vdx::library {
namespace {

enum Export {
    kStrataPrepare,
    kPyComputePrepared,
    kDeathComputePrepared,
    kExactLow,
    kExactHigh,
    kByarLow,
    kByarHigh,
    kChiSquareLow,
    kChiSquareHigh,
    kSquareRootLow,
    kSquareRootHigh,
    kWaldLow,
    kWaldHigh,
    kPyComputeAxis,
    kDeathComputeAxis,
    kChiSquareUpperTail,
    kPyComputeAxisLayers,
    kExportCount
};

constexpr std::array<const char*, kExportCount> kExportNames = {
    "STRATA_PREPARE",     "PYCOMPUTE_PREPARED",      "DEATHCOMPUTE_PREPARED",
    "MultiplierExactLow", "MultiplierExactHigh",     "MultiplierByarLow",     "MultiplierByarHigh",
    "MultiplierChiSquareLow", "MultiplierChiSquareHigh", "MultiplierSquareRootLow",
    "MultiplierSquareRootHigh", "MultiplierWaldLow", "MultiplierWaldHigh",
    "PYCOMPUTE_AXIS", "DEATHCOMPUTE_AXIS",
    "ChiSquareUpperTail", "PYCOMPUTE_AXIS_LAYERS",
};

// The loaded library and the exports found so far. The person-years run
// calls an export once per cohort row, so a found export costs one atomic
// load; loading and lookup happen under the mutex.
struct Binding {
    std::mutex mutex;
    std::string fileName = kLibraryFileName;
    void* handle = nullptr;
    std::array<std::atomic<void*>, kExportCount> exports{};
};

Binding& binding()
{
    static Binding b;
    return b;
}

std::string programFolder()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    std::string exe(path, static_cast<size_t>(n));
    auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string{} : exe.substr(0, slash + 1);
}

void* openLibrary(const std::string& fileName)
{
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle)
        return handle;
    std::string reason = dlerror();
    if (fileName.find('/') == std::string::npos) {
        std::string folder = programFolder();
        if (!folder.empty()) {
            handle = dlopen((folder + fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle)
                return handle;
        }
    }
    throw VdxError(err::DllLoad, "Error in loading DLL " + fileName + " (" + reason + ")");
}

void* exportAddress(Export e)
{
    Binding& b = binding();
    if (void* address = b.exports[e].load(std::memory_order_acquire))
        return address;
    std::lock_guard lock(b.mutex);
    if (!b.handle)
        b.handle = openLibrary(b.fileName);
    dlerror();
    void* address = dlsym(b.handle, kExportNames[e]);
    if (!address)
        throw VdxError(err::DllEntryPoint,
                       std::string("Can't find DLL entry point ") + kExportNames[e] + " in " + b.fileName);
    b.exports[e].store(address, std::memory_order_release);
    return address;
}

// The export's address as a pointer of its declared type (decltype only: the
// program does not link the library).
template <Export e, class Function>
Function* resolve()
{
    return reinterpret_cast<Function*>(exportAddress(e));
}

}  // namespace

static_assert(sizeof(VeldrixStrata) <= 192 && alignof(VeldrixStrata) <= 8,
              "Strata keeps the library's VeldrixStrata");

Strata::Strata(const double* ageBounds, int16_t ageClassCount, const double* calendarBounds, int16_t periodCount) {
    cellCount_ = resolve<kStrataPrepare, decltype(STRATA_PREPARE)>()(reinterpret_cast<VeldrixStrata*>(prepared_),
                                                                     ageBounds, ageClassCount, calendarBounds,
                                                                     periodCount);
}

int32_t Strata::personCells(double startDate, double endDate, double birthDate, int32_t* cellIndex, double* days,
                            int32_t capacity) const {
    return resolve<kPyComputePrepared, decltype(PYCOMPUTE_PREPARED)>()(
        reinterpret_cast<const VeldrixStrata*>(prepared_), startDate, endDate, birthDate, cellIndex, days, capacity);
}

int32_t Strata::deathCell(double deathDate, double birthDate) const {
    return resolve<kDeathComputePrepared, decltype(DEATHCOMPUTE_PREPARED)>()(
        reinterpret_cast<const VeldrixStrata*>(prepared_), deathDate, birthDate);
}

static_assert(sizeof(Axis) == sizeof(VeldrixAxis) && offsetof(Axis, hireDate) == offsetof(VeldrixAxis, hireDate) &&
                  offsetof(Axis, periods) == offsetof(VeldrixAxis, periods) &&
                  sizeof(AxisPeriod) == sizeof(VeldrixWorkPeriod),
              "Axis keeps the library's VeldrixAxis");

int32_t Strata::axisCells(const Axis& axis, double startDate, double endDate, double birthDate, int32_t* cellIndex,
                          double* days, int32_t capacity, double* daysBelow) const {
    return resolve<kPyComputeAxis, decltype(PYCOMPUTE_AXIS)>()(
        reinterpret_cast<const VeldrixStrata*>(prepared_), reinterpret_cast<const VeldrixAxis*>(&axis), startDate,
        endDate, birthDate, cellIndex, days, capacity, daysBelow);
}

int32_t Strata::axisLayerCells(const Axis& axis, double startDate, double endDate, double birthDate,
                               int32_t* cellIndex, double* days, int32_t capacity) const {
    return resolve<kPyComputeAxisLayers, decltype(PYCOMPUTE_AXIS_LAYERS)>()(
        reinterpret_cast<const VeldrixStrata*>(prepared_), reinterpret_cast<const VeldrixAxis*>(&axis), startDate,
        endDate, birthDate, cellIndex, days, capacity);
}

int32_t Strata::axisDeathCell(const Axis& axis, double deathDate, double birthDate) const {
    return resolve<kDeathComputeAxis, decltype(DEATHCOMPUTE_AXIS)>()(
        reinterpret_cast<const VeldrixStrata*>(prepared_), reinterpret_cast<const VeldrixAxis*>(&axis), deathDate,
        birthDate);
}

#define VDX_MULTIPLIER(Name, Slot, Second)                                  \
    double Name(double observed, double Second)                            \
    {                                                                       \
        return resolve<Slot, decltype(::Name)>()(observed, Second);                     \
    }

VDX_MULTIPLIER(MultiplierExactLow, kExactLow, alpha)
VDX_MULTIPLIER(MultiplierExactHigh, kExactHigh, alpha)
VDX_MULTIPLIER(MultiplierByarLow, kByarLow, z)
VDX_MULTIPLIER(MultiplierByarHigh, kByarHigh, z)
VDX_MULTIPLIER(MultiplierChiSquareLow, kChiSquareLow, z)
VDX_MULTIPLIER(MultiplierChiSquareHigh, kChiSquareHigh, z)
VDX_MULTIPLIER(MultiplierSquareRootLow, kSquareRootLow, z)
VDX_MULTIPLIER(MultiplierSquareRootHigh, kSquareRootHigh, z)
VDX_MULTIPLIER(MultiplierWaldLow, kWaldLow, z)
VDX_MULTIPLIER(MultiplierWaldHigh, kWaldHigh, z)
#undef VDX_MULTIPLIER

double ChiSquareUpperTail(double chiSquare, double df)
{
    return resolve<kChiSquareUpperTail, decltype(::ChiSquareUpperTail)>()(chiSquare, df);
}

void UseLibraryFile(const std::string& fileName)
{
    Binding& b = binding();
    std::lock_guard lock(b.mutex);
    for (auto& address : b.exports)
        address.store(nullptr, std::memory_order_release);
    if (b.handle)
        dlclose(b.handle);
    b.handle = nullptr;
    b.fileName = fileName;
}

}  // namespace vdx::library
