#!/usr/bin/env bash
# Whole-process benchmark of dirsort on 10,000 files (6,000 slice files and
# four other extensions), console output to a file, side by side with
#   ls -f DIR | LC_ALL=C sort > FILE
# Usage: bench/dirsort/run.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
dirsort_bin=$(realpath "${1:-build}/bin/dirsort")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/series"
(
  cd "$work/series"
  seq 1 6000 | sed 's/^/IM./' | xargs touch
  for ext in txt jpg TXT log; do seq 1 1000 | sed "s/^/f/; s/\$/.$ext/" | xargs touch; done
)
cd "$work"
# Both commands run through the shell, whose start-up hyperfine subtracts.
hyperfine --warmup 10 --min-runs 100 \
  --command-name dirsort "'$dirsort_bin' series > console.txt" \
  --command-name "ls -f | sort" "ls -f series | LC_ALL=C sort > sorted.txt" \
  --export-json result.json
# Medians resist the outliers of a shared machine better than means.
/usr/bin/python3 - result.json <<'PY'
import json, statistics, sys
runs = {r["command"]: statistics.median(r["times"]) for r in json.load(open(sys.argv[1]))["results"]}
ours, peer = runs["dirsort"], runs["ls -f | sort"]
print(f"median: dirsort {ours * 1e3:.1f} ms, ls -f | sort {peer * 1e3:.1f} ms, ratio {ours / peer:.2f}")
PY
