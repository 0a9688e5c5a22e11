#!/bin/bash
# vidorlan-convert when the output goes wrong, checked with ffprobe/ffmpeg.
#   output_faults.sh faults|kill CONVERT SAMPLE WORKDIR
# faults: a disk that fills up during a file and during a split series, no
#   room for the header, a read-only file system, a job cancelled at once
#   and one cancelled after a split. Every status and message is checked,
#   and every file left opens with all the frames its header reports. A small file
#   system is mounted in a private mount namespace where that is allowed;
#   otherwise a file size limit stands in for it.
# kill: the converter is killed (SIGKILL) during a long write; ffmpeg must
#   decode every frame that reached the disk, and the same pictures as a
#   complete conversion.
# Exit status 77: skipped (no ffmpeg).
set -u
mode=$1 convert=$2 sample=$3 work=$4

for tool in ffprobe ffmpeg; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
if [ "$mode" = faults ] && [ -z "${VIDORLAN_PRIVATE_MOUNTS:-}" ] && unshare -m true 2>/dev/null
then
  VIDORLAN_PRIVATE_MOUNTS=1 exec unshare -m --propagation private "$0" "$@"
fi

rm -rf "$work" && mkdir -p "$work" || exit 1
# Failures are noted in a file: checks also run in subshells.
fail() {
  echo "FAIL: $*" | tee -a "$work/failures" >&2
}

frame_bytes=$((352 * 288 * 3))  # the sample's frames, uncompressed
inputs=()
for _ in $(seq 16); do inputs+=("$sample"); done

# ffprobe's count of a stream entry, 0 for N/A (a stream without frames).
probe_count() {
  local n
  n=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries "stream=$2" \
    -of default=nw=1:nk=1 "$1") || { echo "unreadable"; return; }
  [ "$n" = N/A ] && n=0
  echo "$n"
}

# A file left by a job: readable, with as many frames as its header says.
check_whole() {
  local read header
  read=$(probe_count "$1" nb_read_frames)
  header=$(probe_count "$1" nb_frames)
  [ "$read" = "$header" ] || fail "$1: header counts $header frames, ffprobe reads $read"
  echo "$read"
}

# check_series BASE FRAMES MIN_FILES: the numbered files BASE0.avi, ... are
# each whole; all but the last hold FRAMES frames.
check_series() {
  local i=0 total=0 n
  while [ -e "$1$i.avi" ]; do
    n=$(check_whole "$1$i.avi")
    [ -e "$1$((i + 1)).avi" ] && [ "$n" != "$2" ] && fail "$1$i.avi holds $n frames, not $2"
    total=$((total + n))
    i=$((i + 1))
  done
  [ $i -ge "$3" ] || fail "$1: only $i files"
  echo "$i files, $total frames"
}

# run LIMIT_KB STATUS MESSAGE ARGS...: runs the converter (under a file size
# limit unless LIMIT_KB is -) and checks its status and message.
run() {
  local limit=$1 status=$2 message=$3
  shift 3
  local err got
  if [ "$limit" = - ]; then
    err=$("$convert" -q "$@" 2>&1 >/dev/null)
  else
    err=$(ulimit -f "$limit" && "$convert" -q "$@" 2>&1 >/dev/null)
  fi
  got=$?
  [ "$got" = "$status" ] || fail "$* ended with $got, not $status ($err)"
  local expected=""
  [ -n "$message" ] && expected="vidorlan-convert: $message"
  [ "$err" = "$expected" ] || fail "$*: message '$err', not '$expected'"
}

# For a job started in the background with its messages going to
# $work/cancel.err: waits until `$2` exists, sends SIGINT and checks that the
# job ends with 130 and without a message.
interrupt_when() {
  local pid=$1 path=$2 tries=0
  while [ ! -s "$path" ] && kill -0 "$pid" 2>/dev/null && [ $tries -lt 2000 ]; do
    sleep 0.01
    tries=$((tries + 1))
  done
  kill -INT "$pid"
  wait "$pid"
  local got=$?
  [ "$got" = 130 ] || fail "interrupted job ended with $got, not 130"
  [ -s "$work/cancel.err" ] && fail "a cancel is not an error: $(cat "$work/cancel.err")"
}

output_faults() {
  local small="$work/small" mounted=0
  mkdir -p "$small"
  if [ -n "${VIDORLAN_PRIVATE_MOUNTS:-}" ] && mount -t tmpfs -o size=3m tmpfs "$small" 2>/dev/null
  then
    mounted=1
  else
    echo "cannot mount a file system here: a file size limit stands in for a full disk"
  fi
  local limit=3072 header_limit=32
  [ $mounted = 1 ] && limit=- && header_limit=-

  # The disk fills up during a file: a write error, and the file keeps
  # every frame its header reports.
  run $limit 4 "Error writing AVI-file." -o "$small/full.avi" "$sample"
  local n
  n=$(check_whole "$small/full.avi")
  [ "$n" -gt 0 ] 2>/dev/null || fail "the full disk left no frame ($n)"
  echo "disk full during a file: $n frames kept"
  rm -f "$small"/*

  if [ $mounted = 1 ]; then
    # ...during a split series: the files finished before stay whole; the
    # one at the fault is whole too, or gone.
    run - 4 "Error writing AVI-file." --split-frames 4 -o "$small/part.avi" "$sample"
    echo "disk full during a split series: $(check_series "$small/part" 4 2)"
    rm -f "$small"/*
    umount "$small"
    # No room for the header at all.
    mount -t tmpfs -o size=32k tmpfs "$small" || fail "cannot mount a 32 KiB file system"
  fi
  run $header_limit 3 "Error creating AVI-file" -o "$small/header.avi" "$sample"
  [ -e "$small/header.avi" ] && fail "a file without room for its header was left behind"
  [ $mounted = 1 ] && umount "$small"

  # A path where no file can be made (others are in cli_tests).
  if [ $mounted = 1 ]; then
    mkdir -p "$work/ro" && mount -t tmpfs -o ro,size=1m tmpfs "$work/ro" &&
      run - 3 "Error creating AVI-file" -o "$work/ro/x.avi" "$sample" && umount "$work/ro"
  fi

  # Cancelled at once: the frame in progress is written, the file closed.
  "$convert" -q -o "$work/at_once.avi" "${inputs[@]}" 2>"$work/cancel.err" &
  interrupt_when $! "$work/at_once.avi"
  n=$(check_whole "$work/at_once.avi")
  [ "$n" -ge 1 ] 2>/dev/null && [ "$n" -lt 800 ] || fail "cancelled at once: $n frames"
  echo "cancelled at once: $n frames"

  # Cancelled after a split: every file closed and whole.
  "$convert" -q --codec ffv1 --split-frames 5 -o "$work/split.avi" "${inputs[@]}" \
    2>"$work/cancel.err" &
  interrupt_when $! "$work/split2.avi"
  echo "cancelled after a split: $(check_series "$work/split" 5 3)"
}

killed_write() {
  local out="$work/killed.avi" reference="$work/reference.avi"
  "$convert" -q -o "$out" "${inputs[@]}" &
  local pid=$! tries=0
  while [ "$(stat -c %s "$out" 2>/dev/null || echo 0)" -lt 60000000 ] && [ $tries -lt 2000 ]; do
    sleep 0.01
    tries=$((tries + 1))
  done
  kill -KILL $pid
  wait $pid 2>/dev/null
  local size
  size=$(stat -c %s "$out")
  # Frames wholly on the disk: the header is as long as a one-frame file
  # less its frame's chunk and its one-entry idx1 (8 + 16 bytes).
  "$convert" -q --frames 1 -o "$reference" "$sample" || fail "no reference file"
  local header=$(($(stat -c %s "$reference") - frame_bytes - 8 - 24))
  local expected=$(((size - header) / (frame_bytes + 8)))
  local errors decoded
  errors=$(ffmpeg -v error -nostdin -i "$out" -map 0:v -f framemd5 "$work/killed.md5" 2>&1)
  [ -z "$errors" ] || fail "ffmpeg reports: $errors"
  decoded=$(grep -vc '^#' "$work/killed.md5")
  [ "$decoded" = "$expected" ] || fail "ffmpeg decodes $decoded frames of the $expected on the disk"
  # The same pictures as a complete conversion of those frames.
  "$convert" -q --frames "$expected" -o "$reference" "${inputs[@]}"
  ffmpeg -v error -nostdin -i "$reference" -map 0:v -f framemd5 "$work/reference.md5"
  cmp -s <(grep -v '^#' "$work/killed.md5") <(grep -v '^#' "$work/reference.md5") ||
    fail "the killed file's frames differ from a complete conversion"
  echo "killed at $size bytes: $decoded of $expected frames decoded"
  rm -f "$out" "$reference"
}

case $mode in
  faults) output_faults ;;
  kill) killed_write ;;
  *) echo "unknown mode $mode" >&2; exit 1 ;;
esac
[ -e "$work/failures" ] && exit 1
echo "all checks passed"
