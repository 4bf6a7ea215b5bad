#!/bin/sh
# Prepares the Wine prefix that runs the Windows build's tests: 64-bit, silent,
# no Mono/Gecko prompts, null graphics driver so no X server is needed.
#
#   scripts/wine-prefix.sh [--fresh] [PREFIX]
#
# PREFIX defaults to $AGENT_WINEPREFIX, else build/windows/wineprefix in the
# repository. An existing, complete prefix is left alone unless --fresh is
# given. Safe to run concurrently: creation is serialised by a lock file.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
fresh=0
if [ "${1:-}" = "--fresh" ]; then
    fresh=1
    shift
fi
prefix=${1:-${AGENT_WINEPREFIX:-$repo/build/windows/wineprefix}}
wine_dir=${AGENT_WINE_DIR:-/usr/lib/wine}

if [ ! -x "$wine_dir/wine64" ] || [ ! -x "$wine_dir/wineserver" ]; then
    echo "wine-prefix: wine64/wineserver not found in $wine_dir (Debian package wine64)" >&2
    exit 1
fi

# Written last: a prefix without it was interrupted half-way and is rebuilt.
ready="$prefix/.agent-prefix-ready"

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9

if [ "$fresh" -eq 1 ] && [ -d "$prefix" ]; then
    "$wine_dir/wineserver" -k 2>/dev/null 9>&- || true
    "$wine_dir/wineserver" -w 2>/dev/null 9>&- || true
    rm -rf "$prefix"
fi
[ -f "$ready" ] && exit 0
rm -rf "$prefix"

log="$prefix.log"
start=$(date +%s)
# The lock's descriptor stays out of Wine's processes: a lingering wineserver
# holding it would block the next caller.
if ! {
    "$wine_dir/wine64" wineboot --init &&
        "$wine_dir/wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
        "$wine_dir/wineserver" -w
} >"$log" 2>&1 9>&-; then
    echo "wine-prefix: creating $prefix failed; see $log" >&2
    exit 1
fi
touch "$ready"
echo "wine-prefix: created $prefix in $(($(date +%s) - start)) s" >&2
