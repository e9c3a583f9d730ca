#!/usr/bin/env bash
# veldrix-cli on a study on a read-only medium, as on a CD or a colleague's
# read-only share: a folder bound onto itself and remounted read-only in a
# mount namespace of its own (unshare -m), where root cannot write either.
# info, report, strata, show, projects and plot print what they print for a
# writable copy, info says the study is read-only, a command that would
# change it is refused with the read-only message, and neither the study's
# folder nor the temporary folder keeps anything.
# Usage: read_only_medium.sh <veldrix-cli> <examples folder>
set -u
CLI="$(realpath "$1")"
EXAMPLES="$(realpath "$2")"
# A mount namespace of our own: as root, or as a user in a user namespace.
if unshare -m true 2> /dev/null; then namespace=(unshare -m)
elif unshare -rm true 2> /dev/null; then namespace=(unshare -rm)
else echo "SKIP: no mount namespace can be made here"; exit 77
fi
WORK="$(mktemp -d /tmp/vdx_read_only.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
mkdir medium out tmp

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cp "$EXAMPLES/example.vdx" medium/study.vdx
"$CLI" smr medium/study.vdx --rate Rates --death ICD=162 > /dev/null 2>&1 || { echo "smr failed"; exit 1; }
cp medium/study.vdx writable.vdx
printf 'A;B\n1;2\n' > rates.txt
before="$(md5sum < medium/study.vdx)"

# Each command on the read-only study and on the writable copy: out/<n>.ro
# and out/<n>.rw with stdout, out/<n>.err with the read-only run's stderr.
commands=("info STUDY" "report STUDY Project1" "strata STUDY Project1" "show STUDY Rates"
          "show STUDY Age*Calendar" "projects STUDY" "plot STUDY forest --out OUT.svg")
run_all() {  # study, suffix
    local n=0 c
    for c in "${commands[@]}"; do
        n=$((n + 1))
        read -r -a args <<< "${c//STUDY/$1}"
        args=("${args[@]//OUT/out/$n.$2}")
        "$CLI" "${args[@]}" > "out/$n.$2" 2> "out/$n.err"
        echo "$?" > "out/$n.$2.rc"
    done
}
run_all writable.vdx rw
export TMPDIR="$WORK/tmp" WORK
export -f run_all
export CLI commands_text="$(printf '%s\n' "${commands[@]}")"
"${namespace[@]}" bash -c '
    mount --make-rprivate / && mount --bind medium medium && mount -o remount,bind,ro medium medium || exit 77
    touch medium/written 2> /dev/null && { echo "the medium can be written"; exit 1; }
    mapfile -t commands <<< "$commands_text"
    run_all medium/study.vdx ro
    "$CLI" import medium/study.vdx --rate rates.txt --headers --name Extra > /dev/null 2> out/import.err
    echo "$?" > out/import.rc
'
rc=$?
[ "$rc" == 77 ] && { echo "SKIP: no read-only mount can be made here"; exit 77; }
[ "$rc" == 0 ] || fail "the run in the mount namespace failed ($rc)"

n=0
for c in "${commands[@]}"; do
    n=$((n + 1))
    [ "$(cat "out/$n.ro.rc" 2>/dev/null)" == 0 ] || fail "$c on the read-only study: exit $(cat "out/$n.ro.rc"): $(cat "out/$n.err")"
    [ -s "out/$n.rw" ] || [ -s "out/$n.rw.svg" ] || fail "$c on the writable copy printed nothing"
    cmp -s "out/$n.ro" "out/$n.rw" || fail "$c prints other lines for the read-only study"
    [ -e "out/$n.rw.svg" ] && { cmp -s "out/$n.ro.svg" "out/$n.rw.svg" || fail "$c draws another plot"; }
done
grep -qF "medium/study.vdx is read-only" out/1.err || fail "info does not say the study is read-only: $(cat out/1.err)"
[ "$(cat out/import.rc)" == 1 ] || fail "import into the read-only study exits $(cat out/import.rc)"
grep -qF "medium/study.vdx is read-only; it was not overwritten" out/import.err ||
    fail "import into the read-only study says: $(cat out/import.err)"
[ "$(md5sum < medium/study.vdx)" == "$before" ] || fail "the study changed"
[ "$(ls -A medium)" == "study.vdx" ] || fail "left beside the study: $(ls -A medium | tr '\n' ' ')"
# (Qt keeps its runtime folder there too.)
[ -z "$(ls -A tmp | grep -v '^runtime-')" ] || fail "left in the temporary folder: $(ls -A tmp | tr '\n' ' ')"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "${#commands[@]} commands read the study on a read-only medium"
