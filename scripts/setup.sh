#!/usr/bin/env bash
# Makes sure the Debian packages of the given groups (scripts/packages.txt) are
# installed, installing the missing ones with apt-get: directly as root, else
# through sudo when it needs no password. When it can do neither, it prints the
# apt-get line to run and fails. Every command of scripts/ calls it first
# (run.sh, run-windows.sh, test.sh, bench.sh, fuzz.sh).
#
#   scripts/setup.sh [--check] GROUP...
#
#   --check   install nothing: name what is missing and fail
#
# Output goes to standard error. AGENT_SETUP_EXTRA_PACKAGES names further
# packages to require, so that the install path can be tried on a machine that
# has everything.
set -euo pipefail

list="$(dirname "$0")/packages.txt"
check_only=false
groups=()
for arg in "$@"; do
    case "$arg" in
        --check) check_only=true ;;
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
        -*) echo "setup: unknown option: $arg" >&2; exit 2 ;;
        *) groups+=("$arg") ;;
    esac
done
if ((${#groups[@]} == 0)); then
    echo "usage: $0 [--check] GROUP... (groups: $(sed -n 's/^\([a-z]*\):.*/\1/p' "$list" | xargs))" >&2
    exit 2
fi

wanted=()
for group in "${groups[@]}"; do
    if ! line=$(grep -E "^$group:" "$list"); then
        echo "setup: no group '$group' in $list" >&2
        exit 2
    fi
    read -ra names <<<"${line#*:}"
    wanted+=("${names[@]}")
done
read -ra extra <<<"${AGENT_SETUP_EXTRA_PACKAGES:-}"
wanted+=(${extra[@]+"${extra[@]}"})

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "setup: not a Debian system, packages not checked; the build needs the" \
        "equivalents of: ${wanted[*]}" >&2
    exit 0
fi

installed() {
    [[ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" == "ii"* ]]
}

missing=()
for package in "${wanted[@]}"; do
    if ! installed "$package" && [[ " ${missing[*]-} " != *" $package "* ]]; then
        missing+=("$package")
    fi
done
((${#missing[@]} == 0)) && exit 0

install=(apt-get install -y --no-install-recommends "${missing[@]}")
echo "setup: missing Debian packages: ${missing[*]}" >&2

# As root directly, else through sudo when it asks for no password.
can_install=true
elevate=()
if $check_only; then
    can_install=false
elif ((EUID != 0)); then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        elevate=(sudo -n)
    else
        can_install=false
    fi
fi
if ! $can_install; then
    sudo=""
    ((EUID != 0)) && sudo="sudo "
    echo "setup: install them with:" >&2
    echo "  ${sudo}apt-get update && ${sudo}${install[*]}" >&2
    exit 1
fi

as=${elevate[*]+${elevate[*]} }
echo "setup: ${as}apt-get update && ${as}${install[*]}" >&2
if ! ${elevate[@]+"${elevate[@]}"} apt-get update -q >&2 ||
    ! ${elevate[@]+"${elevate[@]}"} env DEBIAN_FRONTEND=noninteractive "${install[@]}" >&2; then
    echo "setup: installing failed; still missing: ${missing[*]}" >&2
    exit 1
fi
for package in "${missing[@]}"; do
    if ! installed "$package"; then
        echo "setup: $package is still not installed" >&2
        exit 1
    fi
done
echo "setup: installed ${missing[*]}" >&2
