#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer + AddressSanitizer + UndefinedBehaviorSanitizer) and runs each
# for the given number of seconds (default 60):
#   archive      archives opened, extracted and checked, seeded with the small archives in tests/fixtures/archive
#   text_import  delimited text read into list rows and every row checked
#   scripts/fuzz.sh [SECONDS]     FUZZ_RUNS=N scripts/fuzz.sh (a number of executions instead)
#   FUZZ_TARGETS="text_import" scripts/fuzz.sh   (only some targets)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
out=${FUZZ_BUILD_DIR:-build-fuzz}
cxx=${CXX_FUZZ:-clang++-14}
command -v "$cxx" >/dev/null || cxx=clang++
targets=${FUZZ_TARGETS:-archive text_import}

# What each target is built from, the libraries it needs, the files that seed its corpus and its longest input.
sources_archive="fuzz/fuzz_archive.cpp src/files/zlb_archive.cpp src/base/codepage.cpp"
packages_archive="Qt6Core zlib"
seeds_archive="tests/fixtures/archive/*.naj"
max_len_archive=16384

sources_text_import="fuzz/fuzz_text_import.cpp src/import/import_text.cpp src/import/import_rules.cpp
  src/lists/list_catalogue.cpp src/lists/entry_pages.cpp src/lists/entry_checks.cpp
  src/lists/journal_identification.cpp src/lists/list_grid.cpp src/survey/form_catalogue.cpp
  src/storage/engine.cpp src/storage/schema.cpp src/base/codepage.cpp src/base/number_format.cpp
  src/base/grid_rules.cpp"
packages_text_import="Qt6Core sqlite3 zlib"
seeds_text_import=""
max_len_text_import=4096

build_target() {
  local name=$1 sources packages
  sources="sources_$name"
  packages="packages_$name"
  # shellcheck disable=SC2046,SC2086
  "$cxx" -std=c++20 -O1 -g -fPIC -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -DQT_NO_CAST_FROM_BYTEARRAY -DQT_USE_QSTRINGBUILDER \
    -Isrc $(pkg-config --cflags ${!packages}) \
    ${!sources} \
    $(pkg-config --libs ${!packages}) \
    -o "$out/fuzz_$name"
}

run_target() {
  local name=$1 seeds max_len corpus="$out/corpus_$name"
  seeds="seeds_$name"
  max_len="max_len_$name"
  mkdir -p "$corpus"
  # Seeds come from the sources; what the fuzzer adds stays in the build folder, never in the sources.
  # shellcheck disable=SC2086
  [ -n "${!seeds}" ] && cp -n ${!seeds} "$corpus/" 2>/dev/null || true
  local limit=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
  echo "== fuzz_$name"
  "$out/fuzz_$name" "${limit[@]}" -max_len="${!max_len}" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$out/${name}_" "$corpus"
}

mkdir -p "$out"
for name in $targets; do
  build_target "$name"
done

# Every archive run writes and extracts files; a memory-backed temporary folder keeps the disk out of the measurement.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for name in $targets; do
  run_target "$name"
done
