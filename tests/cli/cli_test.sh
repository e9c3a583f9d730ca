#!/usr/bin/env bash
# veldrix-cli new and info, checked from outside: exit codes, output, the
# files left behind, and the project file as the sqlite3 shell sees it.
# Usage: cli_test.sh <path to veldrix-cli>
set -u
CLI="$(realpath "$1")"
command -v sqlite3 > /dev/null || { echo "SKIP: the sqlite3 shell is not installed"; exit 77; }
WORK="$(mktemp -d /tmp/vdx_cli_test.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$1" == "$2" ] || fail "$3: expected [$2], got [$1]"; }
expect_contains() { grep -qF -- "$2" <<<"$1" || fail "$3: [$2] not in [$1]"; }
# Only the project files may remain: no working copy, no lock file.
expect_only() {
    local listing
    listing="$(ls -A | sort | tr '\n' ' ')"
    expect_eq "$listing" "$1" "files left after $2"
}

# ---- new, then info -----------------------------------------------------------
"$CLI" new study.vdx; rc=$?
expect_eq "$rc" 0 "new exit code"
expect_only "study.vdx " "new"

out="$("$CLI" info study.vdx 2>err.txt)"; rc=$?
expect_eq "$rc" 0 "info exit code"
expect_eq "$(cat err.txt)" "" "info stderr"
rm -f err.txt
expected_info="Version: 3.0
ProjectUpgraded: False
MainTable: 
intRateTablesAnzahl: 0
RateTables: 
intProjectAnzahl: 0
Projects: 
blnPersonYears: False
intAnzahlTables: 0
varDOB: 
varEPS: 
varTPS: 
varSEX: 
blnAgeSelfDefined: False
maxAgeClass: 0
varAgeFrom: 0
varAgeTo: 0
varAgeStep: 0
blnCalendarSelfDefined: False
maxYearClass: 0
varCalendarFrom: 0
varCalendarTo: 0
varCalendarStep: 0
blnSex: False
varSexStatus: False
varSex1: 0
varSex2: 0
blnLag: False
varLag: 0
varLagStatus: False
varDOH: "
expect_eq "$out" "$expected_info" "info of a new file"
expect_only "study.vdx " "info"

# ---- the new file in the sqlite3 shell ----------------------------------------------
tables="$(sqlite3 study.vdx "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid" | tr '\n' ' ')"
expect_eq "$tables" "VdxSystemMain VdxSystemPY VdxSystemRateTables VdxPyValues VdxAgeClassValues VdxYearClassValues VdxSystemProjects " "system tables"
columns() { sqlite3 study.vdx "SELECT name || ' ' || type FROM pragma_table_info('$1')" | tr '\n' ','; }
expect_eq "$(columns VdxSystemMain)" "Typ NONEMPTY TEXT(255),Value TEXT(255)," "VdxSystemMain columns"
expect_eq "$(columns VdxSystemPY)" "Typ NONEMPTY TEXT(255),Value TEXT(255)," "VdxSystemPY columns"
expect_eq "$(columns VdxSystemRateTables)" "RateTables NONEMPTY TEXT(255)," "VdxSystemRateTables columns"
expect_eq "$(columns VdxSystemProjects)" "Projects NONEMPTY TEXT(255)," "VdxSystemProjects columns"
expect_eq "$(columns VdxAgeClassValues)" "AgeClass SHORT," "VdxAgeClassValues columns"
expect_eq "$(columns VdxYearClassValues)" "YearClass SHORT," "VdxYearClassValues columns"
expect_eq "$(columns VdxPyValues)" "PersonYears LONG," "VdxPyValues columns"
main_rows="$(sqlite3 -separator '=' study.vdx "SELECT Typ, Value FROM VdxSystemMain ORDER BY rowid" | tr '\n' '|')"
expect_eq "$main_rows" "Version=3.0|MainTable=|intRateTablesAnzahl=0|intProjectAnzahl=0|SMRReportHeading=VELDRIX - PersonYears and Mortality Computation Program|" "VdxSystemMain rows"
expect_eq "$(sqlite3 study.vdx "SELECT count(*) FROM VdxSystemPY")" 24 "VdxSystemPY rows"
expect_eq "$(sqlite3 study.vdx "SELECT group_concat(Typ, ',') FROM VdxSystemPY")" \
    "blnPersonYears,intAnzahlTables,varDOB,varEPS,varTPS,varSEX,blnAgeSelfDefined,maxAgeClass,varAgeFrom,varAgeTo,varAgeStep,blnCalendarSelfDefined,maxYearClass,varCalendarFrom,varCalendarTo,varCalendarStep,blnSex,varSexStatus,varSex1,varSex2,blnLag,varLag,varLagStatus,varDOH" \
    "VdxSystemPY keys"
expect_eq "$(sqlite3 study.vdx "PRAGMA integrity_check")" "ok" "integrity"

# ---- calc: the SMR calculator, no project file --------------------------------------
out="$("$CLI" calc --observed 10 --expected 10 --level 95 --method Byar --method Exact 2>err.txt)"; rc=$?
expect_eq "$rc" 0 "calc exit code"
expect_eq "$(cat err.txt)" "" "calc stderr"
expect_contains "$out" "SMR = 100.00000000" "calc SMR line"
expect_contains "$(tr -d '\r' <<<"$out" | grep -A1 '^Byar Method 95%CI:')" "47.87449914 to 183.91458606" "calc Byar bounds"
expect_eq "$(grep -c 'Method 95%CI:' <<<"$out")" 2 "calc one bound line per method"
err="$("$CLI" calc --observed -2 --expected x 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "calc refused"
expect_eq "$err" "The observed number must be a non negative number!" "calc message 38 first"
"$CLI" calc --observed 1 --expected 1 --method Bayes 2>/dev/null; rc=$?
expect_eq "$rc" 2 "calc unknown method"
rm -f err.txt

# ---- new onto an existing file ---------------------------------------------------
sqlite3 study.vdx "UPDATE VdxSystemMain SET Value = 'Cohort' WHERE Typ = 'MainTable'"
before="$(md5sum < study.vdx)"
err="$("$CLI" new study.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "new onto an existing file"
expect_contains "$err" "--force" "new onto an existing file names --force"
expect_eq "$(md5sum < study.vdx)" "$before" "existing file untouched"
"$CLI" new --force study.vdx; rc=$?
expect_eq "$rc" 0 "new --force"
expect_eq "$(sqlite3 study.vdx "SELECT Value FROM VdxSystemMain WHERE rowid = 2")" "" "replaced by a fresh file"

# ---- an old 1.0 file, built with the sqlite3 shell ----------------------------------------
sqlite3 old.vdx <<'SQL'
CREATE TABLE VdxSystemMain (Typ TEXT(255), Value TEXT(255));
INSERT INTO VdxSystemMain VALUES ('Version','1.0'),('MainTable',''),('intRateTablesAnzahl','1'),('intProjectAnzahl','1');
CREATE TABLE VdxSystemPY (Typ TEXT(255), Value TEXT(255));
INSERT INTO VdxSystemPY VALUES ('blnPersonYears','True'),('intAnzahlTables','1'),('varDOB','DOB'),('varEPS','EPS'),
 ('varTPS','TPS'),('varSEX',''),('blnAgeSelfDefined','False'),('maxAgeClass','3'),('varAgeFrom','20'),('varAgeTo','60'),
 ('varAgeStep','20'),('blnCalendarSelfDefined','False'),('maxYearClass','3'),('varCalendarFrom','1970'),
 ('varCalendarTo','1990'),('varCalendarStep','10'),('blnSex','False'),('varSexStatus','False'),('varSex1','0'),
 ('varSex2','0'),('blnLag','False'),('varLag','0'),('varLagStatus','False'),('varDOH','');
CREATE TABLE VdxSystemRateTables (RateTables TEXT(255));
INSERT INTO VdxSystemRateTables VALUES ('RATES'),('STALE');
CREATE TABLE VdxSystemProjects (Projects TEXT(255));
INSERT INTO VdxSystemProjects VALUES ('Lung');
CREATE TABLE VdxAgeClassValues (AgeClass SHORT);
INSERT INTO VdxAgeClassValues VALUES (20),(40),(60);
CREATE TABLE VdxYearClassValues (YearClass SHORT);
INSERT INTO VdxYearClassValues VALUES (1970),(1980),(1990);
CREATE TABLE VdxPyValues (PersonYears LONG);
INSERT INTO VdxPyValues VALUES (365),(730),(1095),(1461);
CREATE TABLE RATES (Rate DOUBLE);
CREATE TABLE Lung_Deaths (Deaths LONG);
CREATE TABLE Lung_SMR (Typ TEXT(255), "Values" TEXT(255));
INSERT INTO Lung_SMR VALUES ('ProjectName','Lung'),('RateTable','RATES'),('PyTable','1'),('Alpha','0.05'),('varDTH','ICD'),
 ('varTod','5'),('totTote','5'),('totPy','3.65'),('totDthRate','1.2'),('Expected','4.1'),('Smr','1.22'),('Smr_l','0.4'),
 ('Smr_h','2.8'),('N','4'),('NInc','4'),('Lag','0'),('Level','95');
SQL
before="$(md5sum < old.vdx)"
out="$("$CLI" info old.vdx)"; rc=$?
expect_eq "$rc" 0 "info of a 1.0 file"
expect_contains "$out" "Version: 3.0" "converted version"
expect_contains "$out" "ProjectUpgraded: True" "converted flag"
expect_contains "$out" "RateTables: RATES" "counted rate tables only"
expect_contains "$out" "Projects: Lung" "projects"
expect_contains "$out" "blnPersonYears: True" "person-years flag"
expect_contains "$out" "AgeBounds: 20, 40, 60" "age bounds"
expect_contains "$out" "CalendarBounds: 1970, 1980, 1990" "calendar bounds"
grep -q "STALE" <<<"$out" && fail "an uncounted rate table is shown"
expect_eq "$(md5sum < old.vdx)" "$before" "info does not write the old file back"
expect_only "old.vdx study.vdx " "info of a 1.0 file"

# ---- failures: message on stderr, non-zero exit, nothing left behind -----------------------
echo "Name;DOB" > text.vdx
err="$("$CLI" info text.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "info of a text file"
expect_eq "$err" "text.vdx is not a VELDRIX file!" "not a VELDRIX file message"
: > empty.vdx
err="$("$CLI" info empty.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "info of an empty file"
expect_eq "$err" "empty.vdx is not a VELDRIX file!" "empty file message"
head -c 16384 old.vdx > cut.vdx
err="$("$CLI" info cut.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "info of a truncated file"
expect_eq "$err" "cut.vdx is not a VELDRIX file!" "truncated file message"
sqlite3 old.vdx "UPDATE VdxSystemMain SET Value = '2.5' WHERE Typ = 'Version'"
err="$("$CLI" info old.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "info of a wrong version"
expect_eq "$err" "This VELDRIX file has not the correct file version!" "message 1"
err="$("$CLI" info missing.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "info of a missing file"
expect_contains "$err" "Following error has occured:" "general error message"
expect_contains "$err" "Number: 53" "file not found number"
err="$("$CLI" new no/such/folder/x.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "new in a missing folder"
expect_contains "$err" "Number: 75" "missing folder number"
expect_only "cut.vdx empty.vdx old.vdx study.vdx text.vdx " "failures"

# ---- a project another instance holds -------------------------------------------------
echo "someone's unsaved work" > "study.vd~"
# The holder becomes the sleeping process itself, so killing it lets go of the lock.
( exec 9>"study.vd~.lock"; flock 9; exec sleep 30 ) >/dev/null 2>&1 &
holder=$!
for _ in $(seq 50); do
    flock -n "study.vd~.lock" true 2>/dev/null || break
    sleep 0.1
done
err="$("$CLI" info study.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "info of a locked project"
expect_contains "$err" "is in use by another running VELDRIX" "lock message"
err="$("$CLI" new --force study.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "new onto a locked project"
expect_eq "$(cat "study.vd~")" "someone's unsaved work" "the holder's working copy is untouched"
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
rm -f "study.vd~" "study.vd~.lock"

# ---- names, links and permissions of the project file -------------------------------
cp study.vdx "example.vd~"
before="$(md5sum < "example.vd~")"
err="$("$CLI" info "example.vd~" 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "info of a name ending in ~"
expect_eq "$err" "example.vd~ cannot be opened: its working copy would be the file itself. Rename it to end in .vdx." \
    "message for a name ending in ~"
expect_eq "$(md5sum < "example.vd~")" "$before" "a name ending in ~ is left as it was"
"$CLI" new "fresh.vd~" >/dev/null 2>&1; expect_eq "$?" 1 "new with a name ending in ~"
expect_only "cut.vdx empty.vdx example.vd~ old.vdx study.vdx text.vdx " "names ending in ~"
rm -f "example.vd~"

printf 'A;B\n1;2\n' > rates.txt
mkdir real
cp study.vdx real/linked.vdx
ln -s real/linked.vdx link.vdx
"$CLI" import link.vdx --rate rates.txt --headers >/dev/null; rc=$?
expect_eq "$rc" 0 "import through a symbolic link"
[ -L link.vdx ] || fail "the link was replaced by a file"
expect_eq "$(sqlite3 real/linked.vdx "SELECT RateTables FROM VdxSystemRateTables")" "rates" "the linked study gained the table"

cp study.vdx readonly.vdx
chmod 444 readonly.vdx
before="$(md5sum < readonly.vdx)"
err="$("$CLI" info readonly.vdx 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 0 "info of a read-only file"
expect_contains "$err" "readonly.vdx is read-only" "info says the file is read-only"
err="$("$CLI" import readonly.vdx --rate rates.txt --headers 2>&1 >/dev/null)"; rc=$?
expect_eq "$rc" 1 "import into a read-only file"
expect_contains "$err" "Number: 75" "read-only error number"
expect_contains "$err" "readonly.vdx is read-only" "read-only message names the file"
expect_contains "$err" "this command changed nothing" "the command says nothing was changed"
expect_eq "$(md5sum < readonly.vdx)" "$before" "the read-only file is unchanged"
expect_eq "$(stat -c %a readonly.vdx)" "444" "the read-only file keeps its mode"
rm -rf real link.vdx readonly.vdx rates.txt

# ---- convert -------------------------------------------------------------------------
mkdir conv && cd conv || exit 1
cp ../study.vdx in.vdx
before="$(md5sum < in.vdx)"
"$CLI" convert in.vdx jet.vdx --format jet; expect_eq "$?" 0 "convert to jet"
expect_eq "$(head -c 19 jet.vdx | tail -c 15)" "Standard Jet DB" "convert --format jet writes a Jet database"
"$CLI" convert jet.vdx back.vdx; expect_eq "$?" 0 "convert from jet"
expect_eq "$(sqlite3 back.vdx "SELECT Value FROM VdxSystemMain WHERE Typ = 'Version'")" "3.0" "converted back, sqlite3 reads it"
expect_eq "$(md5sum < in.vdx)" "$before" "the input of convert is unchanged"
before="$(md5sum < jet.vdx)"
err="$("$CLI" convert jet.vdx ./jet.vdx 2>&1)"; expect_eq "$?" 1 "convert onto the input"
expect_contains "$err" "the converted study needs a file of its own" "convert onto the input says why"
expect_eq "$(md5sum < jet.vdx)" "$before" "convert onto the input leaves it"
"$CLI" convert in.vdx x.vdx --format mdb >/dev/null 2>&1; expect_eq "$?" 2 "convert with an unknown format"
expect_only "back.vdx in.vdx jet.vdx " "convert"
cd .. && rm -rf conv

# ---- usage -------------------------------------------------------------------------
"$CLI" >/dev/null 2>&1; expect_eq "$?" 2 "no command"
"$CLI" frobnicate >/dev/null 2>&1; expect_eq "$?" 2 "unknown command"
"$CLI" info >/dev/null 2>&1; expect_eq "$?" 2 "info without a file"
"$CLI" new a.vdx b.vdx >/dev/null 2>&1; expect_eq "$?" 2 "new with two files"
out="$("$CLI" --help)"; rc=$?
expect_eq "$rc" 0 "help"
expect_contains "$out" "info STUDY.vdx" "help lists info"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all veldrix-cli checks passed"
