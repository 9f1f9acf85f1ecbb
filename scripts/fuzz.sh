#!/usr/bin/env bash
# Builds every fuzz target of fuzz/CMakeLists.txt with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, the program's libraries instrumented too) in build-fuzz/ and runs each for the given
# number of seconds (default 60), its corpus started from its seeds. Every target is built and run even when another
# fails; the summary names each target's result and the script fails at the end if any target failed to build or
# found a fault.
#   scripts/fuzz.sh [SECONDS]          FUZZ_RUNS=N scripts/fuzz.sh   (a number of executions instead)
#   FUZZ_TARGETS="fuzz_list_xml" scripts/fuzz.sh                      (only these targets)
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
out=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${JOBS:-$(nproc)}
cxx=${CXX_FUZZ:-clang++-14}
command -v "$cxx" >/dev/null || cxx=clang++
cc=${cxx/clang++/clang}

if [ ! -f "$out/build.ninja" ]; then
  if ! CC="$cc" CXX="$cxx" cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
      -DVESTRUM_BUILD_FUZZ=ON -DVESTRUM_BUILD_TESTS=OFF -DVESTRUM_BUILD_BENCH=OFF; then
    echo "fuzz: the fuzz build cannot be configured" >&2
    exit 1
  fi
else
  # The target list is written when CMake runs; a new target line must reach it.
  cmake "$out" >/dev/null || { echo "fuzz: the fuzz build cannot be configured" >&2; exit 1; }
fi
manifest="$out/fuzz/fuzz_targets.txt"

limit=(-max_total_time="$seconds")
[ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
# Every archive run writes and extracts files; a memory-backed temporary folder keeps the disk out of the measurement.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

results=()
failed=0
while IFS=$'\t' read -r name seeds; do
  if [ -n "${FUZZ_TARGETS:-}" ] && [[ " $FUZZ_TARGETS " != *" $name "* ]]; then
    continue
  fi
  echo "== $name"
  if ! cmake --build "$out" -j "$jobs" --target "$name"; then
    results+=("$name: does not build")
    failed=1
    continue
  fi

  # The seeds start the corpus; what the fuzzer adds stays in the build folder, never in the sources.
  corpus="$out/corpus/$name"
  mkdir -p "$corpus"
  IFS=';' read -r -a seed_paths <<<"$seeds"
  for seed in "${seed_paths[@]}"; do
    if [ -d "$seed" ]; then
      cp -n "$seed"/* "$corpus/" 2>/dev/null
    else
      cp -n "$seed" "$corpus/"
    fi
  done

  "$out/fuzz/$name" "${limit[@]}" -max_len=16384 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/$name-" "$corpus"
  status=$?
  if [ "$status" -eq 0 ]; then
    results+=("$name: no fault found")
  else
    results+=("$name: FAILED (exit $status; the input is saved as $out/$name-*)")
    failed=1
  fi
done <"$manifest"

echo "== fuzz summary"
[ ${#results[@]} -eq 0 ] && { echo "no fuzz target ran" >&2; exit 1; }
printf '%s\n' "${results[@]}"
exit "$failed"
