#!/usr/bin/env bash
# Starts the real program on a virtual X display with a sample project file
# as its command line, checks that the main window shows that project, and
# keeps a screenshot: program_under_xvfb.sh <veldrix> <make_sample_project> <out dir>
set -euo pipefail
program=$1
maker=$2
out=$3

rm -rf "$out"
mkdir -p "$out/config" "$out/data" "$out/runtime"
chmod 700 "$out/runtime"
export XDG_CONFIG_HOME="$out/config" XDG_DATA_HOME="$out/data" XDG_RUNTIME_DIR="$out/runtime"
unset QT_QPA_PLATFORM

project="$out/study.vdx"
"$maker" "$project"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  program=$1 project=$2 out=$3
  "$program" "$project" &
  pid=$!
  for _ in $(seq 1 100); do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"VELDRIX 1.41 - $project\""; then break; fi
    sleep 0.1
  done
  sleep 0.5
  xwininfo -root -tree > "$out/windows.txt"
  import -window root "$out/screenshot.png"
  if [ -e "${project%?}~" ]; then echo yes > "$out/working_copy_seen"; fi
  kill "$pid"
  wait "$pid" || true
' _ "$program" "$project" "$out"

fail() { echo "FAIL: $*" >&2; exit 1; }
grep -qF "\"VELDRIX 1.41 - $project\"" "$out/windows.txt" || fail "no window with the project's caption"
[ -s "$out/screenshot.png" ] || fail "no screenshot"
[ -e "$out/working_copy_seen" ] || fail "the program did not make the working copy"
[ -s "$out/data/applications/veldrix.desktop" ] || fail "no desktop entry written"
echo "screenshot: $out/screenshot.png"
