#!/usr/bin/env bash
# Builds the fuzzers (fuzz preset, clang) and runs each for SECONDS
# seconds (default 60) from seeds our writer makes. Fails on any crash.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work=$(mktemp -d /tmp/orvobf-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
build/fuzz/fuzz/make-fuzz-seeds "$work/seeds"
for target in archive_open packed_unpack; do
  case $target in
    archive_open) seeds=$work/seeds/archive ;;
    packed_unpack) seeds=$work/seeds/packed ;;
  esac
  mkdir -p "$work/corpus-$target"
  echo "fuzzing $target for $seconds s"
  build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 \
    -artifact_prefix="$work/" "$work/corpus-$target" "$seeds" 2>&1 | tail -n 3
  if ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* >/dev/null 2>&1; then
    echo "fuzzer $target found a failure:"; ls "$work"
    mkdir -p fuzz-artifacts && cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* fuzz-artifacts/ 2>/dev/null || true
    exit 1
  fi
done
