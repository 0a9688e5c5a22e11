#!/bin/sh
# Starts vidorlan-mpeg on a virtual X server and checks that its main window
# "Vidorlan MPEG" comes up, that the program ignores SIGXFSZ (a file size
# limit must be a write error, not the end of the program) and that Escape
# (pressed by the program's --exit-after-ms test option) ends it with
# status 0. The program is put on the X server whatever QT_QPA_PLATFORM says.
#   smoke_test.sh PATH/TO/vidorlan-mpeg
# Needs xvfb-run (xvfb) and xwininfo (x11-utils).
set -eu
program=$1
for tool in xvfb-run xwininfo; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed" >&2
    exit 1
  fi
done

exec xvfb-run -a sh -c '
  program=$1
  QT_QPA_PLATFORM=xcb "$program" --exit-after-ms 3000 &
  pid=$!
  seen=0
  tries=0
  while [ $tries -lt 100 ]; do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Vidorlan MPEG\""; then
      seen=1
      break
    fi
    tries=$((tries + 1))
    sleep 0.1
  done
  if [ $seen -ne 1 ]; then
    echo "no window titled \"Vidorlan MPEG\" appeared" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  # SIGXFSZ is signal 25: bit 24 of the mask of ignored signals.
  ignored=$(sed -n "s/^SigIgn:[[:space:]]*//p" "/proc/$pid/status")
  if [ $(( (0x$ignored >> 24) & 1 )) -ne 1 ]; then
    echo "the program does not ignore SIGXFSZ (SigIgn $ignored)" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  # Escape comes after 3 s; allow 20 s in all before calling it a hang.
  tries=0
  while kill -0 "$pid" 2>/dev/null; do
    if [ $tries -ge 200 ]; then
      echo "the program did not end after Escape" >&2
      kill "$pid" 2>/dev/null || true
      exit 1
    fi
    tries=$((tries + 1))
    sleep 0.1
  done
  status=0
  wait "$pid" || status=$?
  if [ $status -ne 0 ]; then
    echo "the program ended with status $status" >&2
    exit 1
  fi
  echo "window seen, Escape ended the program"
' smoke "$program"
