#!/usr/bin/env bash
# Builds the fuzzers (fuzz preset, clang) and runs every target for SECONDS
# seconds (default 60) from the seeds our writer makes (make-fuzz-seeds
# writes one folder per target). Fails on any crash, leak or time-out.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work=$(mktemp -d /tmp/orvobf-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
build/fuzz/fuzz/make-fuzz-seeds "$work/seeds"
targets=$(cd build/fuzz/fuzz && ls fuzz_* | sed 's/^fuzz_//')
[ -n "$targets" ] || { echo "no fuzz targets were built"; exit 1; }
for target in $targets; do
  seeds=$work/seeds/$target
  mkdir -p "$seeds" "$work/corpus-$target"
  echo "fuzzing $target for $seconds s"
  status=0
  build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 \
    -artifact_prefix="$work/" "$work/corpus-$target" "$seeds" >"$work/log-$target" 2>&1 || status=$?
  tail -n 3 "$work/log-$target"
  if [ "$status" -ne 0 ] || ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* >/dev/null 2>&1; then
    echo "fuzzer $target failed (exit $status):"; tail -n 40 "$work/log-$target"; ls "$work"
    mkdir -p fuzz-artifacts && cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* fuzz-artifacts/ 2>/dev/null || true
    exit 1
  fi
done
