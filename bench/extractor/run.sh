#!/usr/bin/env bash
# Whole-process extraction speed, side by side in one hyperfine run:
# `bigfile extract` and the native extractor against `cp -r` of the same
# tree and `tar -xf` of a tar of it, warm page cache, fresh folder per run.
# The extractor reads BigTest.bf from its working folder and writes the
# archive's root into the parent of the registry's output folder (x/Out).
#   bench/extractor/run.sh BUILD_DIR [WORK_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
work=${2:-${TMPDIR:-/tmp}/orvobf-bench-extract}
here=$(cd "$(dirname "$0")" && pwd)
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (scripts/install-extras.sh)"; exit 77; }
bigfile=$build/tools/bigfile extractor=$build/extractor/extractor
mkdir -p "$work"
cd "$work"
if [ ! -d tree ]; then
  python3 "$here/make_tree.py" tree
  "$bigfile" create BigTest.bf tree >/dev/null
  tar -cf tree.tar -C tree .
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Orvo\\AshenThrone]\n@="%s"\n' "$work/x/Out" > registry.reg
fi
du -sh tree BigTest.bf tree.tar
cat tree.tar BigTest.bf > /dev/null; find tree -type f -exec cat {} + > /dev/null
hyperfine --warmup 1 --runs "${RUNS:-5}" --prepare 'rm -rf x && sync' \
  --export-markdown "$work/results.md" \
  -n 'cp -r' 'cp -r tree x' \
  -n 'tar -xf' 'mkdir x && tar -xf tree.tar -C x' \
  -n 'bigfile extract' "$bigfile extract -C x BigTest.bf" \
  -n 'extractor' "mkdir -p x/Out && ln -s ../BigTest.bf x/BigTest.bf && cd x && ORVOBF_REGISTRY=$work/registry.reg $extractor </dev/null"
