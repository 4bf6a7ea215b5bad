#!/usr/bin/env bash
# Plays a scenario with the real Windows executable under Wine and prints the
# same timeline as the demo in the simulated desktop (scripts/run.sh hands
# --windows over to here):
#   scripts/run.sh --windows                the built-in session
#   scripts/run.sh --windows FILE           plays a scenario file (demo/scenarios/ has examples)
#   scripts/run.sh --windows -              reads the scenario from standard input
#   scripts/run.sh --windows --timings FILE also prints press-to-command latencies (stderr)
#   scripts/run.sh --windows --help         what the player does and the events
# Installs what is missing first (scripts/setup.sh: the native build tools and
# the Windows group), builds what it needs with the windows preset, prepares the Wine prefix and the
# virtual phone's driver as the tests do, then runs the scenario player, which
# starts QuillonSkypePlugIn.exe as a process of its own. The Wine session it
# starts ends by itself when idle, or at once with scripts/wine-session.sh stop.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build/windows"

# Relative scenario paths are the caller's: resolve them before leaving its directory.
args=()
for arg in "$@"; do
    if [[ "$arg" != -* && -e "$arg" ]]; then
        args+=("$(cd "$(dirname "$arg")" && pwd)/$(basename "$arg")")
    else
        args+=("$arg")
    fi
done

# CMake, make, MinGW-w64, GoogleTest's sources and Wine.
"$repo/scripts/setup.sh" native windows

cd "$repo"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake --preset windows >/dev/null
fi
# Everything but the timeline goes to stderr.
cmake --build "$build" --target scenario_player vphone -j "$(nproc 2>/dev/null || echo 2)" >&2

# The driver loaded and no phone plugged in, as the tests' warm-up leaves the
# prefix (a fresh prefix is made on first use; its first driver load is slow).
vphone="$build/tests/wine/virtual_phone/vphone.exe"
scripts/wine-run.sh "$vphone" remove >/dev/null 2>&1 || true
for step in install 'wait-present 20000' remove 'wait-absent 20000'; do
    # shellcheck disable=SC2086 # a step and its argument
    scripts/wine-run.sh "$vphone" $step >&2
done

AGENT_WINE_LIVE=1 exec scripts/wine-run.sh "$build/tests/wine/scenario_player/scenario_player.exe" \
    "${args[@]+"${args[@]}"}"
