#!/usr/bin/env bash
# The SMR flow in the real program on a virtual X display, driven from the
# keyboard as a user would: open the example study, Compute > SMR from the
# menu, fill frmSMRComp by its mnemonics, open the project's "SMR" node, and
# keep screenshots of the report, of the calculator started from it and of
# the Options dialog; File > Save, and the saved project is
# read back with veldrix-cli:
#   smr_under_xvfb.sh <veldrix> <veldrix-cli> <example.vdx> <out dir>
set -euo pipefail
program=$1
cli=$2
example=$3
out=$4

rm -rf "$out"
mkdir -p "$out/config" "$out/data" "$out/runtime"
chmod 700 "$out/runtime"
export XDG_CONFIG_HOME="$out/config" XDG_DATA_HOME="$out/data" XDG_RUNTIME_DIR="$out/runtime"
unset QT_QPA_PLATFORM
# A missing tool is a skip (exit 77, which CTest reports as such), never a pass.
for tool in xvfb-run xdotool import; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed: the program cannot be driven"; exit 77; }
done

project="$out/study.vdx"
cp "$example" "$project"
# A window large enough for the report's lines.
mkdir -p "$out/config/VELDRIX"
printf '[Settings]\nMainLeft=0\nMainTop=0\nMainWidth=14000\nMainHeight=10000\nxLeft=230\n' > "$out/config/VELDRIX/VELDRIX.ini"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  program=$1 project=$2 out=$3
  wait_window() {  # a window of this name appears
    for _ in $(seq 1 150); do
      id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1 || true)
      if [ -n "$id" ]; then echo "$id"; return 0; fi
      sleep 0.1
    done
    return 1
  }
  "$program" "$project" &
  pid=$!
  main=$(wait_window "VELDRIX 1.41 - $project") || { echo "no main window" > "$out/error"; kill $pid; exit 0; }
  sleep 1
  xdotool windowfocus --sync "$main"
  xdotool key alt+c
  sleep 0.3
  xdotool key s
  dialog=$(wait_window "SMR Computation") || { echo "no SMR dialog" > "$out/error"; kill $pid; exit 0; }
  xdotool windowfocus --sync "$dialog"
  xdotool key alt+v; xdotool type --delay 50 ICD
  xdotool key alt+a; xdotool type 162
  xdotool key alt+p; xdotool type A
  xdotool key alt+r; xdotool type R
  sleep 0.3
  import -window root "$out/dialog.png"
  xdotool key alt+c
  for _ in $(seq 1 100); do
    xdotool search --name "^SMR Computation\$" > /dev/null 2>&1 || break
    sleep 0.1
  done
  sleep 1
  # The project is the last branch before "Plots" (with its two plots), the
  # last of the tree: "SMR" stands five above the last node.
  xdotool windowfocus --sync "$main"
  xdotool key Tab End Up Up Up Up Up
  sleep 1.5
  import -window root "$out/smr_report.png"
  # Tools > SMR Calculator starts from the report on view; Calculate.
  xdotool key alt+o; sleep 0.3; xdotool key c
  calculator=$(wait_window "SMR Calculator") || { echo "no calculator" > "$out/error"; kill $pid; exit 0; }
  xdotool windowfocus --sync "$calculator"
  xdotool key alt+a
  sleep 0.5
  import -window root "$out/calculator.png"
  xdotool key Escape
  sleep 0.5
  xdotool windowfocus --sync "$main"
  xdotool key alt+o; sleep 0.3; xdotool key o
  options=$(wait_window "Options") || { echo "no Options dialog" > "$out/error"; kill $pid; exit 0; }
  sleep 0.3
  import -window root "$out/options.png"
  xdotool key Escape
  sleep 0.5
  xdotool windowfocus --sync "$main"
  xdotool key alt+f; sleep 0.3; xdotool key s
  sleep 1
  xdotool key alt+f; sleep 0.3; xdotool key e
  for _ in $(seq 1 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill $pid 2>/dev/null || true
  wait $pid || true
' _ "$program" "$project" "$out"

fail() { echo "FAIL: $*" >&2; exit 1; }
[ -e "$out/error" ] && fail "$(cat "$out/error")"
[ -s "$out/smr_report.png" ] || fail "no screenshot"
report=$("$cli" report "$project" Project1) || fail "no Project1 in the saved project file"
grep -qF "Project   : Project1" <<<"$report" || fail "the report does not name Project1"
grep -qF "Death Values  : 162" <<<"$report" || fail "the report does not hold the death value typed"
# The figures of the example for ICD 162 over Age*Calendar: O and E as
# stratum_check.R computes them from cohort.txt and rates.txt ("181 observed,
# 174.9769166021 expected"), SMR = 100 O / E, and Byar's 95 % bounds from
# those in R: O (1 - 1/(9 O) - z/(3 sqrt O))^3 / E and (O + 1)(1 - 1/(9 (O + 1))
# + z/(3 sqrt(O + 1)))^3 / E, z = qnorm(0.975), times 100.
grep -qx "Observed Cases: 181" <<<"$report" || fail "observed cases: $(grep Observed <<<"$report")"
grep -qx "Expected Cases: 174.97691660" <<<"$report" || fail "expected cases: $(grep Expected <<<"$report")"
figures="$(sed -n '/^--*$/{n;p}' <<<"$report" | tr -s ' ')"
[ "$figures" == "103.44221599 88.92006599 119.65940057 Byar" ] || fail "SMR and bounds: [$figures]"
echo "screenshot: $out/smr_report.png"
