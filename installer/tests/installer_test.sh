#!/bin/sh
# Installs, upgrades and removes the agent's MSI in a Wine prefix of its own and checks
# what a user would see: the file, the Run value, the running agent (by its discovery
# broadcast and its window), the registered product.
#
#   installer_test.sh install|logon|upgrade|uninstall|downgrade|close
#
# CTest sets the environment (installer/tests/CMakeLists.txt): AGENT_WINEPREFIX,
# INSTALLER_REPO, INSTALLER_PROBE, INSTALLER_STANDIN, MSI_{CURRENT,OLDER,NEWER},
# EXE_{CURRENT,OLDER,NEWER}, VERSION_{CURRENT,OLDER,NEWER}, UNRESPONSIVE_AGENT. Each case starts from a prefix
# with no version installed and leaves it that way. Exit 77: Wine is missing (skipped).
set -eu

case_name=${1:-}
wine_dir=${AGENT_WINE_DIR:-/usr/lib/wine}
if [ ! -x "$wine_dir/wine64" ]; then
    echo "SKIPPED: $wine_dir/wine64 not found (Debian package wine64); installer not run"
    exit 77
fi

upgrade_code='{04C4BF4A-3FAF-419C-B761-79D21295CC27}'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
standin_class=QuillonCallAppStandIn
# Bounds, not delays: each wait ends as soon as its condition holds.
start_wait_ms=10000
second_start_limit_s=10

work=$(pwd)/installer-$case_name
rm -rf "$work"
mkdir -p "$work"
failures=0
standin_pid=

# dash's echo expands backslashes, and Windows paths are full of them: printf only.
say() { printf '%s\n' "$*"; }

fail() {
    say "FAIL: $*"
    failures=$((failures + 1))
}

expect_eq() {  # expect_eq WHAT ACTUAL EXPECTED
    if [ "$2" != "$3" ]; then
        fail "$1: got '$2', expected '$3'"
    fi
}

run() { "$INSTALLER_REPO/scripts/wine-run.sh" "$@"; }
probe() { run "$INSTALLER_PROBE" "$@" | tr -d '\r'; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# msiexec ACTION PACKAGE NAME: runs one installer action quietly with a log; sets $rc.
# Wine keeps only the low 8 bits of an exit code: 3010 shows as 194, 1603 as 67.
msiexec() {
    log=$work/$3.log
    set +e
    run msiexec "$1" "$(winpath "$2")" /qn /l*v "$(winpath "$log")"
    rc=$?
    set -e
    say "msiexec $1 $(basename "$2"): exit code $rc"
}

run_value() {
    run reg query "$run_key" /v QuillonSkypePlugIn 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *QuillonSkypePlugIn *REG_SZ *//p'
}

products() { probe products "$upgrade_code"; }

# "<pid> <file version> <image path>" of the one running agent, empty when not exactly one.
running() { probe running || true; }

# Closes every agent and removes every installed version, so the next case starts clean.
reset_prefix() {
    probe close >/dev/null || true
    for code in $(products | cut -d' ' -f1); do
        run msiexec /x "$code" /qn || true
    done
    rm -rf "$install_dir"
    run reg delete "$run_key" /v QuillonSkypePlugIn /f >/dev/null 2>&1 || true
}

cleanup() {
    if [ -n "$standin_pid" ]; then
        kill "$standin_pid" 2>/dev/null || true
    fi
    reset_prefix >/dev/null 2>&1 || true
    # Wine's own service processes in this private prefix inherited our output: left to
    # linger, they would hold CTest's pipe open for the server's idle time.
    WINEPREFIX=$AGENT_WINEPREFIX "$wine_dir/wineserver" -k 2>/dev/null || true
}

# The stand-in call application, waiting in the background for one discovery broadcast;
# returns once its window is up, so no broadcast can be missed.
start_standin() {
    if [ -z "${INSTALLER_STANDIN:-}" ]; then
        fail "no call application stand-in (callapp_standin target) to see the discovery"
        return
    fi
    run "$INSTALLER_STANDIN" --wait-discover "$start_wait_ms" >"$work/standin.out" 2>&1 &
    standin_pid=$!
    probe wait-window "$standin_class" "$start_wait_ms" >/dev/null ||
        fail "the stand-in call application did not come up"
}

# expect_discovery PID: the stand-in saw a discovery broadcast from that process.
expect_discovery() {
    [ -n "$standin_pid" ] || return 0
    standin_rc=0
    wait "$standin_pid" || standin_rc=$?
    seen=$(tr -d '\r' <"$work/standin.out")
    if [ "$standin_rc" -ne 0 ]; then
        fail "the stand-in saw no discovery broadcast (exit code $standin_rc): $seen"
    elif ! say "$seen" | grep -q "^discover window=.* pid=$1\$"; then
        fail "discovery not from the agent (pid $1): $seen"
    fi
    standin_pid=
}

# expect_installed VERSION EXE: that version is the one product, its file is in place,
# the Run value points at it and exactly one agent runs from it; prints the agent's pid.
expect_installed() {
    expect_eq "installed products" "$(products | cut -d' ' -f2 | tr '\n' ' ')" "$1 "
    if ! cmp -s "$install_dir/QuillonSkypePlugIn.exe" "$2"; then
        fail "$install_dir/QuillonSkypePlugIn.exe is not the $1 build"
    fi
    # Read twice at most: under heavy load Wine's reg once printed nothing for a
    # value that was there (a missing value stays missing on the second read).
    value=$(run_value)
    [ -n "$value" ] || value=$(run_value)
    expect_eq "Run value" "$value" "\"$exe_win\""
    probe wait-count 1 "$start_wait_ms" >/dev/null || fail "not exactly one agent running"
    agent=$(running)
    expect_eq "running agent's version" "$(say "$agent" | cut -d' ' -f2)" "$1.0"
    expect_eq "running agent's image" "$(say "$agent" | cut -d' ' -f3-)" "$exe_win"
    agent_pid=$(say "$agent" | cut -d' ' -f1)
}

expect_removed() {
    expect_eq "installed products" "$(products)" ""
    [ ! -e "$install_dir" ] || fail "$install_dir still exists: $(ls -A "$install_dir")"
    expect_eq "Run value" "$(run_value)" ""
    expect_eq "agents running" "$(probe count)" 0
}

install_or_fail() {  # install_or_fail PACKAGE NAME
    msiexec /i "$1" "$2"
    expect_eq "exit code of installing $(basename "$1")" "$rc" 0
}

local_appdata=$(run cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')
exe_win="$local_appdata\\QuillonSkypePlugIn\\QuillonSkypePlugIn.exe"
install_dir="$AGENT_WINEPREFIX/drive_c/$(printf '%s' "${local_appdata#C:\\}" | tr '\\' /)/QuillonSkypePlugIn"

trap cleanup EXIT
reset_prefix
started=$(date +%s.%N)

case "$case_name" in
install)
    start_standin
    install_or_fail "$MSI_CURRENT" install
    expect_installed "$VERSION_CURRENT" "$EXE_CURRENT"
    expect_discovery "$agent_pid"
    # The project version reached the executable's version resource, with the About
    # box's product name and description.
    expected_info=$(printf '%s\n' \
        "fixed file=$VERSION_CURRENT.0 product=$VERSION_CURRENT.0" \
        "FileDescription=Links a USB telephony handset to the call application." \
        "FileVersion=$VERSION_CURRENT" "ProductName=QuillonSkypePlugIn" \
        "ProductVersion=$VERSION_CURRENT")
    expect_eq "version resource of the installed executable" \
        "$(probe version-info "$exe_win")" "$expected_info"
    ;;
logon)
    install_or_fail "$MSI_CURRENT" install
    expect_installed "$VERSION_CURRENT" "$EXE_CURRENT"
    expect_eq "closing the installed agent" "$(probe close)" "closed 1 terminated 0"
    start_standin
    # A logon: wineboot without arguments starts what the Run values name.
    run wineboot
    expect_installed "$VERSION_CURRENT" "$EXE_CURRENT"
    expect_discovery "$agent_pid"
    first_pid=$agent_pid
    # A second start (a second logon start, or the user) leaves the first one alone.
    set +e
    timeout "$second_start_limit_s" "$INSTALLER_REPO/scripts/wine-run.sh" "$exe_win"
    second_rc=$?
    set -e
    expect_eq "exit code of a second start" "$second_rc" 0
    expect_eq "agents running after a second start" "$(probe count)" 1
    expect_eq "agent after a second start" "$(running | cut -d' ' -f1)" "$first_pid"
    ;;
upgrade)
    install_or_fail "$MSI_OLDER" install-older
    expect_installed "$VERSION_OLDER" "$EXE_OLDER"
    older_pid=$agent_pid
    msiexec /i "$MSI_CURRENT" upgrade
    [ "$rc" -ne 194 ] || fail "the upgrade asks for a reboot (3010): a file was in use"
    expect_eq "exit code of the upgrade" "$rc" 0
    grep -q "CloseRunningAgent: 1 agent(s) closed, 0 ended" "$work/upgrade.log" ||
        fail "the upgrade did not close the running agent cleanly (see $work/upgrade.log)"
    expect_installed "$VERSION_CURRENT" "$EXE_CURRENT"
    [ "$agent_pid" != "$older_pid" ] || fail "the older agent (pid $older_pid) still runs"
    ;;
uninstall)
    install_or_fail "$MSI_CURRENT" install
    expect_installed "$VERSION_CURRENT" "$EXE_CURRENT"
    msiexec /x "$MSI_CURRENT" uninstall
    expect_eq "exit code of the uninstall" "$rc" 0
    expect_removed
    ;;
downgrade)
    install_or_fail "$MSI_NEWER" install-newer
    expect_installed "$VERSION_NEWER" "$EXE_NEWER"
    newer_pid=$agent_pid
    msiexec /i "$MSI_CURRENT" downgrade
    # 1603 (fatal error) seen through Wine's 8 bits.
    expect_eq "exit code of the refused downgrade" "$rc" 67
    if grep -q "CloseRunningAgent:" "$work/downgrade.log"; then
        fail "the refused downgrade closed the running agent first"
    fi
    expect_installed "$VERSION_NEWER" "$EXE_NEWER"
    expect_eq "agent after the refused downgrade" "$agent_pid" "$newer_pid"
    ;;
close)
    # The installer's close step with the real agent and one that ignores WM_CLOSE: the
    # first quits by itself (exit code 0), the second is ended once the wait runs out.
    run "$EXE_CURRENT" &
    agent_job=$!
    run "$UNRESPONSIVE_AGENT" &
    unresponsive_job=$!
    probe wait-count 2 "$start_wait_ms" >/dev/null || fail "the two agents did not come up"
    expect_eq "closing both" "$(probe close 300)" "closed 1 terminated 1"
    expect_eq "agents running after closing" "$(probe count)" 0
    agent_rc=0
    wait "$agent_job" || agent_rc=$?
    unresponsive_rc=0
    wait "$unresponsive_job" || unresponsive_rc=$?
    expect_eq "exit code of the agent" "$agent_rc" 0
    expect_eq "exit code of the ended agent" "$unresponsive_rc" 1
    ;;
*)
    echo "usage: $0 install|logon|upgrade|uninstall|downgrade|close" >&2
    exit 2
    ;;
esac

echo "installer.$case_name: took $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $started }") s"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; logs in $work"
    exit 1
fi
echo "installer.$case_name: all checks passed"
