#!/usr/bin/env bash
# Whole-process archive making, side by side in one hyperfine run:
# `bigfile create --pack` at each level on one and two threads against
# `tar -czf` and `tar -cf - | gzip -1`, on a tree of source text (a copy of
# /usr/include unless SOURCE names another folder), warm page cache.
# Prints each output's size after the timings. Check `uptime` first: the
# machine's other work lands in every number.
#   [SOURCE=DIR] [RUNS=N] bench/writer/run.sh BUILD_DIR [WORK_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
work=${2:-${TMPDIR:-/tmp}/orvobf-bench-create}
source=${SOURCE:-/usr/include}
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (scripts/install-extras.sh)"; exit 77; }
bigfile=$build/tools/bigfile
mkdir -p "$work"
cd "$work"
if [ ! -d tree ]; then
  # Regular files and folders only, so that every tool reads the same bytes.
  cp -a "$source" tree
  find tree -type l -delete
  # Names that differ only in case cannot stand side by side in an archive.
  python3 - <<'PY'
import os
for folder, dirs, files in os.walk('tree'):
    seen = set()
    for name in sorted(files):
        if name.lower() in seen:
            os.remove(os.path.join(folder, name))
        seen.add(name.lower())
PY
fi
echo "tree: $(find tree -type f | wc -l) files, $(du -sh tree | cut -f1); load: $(uptime | sed 's/.*load/load/')"
find tree -type f -exec cat {} + > /dev/null
commands=()
for level in classic fast best; do
  for j in 1 2; do
    commands+=(-n "create --level $level -j $j" "$bigfile create -q --pack --level $level -j $j $level-$j.bf tree")
  done
done
hyperfine --warmup 1 --runs "${RUNS:-3}" --export-markdown "$work/results.md" "${commands[@]}" \
  -n 'tar -czf' 'tar -czf tree.tar.gz tree' \
  -n 'tar -cf - | gzip -1' 'tar -cf - tree | gzip -1 > tree-1.tar.gz'
ls -l ./*.bf tree.tar.gz tree-1.tar.gz | awk '{ printf "%12d  %s\n", $5, $9 }'
echo "load after: $(uptime | sed 's/.*load/load/')"
