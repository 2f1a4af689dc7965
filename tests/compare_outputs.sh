#!/bin/sh
# Every command's output on every file of the corpus and the examples, as one text:
#   tests/compare_outputs.sh OLD/tabvora > old.txt
#   tests/compare_outputs.sh NEW/tabvora > new.txt
#   diff old.txt new.txt    # nothing when both binaries answer byte for byte alike
# Each run prints the command, its standard output, its standard error and its exit status.
# Parquet rows depend on the DuckDB found (TABVORA_DUCKDB): give both runs the same one.
set -u
[ $# -eq 1 ] || { echo "usage: $0 TABVORA" >&2; exit 2; }
case $1 in /*) tabvora=$1 ;; *) tabvora=$(pwd)/$1 ;; esac
cd "$(dirname "$0")/.." || exit 2
scratch=$(mktemp -d) || exit 2
trap 'rm -rf "$scratch"' EXIT

find tests/data examples -type f ! -name '*.expected' | LC_ALL=C sort | while IFS= read -r file; do
  for command in "tables" "preview --text --width 100" "preview" "stats --json" "export --format csv"; do
    # The command's words split at spaces; the file stays one argument.
    # shellcheck disable=SC2086
    "$tabvora" $command "$file" >"$scratch/out" 2>"$scratch/err"
    status=$?
    printf '=== tabvora %s %s\n' "$command" "$file"
    cat "$scratch/out"
    printf '\n--- standard error\n'
    cat "$scratch/err"
    printf -- '--- exit status %s\n' "$status"
  done
done
