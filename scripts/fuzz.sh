#!/usr/bin/env bash
# Builds every fuzz target fuzz/fuzz_*.cpp with clang (libFuzzer + AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 60). A target names the sources it links on a line
# "// fuzz-sources: ..." and the files that seed its corpus on a line "// fuzz-seeds: ..."; libraries beyond Qt Core
# and zlib go on a line "// fuzz-packages: ..." (pkg-config names).
#   scripts/fuzz.sh [SECONDS]          FUZZ_RUNS=N scripts/fuzz.sh   (a number of executions instead)
#   FUZZ_TARGETS="fuzz_list_xml" scripts/fuzz.sh                      (only these targets)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
out=${FUZZ_BUILD_DIR:-build-fuzz}
cxx=${CXX_FUZZ:-clang++-14}
command -v "$cxx" >/dev/null || cxx=clang++

mkdir -p "$out"
limit=(-max_total_time="$seconds")
[ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
# Every archive run writes and extracts files; a memory-backed temporary folder keeps the disk out of the measurement.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

for source in fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  if [ -n "${FUZZ_TARGETS:-}" ] && [[ " $FUZZ_TARGETS " != *" $name "* ]]; then
    continue
  fi
  sources=$(sed -n 's|^// fuzz-sources: ||p' "$source")
  seeds=$(sed -n 's|^// fuzz-seeds: ||p' "$source")
  packages="Qt6Core zlib $(sed -n 's|^// fuzz-packages: ||p' "$source")"
  echo "== $name"
  # shellcheck disable=SC2046,SC2086
  "$cxx" -std=c++20 -O1 -g -fPIC -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -DQT_NO_CAST_FROM_BYTEARRAY -DQT_USE_QSTRINGBUILDER \
    -Isrc $(pkg-config --cflags $packages) \
    "$source" $sources \
    $(pkg-config --libs $packages) \
    -o "$out/$name"

  # The seeds start the corpus; what the fuzzer adds stays in the build folder, never in the sources.
  corpus="$out/corpus/$name"
  mkdir -p "$corpus"
  # shellcheck disable=SC2086
  cp -n $seeds "$corpus/" 2>/dev/null || true
  "$out/$name" "${limit[@]}" -max_len=16384 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/$name-" "$corpus"
done
