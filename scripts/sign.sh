#!/usr/bin/env bash
# Signs each file in place with Authenticode (osslsigncode, SHA-256): executables, DLLs
# and MSI packages. The certificate and its key come from a PKCS#12 file; nothing
# secret is in the repository, and the password is never printed nor put on a command
# line (osslsigncode reads it from a file only this user can read, removed at the end).
#
#   SIGN_PKCS12=cert.p12 SIGN_PASSWORD=... scripts/sign.sh FILE...
#
#   SIGN_PKCS12         the PKCS#12 file holding the code-signing certificate, its key
#                       and the chain up to (not including) the root
#   SIGN_PASSWORD       its password (may be empty, but must be set)
#   SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server, so that the signature
#                       stays valid after the certificate expires (needs the network)
# A file is replaced only once it is signed.
set -euo pipefail

if (($# == 0)); then
    echo "usage: SIGN_PKCS12=FILE SIGN_PASSWORD=... $0 FILE..." >&2
    exit 2
fi
if [[ -z "${SIGN_PKCS12:-}" ]]; then
    echo "sign: SIGN_PKCS12 is not set: name the PKCS#12 file of the signing certificate" >&2
    exit 1
fi
if [[ ! -r "$SIGN_PKCS12" ]]; then
    echo "sign: cannot read SIGN_PKCS12 ($SIGN_PKCS12)" >&2
    exit 1
fi
if [[ -z "${SIGN_PASSWORD+set}" ]]; then
    echo "sign: SIGN_PASSWORD is not set: give the password of $SIGN_PKCS12" >&2
    exit 1
fi
if ! command -v osslsigncode >/dev/null; then
    echo "sign: osslsigncode not found (Debian package osslsigncode)" >&2
    exit 1
fi

timestamp=()
if [[ -n "${SIGN_TIMESTAMP_URL:-}" ]]; then
    timestamp=(-ts "$SIGN_TIMESTAMP_URL")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/osslsigncode.log
# printf is a shell builtin: the password appears in no process's arguments.
password=$work/password
(umask 077 && printf '%s' "$SIGN_PASSWORD" >"$password")
for file in "$@"; do
    if [[ ! -f "$file" ]]; then
        echo "sign: no such file: $file" >&2
        exit 1
    fi
    # osslsigncode writes a new file: signed among the work files, then copied over.
    signed=$work/$(basename "$file")
    if ! osslsigncode sign -pkcs12 "$SIGN_PKCS12" -readpass "$password" -h sha256 \
            -n QuillonSkypePlugIn ${timestamp[@]+"${timestamp[@]}"} \
            -in "$file" -out "$signed" >"$log" 2>&1; then
        echo "sign: osslsigncode could not sign $file:" >&2
        cat "$log" >&2
        exit 1
    fi
    chmod --reference="$file" "$signed"
    cp -f "$signed" "$file"
    rm -f "$signed"
    echo "signed $file"
done
