#!/usr/bin/env bash
# veldrix-cli smr, report, srr, projects, rename and delete on the example
# study, checked from outside: smr stores a project and prints the report
# that report prints again, the sqlite3 shell sees the stored tables, and
# refused runs leave the project file byte for byte as it was.
# Usage: cli_test.sh <path to veldrix-cli> <examples folder>
set -u
CLI="$(realpath "$1")"
EXAMPLES="$(realpath "$2")"
for tool in sqlite3 identify; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
WORK="$(mktemp -d /tmp/vdx_mortality_cli.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$1" == "$2" ] || fail "$3: expected [$2], got [$1]"; }
expect_contains() { grep -qF -- "$2" <<<"$1" || fail "$3: [$2] not in [$1]"; }

cp "$EXAMPLES/example.vdx" x.vdx

# ---- smr, then report ---------------------------------------------------------
smr="$("$CLI" smr x.vdx --rate Rates --death ICD=162 2>err.txt)"; rc=$?
expect_eq "$rc" 0 "smr exit code"
expect_eq "$(cat err.txt)" "" "smr stderr"
expect_contains "$smr" "Project   : Project1" "smr report"
expect_contains "$smr" "                 95% Confidence Bounds" "smr bound heading"
expect_contains "$smr" "    Byar" "smr method"
expect_contains "$smr" "Lag       : 10" "the study's lag"
expect_eq "$(ls -A | sort | tr '\n' ' ')" "err.txt x.vdx " "files left after smr"

report="$("$CLI" report x.vdx Project1)"; rc=$?
expect_eq "$rc" 0 "report exit code"
expect_eq "$report" "$smr" "report after smr"

# The stored tables as another reader sees them: 14 x 13 strata whose deaths
# add up to the observed number of the report.
observed="$(sed -n 's/^Observed Cases: //p' <<<"$report")"
expect_eq "$(sqlite3 x.vdx 'SELECT count(*), sum(Deaths) FROM Project1_Deaths;')" "182|$observed" "deaths table"
expect_eq "$(sqlite3 x.vdx 'SELECT count(*) FROM Project1_SMR;')" "19" "SMR table rows"
expect_eq "$(sqlite3 x.vdx "SELECT Value FROM VdxSystemMain WHERE Typ = 'intProjectAnzahl';")" "1" "project count"

# The null value scales the ratio and its bounds only.
smr100="$(sed -n '/^--*$/{n;p}' <<<"$report" | awk '{print $1}')"
smr1="$("$CLI" report x.vdx Project1 --null 1 | sed -n '/^--*$/{n;p}' | awk '{print $1}')"
expect_eq "$(awk -v a="$smr100" -v b="$smr1" 'BEGIN { printf "%.6f", a / b }')" "100.000000" "null value 1"

# Another level, method and name.
out="$("$CLI" smr x.vdx --rate Rates --death ICD=162 --pytable 'Age*Calendar*Sex=1' --level 0.10 \
    --method 'Chi Square' --name Lung 2>/dev/null)"; rc=$?
expect_eq "$rc" 0 "smr --name exit code"
expect_contains "$out" "90% Confidence Bounds" "level 0.10"
expect_contains "$out" "PY Table  : Age*Calendar*Sex=1" "person-years table"
expect_contains "$out" "    Chi Square" "method"
expect_eq "$("$CLI" report x.vdx Lung)" "$out" "report Lung"
# N Included counts the men of the table whose follow-up the lag leaves (sqlite3 adds the years).
men="$(sqlite3 x.vdx "SELECT count(*) FROM Cohort WHERE SEX = 1 AND date('1899-12-30', '+' || DOH || ' days', \
    '+10 years') < date('1899-12-30', '+' || DOX || ' days');")"
expect_contains "$out" "N Included: $men" "N Included of the men's table"

# ---- strata: the totals row is the report's O, E and SMR --------------------------
cp x.vdx before.vdx
total="$("$CLI" strata x.vdx Project1 | tail -1)"
expect_eq "$("$CLI" strata x.vdx Project1 | wc -l)" "184" "strata rows: header, 182 strata, totals"
expect_eq "$(cut -f1,4 <<<"$total")" "$(printf 'Total\t%s' "$observed")" "strata observed total"
expect_eq "$(awk -F'\t' '{ printf "%.8f %.8f", $6, $7 }' <<<"$total")" \
    "$(sed -n 's/^Expected Cases: //p' <<<"$report") $smr100" "strata expected and SMR"
expect_eq "$("$CLI" strata x.vdx Project1 --format csv | tail -1 | cut -d, -f1,4)" "Total,$observed" "strata as CSV"
cmp -s x.vdx before.vdx || fail "strata changed the project file"
"$CLI" strata x.vdx Nothing 2>err.txt; rc=$?
expect_eq "$rc" 1 "strata of a missing project"

# ---- a project out of date: the person-years computed again without the lag ------
cp x.vdx o.vdx
"$CLI" pyears o.vdx --dob DOB --entry DOE --exit DOX --age 15:85:5 --calendar 1950:2015:5 --sex SEX=1,2 \
    >/dev/null 2>&1 || fail "pyears without the lag"
stale="$("$CLI" strata o.vdx Project1)"
expect_eq "$(wc -l <<<"$stale")" "3" "out-of-date strata: header, stored totals, the note"
expect_eq "$(sed -n 2p <<<"$stale" | awk -F'\t' '{ printf "%s %.8f %.8f", $4, $6, $7 }')" \
    "$observed $(sed -n 's/^Expected Cases: //p' <<<"$report") $smr100" "out-of-date strata: the stored totals"
expect_contains "$(sed -n 3p <<<"$stale")" "out of date: the person-years were computed again" "out-of-date note"
expect_contains "$("$CLI" report o.vdx Project1)" "is out of date" "out-of-date report"
rm -f o.vdx

# ---- plot: three projects in the forest plot, as SVG, PNG and PDF -----------------
"$CLI" --help | grep -q "^  plot " || fail "veldrix-cli --help names no plot command"
cp x.vdx p.vdx
"$CLI" smr p.vdx --rate Rates --death ICD=410 --name Heart >/dev/null 2>&1
"$CLI" plot p.vdx forest --out forest.svg 2>/dev/null; rc=$?
expect_eq "$rc" 0 "plot forest exit code"
svg="$(cat forest.svg)"
for project in Project1 Lung Heart; do
    line="$("$CLI" projects p.vdx | awk -F'\t' -v p="$project" '$1 == p')"
    expect_contains "$svg" "$project O " "forest plot label of $project"
    # The bounds as the label writes them: times 100, two decimals.
    bounds="$(awk -F'\t' '{ printf "(%.2f - %.2f)", $(NF-1) * 100, $NF * 100 }' <<<"$line")"
    expect_contains "$svg" "$bounds" "forest plot bounds of $project"
done
expect_contains "$svg" "Null value 100" "the null line's legend"
"$CLI" plot p.vdx forest --out forest.png 2>/dev/null
expect_eq "$(identify -format '%m %w' forest.png)" "PNG 1100" "forest plot as PNG"
[ "$(identify -format '%k' forest.png)" -gt 2 ] || fail "the PNG holds no more than two colours"
"$CLI" plot p.vdx forest --out forest.pdf 2>/dev/null
expect_eq "$(head -c 5 forest.pdf)" "%PDF-" "forest plot as PDF"
"$CLI" plot p.vdx observed-expected Lung --out oe.svg 2>/dev/null
expect_contains "$(cat oe.svg)" "Lung: observed and expected deaths by calendar period" "observed-expected plot"
"$CLI" plot p.vdx person-years --out py.png 2>/dev/null
[ "$(identify -format '%k' py.png)" -gt 2 ] || fail "the person-years PNG holds no more than two colours"
# Out of date after the person-years are computed again without the lag.
"$CLI" pyears p.vdx --dob DOB --entry DOE --exit DOX --age 15:85:5 --calendar 1950:2015:5 --sex SEX=1,2 \
    >/dev/null 2>&1
"$CLI" plot p.vdx forest --out stale.svg 2>/dev/null
expect_contains "$(cat stale.svg)" "(out of date)" "forest plot of projects out of date"
"$CLI" plot p.vdx observed-expected Lung --out stale.svg 2>/dev/null
expect_contains "$(cat stale.svg)" "Lung: out of date" "observed-expected plot of a project out of date"
"$CLI" plot p.vdx forest --out forest.gif 2>err.txt; rc=$?
expect_eq "$rc" 1 "a plot as .gif"
"$CLI" plot p.vdx forest --out /nonexistent/forest.png 2>err.txt; rc=$?
expect_eq "$rc" 1 "a plot into a missing folder"
rm -f p.vdx forest.* oe.svg py.png stale.svg

# ---- refusals leave the file as it was -----------------------------------------
cp x.vdx before.vdx
refused() {  # expected message, then the arguments after x.vdx
    local message="$1"; shift
    "$CLI" smr x.vdx "$@" >/dev/null 2>err.txt; local rc=$?
    expect_eq "$rc" 1 "smr $* exit code"
    expect_contains "$(cat err.txt)" "$message" "smr $*"
    cmp -s x.vdx before.vdx || fail "smr $* changed the project file"
}
refused "This project name exists already!" --rate Rates --death ICD=162 --name Lung
refused "The project name must start with a character!" --rate Rates --death ICD=162 --name 2nd
refused "The death variable must be a column of cause-of-death codes" --rate Rates --death DOB=162
refused "its codes are whole numbers from 0 to 32767" --rate Rates --death ICD=40000
refused "You must select a rate table!" --rate Nothing --death ICD=162
"$CLI" report x.vdx Project7 >/dev/null 2>err.txt; rc=$?
expect_eq "$rc" 1 "report of a missing project"
"$CLI" smr x.vdx --rate Rates --death ICD=162 --method byar >/dev/null 2>&1; rc=$?
expect_eq "$rc" 2 "a method not as listed"
cmp -s x.vdx before.vdx || fail "a usage error changed the project file"

# ---- srr, projects, rename, delete ---------------------------------------------
"$CLI" srr x.vdx --rate Rates --death ICD=162 --pytable 'Age*Calendar*Sex=1' --name Lung2 >out.txt 2>err.txt; rc=$?
expect_eq "$rc" 0 "srr exit code"
expect_eq "$(sed -n 3p out.txt)" "$(printf 'PyTable\t2')" "srr person-years table row"
expect_eq "$(sqlite3 x.vdx 'SELECT group_concat(Deaths) FROM Lung2_Deaths;')" \
    "$(sqlite3 x.vdx 'SELECT group_concat(Deaths) FROM Lung_Deaths;')" "srr deaths as the smr run's"
expect_eq "$(sqlite3 x.vdx 'SELECT count(*) FROM Lung2_SMR;')" "16" "srr settings rows"
projects="$("$CLI" projects x.vdx | cut -f1,2,4 | tr '\t\n' ', ')"
expect_eq "$projects" "Project,Kind,Person-years table Project1,SMR,Age*Calendar Lung,SMR,Age*Calendar*Sex=1 Lung2,SRR,2 " \
    "projects"

"$CLI" rename x.vdx Lung2 a1 2>err.txt; rc=$?
expect_eq "$rc" 0 "rename exit code"
expect_eq "$(sqlite3 x.vdx "SELECT (SELECT group_concat(Projects) FROM VdxSystemProjects), \
    (SELECT \"Values\" FROM a1_SMR WHERE rowid = (SELECT min(rowid) FROM a1_SMR)), \
    (SELECT count(*) FROM a1_Deaths);")" "Project1,Lung,a1|a1|182" "renamed project"
cp x.vdx before.vdx
"$CLI" rename x.vdx a1 lung 2>err.txt; rc=$?
expect_eq "$rc" 1 "rename to another project's name in other letters"
expect_contains "$(cat err.txt)" "'lung' is the project 'Lung'" "refused before the engine is asked"
grep -q "Number:" err.txt && fail "a rename refusal with an engine number: $(cat err.txt)"
cmp -s x.vdx before.vdx || fail "a refused rename changed the project file"
"$CLI" report x.vdx a1 >/dev/null 2>err.txt; rc=$?
expect_eq "$rc" 1 "report of an SRR project"
expect_contains "$(cat err.txt)" "'a1' is an SRR project" "report of an SRR project says so"

# ---- calc: no SMR without expected deaths; counts beyond 32 bits ----------------
out="$("$CLI" calc --observed 5 --expected 0 2>err.txt)"; rc=$?
expect_eq "$rc" 1 "calc with E = 0"
expect_contains "$out" "SMR = not defined" "calc with E = 0 shows no number"
expect_contains "$(cat err.txt)" "The SMR is not defined" "calc with E = 0 says why"
out="$("$CLI" calc --observed 1e15 --expected 1e15 2>err.txt)"; rc=$?
expect_eq "$rc" 0 "calc with O = E = 1e15"
expect_contains "$out" "SMR = 100.00000000" "calc with O = E = 1e15"

"$CLI" delete x.vdx a1 2>/dev/null; rc=$?
expect_eq "$rc" 0 "delete exit code"
expect_eq "$(sqlite3 x.vdx "SELECT Value FROM VdxSystemMain WHERE Typ = 'intProjectAnzahl'; \
    SELECT count(*) FROM sqlite_master WHERE name LIKE 'a1%';")" "$(printf '2\n0')" "deleted project"
"$CLI" delete x.vdx a1 2>err.txt; rc=$?
expect_eq "$rc" 1 "delete of a missing project"
expect_contains "$(cat err.txt)" "holds no project 'a1'" "delete of a missing project says so"

# ---- causes: a cause list attached from CSV, every cause in one run --------------
printf 'cause,icd10,icd9\r\nAll causes,*,*\r\nLung,C33-C34,162\r\n' > list.csv
out="$("$CLI" attach x.vdx --causes --format csv list.csv --name Occ 2>&1)"; rc=$?
expect_eq "$rc" 0 "attach --causes exit code ($out)"
printf 'cause,icd10\r\nLung,C3?\r\n' > bad.csv
cp x.vdx before.vdx
"$CLI" attach x.vdx --causes --format csv bad.csv --name Bad >/dev/null 2>err.txt; rc=$?
expect_eq "$rc" 1 "attach of a list that does not read"
expect_contains "$(cat err.txt)" "Row 1 of the cause list 'Bad', column 'icd10' (cause 'Lung'): 'C3?'" "its message"
cmp -s x.vdx before.vdx || fail "a refused cause list changed the project file"
# Every death read in ICD-9: Lung counts the deaths of code 162 as smr does,
# all causes more.
observed="$("$CLI" smr x.vdx --rate Rates --death ICD=162 --name LungNow | sed -n 's/^Observed Cases: //p')"
causes="$("$CLI" causes x.vdx --list Occ --death ICD --rate Rates --revisions 9:1900 2>err.txt)"; rc=$?
expect_eq "$rc" 0 "causes exit code ($(cat err.txt))"
expect_eq "$(head -1 <<<"$causes")" "cause,sex,observed,expected,smr,low,high" "causes header"
lung="$(grep '^Lung,' <<<"$causes" | cut -d, -f3)"
expect_eq "$lung" "$observed" "Lung against the observed of smr ICD=162"
all="$(grep '^All causes,' <<<"$causes" | cut -d, -f3)"
[ -n "$all" ] && [ "$all" -gt "$lung" ] || fail "all causes ($all) not above lung ($lung)"
expect_eq "$(sqlite3 x.vdx "SELECT Kind FROM VdxAnalyses")" "Causes" "the analysis stored"
expect_eq "$(sqlite3 x.vdx "SELECT Value FROM VdxStudySettings WHERE Key = 'RevisionYears'")" "9:1900" "revisions kept"
# The table of causes and the list leave by Tables > Save as; the forest plot by cause draws.
"$CLI" export x.vdx Causes1_Causes causes.csv --format csv >/dev/null 2>err.txt || fail "export of the causes ($(cat err.txt))"
expect_eq "$(grep -c '' causes.csv)" "4" "causes.csv: the header, two causes, the closing row"
expect_contains "$(cat causes.csv)" "not in the list" "causes.csv closing row"
"$CLI" export x.vdx Occ occ.xlsx --format xlsx >/dev/null 2>err.txt || fail "export of the cause list ($(cat err.txt))"
"$CLI" plot x.vdx causes Causes1 --out causes.png >/dev/null 2>err.txt || fail "causes plot ($(cat err.txt))"
identify causes.png >/dev/null 2>&1 || fail "causes.png is no image"
# A code column read as numbers cannot tell 162.0 from 162: refused, the study as it was.
printf 'cause,icd10,icd9\r\nLung,C34,162.0\r\nStomach,C16,151\r\n' > numeric.csv
cp x.vdx before.vdx
"$CLI" attach x.vdx --causes --format csv numeric.csv --name Num >/dev/null 2>err.txt; rc=$?
expect_eq "$rc" 1 "attach of a list whose icd9 column is numbers"
expect_contains "$(cat err.txt)" "column 'icd9': the column holds numbers" "its message"
cmp -s x.vdx before.vdx || fail "a refused numeric cause list changed the project file"

# ---- smr without a main data table -------------------------------------------------
"$CLI" remove x.vdx --main >/dev/null 2>&1 || fail "remove --main"
"$CLI" smr x.vdx --rate Rates --death ICD=162 >/dev/null 2>err.txt; rc=$?
expect_eq "$rc" 1 "smr without a main data table"
expect_contains "$(cat err.txt)" "There is no main data table" "smr without a main data table says so"

if [ "$failures" -gt 0 ]; then echo "$failures failure(s)" >&2; exit 1; fi
echo "all veldrix-cli smr/report/srr/projects checks passed"
