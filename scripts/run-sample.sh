#!/usr/bin/env bash
# The main job: sets everything up, makes a phantom CT series of slice files
# and runs the whole road on it in sample-run/:
#   dirsort sample; slicejpeg sample_list.txt; dirsort sample; triview
# With a display the three windows open; without one the viewer runs under
# Xvfb, saves its three views through its own hot keys and the paths of the
# saved images are printed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$repo/build/bin
work=$repo/sample-run

bash "$repo/scripts/setup.sh" run

rm -rf "$work"
mkdir -p "$work"
cd "$work"

# Runs one step; its whole transcript goes to a log, the first and last lines to the console.
step() {
  local log=$1
  shift
  echo "== $(basename "$1") ${*:2}   (transcript: sample-run/$log)"
  local status=0
  "$@" >"$log" 2>&1 || status=$?
  if [ "$(wc -l <"$log")" -le 12 ]; then cat "$log"; else head -n 6 "$log"; echo "   ..."; tail -n 4 "$log"; fi
  if [ $status -ne 0 ]; then
    echo "run-sample: $(basename "$1") ended with status $status" >&2
    exit $status
  fi
}

step phantom.log "$bin/phantom_series" --width 256 --height 256 --slices 60 sample
step dirsort-1.log "$bin/dirsort" sample
step slicejpeg.log "$bin/slicejpeg" sample_list.txt
step dirsort-2.log "$bin/dirsort" sample
echo "== max file sample_max.txt"
cat sample_max.txt

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "== triview (ESC in a view window quits)"
  "$bin/triview"
else
  echo "== triview under Xvfb (no display)"
  bash "$repo/scripts/triview-headless.sh" "$bin/triview" sample_jpg_list.txt
fi
