#!/usr/bin/env bash
# Times the decoder and the whole conversion against independent tools on
# the same stream, each group in one hyperfine run:
# decoding
#   - vidorlan-convert --y4m /dev/null
#   - mpeg2dec -s -o null          (libmpeg2)
#   - ffmpeg -threads 1 -f null    (libavcodec, one thread)
# converting to an uncompressed 24-bit AVI (no deinterlacing, 1:1 shape)
#   - vidorlan-convert -o OUT.avi
#   - ffmpeg -threads 1 -pix_fmt bgr24 -c:v rawvideo OUT.avi
# and the peak memory of each conversion (GNU time).
# The stream is a 720x576 interlaced MPEG-2 program stream of 500 frames
# (field DCT and field motion, B pictures), generated once into bench/data.
#
#   bench/run.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
convert=build/bin/vidorlan-convert
[ -x "$convert" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
for tool in hyperfine mpeg2dec ffmpeg; do
  command -v $tool >/dev/null || { echo "needs $tool (apt-get install -y hyperfine mpeg2dec ffmpeg)" >&2; exit 1; }
done

mkdir -p bench/data
stream=bench/data/pal_interlaced_500.mpg
if [ ! -s "$stream" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=720x576:rate=50" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" \
    -vf "tinterlace=interleave_top,setfield=tff" -frames:v 500 \
    -c:v mpeg2video -b:v 6M -maxrate 9M -bufsize 1835k -g 12 -bf 2 -flags +ilme+ildct \
    -c:a mp2 -b:a 192k -shortest -f vob "$stream"
fi

report() {
  python3 - "$1" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ours = results["vidorlan"]["median"]
print("\nmedian seconds and ratio vidorlan/other:")
for name, r in results.items():
    print(f"  {name:10s} {r['median']:.3f} s   ratio {ours / r['median']:.2f}")
PY
}

echo "== decoding 500 frames of 720x576 interlaced MPEG-2"
hyperfine --warmup 1 --runs "$runs" --export-json bench/data/decode.json \
  -n vidorlan "$convert -q --y4m /dev/null $stream" \
  -n mpeg2dec "mpeg2dec -s -o null $stream" \
  -n ffmpeg "ffmpeg -v error -threads 1 -i $stream -an -f null -"
report bench/data/decode.json

echo
echo "== converting to an uncompressed AVI (no deinterlacing, 1:1)"
out=bench/data/out
mkdir -p "$out"
hyperfine --warmup 1 --runs "$runs" --export-json bench/data/convert.json \
  -n vidorlan "$convert -q --no-deinterlace --aspect 1:1 -o $out/vidorlan.avi $stream" \
  -n ffmpeg "ffmpeg -v error -y -threads 1 -i $stream -an -pix_fmt bgr24 -c:v rawvideo $out/ffmpeg.avi"
report bench/data/convert.json

echo
echo "== peak memory (maximum resident set size)"
for name in vidorlan ffmpeg; do
  if [ $name = vidorlan ]; then
    cmd=("$convert" -q --no-deinterlace --aspect 1:1 -o "$out/vidorlan.avi" "$stream")
  else
    cmd=(ffmpeg -v error -y -threads 1 -i "$stream" -an -pix_fmt bgr24 -c:v rawvideo "$out/ffmpeg.avi")
  fi
  kb=$(/usr/bin/time -f "%M" "${cmd[@]}" 2>&1 >/dev/null | tail -1)
  echo "  $name $((kb / 1024)) MiB"
done
rm -rf "$out"
