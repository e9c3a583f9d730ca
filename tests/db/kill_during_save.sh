#!/usr/bin/env bash
# kill -9 of veldrix-cli during commands that save (a rate table imported,
# person-years computed) on a study of 10^5 persons. Every third round the
# command stops itself as soon as its save has begun (VELDRIX_TEST_STOP_IN_SAVE)
# and is killed there: each such round must leave an unfinished save and the
# old study. The other rounds kill at a moment drawn from a seeded sequence,
# anywhere in the command. Every round must leave the study as it was or as
# the command made it, sound in the sqlite3 shell's integrity check and
# readable by veldrix-cli info, and that next open must leave nothing of the
# killed run behind (working copy, lock file, unfinished save).
# Usage: kill_during_save.sh <veldrix-cli> <examples folder> [rounds] [seed]
set -u
CLI="$(realpath "$1")"
EXAMPLES="$(realpath "$2")"
ROUNDS="${3:-20}"
SEED_SHOWN="${4:-2021}"
RANDOM="$SEED_SHOWN"  # the seed of the kill moments
command -v sqlite3 > /dev/null || { echo "SKIP: the sqlite3 shell is not installed"; exit 77; }
WORK="$(mktemp -d /tmp/vdx_kill_test.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
mkdir input study

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# 10^5 persons: the example cohort over and over, with new numbers.
awk 'NR == 1 { print; next } { row[++n] = substr($0, index($0, ";")) }
    END { for (i = 1; i <= 100000; i++) print i row[(i - 1) % n + 1] }' "$EXAMPLES/cohort.txt" > input/cohort.txt
cp "$EXAMPLES/rates.txt" input/rates.txt
types=()
for c in ID=Long SEX=Integer DOB=Date:DDMMYYYY DOH=Date:DDMMYYYY DOE=Date:DDMMYYYY DOX=Date:DDMMYYYY ICD=Integer; do
    types+=(--type "$c")
done
"$CLI" new study/study.vdx || exit 1
"$CLI" import study/study.vdx --main input/cohort.txt --headers "${types[@]}" > /dev/null || exit 1

command_for_round() {
    if (( $1 % 2 )); then
        echo import study/study.vdx --rate input/rates.txt --headers --name "Rates$1"
    else
        echo pyears study/study.vdx --dob DOB --entry DOE --exit DOX --age 15:85:5 --calendar 1950:2015:5
    fi
}

# How long a round's command runs when it is left alone, on a copy.
cp study/study.vdx study/timing.vdx
start=$(now_ms)
"$CLI" import study/timing.vdx --rate input/rates.txt --headers --name Timing > /dev/null || exit 1
"$CLI" pyears study/timing.vdx --dob DOB --entry DOE --exit DOX --age 15:85:5 --calendar 1950:2015:5 > /dev/null || exit 1
span=$(( ($(now_ms) - start) / 2 + 20 ))
rm -f study/timing.vdx

kept=0 done_=0 leftovers=0 rates=0 placed=0 inside=0
for round in $(seq 1 "$ROUNDS"); do
    before="$(md5sum < study/study.vdx)"
    read -r -a cmd <<< "$(command_for_round "$round")"
    if (( round % 3 == 0 )); then
        # Stopped by the save itself, then killed: the kill lands inside the save.
        placed=$((placed + 1))
        VELDRIX_TEST_STOP_IN_SAVE=1 "$CLI" "${cmd[@]}" > /dev/null 2>&1 &
        pid=$!
        stopped=0
        for _ in $(seq 1 1200); do
            state="$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)" || break
            [ "$state" == T ] && { stopped=1; break; }
            [ -z "$state" ] && break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        if (( ! stopped )); then
            fail "round $round: the command ended or hung without reaching its save"
        elif ls -A study | grep -q 'unfinished-save' && [ "$(md5sum < study/study.vdx)" == "$before" ]; then
            inside=$((inside + 1))
        else
            fail "round $round: killed inside the save, yet no unfinished save was left or the study changed"
        fi
    else
        "$CLI" "${cmd[@]}" > /dev/null 2>&1 &
        pid=$!
        delay=$(( RANDOM % span ))
        sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi

    ls -A study | grep -q 'unfinished-save' && leftovers=$((leftovers + 1))
    changed=0
    if [ "$(md5sum < study/study.vdx)" == "$before" ]; then
        kept=$((kept + 1))
    else
        changed=1 done_=$((done_ + 1))
        [ "$(sqlite3 study/study.vdx 'PRAGMA integrity_check')" == "ok" ] || fail "round $round: damaged study"
    fi
    # The next open finds the study readable and cleans up after the killed run.
    info="$("$CLI" info study/study.vdx)" || fail "round $round: info fails"
    listing="$(ls -A study | tr '\n' ' ')"
    [ "$listing" == "study.vdx " ] || fail "round $round: left after the next open: $listing"
    setting() { sed -n "s/^$1: //p" <<<"$info"; }
    if (( changed && round % 2 )); then
        [ "$(setting intRateTablesAnzahl)" == $((rates + 1)) ] || fail "round $round: neither old nor new rate tables"
    elif (( changed )); then
        [ "$(setting blnPersonYears)" == "True" ] || fail "round $round: person-years not stored"
    fi
    rates="$(setting intRateTablesAnzahl)"
done

echo "$ROUNDS rounds (seed $SEED_SHOWN, kill within ${span} ms): $kept left the old study, $done_ the new one;" \
     "$leftovers left an unfinished save that the next open removed;" \
     "$inside of $placed killed inside the save by its own signal"
(( placed > 0 )) || fail "no round was killed inside the save"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
