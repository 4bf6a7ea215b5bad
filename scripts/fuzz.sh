#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# every fuzz target for a bounded time on its corpus:
#   scripts/fuzz.sh [seconds-per-target]      default 60
# The corpora in tests/fuzz/corpus/ are only read; inputs found on the way go
# to build/fuzz/scratch/<target>/ (FUZZ_SCRATCH overrides), and so does the
# input of any crash. Exits non-zero when a target crashes or breaks an invariant.
# Installs what is missing first (scripts/setup.sh: CMake, clang, libFuzzer).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2
    exit 2
fi
scripts/setup.sh native test

targets=(intake reports descriptors paths calls)
scratch=${FUZZ_SCRATCH:-$repo/build/fuzz/scratch}
bin="$repo/build/fuzz/tests/fuzz"

echo "==> fuzz: configure, build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)"

# A failed check or sanitizer report ends the run at once, with a stack.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

passed=0
failed=0
for target in "${targets[@]}"; do
    work="$scratch/$target"
    mkdir -p "$work/new"
    dict=()
    [[ -f tests/fuzz/$target.dict ]] && dict=(-dict="tests/fuzz/$target.dict")
    echo "==> $target: ${seconds} s"
    start=$(date +%s)
    status=0
    # New inputs go to the first directory; the repository corpus is only read.
    "$bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$work/" "${dict[@]}" "$work/new" "tests/fuzz/corpus/$target" \
        >"$work/log" 2>&1 || status=$?
    elapsed=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -n 1)
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$work/log" | tail -n 1)
    if ((status == 0)); then
        passed=$((passed + 1))
        echo "    $target: ${runs:-?} executions in ${elapsed} s (${rate:-?}/s, peak ${rss:-?} MB)"
    else
        failed=$((failed + 1))
        echo "    $target: FAILED (exit $status) after ${elapsed} s; log: $work/log"
        grep -E "invariant broken|ERROR:|runtime error|SUMMARY" "$work/log" | head -n 5 | sed 's/^/    /'
        for artifact in "$work"/crash-* "$work"/timeout-* "$work"/oom-* "$work"/leak-*; do
            [[ -e "$artifact" ]] || continue
            echo "    input: $artifact"
            echo "    replay: $bin/fuzz_$target $artifact"
        done
    fi
done

echo "fuzz: $passed passed, $failed failed"
((failed == 0))
