#!/usr/bin/env bash
# Lays out the program folder: the executables (with the external updater and the report program of vestrum-cli) beside dane/, pomoc/ and archiwum/.
set -euo pipefail
build_dir=$1
program_dir=$2
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$program_dir/dane" "$program_dir/pomoc" "$program_dir/archiwum"
cp -f "$build_dir/src/vestrum" "$build_dir/src/vestrum-cli" "$build_dir/src/vestrum-cli-report" "$build_dir/src/aktualizuj" \
  "$program_dir/"
if [ -d "$root/pomoc" ]; then
  cp -rf "$root/pomoc/." "$program_dir/pomoc/"
fi
