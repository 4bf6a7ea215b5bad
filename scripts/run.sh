#!/usr/bin/env bash
# Builds and runs the demo: the agent in a simulated desktop session with a
# simulated call application and phone, playing a scenario and printing a
# timeline. Installs the native toolchain first when it is missing
# (scripts/setup.sh). Arguments go to agent_demo:
#   scripts/run.sh                    the built-in session
#   scripts/run.sh FILE               plays a scenario file (demo/scenarios/ has examples)
#   scripts/run.sh -                  reads the scenario from standard input
#   scripts/run.sh --help             the events a scenario may hold
#   scripts/run.sh --windows [...]    the same with the real executable under Wine
set -euo pipefail
if [[ "${1:-}" == "--windows" ]]; then
    shift
    exec "$(dirname "$0")/run-windows.sh" "$@"
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build/sim"

# Relative scenario paths are the caller's: resolve them before leaving its directory.
args=()
for arg in "$@"; do
    if [[ "$arg" != -* && -e "$arg" ]]; then
        args+=("$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg")")
    else
        args+=("$arg")
    fi
done

"$repo/scripts/setup.sh" native

cd "$repo"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake --preset sim >/dev/null
fi
# Build output goes to stderr so that standard output is the timeline alone.
cmake --build "$build" --target agent_demo -j "$(nproc 2>/dev/null || echo 2)" >&2
exec "$build/demo/agent_demo" "${args[@]+"${args[@]}"}"
