#!/usr/bin/env bash
# Builds the release of this commit in a fresh build folder (build/release-windows): the
# executable, signed; the MSI built from that signed executable, then signed itself.
# Copies both into the output folder with their SHA-256 in SHA256SUMS.
#
#   SIGN_PKCS12=cert.p12 SIGN_PASSWORD=... scripts/release.sh [--out DIR]
#   scripts/release.sh --unsigned [--out DIR]
#   scripts/release.sh --signatures-from DIR [--out DIR]
#
#   (default)                signs with scripts/sign.sh (SIGN_PKCS12, SIGN_PASSWORD and
#                            optionally SIGN_TIMESTAMP_URL; see there)
#   --unsigned               signs nothing
#   --signatures-from DIR    takes the signatures of the published files in DIR (the
#                            executable and the MSI) and attaches them to this build:
#                            osslsigncode refuses a signature whose digest differs, and
#                            equal SHA-256 sums prove the download is this source's build.
#                            SIGN_CAFILE names the root certificates to check them against
#                            when the system's do not hold the publisher's
#   --out DIR                where the files go (default build/release-out)
# The build is reproducible: the unsigned files are byte-for-byte those of any other
# clean build of this commit.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

mode=sign
out=$repo/build/release-out
signatures=
while (($#)); do
    case "$1" in
        --unsigned) mode=unsigned ;;
        --signatures-from) mode=attach; signatures=$(cd "${2:?--signatures-from DIR}" && pwd); shift ;;
        --out) out=${2:?--out DIR}; shift ;;
        -h|--help) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
        *) echo "release: unknown option: $1" >&2; exit 2 ;;
    esac
    shift
done
if [[ $mode == sign && ( -z "${SIGN_PKCS12:-}" || -z "${SIGN_PASSWORD+set}" ) ]]; then
    echo "release: set SIGN_PKCS12 and SIGN_PASSWORD to sign (or give --unsigned)" >&2
    exit 1
fi

scripts/setup.sh native windows release
build=$repo/build/release-windows
jobs=$(nproc 2>/dev/null || echo 2)

# seal FILE: signs it, or attaches the published file's signature, or leaves it.
seal() {
    case "$mode" in
        sign) scripts/sign.sh "$1" ;;
        attach)
            local published work
            published=$signatures/$(basename "$1")
            [[ -f "$published" ]] || { echo "release: no $published" >&2; return 1; }
            work=$(mktemp -d)
            osslsigncode extract-signature -in "$published" -out "$work/signature" >/dev/null
            if ! osslsigncode attach-signature -sigin "$work/signature" \
                ${SIGN_CAFILE:+-CAfile "$SIGN_CAFILE"} -in "$1" -out "$work/sealed" \
                >"$work/log" 2>&1; then
                cat "$work/log" >&2
                echo "release: the signature of $published does not fit this build of $1" >&2
                rm -rf "$work"
                return 1
            fi
            cp -f "$work/sealed" "$1"
            rm -rf "$work"
            echo "attached the signature of $published"
            ;;
    esac
}

rm -rf "$build"
cmake --preset windows -B "$build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target QuillonSkypePlugIn close_agent
exe=$build/QuillonSkypePlugIn.exe
seal "$exe"
cmake --build "$build" -j "$jobs" --target agent_msi
msis=("$build"/QuillonSkypePlugIn-*.msi)
msi=${msis[0]}
version=${msi##*-}
version=${version%.msi}
if ! cmp -s "$exe" "$build/installer/stage-$version/QuillonSkypePlugIn.exe"; then
    echo "release: the MSI was not built from the sealed executable" >&2
    exit 1
fi
seal "$msi"

mkdir -p "$out"
rm -f "$out/QuillonSkypePlugIn.exe" "$out"/QuillonSkypePlugIn-*.msi "$out/SHA256SUMS"
cp "$exe" "$msi" "$out/"
(cd "$out" && sha256sum QuillonSkypePlugIn.exe "$(basename "$msi")" >SHA256SUMS)
echo "release ($mode) in $out:"
cat "$out/SHA256SUMS"
