#!/usr/bin/env bash
# Runs audio_sync.py (see there) with a Python that has numpy.
#
#   audio_sync.sh CONVERT WORKDIR
set -euo pipefail
for tool in ffmpeg ffprobe gst-discoverer-1.0; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
for python in python3 /usr/bin/python3; do
  if "$python" -c "import numpy" 2>/dev/null; then
    exec "$python" "$(dirname "$0")/audio_sync.py" "$@"
  fi
done
echo "no python3 with numpy: skipped"
exit 77
