#!/usr/bin/env bash
# A stream cut into pieces at arbitrary byte offsets (some pieces empty or a
# single byte) and given as a list decodes exactly like the whole file. The
# first piece holds at least the first start code, since the stream kind is
# told from the first file's own bytes.
#
#   cut_files.sh CONVERT SAMPLE WORKDIR
set -euo pipefail
convert=$1 sample=$2 work=$3
mkdir -p "$work"

streams=("$sample")
if command -v ffmpeg >/dev/null; then
  ffmpeg -v error -y -i "$sample" -an -c:v copy -f mpeg2video "$work/video.m2v"
  streams+=("$work/video.m2v")
fi

for stream in "${streams[@]}"; do
  "$convert" --y4m "$work/whole.y4m" "$stream"
  size=$(stat -c %s "$stream")
  for round in 1 2 3 4 5 6; do
    # Offsets from a fixed seed: near the start, random, adjacent ones, and
    # an empty piece.
    mapfile -t pieces < <(python3 - "$stream" "$work" "$round" <<'PY'
import random, sys
stream, work, seed = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(stream, "rb").read()
r = random.Random(seed)
cuts = {4, 4095, 4097} | {r.randrange(4, len(data)) for _ in range(4)}
cuts |= {r.choice(sorted(cuts)) + 1}
bounds = [0] + sorted(c for c in cuts if c < len(data)) + [len(data)]
pieces = [data[a:b] for a, b in zip(bounds, bounds[1:])]
pieces.insert(1, b"")
for i, piece in enumerate(pieces):
    path = f"{work}/piece{i}"
    open(path, "wb").write(piece)
    print(path)
PY
)
    "$convert" --y4m "$work/pieces.y4m" "${pieces[@]}"
    if ! cmp -s "$work/whole.y4m" "$work/pieces.y4m"; then
      echo "FAIL: $stream cut at ${cuts[*]} decodes differently" >&2
      exit 1
    fi
  done
  echo "ok: $stream"
done
