#!/bin/sh
# Runs the probe and compares its output with the expected lines.
#
#   compare_probe.sh WORLD EXPECTED ALLOWED PROGRAM [ARGS...]
#
# A line of ALLOWED reads "WORLD key: value": in that world the probe may print
# that line in place of the expected line with the same key. Lines starting
# with '#' say why.
set -eu

world=$1 expected=$2 allowed=$3
shift 3

raw=$(mktemp)
actual=$(mktemp)
normalized=$(mktemp)
trap 'rm -f "$raw" "$actual" "$normalized"' EXIT

status=0
"$@" >"$raw" || status=$?
# Windows programs end their lines with CR LF.
tr -d '\r' <"$raw" >"$actual"
if [ "$status" -ne 0 ]; then
    cat "$actual"
    echo "the probe exited with status $status" >&2
    exit 1
fi

# An allowed line stands for the expected line of its key.
awk -v world="$world" -v allowedFile="$allowed" -v expectedFile="$expected" '
    function key(line) { return substr(line, 1, index(line, ": ") - 1) }
    FILENAME == allowedFile {
        if ($1 == world) allowedLine[substr($0, length(world) + 2)] = 1
        next
    }
    FILENAME == expectedFile { expectedLine[key($0)] = $0; next }
    {
        k = key($0)
        if (($0 in allowedLine) && (k in expectedLine)) {
            print "allowed in " world ": " $0 > "/dev/stderr"
            print expectedLine[k]
        } else {
            print
        }
    }
' "$allowed" "$expected" "$actual" >"$normalized"

if ! diff -u "$expected" "$normalized"; then
    echo "the probe's $world output differs from $expected (- expected, + $world)" >&2
    exit 1
fi
echo "the probe's $world output matches ($(wc -l <"$actual") lines)"
