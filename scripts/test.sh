#!/usr/bin/env bash
# Builds and runs every test.
#   - natively, against the simulated desktop (preset "sim");
#   - the Windows executable and its tests, cross-built with MinGW-w64 and run
#     under Wine, when those are installed (skipped with a note otherwise);
#   - with --sanitizers, or when CI=true: the native suite again under
#     AddressSanitizer/UBSan and ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitizers=false
[[ "${CI:-}" == "true" ]] && sanitizers=true
for arg in "$@"; do
    case "$arg" in
        --sanitizers) sanitizers=true ;;
        -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
        *) echo "unknown option: $arg" >&2; exit 2 ;;
    esac
done

jobs=$(nproc 2>/dev/null || echo 2)
skipped=()

run_preset() {
    local preset=$1
    echo "==> $preset: configure, build, test"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
}

run_preset sim

if command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
    echo "==> windows: configure, build"
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j "$jobs"
    if [[ -x /usr/lib/wine/wine64 ]]; then
        echo "==> windows: tests under Wine"
        status=0
        ctest --preset windows || status=$?
        scripts/wine-session.sh stop || true
        ((status == 0)) || exit "$status"
    else
        skipped+=("Windows tests under Wine (wine64 is not installed)")
    fi
else
    skipped+=("Windows build and its tests (g++-mingw-w64-x86-64-posix is not installed)")
fi

if $sanitizers; then
    run_preset asan
    run_preset tsan
fi

if ((${#skipped[@]})); then
    echo
    for what in "${skipped[@]}"; do echo "SKIPPED: $what"; done
    echo "(.ci/run installs everything; see README.md)"
fi
