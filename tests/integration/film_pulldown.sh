#!/usr/bin/env bash
# Film with soft 3:2 pulldown, as mpeg2enc -p writes it from a 23.976 fps
# source (29.97 fps in the sequence header): --info says so, and the AVI
# holds every film frame at 23.976 fps, so it lasts as long as the film
# (ffmpeg's own duration of the stream); a rate the user gives still wins.
# Video at 29.97 made by ffmpeg stays at 29.97.
#
#   film_pulldown.sh CONVERT WORKDIR
set -euo pipefail
convert=$1 work=$2
for tool in ffmpeg ffprobe mpeg2enc; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

film=$work/film.m2v video=$work/video.vob
ffmpeg -v error -y -f lavfi -i "testsrc2=size=352x480:rate=24000/1001" -frames:v 96 \
  -pix_fmt yuv420p -f yuv4mpegpipe - | mpeg2enc -v 0 -f 3 -b 3000 -p -F 4 -o "$film"
ffmpeg -v error -y -f lavfi -i "testsrc2=size=352x480:rate=30000/1001" -frames:v 60 \
  -c:v mpeg2video -flags +ilme+ildct -f vob "$video"

info=$("$convert" --info "$film")
grep -qx "3:2 pulldown: film at 23.976 fps" <<<"$info" || fail "no pulldown line: $info"
grep -qx "pulldown=1" <<<"$info" && grep -qx "default_rate=23.976" <<<"$info" || fail "$info"
info=$("$convert" --info "$video")
grep -qx "pulldown=0" <<<"$info" && grep -qx "default_rate=29.97" <<<"$info" || fail "$info"

probe() {  # FILE: rate, frames and duration of the first video stream
  ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=r_frame_rate,nb_read_frames -of csv=p=0 "$1"
}
"$convert" -q -o "$work/film.avi" "$film"
[ "$(probe "$work/film.avi")" = "24000/1001,96" ] || fail "film AVI: $(probe "$work/film.avi")"
# ffmpeg plays the film for as long as its fields last: 96 frames at 23.976.
seconds=$(ffmpeg -nostdin -i "$film" -f null - 2>&1 | grep -o 'time=[0-9:.]*' | tail -1 | cut -d: -f3)
python3 -c "import sys; sys.exit(abs(float(sys.argv[1]) - 96 * 1001 / 24000) > 0.05)" "$seconds" ||
  fail "ffmpeg plays the film for $seconds s"
"$convert" -q --rate 29.97 -o "$work/chosen.avi" "$film"
[ "$(probe "$work/chosen.avi")" = "30000/1001,96" ] || fail "the user's rate"
echo "ok"
