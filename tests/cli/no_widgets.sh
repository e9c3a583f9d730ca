#!/usr/bin/env bash
# veldrix-cli stays free of widgets: the libraries it loads hold no widget
# library, and no source of app/cli is compiled with app/shell as an include
# folder (a library that handed it on would let widget headers leak in).
# Usage: no_widgets.sh <veldrix-cli> <compile_commands.json> <app/shell folder>
set -u
cli=$1 commands=$2 shell=$3
for tool in ldd python3; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
failures=0
libraries="$(ldd "$cli")" || { echo "FAIL: ldd cannot read $cli"; exit 1; }
if grep -i widgets <<<"$libraries"; then
    echo "FAIL: veldrix-cli loads the widget libraries above"
    failures=$((failures + 1))
fi
python3 - "$commands" "$shell" <<'PY' || failures=$((failures + 1))
import json, os, shlex, sys
commands, shell = sys.argv[1], os.path.realpath(sys.argv[2])
cli = os.path.join(os.path.dirname(shell), "cli") + os.sep
found = 0
for entry in json.load(open(commands)):
    if not os.path.realpath(entry["file"]).startswith(cli):
        continue
    found += 1
    words = shlex.split(entry.get("command") or " ".join(entry["arguments"]))
    folders = [w[2:] for w in words if w.startswith("-I")]
    folders += [words[i + 1] for i, w in enumerate(words[:-1]) if w in ("-I", "-isystem")]
    if any(os.path.realpath(f) == shell for f in folders):
        sys.exit("FAIL: %s is compiled with %s as an include folder" % (entry["file"], shell))
if found == 0:
    sys.exit("FAIL: no source of app/cli in " + commands)
PY
exit $((failures > 0))
