#!/usr/bin/env bash
# Whole-process extraction speed, side by side in one hyperfine run:
# `bigfile extract` with one worker and with two (-j 1, -j 2) and the
# native extractor against `cp -r` of the same tree and `tar -xf` of a tar
# of it, warm page cache, fresh folder per run. The extractor reads
# BigTest.bf from its working folder and writes the archive's root into
# the parent of the registry's output folder (x/Out).
# With PACKED=1 the tree holds installed files' bytes, the archive is made
# with `bigfile create --pack` and tar is gzipped: extraction is compared
# with `tar -xzf`, and a second run compares `bigfile create --pack` with
# `tar -czf`. TREE_MIB=N makes the tree N MiB instead of 1024 (smaller
# files and fewer of them, see make_tree.py).
#   [PACKED=1] [TREE_MIB=N] bench/extractor/run.sh BUILD_DIR [WORK_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
packed=${PACKED:-0}
mib=${TREE_MIB:-1024}
suffix=$([ "$packed" = 1 ] && echo -packed || true)$([ "$mib" = 1024 ] || echo "-$mib")
work=${2:-${TMPDIR:-/tmp}/orvobf-bench-extract$suffix}
here=$(cd "$(dirname "$0")" && pwd)
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (scripts/install-extras.sh)"; exit 77; }
bigfile=$build/tools/bigfile extractor=$build/extractor/extractor
mkdir -p "$work"
cd "$work"
if [ "$packed" = 1 ]; then
  content=corpus tarflags=z tarfile=tree.tar.gz createflags=--pack
else
  content=random tarflags= tarfile=tree.tar createflags=
fi
if [ ! -d tree ]; then
  python3 "$here/make_tree.py" tree $content "$mib"
  "$bigfile" create $createflags BigTest.bf tree >/dev/null
  tar -c${tarflags}f $tarfile -C tree .
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Orvo\\AshenThrone]\n@="%s"\n' "$work/x/Out" > registry.reg
fi
du -sh tree BigTest.bf $tarfile
cat $tarfile BigTest.bf > /dev/null; find tree -type f -exec cat {} + > /dev/null
hyperfine --warmup 1 --runs "${RUNS:-5}" --prepare 'rm -rf x && sync' \
  --export-markdown "$work/results.md" \
  -n 'cp -r' 'cp -r tree x' \
  -n "tar -x${tarflags}f" "mkdir x && tar -x${tarflags}f $tarfile -C x" \
  -n 'bigfile extract -j 1' "$bigfile extract -j 1 -C x BigTest.bf" \
  -n 'bigfile extract -j 2' "$bigfile extract -j 2 -C x BigTest.bf" \
  -n 'extractor' "mkdir -p x/Out && ln -s ../BigTest.bf x/BigTest.bf && cd x && ORVOBF_REGISTRY=$work/registry.reg $extractor </dev/null"
if [ "$packed" = 1 ]; then
  hyperfine --runs "${CREATE_RUNS:-2}" --prepare 'rm -f made.bf made.tar.gz && sync' \
    --export-markdown "$work/results-create.md" \
    -n 'bigfile create --pack' "$bigfile create --pack made.bf tree" \
    -n 'tar -czf' 'tar -czf made.tar.gz -C tree .'
fi
