#!/usr/bin/env bash
# Runs every benchmark program of the build, one after another.
set -euo pipefail
build_dir=$1
status=0
for b in "$build_dir"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=offscreen "$b" || status=1
done
exit $status
