#!/usr/bin/env bash
# Measures the agent and prints one table (docs/performance.md explains it):
# the agent's own code and the running agent in the simulated desktop (preset
# "bench": Release, -O2), and the real Windows executable under Wine (preset
# "windows"). Installs what is missing first (scripts/setup.sh).
#
#   scripts/bench.sh [--no-wine] [--quick]
#
#   --no-wine   leave out the Windows build, Wine and their packages
#   --quick     run everything once briefly, so that nothing rots (CI); the
#               figures then mean nothing
#
# Takes about 5 minutes on 2 cores once built. Build output goes to standard
# error, the table to standard output; each program's own results and the
# table are kept in build/bench/results/. Measure on a quiet machine: the
# table shows the load average.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

wine=true
args=()
for arg in "$@"; do
    case "$arg" in
        --no-wine) wine=false; args+=("$arg") ;;
        --quick) args+=("$arg") ;;
        -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
        *) echo "bench: unknown option: $arg" >&2; exit 2 ;;
    esac
done

groups=(native bench)
$wine && groups+=(windows)
scripts/setup.sh "${groups[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
{
    cmake --preset bench >/dev/null
    cmake --build --preset bench -j "$jobs"
    if $wine; then
        cmake --preset windows >/dev/null
        cmake --build --preset windows -j "$jobs" \
            --target QuillonSkypePlugIn agent_wine_bench vphone vphone_driver scenario_player floor_reader
    fi
} >&2

exec python3 scripts/bench.py ${args[@]+"${args[@]}"}
