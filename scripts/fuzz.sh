#!/usr/bin/env bash
# Builds the archive fuzz target with clang (libFuzzer + AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# it for the given number of seconds (default 60), starting from the small archives in tests/fixtures/archive.
#   scripts/fuzz.sh [SECONDS]          FUZZ_RUNS=N scripts/fuzz.sh   (a number of executions instead)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
out=${FUZZ_BUILD_DIR:-build-fuzz}
cxx=${CXX_FUZZ:-clang++-14}
command -v "$cxx" >/dev/null || cxx=clang++
mkdir -p "$out/corpus"

# shellcheck disable=SC2046
"$cxx" -std=c++20 -O1 -g -fPIC -Wall -Wextra \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -DQT_NO_CAST_FROM_BYTEARRAY -DQT_USE_QSTRINGBUILDER \
  -Isrc $(pkg-config --cflags Qt6Core zlib) \
  fuzz/fuzz_archive.cpp src/files/zlb_archive.cpp src/base/codepage.cpp \
  $(pkg-config --libs Qt6Core zlib) \
  -o "$out/fuzz_archive"

# The fixtures seed the corpus; what the fuzzer adds stays in the build folder, never in the sources.
cp -n tests/fixtures/archive/*.naj "$out/corpus/" 2>/dev/null || true

limit=(-max_total_time="$seconds")
[ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
# Every run writes and extracts files; a memory-backed temporary folder keeps the disk out of the measurement.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
"$out/fuzz_archive" "${limit[@]}" -max_len=16384 -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus"
