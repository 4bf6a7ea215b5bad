#!/bin/sh
# Runs one Windows program under Wine with the project's pinned prefix; the
# Windows build names it as CMAKE_CROSSCOMPILING_EMULATOR, so CTest and test
# discovery go through here.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#
# The prefix ($AGENT_WINEPREFIX, else build/windows/wineprefix) is created on
# first use. Programs share one session (wine-session.sh: a wineserver and a
# keep-alive GUI program), so a test run pays Wine's start-up once; the session
# ends by itself when idle. The program's exit code is returned; its output
# appears when it ends, unless AGENT_WINE_LIVE=1 gives it the caller's standard
# input and output (for a person watching; the session's helpers run already).
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

AGENT_WINEPREFIX="$prefix" "$repo/scripts/wine-session.sh" ensure

if [ "${AGENT_WINE_LIVE:-}" = 1 ]; then
    exec "$wine_dir/wine64" "$@"
fi

# Wine's own helper processes (the desktop, services) may outlive the program
# and inherit its output: through files, not the caller's pipes, or CTest
# would wait for those processes to end.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
status=0
"$wine_dir/wine64" "$@" </dev/null >"$out" 2>"$err" || status=$?
cat "$out"
cat "$err" >&2
exit "$status"
