#!/bin/sh
# Runs one Windows program under Wine with the project's pinned prefix; the
# Windows build names it as CMAKE_CROSSCOMPILING_EMULATOR, so CTest and test
# discovery go through here.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#
# The prefix ($AGENT_WINEPREFIX, else build/windows/wineprefix) is created on
# first use. A wineserver is started that outlives each program by
# $AGENT_WINE_LINGER seconds (default 10), so a test run pays its start-up once
# and nothing is left running afterwards. The program's exit code is returned.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
wine_dir=${AGENT_WINE_DIR:-/usr/lib/wine}
prefix=${AGENT_WINEPREFIX:-$repo/build/windows/wineprefix}

if [ "$#" -eq 0 ]; then
    echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
    exit 2
fi

# Never fall back to ~/.wine, whatever the caller's environment says.
export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG=${AGENT_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$prefix/.agent-prefix-ready" ]; then
    "$repo/scripts/wine-prefix.sh" "$prefix"
fi

# Exits at once (status 2) when this prefix already has a server.
"$wine_dir/wineserver" -p"${AGENT_WINE_LINGER:-10}" 2>/dev/null || true

exec "$wine_dir/wine64" "$@"
