#!/usr/bin/env bash
# Runs every benchmark program of the build, one after another; fails when one of them could not
# run to its end. The bench_*_autogen folders CMake makes beside the programs are no programs, and
# empty_main_window is no benchmark: bench_startup starts it as the baseline its start-up ratios are taken to.
set -uo pipefail
build_dir=$1
status=0
ran=0
for b in "$build_dir"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  if ! QT_QPA_PLATFORM=offscreen "$b"; then
    echo "!! $(basename "$b") did not finish" >&2
    status=1
  fi
  ran=$((ran + 1))
done
if [ "$ran" -eq 0 ]; then
  echo "no benchmark programs in $build_dir/bench" >&2
  exit 1
fi
exit $status
