#!/bin/sh
# Writes every synthesized scenario and decodes it with ffmpeg. ffmpeg must
# decode it without errors into the number of frames it is known to show,
# and where ffmpeg serves as the reference its pictures must equal the
# synthesizer's expected pictures: bit for bit, or closely for the scenarios
# with AC residual (whose pictures depend on the inverse DCT).
#
# Usage: synth_ffmpeg_check.sh VIDORLAN_SYNTH VIDORLAN_Y4M_COMPARE
# Exit status 77 (skipped) when ffmpeg is not installed.
set -u

synth=$1
compare=$2

if ! command -v ffmpeg >/dev/null 2>&1; then
  echo "ffmpeg not found: skipped"
  exit 77
fi

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

# Frames in a YUV4MPEG2 file (0 when it is missing or empty).
frame_count() {
  if [ ! -s "$1" ]; then
    echo 0
    return
  fi
  "$compare" "$1" "$1" | sed -n 's/^frames: \([0-9]*\),.*/\1/p'
}

tab=$(printf '\t')
"$synth" --table >"$work/table" || exit 1
failures=0
scenarios=0
while IFS="$tab" read -r name frames ffmpeg_frames product_frames agreement reference description; do
  scenarios=$((scenarios + 1))
  stream="$work/$name.m2v"
  expected="$work/$name.expected.y4m"
  decoded="$work/$name.ffmpeg.y4m"
  log="$work/$name.log"
  if ! "$synth" "$name" "$stream" --expect "$expected"; then
    echo "FAIL $name: the synthesizer failed"
    failures=$((failures + 1))
    continue
  fi
  ffmpeg -nostdin -v error -i "$stream" -f yuv4mpegpipe -fps_mode passthrough -y "$decoded" \
    2>"$log"
  status=$?
  count=$(frame_count "$decoded")
  if [ "$count" != "$ffmpeg_frames" ]; then
    echo "FAIL $name: ffmpeg shows $count frames, expected $ffmpeg_frames"
    failures=$((failures + 1))
    continue
  fi
  if [ "$reference" = none ]; then
    echo "ok   $name: $count frames ($description)"
    continue
  fi
  if [ "$status" -ne 0 ] || [ -s "$log" ]; then
    echo "FAIL $name: ffmpeg reports errors:"
    sed 's/^/     /' "$log"
    failures=$((failures + 1))
    continue
  fi
  if [ "$reference" = model ]; then
    echo "ok   $name: $count frames (ffmpeg known to differ from the expected pictures)"
    continue
  fi
  if [ "$agreement" = exact ]; then
    limits="--exact"
  else
    limits="--max-diff 3 --min-psnr 45"
  fi
  # shellcheck disable=SC2086
  if ! "$compare" "$expected" "$decoded" $limits >"$work/$name.compare"; then
    echo "FAIL $name: ffmpeg's pictures differ from the expected ones ($agreement):"
    sed 's/^/     /' "$work/$name.compare"
    failures=$((failures + 1))
    continue
  fi
  echo "ok   $name: $count frames, $agreement"
done <"$work/table"

echo "$scenarios scenarios, $failures failed"
[ "$failures" -eq 0 ]
