#!/bin/sh
# Decodes every synthesized scenario with vidorlan-convert and with ffmpeg
# and compares the pictures with vidorlan-y4m-compare.
#
# Usage: synth_vs_ffmpeg.sh VIDORLAN_CONVERT [BIN_DIR] [SCENARIO...]
#   BIN_DIR holds vidorlan-synth and vidorlan-y4m-compare (default: the
#   directory of VIDORLAN_CONVERT, i.e. build/bin).
#
# Per scenario (vidorlan-synth --table gives the columns):
#   - vidorlan-convert --y4m must succeed and show the product's frame
#     count. Where that count is 0 (a stream of D pictures, which the product
#     skips) refusing the input (exit status 2) is accepted as well.
#   - agreement "exact": bit-for-bit equal to the reference decoder's
#     pictures; "close" (AC residual): largest difference at most 6 and a
#     mean PSNR per plane of at least 40 dB; "count": frame count only.
#   - reference "ffmpeg": compared with ffmpeg's pictures and with the
#     synthesizer's expected pictures; "model": ffmpeg deviates from the
#     standard there, so only the expected pictures count. Without ffmpeg
#     installed every comparison uses the expected pictures.
# Exit status 0 when every scenario passes, 1 otherwise.
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 VIDORLAN_CONVERT [BIN_DIR] [SCENARIO...]" >&2
  exit 1
fi
convert=$1
shift
bin=$(dirname "$convert")
if [ $# -gt 0 ] && [ -d "$1" ]; then
  bin=$1
  shift
fi
synth="$bin/vidorlan-synth"
compare="$bin/vidorlan-y4m-compare"
for tool in "$convert" "$synth" "$compare"; do
  if [ ! -x "$tool" ]; then
    echo "$0: $tool is missing" >&2
    exit 1
  fi
done
have_ffmpeg=1
command -v ffmpeg >/dev/null 2>&1 || have_ffmpeg=0
[ "$have_ffmpeg" -eq 1 ] || echo "ffmpeg not found: comparing with the expected pictures only"

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

frame_count() {
  if [ ! -s "$1" ]; then
    echo 0
    return
  fi
  "$compare" "$1" "$1" | sed -n 's/^frames: \([0-9]*\),.*/\1/p'
}

selected() {
  [ -z "$only" ] && return 0
  for n in $only; do
    [ "$n" = "$1" ] && return 0
  done
  return 1
}
only="$*"

# compare_with LABEL REFERENCE DECODED LIMITS...
compare_with() {
  label=$1
  reference_file=$2
  decoded_file=$3
  shift 3
  if ! "$compare" "$reference_file" "$decoded_file" "$@" >"$work/compare.out" 2>&1; then
    echo "FAIL $name: differs from $label ($agreement):"
    sed 's/^/     /' "$work/compare.out"
    return 1
  fi
  return 0
}

tab=$(printf '\t')
"$synth" --table >"$work/table" || exit 1
failures=0
scenarios=0
while IFS="$tab" read -r name frames ffmpeg_frames product_frames agreement reference description; do
  selected "$name" || continue
  scenarios=$((scenarios + 1))
  stream="$work/$name.m2v"
  expected="$work/$name.expected.y4m"
  reference_y4m="$work/$name.ffmpeg.y4m"
  output="$work/$name.vidorlan.y4m"
  if ! "$synth" "$name" "$stream" --expect "$expected"; then
    echo "FAIL $name: the synthesizer failed"
    failures=$((failures + 1))
    continue
  fi

  "$convert" --quiet --y4m "$output" "$stream" >"$work/$name.stdout" 2>"$work/$name.stderr"
  status=$?
  count=$(frame_count "$output")
  if [ "$product_frames" -eq 0 ] && [ "$status" -eq 2 ]; then
    count=0
    status=0
  fi
  if [ "$status" -ne 0 ]; then
    echo "FAIL $name: vidorlan-convert exit status $status:"
    sed 's/^/     /' "$work/$name.stderr"
    failures=$((failures + 1))
    continue
  fi
  if [ "$count" != "$product_frames" ]; then
    echo "FAIL $name: vidorlan-convert shows $count frames, expected $product_frames"
    failures=$((failures + 1))
    continue
  fi
  if [ "$agreement" = count ] || [ "$count" -eq 0 ]; then
    echo "ok   $name: $count frames"
    continue
  fi

  if [ "$agreement" = exact ]; then
    set -- --exact
  else
    set -- --max-diff 6 --min-psnr 40
  fi
  ok=1
  if [ "$reference" = ffmpeg ] && [ "$have_ffmpeg" -eq 1 ]; then
    ffmpeg -nostdin -v error -i "$stream" -f yuv4mpegpipe -fps_mode passthrough -y \
      "$reference_y4m" 2>"$work/$name.ffmpeg.log"
    compare_with ffmpeg "$reference_y4m" "$output" "$@" || ok=0
    # The field order in the header (Ip, It, Ib) is ffmpeg's too.
    ours=$(head -n 1 "$output" | tr ' ' '\n' | grep '^I')
    theirs=$(head -n 1 "$reference_y4m" | tr ' ' '\n' | grep '^I')
    if [ "$ours" != "$theirs" ]; then
      echo "FAIL $name: field order $ours, ffmpeg says $theirs"
      ok=0
    fi
  fi
  if [ "$ok" -eq 1 ]; then
    compare_with "the expected pictures" "$expected" "$output" "$@" || ok=0
  fi
  if [ "$ok" -eq 1 ]; then
    echo "ok   $name: $count frames, $agreement"
  else
    failures=$((failures + 1))
  fi
done <"$work/table"

echo "$scenarios scenarios, $failures failed"
[ "$failures" -eq 0 ]
