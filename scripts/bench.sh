#!/usr/bin/env bash
# Builds the release configuration and runs the benchmarks in bench/, printing their figures.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" --test
"$top/scripts/build.sh" release
# Benchmarks that open windows get a private display when there is none.
display=()
[ -n "${DISPLAY:-}" ] || display=("$top/scripts/with-display.sh")
for b in "$top"/build/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  KZ_CORPUS_DIR="$top/../shared/corpus/swf" KZ_BIN_DIR="$top/build/bin" "${display[@]}" "$b"
done
