#!/usr/bin/env bash
# Converts streams of every kind twice, with the kernels chosen for this
# processor and with the portable ones only (--cpu portable): the decoded
# pictures (--y4m) and the AVI files (uncompressed straight and resized with
# deinterlacing, and through every compressor: the lossy ones take pictures
# converted to YUV 4:2:0 by kernels too) must be the same byte for byte.
#
#   kernels_identical.sh CONVERT SYNTH WORKDIR
set -euo pipefail

convert=$1 synth=$2 work=$3
command -v ffmpeg >/dev/null || { echo "ffmpeg missing: skipped"; exit 77; }
mkdir -p "$work"

# make NAME SIZE FRAMES FFMPEG-OPTIONS...: a stream of test patterns with
# noise (every coefficient size, every vector case) made by ffmpeg's encoder.
make() {
  local name=$1 size=$2 frames=$3
  shift 3
  [ -s "$work/$name" ] && return
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=50,noise=alls=16:allf=t" \
    -frames:v "$frames" "$@" "$work/$name.tmp.${name##*.}"
  mv "$work/$name.tmp.${name##*.}" "$work/$name"
}
interlaced=(-vf "tinterlace=interleave_top,setfield=tff" -flags +ilme+ildct -field_order tt)
make interlaced.vob 720x576 10 "${interlaced[@]}" -c:v mpeg2video -b:v 6M -maxrate 9M \
  -bufsize 1835k -g 6 -bf 2 -f dvd -muxrate 10080000 -packetsize 2048
make progressive.m2v 352x288 12 -c:v mpeg2video -q:v 3 -g 6 -bf 2
make chroma422.m2v 720x576 8 "${interlaced[@]}" -pix_fmt yuv422p -c:v mpeg2video -q:v 3 -g 6 -bf 2
make mpeg1.m1v 344x240 12 -c:v mpeg1video -q:v 3 -g 6 -bf 2
[ -s "$work/chroma444.m2v" ] || "$synth" mpeg2_chroma_444 "$work/chroma444.m2v"

failures=0
# same LABEL OUTPUT-NAME OPTIONS...: runs both ways and compares.
same() {
  local label=$1 out=$2
  shift 2
  for cpu in auto portable; do
    if ! "$convert" -q --cpu $cpu "$@" >"$work/$cpu.log" 2>&1; then
      echo "FAIL $label: --cpu $cpu exit status $?"
      sed 's/^/     /' "$work/$cpu.log"
      failures=$((failures + 1))
      return
    fi
    mv "$work/$out" "$work/$cpu.$out"
  done
  if cmp -s "$work/auto.$out" "$work/portable.$out"; then
    echo "ok   $label"
  else
    echo "FAIL $label: the outputs differ"
    failures=$((failures + 1))
  fi
  rm -f "$work/auto.$out" "$work/portable.$out"
}

for stream in interlaced.vob progressive.m2v chroma422.m2v mpeg1.m1v chroma444.m2v; do
  input=$work/$stream
  same "$stream y4m" out.y4m --y4m "$work/out.y4m" "$input"
  same "$stream uncompressed" out.avi -o "$work/out.avi" "$input"
  same "$stream uncompressed resized, deinterlaced" out.avi --deinterlace --aspect 16:9 \
    --crop-top 2 --crop-height 61 -o "$work/out.avi" "$input"
  for codec in ffv1 huffyuv utvideo mjpeg mpeg4 h264; do
    same "$stream $codec" out.avi --codec $codec -o "$work/out.avi" "$input"
  done
done
echo "$failures failed"
[ "$failures" -eq 0 ]
