#!/usr/bin/env bash
# veldrix-cli export on the example study, checked from outside: a
# person-years table written as dBase comes back through our own attach with
# the grid's figures, an SMR result written as Excel 7.0 is an Excel 5.0
# workbook to xlrd, the person-years table and the SMR figures written as
# CSV, .xlsx and .dta read back by python's csv module, openpyxl and the
# readstat tool, the SMR figures as stored in every format, the file named
# written and no other, and refused exports leave the target as it was.
# Usage: export_cli_test.sh <path to veldrix-cli> <examples folder>
set -u
CLI="$(realpath "$1")"
EXAMPLES="$(realpath "$2")"
WORK="$(mktemp -d /tmp/vdx_export_cli.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$1" == "$2" ] || fail "$3: expected [$2], got [$1]"; }

cp "$EXAMPLES/example.vdx" x.vdx
"$CLI" smr x.vdx --rate Rates --death ICD=162 >/dev/null 2>&1 || fail "smr"

# ---- round trip: export, attach as a rate table, show both -------------------
"$CLI" export x.vdx 'Age*Calendar' py.dbf --format dbase3 >/dev/null 2>err.txt || fail "export dbase3: $(cat err.txt)"
"$CLI" attach x.vdx --rate --format dbase3 py.dbf >/dev/null 2>err.txt || fail "attach: $(cat err.txt)"
figures() { tail -n +2 | cut -f2- | awk -F'\t' '{ for (i = 1; i <= NF; ++i) printf "%.2f%s", $i, (i < NF ? "\t" : "\n") }'; }
grid="$("$CLI" show x.vdx 'Age*Calendar' | figures)"
back="$("$CLI" show x.vdx py | figures)"
[ -n "$grid" ] || fail "no person-years shown"
expect_eq "$back" "$grid" "figures back from dBase"
expect_eq "$("$CLI" show x.vdx py | sed -n 2p | cut -f1)" " 15- 19" "first age label"
expect_eq "$("$CLI" show x.vdx py | head -1 | cut -f2)" "1950_1954" "first calendar column (dBase name)"

# ---- Excel 7.0 is an Excel 5.0 workbook; the seven default figures -----------
"$CLI" export x.vdx Project1_SMR smr.xls --format excel7 >/dev/null 2>err.txt || fail "export excel7: $(cat err.txt)"
read_xls='import sys, xlrd
b = xlrd.open_workbook(sys.argv[1]); s = b.sheet_by_index(0)
print(b.biff_version, s.name, ",".join(s.cell_value(r, 0) for r in range(s.nrows)))'
expect_eq "$(/usr/bin/python3 -c "$read_xls" smr.xls)" \
    "50 smr Description,SMR,Lower Confidence Bound,Upper Confidence Bound,Alpha,Method,Observed Cases,Expected Cases" \
    "Excel 7.0 workbook"
"$CLI" export x.vdx Project1_SMR chosen.txt --format text --smr-variables 14,17 >/dev/null || fail "export --smr-variables"
expect_eq "$(tr -d '\r' <chosen.txt)" $'Description;Values\nProject;Project1\nPY Table;Age*Calendar' "chosen variables"

# ---- the stratum table: text and dBase hold the rows of veldrix-cli strata ----
"$CLI" strata x.vdx Project1 --format csv >strata.csv 2>err.txt || fail "strata: $(cat err.txt)"
"$CLI" export x.vdx Project1_Strata strata.txt --format text >/dev/null 2>err.txt || fail "export strata text: $(cat err.txt)"
"$CLI" export x.vdx Project1_Strata strata.dbf --format dbase4 >/dev/null 2>err.txt || fail "export strata dbase4: $(cat err.txt)"
compare_strata='import csv, sys, dbfread
shown = list(csv.reader(open("strata.csv")))
text = [line.split(";") for line in open("strata.txt", newline="").read().split("\r\n") if line]
dbf = [[r[k] for k in r] for r in dbfread.DBF("strata.dbf")]
def same(a, b):
    if a in ("", None) or b in ("", None): return a in ("", None) and b in ("", None)
    x, y = float(a), float(b)
    return abs(x - y) <= 1e-12 * max(abs(x), 1e-3)
problems = []
if text[0] != shown[0]: problems.append("text header %s" % text[0])
for name, rows in (("text", text[1:]), ("dbase", dbf)):
    if len(rows) != len(shown) - 1: problems.append("%s: %d rows" % (name, len(rows)))
    for want, got in zip(shown[1:], rows):
        # Files label the classes with a hyphen where the program shows an en dash.
        if [str(g).strip() for g in got[:2]] != [w.strip().replace("\u2013", "-") for w in want[:2]] or \
           not all(same(w, g) for w, g in zip(want[2:], got[2:])):
            problems.append("%s: %s for %s" % (name, got, want)); break
print(problems or "same")'
expect_eq "$(/usr/bin/python3 -c "$compare_strata")" "same" "stratum table exported"

# ---- Access 7.0: a Jet database replacing the old file, the table named after it
printf 'old' >smr.mdb
"$CLI" export x.vdx Project1_SMR smr.mdb --format access70 --force >/dev/null 2>err.txt || fail "export access70: $(cat err.txt)"
expect_eq "$(mdb-tables -1 smr.mdb)" "smr" "Access table"
expect_eq "$(mdb-export -H -Q smr.mdb smr | cut -d, -f1 | tr '\n' ',')" \
    "SMR,Lower Confidence Bound,Upper Confidence Bound,Alpha,Method,Observed Cases,Expected Cases," "Access rows"

# ---- CSV, .xlsx and .dta, read by others -----------------------------------
# Prints a written table's rows tab-separated, figures with two decimals.
to_tsv='import csv, subprocess, sys
f = sys.argv[1]
if f.endswith(".xlsx"):
    import openpyxl
    rows = [["" if c.value is None else str(c.value) for c in r] for r in openpyxl.load_workbook(f).worksheets[0].iter_rows()]
else:
    text = subprocess.run(["readstat", f, "-"], capture_output=True, text=True, check=True).stdout if f.endswith(".dta") \
        else open(f, encoding="utf-8", newline="").read()
    rows = list(csv.reader(text.splitlines()))
print("\t".join(rows[0]))
for r in rows[1:]:
    print(r[0] + "\t" + "\t".join("%.2f" % float(x) if sys.argv[2] == "figures" else x for x in r[1:]))'
for format in csv xlsx dta; do
    "$CLI" export x.vdx 'Age*Calendar' "py.$format" --format "$format" >/dev/null 2>err.txt || fail "export $format: $(cat err.txt)"
    expect_eq "$(/usr/bin/python3 -c "$to_tsv" "py.$format" figures | tail -n +2 | cut -f2-)" "$grid" "person-years from $format"
    expect_eq "$(/usr/bin/python3 -c "$to_tsv" "py.$format" figures | sed -n 2p | cut -f1)" " 15- 19" "first age label in $format"
    "$CLI" export x.vdx Project1_SMR "smr.$format" --format "$format" >/dev/null 2>err.txt || fail "export SMR $format: $(cat err.txt)"
    expect_eq "$(/usr/bin/python3 -c "$to_tsv" "smr.$format" texts | cut -f1 | paste -sd,)" \
        "Description,SMR,Lower Confidence Bound,Upper Confidence Bound,Alpha,Method,Observed Cases,Expected Cases" \
        "SMR figures in $format"
    "$CLI" export x.vdx Project1_Deaths "deaths.$format" --format "$format" >/dev/null 2>err.txt || fail "export deaths $format: $(cat err.txt)"
done
expect_eq "$(/usr/bin/python3 -c "$to_tsv" py.dta figures | head -1 | cut -f1-2)" $'Age_class\t_1950_1954' "Stata variable names"

# ---- the SMR figures as stored, the death values as typed, in every format ---
"$CLI" smr x.vdx --rate Rates --death "ICD=160-165, 170" --name Group >/dev/null 2>&1 || fail "smr of a group"
stored="$("$CLI" show x.vdx Group_SMR | awk -F'\t' '{ v[$1] = $3 }
    END { print v["totTote"] "," v["Expected"] "," v["totPy"] "," v["totDthRate"] "," v["N"] "," v["NInc"] "," v["Lag"] }')"
[ -n "$stored" ] || fail "no stored figures shown"
to_values='import sys, csv, subprocess
f = sys.argv[1]
if f.endswith(".xlsx"):
    import openpyxl
    rows = [[str(c.value) for c in r] for r in openpyxl.load_workbook(f).worksheets[0].iter_rows()]
elif f.endswith(".dta"):
    rows = list(csv.reader(subprocess.run(["readstat", f, "-"], capture_output=True, text=True, check=True).stdout.splitlines()))
elif f.endswith(".dbf"):
    import dbfread
    rows = [["", ""]] + [list(r.values()) for r in dbfread.DBF(f)]
elif f.endswith(".xls"):
    import xlrd
    s = xlrd.open_workbook(f).sheet_by_index(0)
    rows = [[str(s.cell_value(r, c)) for c in range(s.ncols)] for r in range(s.nrows)]
else:
    rows = [l.split(";") for l in open(f, newline="").read().split("\r\n") if l] if f.endswith(".txt") else list(csv.reader(open(f, newline="")))
print(",".join(r[1].strip() for r in rows[1:]))'
for file in g.csv g.xlsx g.dta g.txt g.dbf g.xls; do
    case "$file" in *.csv) fmt=csv;; *.xlsx) fmt=xlsx;; *.dta) fmt=dta;; *.txt) fmt=text;; *.dbf) fmt=dbase4;; *.xls) fmt=excel8;; esac
    "$CLI" export x.vdx Group_SMR "$file" --format "$fmt" --smr-variables 5,6,7,8,9,10,11 >/dev/null 2>err.txt || fail "export $file: $(cat err.txt)"
    expect_eq "$(/usr/bin/python3 -c "$to_values" "$file")" "$stored" "SMR figures as stored in $file"
    "$CLI" export x.vdx Group_SMR "v.$file" --format "$fmt" --smr-variables 13 >/dev/null 2>err.txt || fail "export v.$file: $(cat err.txt)"
    expect_eq "$(/usr/bin/python3 -c "$to_values" "v.$file" | tr -d '"')" "160-165, 170" "death values as typed in $file"
done
sheets='import sys, openpyxl; print(",".join(openpyxl.load_workbook(sys.argv[1]).sheetnames))'
expect_eq "$(/usr/bin/python3 -c "$sheets" py.xlsx)" "Age_Calendar" "the .xlsx sheet named after the result"
expect_eq "$(/usr/bin/python3 -c "$sheets" g.xlsx)" "Group_SMR" "the .xlsx sheet of an SMR result"

# ---- the file named is written, never another ----------------------------------
mkdir d
echo KEEP >d/out.dbf
"$CLI" export x.vdx 'Age*Calendar' d/out.txt --format dbase4 >/dev/null 2>&1
expect_eq "$?:$(cat d/out.dbf):$(ls d)" "1:KEEP:out.dbf" "another format's extension refused"
expect_eq "$("$CLI" export x.vdx 'Age*Calendar' d/px_out --format paradox5 2>&1)" \
    "Age*Calendar written to d/px_out.db." "Paradox name kept whole"
for fmt in dbase3 dbase5; do
    rm -f d/noext.dbf
    "$CLI" export x.vdx 'Age*Calendar' d/noext --format "$fmt" >/dev/null 2>&1 || fail "export noext $fmt"
    [ -s d/noext.dbf ] || fail "$fmt: noext.dbf not written"
done
echo KEEP >d/noext.dbf
"$CLI" export x.vdx 'Age*Calendar' d/noext --format dbase5 >/dev/null 2>&1
expect_eq "$?:$(cat d/noext.dbf)" "1:KEEP" "an existing file without --force"
"$CLI" export x.vdx 'Age*Calendar' d/noext --format dbase5 --force >/dev/null 2>&1 || fail "--force"
[ "$(head -c 4 d/noext.dbf | tr -d '\0')" != KEEP ] || fail "--force did not replace noext.dbf"
expect_eq "$(ls d | paste -sd,)" "noext.dbf,out.dbf,px_out.db" "files in d"

# ---- temporary files a killed export or convert left go with the next one -------
touch .OUT.jet.Abc123 .OUT.jet.unfinished.Xyz789 d/.t.csv.unfinished.Q1w2E3
"$CLI" convert x.vdx OUT.jet --format jet >/dev/null 2>&1 || fail "convert"
"$CLI" export x.vdx 'Age*Calendar' d/t.csv --format csv >/dev/null 2>&1 || fail "export t.csv"
expect_eq "$(ls -A . d | grep -cE 'unfinished|Abc123')" 0 "leftover temporary files"

# ---- refusals ----------------------------------------------------------------
"$CLI" export x.vdx Project1_SMR s.txt --format text --smr-variables 0,18 >/dev/null 2>&1
expect_eq "$?" 2 "variable 18"
"$CLI" export x.vdx Project1 s.txt --format text >/dev/null 2>&1
expect_eq "$?" 1 "a project is no result"
[ ! -e s.txt ] || fail "s.txt written"

# (An exit status of "$failures" would read 256 failures as a pass.)
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all export CLI checks passed"
