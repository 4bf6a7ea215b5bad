#!/usr/bin/env bash
# Builds and runs every test, in stages:
#   setup     installs the Debian packages the stages need (scripts/setup.sh)
#   sim       the native suite against the simulated desktop
#   windows   the Windows executable cross-built with MinGW-w64, its tests, the
#             virtual phone's and the installer's, under Wine
#   threadsafety  the agent built with clang's thread-safety analysis
#             (-Wthread-safety -Werror): every field read or written without
#             the lock that guards it fails the build (--full)
#   reproducible  the Windows release files (executable, custom-action DLL,
#             MSI) built twice in two fresh folders, the second in another time
#             zone: their SHA-256 must be equal (--full, needs Wine's packages)
#   signing   a throwaway certificate authority signs a release
#             (scripts/release.sh); both files verify against it, a changed
#             byte fails that, and the signed MSI installs and uninstalls under
#             Wine (--full, after the windows stage)
#   windows-clang  the same Windows build and tests again with clang 14 and lld
#             instead of MinGW-w64 g++, in a Wine prefix of its own (--full)
#   release   the native suite built Release (-O3) with warnings as errors, as
#             users build it (--full)
#   bench     the benchmarks built at -O2 and each run once briefly, so that
#             they cannot rot (scripts/bench.sh --quick); no figure is checked
#             (--full)
#   asan      the native suite under AddressSanitizer and UBSan (--full)
#   tsan      the native suite under ThreadSanitizer (--full)
#   fuzz      every fuzz target for 60 s under libFuzzer, ASan and UBSan
#             (--full; scripts/fuzz.sh)
# Options:
#   --no-wine      leave out the windows, windows-clang, reproducible and
#                  signing stages and their packages, for a machine where Wine
#                  cannot run
#   --full         run threadsafety, windows-clang, reproducible, signing,
#                  release, bench, asan, tsan and fuzz too (always when
#                  CI=true); --sanitizers is the same
# A test that did not run fails the whole run, unless the allow-list below names
# it. The end lists what each stage did and what was left out.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

wine=true
full=false
[[ "${CI:-}" == "true" ]] && full=true
for arg in "$@"; do
    case "$arg" in
        --no-wine) wine=false ;;
        --full|--sanitizers) full=true ;;
        -h|--help) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
        *) echo "unknown option: $arg" >&2; exit 2 ;;
    esac
done

jobs=$(nproc 2>/dev/null || echo 2)

# Tests that may be reported as skipped, each with why it cannot run here.
declare -A allowed_skips=(
    # WTSRegisterSessionNotification succeeds in Wine, but no session change is
    # ever delivered; session tracking is proven against the simulated desktop.
    [WineSession.NotificationsAreAStub]="session notifications are a stub in Wine"
)

# Stages in the order they run, and the package groups of scripts/packages.txt
# that they need.
stages=(sim windows threadsafety windows-clang reproducible signing release bench asan tsan fuzz)
groups=(native test)
$wine && groups+=(windows)
$wine && $full && groups+=(release)
declare -A left_out=()
for stage in threadsafety windows-clang reproducible signing release bench asan tsan fuzz; do
    $full || left_out[$stage]="run with --full or CI=true"
done
for stage in windows windows-clang reproducible signing; do
    $wine || left_out[$stage]="--no-wine"
done

summary=()
total_passed=0
total_failed=0
total_skipped=0

build_preset() {
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

# Runs one CTest preset and fails when a test failed or did not run, unless it
# is on the allow-list. Counts come from CTest's JUnit report; they go into
# stage_note, the stage's line of the summary.
test_preset() {
    local preset=$1 parallel=$2 report="$repo/build/$1/ctest-report.xml" status=0
    rm -f "$report"
    ctest --preset "$preset" -j "$parallel" --no-tests=error --output-junit "$report" || status=1
    if [[ ! -f "$report" ]]; then
        echo "$preset: CTest wrote no report" >&2
        return 1
    fi
    local passed failed not_run=() allowed=() name
    passed=$(grep -c '<testcase .*status="run"' "$report")
    failed=$(grep -c '<testcase .*status="fail"' "$report")
    while IFS= read -r name; do
        if [[ -n "${allowed_skips[$name]+set}" ]]; then
            allowed+=("$name")
        else
            not_run+=("$name")
        fi
    done < <(sed -n 's/.*<testcase name="\([^"]*\)".*status="\(notrun\|disabled\)".*/\1/p' "$report")
    local skipped=$((${#allowed[@]} + ${#not_run[@]}))
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    stage_note="$passed passed, $failed failed, $skipped skipped"
    for name in ${allowed[@]+"${allowed[@]}"}; do
        stage_note+="; skipped as allowed: $name (${allowed_skips[$name]})"
    done
    ((failed == 0)) || status=1
    if ((${#not_run[@]})); then
        stage_note+="; did not run: ${not_run[*]}"
        echo "$preset: tests that did not run: ${not_run[*]}" >&2
        status=1
    fi
    return "$status"
}

stage_sim() { build_preset sim && test_preset sim "$jobs"; }
# Nothing to run: the build is the check.
stage_threadsafety() {
    stage_note="agent built clean with -Wthread-safety"
    build_preset threadsafety
}
stage_release() { build_preset release && test_preset release "$jobs"; }
stage_asan() { build_preset asan && test_preset asan "$jobs"; }
stage_tsan() { build_preset tsan && test_preset tsan "$jobs"; }

stage_fuzz() {
    local log="$repo/build/fuzz-stage.log" status=0
    mkdir -p "$repo/build"
    scripts/fuzz.sh 60 2>&1 | tee "$log" || status=1
    stage_note=$(grep -E '^fuzz: ' "$log" | tail -n 1)
    stage_note=${stage_note:-no result}
    return "$status"
}

# One Wine prefix serves the run; the tests take turns on its desktop.
stage_windows() {
    build_preset windows || return 1
    local status=0
    test_preset windows 1 || status=1
    scripts/wine-session.sh stop || true
    return "$status"
}

# The files a release ships, built twice from scratch: in folders of different path
# lengths (a leaked path shifts every later byte) and time zones, at different times.
# Only those targets, not the tests.
stage_reproducible() {
    local root="$repo/build/reproducible" dir first='' sums i
    local dirs=("$root/a" "$root/second-build-in-a-longer-folder") zones=(UTC Pacific/Kiritimati)
    rm -rf "$root"
    for i in 0 1; do
        dir=${dirs[$i]}
        TZ=${zones[$i]} cmake --preset windows -B "$dir" -DBUILD_TESTING=OFF >/dev/null &&
            TZ=${zones[$i]} cmake --build "$dir" -j "$jobs" \
                --target QuillonSkypePlugIn close_agent agent_msi >/dev/null || return 1
        sums=$(cd "$dir" && sha256sum QuillonSkypePlugIn.exe installer/close_agent.dll \
            QuillonSkypePlugIn-*.msi) || return 1
        echo "$sums"
        if [[ -z "$first" ]]; then
            first=$sums
        elif [[ "$sums" != "$first" ]]; then
            stage_note="the two builds differ: compare $root/*"
            return 1
        fi
    done
    stage_note="equal SHA-256: $(echo "$first" | awk '{ printf "%s%s %.16s...", sep, $2, $1; sep = ", " }')"
    rm -rf "$root"
}

# A release signed by a throwaway authority (never kept: a temporary folder), checked
# as Windows would: the chain, the digest of the whole file, and the installer itself.
stage_signing() {
    local tmp status=0 file size offset byte
    stage_note="see its output"
    tmp=$(mktemp -d) || return 1
    (
        set -e
        cd "$tmp"
        umask 077
        openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Throwaway Test CA" \
            -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign,cRLSign" -keyout ca.key -out ca.pem
        openssl req -newkey rsa:2048 -nodes -subj "/CN=Throwaway Code Signing" \
            -keyout signer.key -out signer.csr
        printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
            "extendedKeyUsage=codeSigning" >signer.ext
        openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 \
            -extfile signer.ext -out signer.pem
        openssl rand -hex 16 >password
        openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
            -passout file:password -out signer.p12
    ) >"$tmp/openssl.log" 2>&1 || { cat "$tmp/openssl.log"; rm -rf "$tmp"; return 1; }

    SIGN_PKCS12=$tmp/signer.p12 SIGN_PASSWORD=$(cat "$tmp/password") \
        scripts/release.sh --out "$tmp/out" || status=1
    local exe=$tmp/out/QuillonSkypePlugIn.exe msis=("$tmp"/out/QuillonSkypePlugIn-*.msi)
    for file in "$exe" "${msis[0]}"; do
        ((status == 0)) || break
        if ! osslsigncode verify -CAfile "$tmp/ca.pem" -in "$file" >"$tmp/verify.log" 2>&1; then
            cat "$tmp/verify.log"
            echo "signing: $(basename "$file") does not verify" >&2
            status=1
            break
        fi
        # One byte in the middle, inverted: the digest no longer matches.
        cp "$file" "$tmp/changed"
        size=$(stat -c %s "$file")
        offset=$((size / 2))
        byte=$(od -An -tu1 -j "$offset" -N1 "$file")
        printf '%b' "\\0$(printf %o $((255 - byte)))" |
            dd of="$tmp/changed" bs=1 seek="$offset" conv=notrunc status=none
        if osslsigncode verify -CAfile "$tmp/ca.pem" -in "$tmp/changed" >/dev/null 2>&1; then
            echo "signing: $(basename "$file") with byte $offset changed still verifies" >&2
            status=1
        fi
    done
    # The installer tests' own install-and-remove case, with the signed package.
    local tests=$repo/build/windows/installer/tests
    if ((status == 0)) && [[ ! -x "$tests/agent_probe.exe" ]]; then
        echo "signing: $tests/agent_probe.exe missing (the windows stage builds it)" >&2
        status=1
    fi
    if ((status == 0)); then
        local version=${msis[0]##*-}
        (cd "$tmp" && AGENT_WINEPREFIX=$tests/wineprefix INSTALLER_REPO=$repo \
            INSTALLER_PROBE=$tests/agent_probe.exe MSI_CURRENT=${msis[0]} EXE_CURRENT=$exe \
            VERSION_CURRENT=${version%.msi} "$repo/installer/tests/installer_test.sh" uninstall) ||
            status=1
    fi
    ((status == 0)) && stage_note="exe and MSI signed and verified, changed bytes refused, signed MSI installed and removed under Wine"
    rm -rf "$tmp"
    return "$status"
}

# The clang build's prefix is its own (the preset sets AGENT_WINEPREFIX): neither
# suite sees the other's phone driver, installs or session.
stage_windows-clang() {
    build_preset windows-clang || return 1
    local status=0
    test_preset windows-clang 1 || status=1
    AGENT_WINEPREFIX="$repo/build/windows-clang/wineprefix" scripts/wine-session.sh stop || true
    return "$status"
}

# Under Wine too unless --no-wine; the brief run's table stays in a file.
stage_bench() {
    local flags=(--quick) table="$repo/build/bench/results/table.txt"
    $wine || flags+=(--no-wine)
    stage_note="its table: $table"
    scripts/bench.sh "${flags[@]}" >/dev/null
}

print_summary() {
    echo
    echo "== scripts/test.sh summary"
    local line
    for line in "${summary[@]}"; do echo "  $line"; done
    echo "total: $total_passed passed, $total_failed failed, $total_skipped skipped"
}

echo "==> setup: Debian packages of ${groups[*]}"
if ! scripts/setup.sh "${groups[@]}"; then
    summary+=("setup: FAILED (packages missing)")
    print_summary
    exit 1
fi
summary+=("setup: packages of ${groups[*]} present")

failed=false
for stage in "${stages[@]}"; do
    if [[ -n "${left_out[$stage]+set}" ]]; then
        summary+=("$stage: left out (${left_out[$stage]})")
        continue
    fi
    if $failed; then
        summary+=("$stage: not run (an earlier stage failed)")
        continue
    fi
    echo "==> $stage"
    stage_note="did not build"
    if "stage_$stage"; then
        summary+=("$stage: passed ($stage_note)")
    else
        summary+=("$stage: FAILED ($stage_note)")
        failed=true
    fi
done

print_summary
! $failed
