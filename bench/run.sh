#!/usr/bin/env bash
# Times vidorlan-convert against independent tools on the same streams and
# prints every ratio (vidorlan / other) with medians and spreads:
#   a) the streams, made once into bench/data: a 720x576 interlaced DVD VOB
#      of 500 frames at 6 Mbit/s with fine noise (field DCT, field motion,
#      B pictures, an MP2 track) and a 1920x1080 interlaced VOB of 100
#      frames at 15 Mbit/s
#   b) conversion into an uncompressed AVI (no deinterlacing, 1:1) against
#      ffmpeg -pix_fmt bgr24 -c:v rawvideo, with one thread and with ffmpeg's
#      default threads, SD and HD            (targets <= 0.50 and <= 0.75)
#   c) decoding alone (--y4m /dev/null) against mpeg2dec -s -o null, six
#      times RUNS runs                                  (target <= 0.90)
#   d) the peak memory of the SD conversion             (target <= 64 MiB)
#   e) each compressor against ffmpeg encoding the same stream with the
#      same encoder and settings into AVI (the whole SD stream)
#                                                       (target <= 1.00)
#
#   bench/run.sh [RUNS]          (RUNS per command, default 5)
#
# Needs hyperfine, mpeg2dec, ffmpeg, python3 and GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
# Decoding alone is short (HD: a fifth of a second a run), and the noise of
# a busy machine moves a median of five by as much as the margin of its
# target: it runs six times as often.
decode_runs=$((runs * 6))
convert=build/bin/vidorlan-convert
[ -x "$convert" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
for tool in hyperfine mpeg2dec ffmpeg python3; do
  command -v $tool >/dev/null || { echo "needs $tool (apt-get install -y hyperfine mpeg2dec ffmpeg python3)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "needs GNU time (apt-get install -y time)" >&2; exit 1; }

data=bench/data
out=$data/out
mkdir -p "$data/timings" "$out"
trap 'rm -rf "$out"' EXIT

# make_stream FILE SIZE FRAMES RATE MAXRATE BUFSIZE
make_stream() {
  [ -s "$1" ] && return
  echo "making $1"
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=$2:rate=50,noise=alls=20:allf=t" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" \
    -vf "tinterlace=interleave_top,setfield=tff" -frames:v "$3" \
    -c:v mpeg2video -b:v "$4" -maxrate "$5" -bufsize "$6" -g 12 -bf 2 -flags +ilme+ildct \
    -c:a mp2 -b:a 192k -shortest -f vob "$1.tmp"
  mv "$1.tmp" "$1"
}
sd=$data/pal_interlaced_500.vob
hd=$data/hd_interlaced_100.vob
make_stream "$sd" 720x576 500 6M 9M 1835k
make_stream "$hd" 1920x1080 100 15M 20M 8M

# compare NAME TARGETS JSON...: the other commands of a group against NAME,
# each as median (min..max) seconds over the runs of all its JSON files
# (hyperfine exports) and the ratio NAME / other (median, and the range from
# the extremes). TARGETS: the largest ratio for each other command in turn,
# comma-separated (the last one holds for the rest), or - for none.
compare() {
  python3 - "$@" <<'PY'
import json, statistics, sys
ours_name, targets, paths = sys.argv[1], sys.argv[2].split(","), sys.argv[3:]
times = {}
for path in paths:
    for r in json.load(open(path))["results"]:
        times.setdefault(r["command"], []).extend(r["times"])
def summary(t):
    return {"median": statistics.median(t), "min": min(t), "max": max(t),
            "sd": statistics.stdev(t) if len(t) > 1 else 0.0}
results = {name: summary(t) for name, t in times.items()}
ours = results[ours_name]
def line(name, r):
    return f"  {name:24s} {r['median']:7.3f} s  ({r['min']:.3f}..{r['max']:.3f}, sd {r['sd']:.3f})"
print(line(ours_name, ours))
others = [name for name in results if name != ours_name]
for index, name in enumerate(others):
    r = results[name]
    target = targets[min(index, len(targets) - 1)]
    ratio = ours["median"] / r["median"]
    low, high = ours["min"] / r["max"], ours["max"] / r["min"]
    mark = "" if target == "-" else ("  ok" if ratio <= float(target) else "  above target")
    print(line(name, r) + f"   ratio {ratio:.2f} ({low:.2f}..{high:.2f})"
          + ("" if target == "-" else f"  target <= {target}") + mark)
PY
}

# time_group TITLE TARGETS RUNS NAME COMMAND NAME COMMAND ...: RUNS runs of
# each command, the first command being vidorlan's, in rounds (hyperfine
# runs) that take the commands in turn, so that a machine that speeds up or
# slows down during the group does so for all of them alike: RUNS rounds of
# one run each, or rounds of five for groups of more than 10 runs, after one
# warm-up run of each. Every run writes a new file, as a conversion usually
# does: the outputs of the run before are removed first, untimed, so that no
# run pays for truncating the last one's 600 MB, and what is left in the
# page cache is written out (sync), so that no run competes with the kernel
# writing back the one before.
group=0
time_group() {
  local title=$1 targets=$2 n=$3
  shift 3
  local args=() first=$1
  while [ $# -gt 0 ]; do
    args+=(-n "$1" "$2")
    shift 2
  done
  local per_round=$([ "$n" -gt 10 ] && echo 5 || echo 1)
  local rounds=$(((n + per_round - 1) / per_round)) jsons=() round
  group=$((group + 1))
  echo
  echo "== $title"
  for round in $(seq "$rounds"); do
    jsons+=("$data/timings/group$group.$round.json")
    hyperfine -N --style none --warmup $([ "$round" = 1 ] && echo 1 || echo 0) \
      --runs "$per_round" --export-json "${jsons[-1]}" \
      --prepare "sh -c 'rm -f $out/vidorlan.avi $out/ffmpeg.avi && sync'" \
      "${args[@]}" >/dev/null
  done
  compare "$first" "$targets" "${jsons[@]}"
}

raw() {  # ffmpeg into an uncompressed 24-bit AVI; $1 = thread options
  echo "ffmpeg -v error -y $1 -i $2 -an -pix_fmt bgr24 -c:v rawvideo $out/ffmpeg.avi"
}
for stream in "$sd" "$hd"; do
  label=$([ "$stream" = "$sd" ] && echo "SD 720x576, 500 frames" || echo "HD 1920x1080, 100 frames")
  time_group "b) uncompressed AVI, $label" 0.50,0.75 "$runs" \
    vidorlan "$convert -q --no-deinterlace --aspect 1:1 -o $out/vidorlan.avi $stream" \
    "ffmpeg -threads 1" "$(raw "-threads 1" "$stream")" \
    "ffmpeg (threads)" "$(raw "" "$stream")"
  time_group "c) decoding alone, $label" 0.90 "$decode_runs" \
    vidorlan "$convert -q --y4m /dev/null $stream" \
    "mpeg2dec" "mpeg2dec -s -o null $stream"
done

echo
echo "== d) peak memory (maximum resident set size), SD conversion"
for name in vidorlan ffmpeg; do
  if [ $name = vidorlan ]; then
    cmd=("$convert" -q --no-deinterlace --aspect 1:1 -o "$out/vidorlan.avi" "$sd")
  else
    cmd=(ffmpeg -v error -y -threads 1 -i "$sd" -an -pix_fmt bgr24 -c:v rawvideo "$out/ffmpeg.avi")
  fi
  kb=$(/usr/bin/time -f "%M" "${cmd[@]}" 2>&1 >/dev/null | tail -1)
  mib=$((kb / 1024))
  if [ $name = vidorlan ]; then
    echo "  $name $mib MiB  (target <= 64 MiB$([ $mib -le 64 ] && echo ", ok" || echo ", above target"))"
  else
    echo "  $name $mib MiB"
  fi
done

# e) Each compressor with vidorlan's settings (see platform/compressor.h:
# defaults, slice threads, no B frames) and the pixel format it encodes, on
# all frames: ffmpeg takes about 50 ms longer to start (it probes the
# input), which on a short clip would hide an encoder's pace.
frames=500
declare -A ffmpeg_codec=(
  [ffv1]="-c:v ffv1 -pix_fmt bgr0"
  [huffyuv]="-c:v huffyuv -pix_fmt rgb24"
  [utvideo]="-c:v utvideo -pix_fmt gbrp"
  [mjpeg]="-c:v mjpeg -pix_fmt yuvj420p -q:v 4"
  [mpeg4]="-c:v mpeg4 -pix_fmt yuv420p -q:v 4 -bf 0 -vtag FMP4"
  [h264]="-c:v libx264 -pix_fmt yuv420p -tune zerolatency -bf 0"
)
for codec in ffv1 huffyuv utvideo mjpeg mpeg4 h264; do
  time_group "e) $codec, SD, $frames frames" 1.00 "$runs" \
    vidorlan "$convert -q --codec $codec --frames $frames --no-deinterlace --aspect 1:1 -o $out/vidorlan.avi $sd" \
    "ffmpeg" "ffmpeg -v error -y -i $sd -an -frames:v $frames ${ffmpeg_codec[$codec]} -f avi $out/ffmpeg.avi"
done
