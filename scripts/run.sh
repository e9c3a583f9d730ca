#!/usr/bin/env bash
# Installs what is missing, builds VELDRIX into build/ and starts it. When
# examples/ holds a project file, the program opens a copy of it (in
# build/examples/, made once), so the example in the repository stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target veldrix_program veldrix

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No graphical display found: start this from a desktop session (or under xvfb-run)." >&2
  exit 1
fi

example=""
for f in examples/*.vdx; do
  [ -e "$f" ] || continue
  mkdir -p build/examples
  example="build/examples/$(basename "$f")"
  [ -e "$example" ] || cp "$f" "$example"
  break
done

if [ -n "$example" ]; then
  exec build/bin/veldrix "$PWD/$example"
else
  exec build/bin/veldrix
fi
