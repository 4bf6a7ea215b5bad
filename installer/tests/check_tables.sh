#!/bin/sh
# Checks the tables of the built MSI: wixl drops what it does not understand with only a
# warning, so what the package does is read here, not taken from the WiX source. Also the
# only check of "no administrator rights needed": Wine runs every installer as one.
#
#   check_tables.sh PACKAGE.msi VERSION
set -eu

if [ "$#" -ne 2 ]; then
    echo "usage: $0 PACKAGE.msi VERSION" >&2
    exit 2
fi
msi=$1
version=$2
if ! command -v msiinfo >/dev/null; then
    echo "SKIPPED: msiinfo not found (Debian package msitools)"
    exit 77
fi

upgrade_code='{04C4BF4A-3FAF-419C-B761-79D21295CC27}'
major=${version%%.*}
rest=${version#*.}
minor=${rest%%.*}
patch=${rest#*.}
next_version=$major.$minor.$((patch + 1))
tab=$(printf '\t')
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The rows of one table, tab-separated, without the three header lines.
rows() {
    msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'
}

# expect_row TABLE FIELD... : the table holds exactly this row.
expect_row() {
    table=$1
    shift
    row=$(printf '%s\t' "$@")
    row=${row%"$tab"}
    if ! rows "$table" | grep -Fxq -- "$row"; then
        fail "$table has no row [$(echo "$row" | tr '\t' '|')]; it holds:"
        rows "$table" | tr '\t' '|' | sed 's/^/    /'
    fi
}

# The sequence number of an action in InstallExecuteSequence, empty when absent.
sequence_of() {
    rows InstallExecuteSequence | awk -F '\t' -v action="$1" '$1 == action { print $3 }'
}

# expect_order ACTION... : each action is scheduled, in this order.
expect_order() {
    previous=
    previous_number=
    for action in "$@"; do
        number=$(sequence_of "$action")
        if [ -z "$number" ]; then
            fail "InstallExecuteSequence lacks $action"
            return
        fi
        if [ -n "$previous_number" ] && [ "$number" -le "$previous_number" ]; then
            fail "$action ($number) does not come after $previous ($previous_number)"
        fi
        previous=$action
        previous_number=$number
    done
}

# Per user, no elevation: word count bit 3 set ("elevated privileges not required"),
# no ALLUSERS property, every registry row under HKCU (root 1), files only in the
# user's local application data folder.
word_count=$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')
if [ -z "$word_count" ] || [ $((word_count & 8)) -eq 0 ]; then
    fail "summary word count '$word_count' does not say 'no elevated privileges required'"
fi
msiinfo suminfo "$msi" | grep -qx 'Template: x64;1033' ||
    fail "summary template is not x64;1033: $(msiinfo suminfo "$msi" | grep Template)"
if rows Property | grep -q "^ALLUSERS$tab"; then
    fail "Property sets ALLUSERS (a per-machine install)"
fi
non_hkcu=$(rows Registry | awk -F '\t' '$2 != 1')
[ -z "$non_hkcu" ] || fail "registry rows outside HKCU: $non_hkcu"
expect_row Directory INSTALLDIR LocalAppDataFolder QuillonSkypePlugIn
directories=$(rows Directory | cut -f1 | sort | tr '\n' ' ')
[ "$directories" = "INSTALLDIR LocalAppDataFolder TARGETDIR " ] ||
    fail "unexpected directories: $directories"

# Identity and versions.
expect_row Property ProductName QuillonSkypePlugIn
expect_row Property ProductVersion "$version"
expect_row Property UpgradeCode "$upgrade_code"
# Reproducible: the product code is a name-based (SHA-1) UUID of the upgrade code and the
# version, the same for every build of one version and another for each version.
product_code=$(python3 -c 'import sys, uuid
print("{%s}" % str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
    "$upgrade_code" "$version")
expect_row Property ProductCode "$product_code"
# The agent's own icon in Add/Remove Programs.
expect_row Property ARPPRODUCTICON agent.ico
expect_row Icon agent.ico Icon.agent.ico

# The agent and its logon start; the Run value is the component's key path, so the
# installer removes both together.
expect_row File AgentExe Agent QuillonSkypePlugIn.exe \
    "$(rows File | awk -F '\t' '$1 == "AgentExe" { print $4 }')" "" "" 512 1
run_row=$(rows Registry | awk -F '\t' '$3 == "Software\\Microsoft\\Windows\\CurrentVersion\\Run" { print $1 }')
[ -n "$run_row" ] || fail "no value under HKCU\\...\\CurrentVersion\\Run"
expect_row Registry "$run_row" 1 'Software\Microsoft\Windows\CurrentVersion\Run' \
    QuillonSkypePlugIn '"[#AgentExe]"' Agent
expect_row Component Agent '{783C048D-9BFC-4AEE-A1F2-905AA75503A1}' INSTALLDIR 260 "" "$run_row"
expect_row RemoveFile RemoveInstallDir Agent "" INSTALLDIR 2

# Closing the running agent (DLL in the Binary table, checked result) before anything is
# validated or removed; starting it (asynchronous, no wait) once the install is done.
expect_row Binary CloseAgent Binary.CloseAgent
expect_row CustomAction CloseRunningAgent 1 CloseAgent CloseRunningAgent ""
expect_row CustomAction StartAgent 210 AgentExe "" ""
expect_row InstallExecuteSequence CloseRunningAgent "" "$(sequence_of CloseRunningAgent)"
expect_row InstallExecuteSequence StartAgent 'NOT REMOVE~="ALL"' "$(sequence_of StartAgent)"
expect_order FindRelatedProducts LaunchConditions CloseRunningAgent InstallValidate \
    RemoveExistingProducts InstallInitialize InstallFiles InstallFinalize StartAgent

# Major upgrade of every version up to this one (a rebuild of the same version included),
# refusal when a newer one is installed.
expect_row Upgrade "$upgrade_code" 0.0.0 "$next_version" "" 256 "" WIX_UPGRADE_DETECTED
expect_row Upgrade "$upgrade_code" "$next_version" "" "" 258 "" WIX_DOWNGRADE_DETECTED
[ "$(rows Upgrade | wc -l)" -eq 2 ] || fail "Upgrade has other rows: $(rows Upgrade)"
expect_row LaunchCondition 'NOT WIX_DOWNGRADE_DETECTED' \
    'A newer version of QuillonSkypePlugIn is already installed. Uninstall it first if you want this older version.'
expect_row InstallUISequence LaunchConditions "" 100

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed for $msi"
    exit 1
fi
echo "tables of $msi: all checks passed"
