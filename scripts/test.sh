#!/usr/bin/env bash
# Installs what is missing, builds the configurations and runs every test through CTest.
#   build-asan/: unit and widget tests (offscreen) under ASan/UBSan
#   build/:      end-to-end tests of the real programs, under an Xvfb display started here
#   build-fuzz/: a few seconds of each fuzz target, so they keep building and running
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" --test || exit 1
"$top/scripts/build.sh" asan || exit 1
"$top/scripts/build.sh" release || exit 1
"$top/scripts/build.sh" fuzz || exit 1

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
status=0

QT_QPA_PLATFORM=offscreen \
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  ctest --test-dir "$top/build-asan" --output-on-failure -j2 2>&1 | tee "$logs/unit" || status=1

if [ -n "$(ctest --test-dir "$top/build" -N 2>/dev/null | grep -E '^ *Test +#')" ]; then
  "$top/scripts/with-display.sh" ctest --test-dir "$top/build" --output-on-failure 2>&1 \
    | tee "$logs/e2e" || status=1
fi

ctest --test-dir "$top/build-fuzz" --output-on-failure 2>&1 | tee "$logs/fuzz" || status=1

# One closing line over all runs.
passed=0; failed=0
for f in "$logs"/*; do
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$f" | tail -n 1)
  [ -n "$line" ] || { status=1; continue; }
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad)); failed=$((failed + bad))
done
[ "$failed" -eq 0 ] || status=1
echo "$passed passed, $failed failed"
exit $status
