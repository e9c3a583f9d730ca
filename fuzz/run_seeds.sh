#!/usr/bin/env bash
# The fuzz harnesses under CTest, so that they cannot rot unseen:
#   run_seeds.sh build SOURCE_DIR FUZZ_BUILD_DIR
#       configures and builds fuzz/ with clang (through ccache when present);
#   run_seeds.sh run FUZZ_BUILD_DIR HARNESS SEED_DIR [SECONDS]
#       runs one harness on its committed seed corpus, then mutates it for
#       SECONDS (5); a crash, a sanitizer report or a hang fails the test.
# Exit 77 (a skip CTest reports) when clang or libFuzzer is not installed.
set -u

# clang++ of the clang package, or Debian's clang++-14 alone.
CXX=$(command -v clang++ || command -v clang++-14 || true)
CC=$(command -v clang || command -v clang-14 || true)

have_fuzzer() {
    [ -n "$CXX" ] && [ -n "$CC" ] &&
        [ -n "$(find /usr/lib/llvm-*/lib/clang -name 'libclang_rt.fuzzer-x86_64.a' 2>/dev/null | head -1)" ]
}

case "${1:-}" in
build)
    src=$2 build=$3
    if ! have_fuzzer; then
        echo "SKIP: clang++ or libFuzzer (libclang-rt-14-dev) is not installed"
        exit 77
    fi
    launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$src/fuzz" -B "$build" -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX" "${launcher[@]}" >/dev/null ||
        exit 1
    cmake --build "$build" -j2 >"$build/build.log" 2>&1
    rc=$?
    grep -E "error|warning: .*\[-W" "$build/build.log" | head -50
    exit $rc
    ;;
run)
    build=$2 harness=$3 seeds=$4 seconds=${5:-5}
    binary=$build/fuzz_$harness
    if [ ! -x "$binary" ]; then
        have_fuzzer || { echo "SKIP: the harnesses were not built (no clang)"; exit 77; }
        echo "FAIL: $binary was not built"
        exit 1
    fi
    [ -n "$(ls -A "$seeds" 2>/dev/null)" ] || { echo "FAIL: no seeds in $seeds"; exit 1; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/corpus"
    # New inputs go to the scratch corpus; the committed seeds stay as they are.
    "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" "$seeds" >"$work/log" 2>&1
    rc=$?
    grep -E "^stat::number_of_executed_units|^stat::peak_rss" "$work/log"
    if [ $rc -ne 0 ]; then
        tail -60 "$work/log"
        for f in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
            [ -e "$f" ] && echo "kept input: $(basename "$f") ($(stat -c %s "$f") bytes)"
        done
        exit 1
    fi
    ;;
*)
    echo "usage: $0 build SOURCE_DIR FUZZ_BUILD_DIR | run FUZZ_BUILD_DIR HARNESS SEED_DIR [SECONDS]" >&2
    exit 2
    ;;
esac
