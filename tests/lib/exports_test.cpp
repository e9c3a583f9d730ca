// The built library as another program sees it: loaded with dlopen, its
// exports found by their plain names, its internals hidden.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>

namespace {

class LoadedLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        handle_ = dlopen(VELDRIX_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (handle_)
            dlclose(handle_);
    }
    void* symbol(const char* name) { return dlsym(handle_, name); }
    void* handle_ = nullptr;
};

TEST_F(LoadedLibrary, ExportsEveryKernelByItsPlainName)
{
    for (const char* name :
         {"PYCOMPUTE", "DEATHCOMPUTE", "MultiplierExactLow", "MultiplierExactHigh", "MultiplierByarLow",
          "MultiplierByarHigh", "MultiplierChiSquareLow", "MultiplierChiSquareHigh", "MultiplierSquareRootLow",
          "MultiplierSquareRootHigh", "MultiplierWaldLow", "MultiplierWaldHigh", "PYCOMPUTE_CELLS",
          "DEATHCOMPUTE_CELL", "STRATA_PREPARE", "PYCOMPUTE_PREPARED", "DEATHCOMPUTE_PREPARED", "PYCOMPUTE_AXIS_LAYERS",
          "ChiSquareUpperTail"})
        EXPECT_NE(symbol(name), nullptr) << name;
}

TEST_F(LoadedLibrary, KeepsItsInternalsHidden)
{
    EXPECT_EQ(symbol("_ZN7veldrix8LogGammaEd"), nullptr);
    EXPECT_EQ(symbol("_ZN7veldrix17ExactPoissonLimitEddi"), nullptr);
    EXPECT_EQ(symbol("_PYCOMPUTE@48"), nullptr);
}

TEST_F(LoadedLibrary, CallsThroughThePlainNamesGiveTheKernelsResults)
{
    using Multiplier = double (*)(double, double);
    auto exactHigh = reinterpret_cast<Multiplier>(symbol("MultiplierExactHigh"));
    ASSERT_NE(exactHigh, nullptr);
    EXPECT_NEAR(exactHigh(10, 0.05), 1.839036, 5e-7);

    using Py = double (*)(double, double, double, double*, int32_t, const double*, int32_t, const double*,
                          int32_t);
    auto py = reinterpret_cast<Py>(symbol("PYCOMPUTE"));
    ASSERT_NE(py, nullptr);
    double ages[] = {0, 20, 25};
    double periods[] = {0, 29221, 29587};  // 1 January 1980 and 1981
    double cells[2] = {5, 5};
    EXPECT_EQ(py(29221, 29586, 29221 - 20 * 365.25, cells, 1, ages, 1, periods, 1), 1.0);
    EXPECT_EQ(cells[1], 366.0);
}

}  // namespace
