#!/usr/bin/env bash
# veldrix --help and --version print and exit without a display; an option
# the program does not know is refused. None of them opens or leaves a file.
# Usage: program_options.sh <veldrix>
set -u
program="$(realpath "$1")"
work="$(mktemp -d /tmp/vdx_options.XXXXXX)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

out="$("$program" --help)"; rc=$?
[ "$rc" == 0 ] || fail "--help exits $rc"
grep -qF "usage: veldrix [--help | --version] [--] [PROJECT.vdx]" <<<"$out" || fail "--help prints [$out]"
out="$("$program" --version)"; rc=$?
[ "$rc" == 0 ] || fail "--version exits $rc"
[ "$out" == "VELDRIX 1.41 (file format 3.0)" ] || fail "--version prints [$out]"
# Refusing needs Qt to have taken its own options off first, so a display.
err="$(QT_QPA_PLATFORM=offscreen "$program" --hel 2>&1 >/dev/null)"; rc=$?
[ "$rc" == 2 ] || fail "an unknown option exits $rc"
grep -qF "unknown option '--hel'" <<<"$err" || fail "an unknown option says [$err]"
[ -z "$(ls -A)" ] || fail "files left: $(ls -A | tr '\n' ' ')"

[ "$failures" -eq 0 ] || exit 1
echo "veldrix options checked"
