#!/usr/bin/env bash
# fuzz.sh [--no-build] [--dir BUILD] [SECONDS] [TARGET...]
# Runs every libFuzzer target (or those named) for SECONDS each (default 60), one after the
# other at the lowest priority, over its seeds and the corpus it grew before. Builds build-fuzz/
# first (scripts/build.sh fuzz) unless --no-build. Prints executions and coverage per target;
# fails when a target found a crash, a leak or a time-out (the input is kept under
# BUILD/fuzz-artifacts/TARGET/, the log under BUILD/fuzz-logs/). KZ_FUZZ_RUNS=N ends a target
# earlier, after N executions.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=1
dir=$top/build-fuzz
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0; shift ;;
    --dir) dir=$2; shift 2 ;;
    *) break ;;
  esac
done
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
corpus=${KZ_CORPUS_DIR:-$top/../shared/corpus/swf}

if [ "$build" = 1 ]; then
  "$top/scripts/build.sh" fuzz || exit 1
fi
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(find "$dir/fuzz" -maxdepth 1 -type f -executable -name "fuzz_*" -printf "%f\n" | sort))
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no targets in $dir/fuzz" >&2; exit 1; }

# Seeds, made once per build folder: the shared corpus (whole movies for the file readers, their
# first 4096 bytes for the buffer parsers, some re-packed as LZMA movies) and what the seed
# maker writes.
seeds=$dir/fuzz-seeds
mkdir -p "$dir"
exec 9>"$dir/.fuzz-seeds.lock"
flock 9 # runs started together make the seeds once
# (made again when the seed maker changed, e.g. for a new target)
if [ ! -f "$seeds/.made" ] || [ "$dir/fuzz/kz_fuzz_seeds" -nt "$seeds/.made" ]; then
  rm -rf "$seeds"
  mkdir -p "$seeds"/{fuzz_swf_header_file,fuzz_tag_walker,fuzz_swf_header_buffer,fuzz_header_probe}
  mkdir -p "$seeds/fuzz_instrument"
  n=0
  for f in "$corpus"/*.swf; do
    [ -f "$f" ] || continue
    b=$(basename "$f")
    if [ "$(stat -c %s "$f")" -le 65536 ]; then
      cp "$f" "$seeds/fuzz_swf_header_file/$b"
      cp "$f" "$seeds/fuzz_tag_walker/$b"
      cp "$f" "$seeds/fuzz_instrument/$b"
      # Every fourth small movie also as an LZMA movie.
      if [ $((n % 4)) = 0 ] && [ "$(head -c 3 "$f")" != ZWS ]; then
        /usr/bin/python3 "$top/tests/support/zws_pack.py" "$f" "$seeds/fuzz_swf_header_file/zws-$b" \
          2>/dev/null && cp "$seeds/fuzz_swf_header_file/zws-$b" "$seeds/fuzz_tag_walker/"
      fi
      n=$((n + 1))
    fi
    head -c 4096 "$f" > "$seeds/fuzz_swf_header_buffer/$b"
    cp "$seeds/fuzz_swf_header_buffer/$b" "$seeds/fuzz_header_probe/$b"
  done
  for z in "$seeds"/fuzz_swf_header_file/zws-*; do
    [ -f "$z" ] || continue
    head -c 4096 "$z" > "$seeds/fuzz_swf_header_buffer/$(basename "$z")"
    cp "$seeds/fuzz_swf_header_buffer/$(basename "$z")" "$seeds/fuzz_header_probe/"
  done
  "$dir/fuzz/kz_fuzz_seeds" "$corpus" "$seeds" || exit 1
  touch "$seeds/.made"
fi
flock -u 9

# The longest input each target takes: whole small movies for the file readers, one probe's
# read for the buffer parsers.
max_len() {
  case "$1" in
    fuzz_swf_header_buffer|fuzz_header_probe) echo 4096 ;;
    fuzz_drag_payload) echo 1024 ;;
    fuzz_text_records) echo 16384 ;;
    fuzz_search_history) echo 24576 ;;
    *) echo 65536 ;;
  esac
}

status=0
printf '%-26s %12s %8s %8s %s\n' target executions cov ft result
for t in "${targets[@]}"; do
  bin=$dir/fuzz/$t
  [ -x "$bin" ] || { echo "fuzz.sh: $t is not built" >&2; status=1; continue; }
  mkdir -p "$dir/fuzz-corpus/$t" "$dir/fuzz-artifacts/$t" "$dir/fuzz-logs" "$seeds/$t"
  log=$dir/fuzz-logs/$t.log
  # The file readers write each input to a file: a memory-backed folder keeps that cheap.
  tmp=/tmp
  [ -d /dev/shm ] && [ -w /dev/shm ] && tmp=/dev/shm
  TMPDIR=$tmp ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    nice -n 19 "$bin" -max_total_time="$seconds" -runs="${KZ_FUZZ_RUNS:--1}" -timeout=10 -rss_limit_mb=2048 \
      -max_len="$(max_len "$t")" -print_final_stats=1 -artifact_prefix="$dir/fuzz-artifacts/$t/" \
      "$dir/fuzz-corpus/$t" "$seeds/$t" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  line=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$line")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$line")
  if [ $rc -eq 0 ]; then result=ok; else result="FAILED (see $log)"; status=1; fi
  printf '%-26s %12s %8s %8s %s\n' "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$result"
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$seconds" "${runs:-?}" "${cov:-?}" "$rc" \
    >>"$dir/fuzz-report.tsv"
done
exit $status
