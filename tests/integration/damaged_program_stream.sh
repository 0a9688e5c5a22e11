#!/usr/bin/env bash
# A 75-frame PAL VOB (video and audio packs) damaged in its multiplex keeps
# its frames, as ffmpeg keeps them: pack headers turned into the headers of
# long audio packets, and 40 random 24-byte damages anywhere.
#
#   damaged_program_stream.sh CONVERT WORKDIR
set -euo pipefail
convert=$1 work=$2
command -v ffmpeg >/dev/null || { echo "ffmpeg missing: skipped"; exit 77; }
mkdir -p "$work"
vob=$work/pal75.vob
[ -s "$vob" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=720x576:rate=25" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -frames:v 75 \
  -c:v mpeg2video -b:v 6M -g 12 -bf 2 -c:a mp2 -b:a 192k -shortest -f vob "$vob"

count_frames() {
  "$convert" -q --y4m - "$1" 2>/dev/null | python3 -c '
import sys
data = sys.stdin.buffer.read()
header, rest = data.split(b"\n", 1)
w = int(header.split(b" W")[1].split()[0]); h = int(header.split(b" H")[1].split()[0])
print(len(rest) // (6 + w * h * 3 // 2))'
}

status=0
for damage in pack:3 pack:40 pack:70 random:1 random:2 random:3 random:4 random:5; do
  python3 - "$vob" "$work/damaged.vob" "$damage" <<'PY'
import random, sys
data = bytearray(open(sys.argv[1], "rb").read())
kind, n = sys.argv[3].split(":")
n = int(n)
if kind == "pack":
    # The n-th pack start code becomes an audio packet's: its length field
    # is then the pack header's clock, and points into later packs.
    at = -1
    for _ in range(n):
        at = data.index(b"\x00\x00\x01\xba", at + 1)
    data[at + 3] = 0xC0
else:
    r = random.Random(n)
    for _ in range(40):
        at = r.randrange(len(data) - 24)
        data[at:at + 24] = bytes(r.randrange(256) for _ in range(24))
open(sys.argv[2], "wb").write(data)
PY
  ours=$(count_frames "$work/damaged.vob")
  theirs=$(ffprobe -v quiet -count_frames -select_streams v -show_entries stream=nb_read_frames \
    -of csv=p=0 "$work/damaged.vob" | tr -d ,)
  echo "$damage: $ours frames, ffmpeg $theirs"
  # Pack damage costs nothing; random damage may cost a frame whose picture
  # header was hit.
  least=$([ "${damage%%:*}" = pack ] && echo 75 || echo 73)
  [ "$ours" -ge "$least" ] || status=1
done
exit $status
