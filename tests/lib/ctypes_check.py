"""Loads libveldrix.so through ctypes, as a program in another language
would, and checks that its exports give the known figures.

usage: python3 ctypes_check.py /path/to/libveldrix.so
"""
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
failures = []


def check(what, got, expected, tolerance):
    if abs(got - expected) > tolerance:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


Z95 = 1.95996398454005
TABLE = {  # observed: (low, high) of exact, Byar, chi-square, square root, Wald at 95 %
    1: [(0.025318, 5.571643), (0.013072, 5.563756), (0.176525, 5.664934), (0.000401, 5.732172), (0.140863, 7.099071)],
    10: [(0.479539, 1.839036), (0.478745, 1.839146), (0.543199, 1.840947), (0.476241, 1.846083), (0.538055, 1.858547)],
    20: [(0.610826, 1.544419), (0.610571, 1.544494), (0.647376, 1.544697), (0.609757, 1.547102), (0.645157, 1.550010)],
}
for method_index, method in enumerate(["Exact", "Byar", "ChiSquare", "SquareRoot", "Wald"]):
    for side_index, side in enumerate(["Low", "High"]):
        f = getattr(lib, "Multiplier" + method + side)
        f.restype = ctypes.c_double
        f.argtypes = [ctypes.c_double, ctypes.c_double]
        for observed, row in TABLE.items():
            second = 0.05 if method == "Exact" else Z95
            check(f"Multiplier{method}{side}({observed})", f(observed, second), row[method_index][side_index], 5e-7)

Doubles = ctypes.POINTER(ctypes.c_double)
lib.PYCOMPUTE.restype = ctypes.c_double
lib.PYCOMPUTE.argtypes = [ctypes.c_double] * 3 + [Doubles, ctypes.c_int32, Doubles, ctypes.c_int32, Doubles, ctypes.c_int32]
lib.DEATHCOMPUTE.restype = ctypes.c_double
lib.DEATHCOMPUTE.argtypes = [ctypes.c_double] * 2 + [Doubles, ctypes.c_int32, Doubles, ctypes.c_int32, Doubles, ctypes.c_int32]
lib.PYCOMPUTE_CELLS.restype = ctypes.c_int32
lib.PYCOMPUTE_CELLS.argtypes = [ctypes.c_double] * 3 + [Doubles, ctypes.c_int32, Doubles, ctypes.c_int32,
                                                          ctypes.POINTER(ctypes.c_int32), Doubles, ctypes.c_int32]

JAN1980, JAN1981, JAN1982 = 29221.0, 29587.0, 29952.0
ages = (ctypes.c_double * 5)(0, 20, 25, 30, 35)          # A = 3
periods = (ctypes.c_double * 4)(0, JAN1980, JAN1981, JAN1982)  # C = 2
birth = JAN1980 - 20 * 365.25

cells = (ctypes.c_double * 7)(*[9.0] * 7)
lib.PYCOMPUTE(JAN1980, JAN1981 - 1, birth, cells, 6, ages, 3, periods, 2)
check("PYCOMPUTE 1980 in cell 1", cells[1], 366.0, 0)
check("PYCOMPUTE other cells", sum(cells) - cells[1], 0.0, 0)

index = (ctypes.c_int32 * 8)()
days = (ctypes.c_double * 8)()
n = lib.PYCOMPUTE_CELLS(JAN1980, JAN1982 - 1, birth, ages, 3, periods, 2, index, days, 8)
check("PYCOMPUTE_CELLS entries", n, 2, 0)
check("PYCOMPUTE_CELLS first cell", index[0], 1, 0)
check("PYCOMPUTE_CELLS second cell", index[1], 1 + 3, 0)
check("PYCOMPUTE_CELLS days", days[0] + days[1], 731.0, 0)

death = JAN1981 + 100
lib.DEATHCOMPUTE(death, death - 27 * 365.25, cells, 6, ages, 3, periods, 2)
check("DEATHCOMPUTE cell 5", cells[5], 1.0, 0)
check("DEATHCOMPUTE others", sum(cells), 1.0, 0)

# Strata prepared once, in storage the caller holds (VeldrixStrata: 24 int64).
Strata = ctypes.c_int64 * 24
lib.STRATA_PREPARE.restype = ctypes.c_int32
lib.STRATA_PREPARE.argtypes = [ctypes.POINTER(Strata), Doubles, ctypes.c_int32, Doubles, ctypes.c_int32]
lib.PYCOMPUTE_PREPARED.restype = ctypes.c_int32
lib.PYCOMPUTE_PREPARED.argtypes = [ctypes.POINTER(Strata)] + [ctypes.c_double] * 3 + [
    ctypes.POINTER(ctypes.c_int32), Doubles, ctypes.c_int32]
lib.DEATHCOMPUTE_PREPARED.restype = ctypes.c_int32
lib.DEATHCOMPUTE_PREPARED.argtypes = [ctypes.POINTER(Strata), ctypes.c_double, ctypes.c_double]
strata = Strata()
check("STRATA_PREPARE cells", lib.STRATA_PREPARE(ctypes.byref(strata), ages, 3, periods, 2), 6, 0)
n = lib.PYCOMPUTE_PREPARED(ctypes.byref(strata), JAN1980, JAN1982 - 1, birth, index, days, 8)
check("PYCOMPUTE_PREPARED entries", n, 2, 0)
check("PYCOMPUTE_PREPARED second cell", index[1], 1 + 3, 0)
check("PYCOMPUTE_PREPARED days", days[0] + days[1], 731.0, 0)
check("DEATHCOMPUTE_PREPARED cell", lib.DEATHCOMPUTE_PREPARED(ctypes.byref(strata), death, death - 27 * 365.25), 5, 0)

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("libveldrix.so via ctypes: all checks passed")
