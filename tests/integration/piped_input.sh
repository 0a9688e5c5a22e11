#!/usr/bin/env bash
# Inputs that cannot be read twice: standard input ('-' and /dev/stdin) and
# a named pipe decode exactly like the file, alone and in a list with files;
# a directory in the list is refused before anything is read.
#
#   piped_input.sh CONVERT SAMPLE WORKDIR
set -euo pipefail
convert=$1 sample=$2 work=$3
rm -rf "$work" && mkdir -p "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
same() { cmp -s "$work/file.y4m" "$work/$1.y4m" || fail "$1 decodes differently"; }

"$convert" -q --y4m "$work/file.y4m" "$sample"
"$convert" -q --y4m - "$sample" <"$sample" | cmp -s - "$work/file.y4m" || fail "y4m on stdout"
cat "$sample" | "$convert" -q --y4m "$work/dash.y4m" - && same dash
cat "$sample" | "$convert" -q --y4m "$work/stdin.y4m" /dev/stdin && same stdin
mkfifo "$work/fifo"
cat "$sample" >"$work/fifo" &
"$convert" -q --y4m "$work/fifo.y4m" "$work/fifo" && same fifo
wait

"$convert" -q --y4m "$work/twice.y4m" "$sample" "$sample"
cat "$sample" | "$convert" -q --y4m "$work/chain.y4m" - "$sample"
cmp -s "$work/twice.y4m" "$work/chain.y4m" || fail "a list that starts with '-'"

set +e
err=$("$convert" --info "$sample" "$work" 2>&1 >/dev/null)
status=$?
set -e
[ $status -eq 2 ] || fail "a directory in the list: exit $status"
[ "$err" = "vidorlan-convert: File error while opening MPEG." ] || fail "directory message: $err"

"$convert" -q -o "$work/file.avi" "$sample"
cat "$sample" | "$convert" -q -o "$work/piped.avi" -
cmp -s "$work/file.avi" "$work/piped.avi" || fail "AVI from a pipe"
echo "ok"
