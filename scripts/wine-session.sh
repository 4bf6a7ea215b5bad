#!/bin/sh
# One Wine session per test run: a wineserver and a hidden keep-alive GUI
# program, so each test program neither starts a wineserver (about 0.8 s) nor
# waits for Wine's desktop process to come back (up to 1.2 s).
#
#   scripts/wine-session.sh ensure   start the session if none runs; note activity
#   scripts/wine-session.sh stop     end the session and every program of the prefix
#
# wine-run.sh calls "ensure" before every program, so a plain `ctest` gets a
# session too. An idle session ends by itself: the keep-alive quits after
# $AGENT_WINE_LINGER seconds (default 10) without a new program, and the
# wineserver as many seconds after its last client. The session's processes
# run detached, with no inherited output: CTest would otherwise wait for them
# to close the test's output pipe.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
wine_dir=${AGENT_WINE_DIR:-/usr/lib/wine}
prefix=${AGENT_WINEPREFIX:-$repo/build/windows/wineprefix}
linger=${AGENT_WINE_LINGER:-10}

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

stamp="$prefix.session-active"
pid_file="$prefix.session-pid"

# Runs detached: keeps a GUI program alive until the session goes idle.
keep_alive() {
    "$wine_dir/wine64" notepad.exe &
    keeper=$!
    trap 'kill "$keeper" 2>/dev/null; exit 0' TERM INT
    while kill -0 "$keeper" 2>/dev/null; do
        sleep 1
        idle=$(($(date +%s) - $(stat -c %Y "$stamp" 2>/dev/null || echo 0)))
        if [ "$idle" -ge "$linger" ]; then
            break
        fi
    done
    kill "$keeper" 2>/dev/null || true
    wait "$keeper" 2>/dev/null || true
}

session_running() {
    [ -f "$pid_file" ] && kill -0 "$(cat "$pid_file")" 2>/dev/null
}

case "${1:-}" in
    ensure)
        if [ ! -f "$prefix/.agent-prefix-ready" ]; then
            "$repo/scripts/wine-prefix.sh" "$prefix"
        fi
        touch "$stamp"
        exec 9>"$prefix.session-lock"
        flock 9
        if ! session_running; then
            # Exits at once (status 2) when this prefix already has a server.
            "$wine_dir/wineserver" -p"$linger" </dev/null >/dev/null 2>&1 9>&- || true
            AGENT_WINE_KEEP_ALIVE=1 setsid "$0" keep-alive </dev/null >/dev/null 2>&1 9>&- &
            echo $! >"$pid_file"
        fi
        ;;
    keep-alive)
        [ "${AGENT_WINE_KEEP_ALIVE:-}" = 1 ] || exit 2
        keep_alive
        ;;
    stop)
        if session_running; then
            kill "$(cat "$pid_file")" 2>/dev/null || true
        fi
        rm -f "$pid_file" "$stamp"
        if [ -d "$prefix" ]; then
            "$wine_dir/wineserver" -k 2>/dev/null || true
            "$wine_dir/wineserver" -w 2>/dev/null || true
        fi
        ;;
    *)
        echo "usage: $0 ensure|stop" >&2
        exit 2
        ;;
esac
