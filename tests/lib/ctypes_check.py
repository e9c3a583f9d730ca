"""Loads libveldrix.so through ctypes, as a program in another language
would, and checks that its exports give the known figures.

usage: python3 ctypes_check.py /path/to/libveldrix.so multiplier_reference.csv
"""
import csv
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
failures = []


def check(what, got, expected, tolerance):
    if abs(got - expected) > tolerance:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


# The reference multipliers computed in R (multiplier_reference.R), the table
# the C++ tests read too.
NAMES = {"exact": "Exact", "byar": "Byar", "chisquare": "ChiSquare", "squareroot": "SquareRoot", "wald": "Wald"}
with open(sys.argv[2]) as table:
    rows = list(csv.DictReader(table))
if len(rows) != 30:
    failures.append(f"{len(rows)} reference rows")
for row in rows:
    observed, method = float(row["observed"]), NAMES[row["method"]]
    second = float(row["alpha"]) if method == "Exact" else float(row["z"])
    for side in ("Low", "High"):
        f = getattr(lib, "Multiplier" + method + side)
        f.restype = ctypes.c_double
        f.argtypes = [ctypes.c_double, ctypes.c_double]
        expected = float(row[side.lower()])
        check(f"Multiplier{method}{side}({observed}, {second})", f(observed, second), expected, 1e-9 * expected)

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
