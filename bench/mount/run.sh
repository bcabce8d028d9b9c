#!/usr/bin/env bash
# `bigfile mount` against extraction, each mount fresh (nothing of it in
# the page cache), the archive files themselves warm:
#  1. `cat` of every file under the mount point against `bigfile extract`
#     (-j 1 and -j 2) of the same archive, stored and packed, in one
#     hyperfine run each, with `cat` of the same tree on disk for what
#     `find` and `cat` cost by themselves, and every file read in one
#     process (no `cat` started) under the mount and on disk (the tree of
#     bench/extractor/make_tree.py, TREE_MIB MiB, 256 by default; packed:
#     contents from installed files);
#  2. 10,000 random 4 KiB reads across the packed archive's files through
#     the mount, and the same reads through the library without it;
#  3. `ls -R` of the mount of an archive of 1,000,000 empty files in 1000
#     folders, the time the mount takes to stand, and the serving
#     process's memory per entry (its resident size with that archive less
#     its size with a one-file archive, over the entry count).
#   [TREE_MIB=N] [RUNS=N] bench/mount/run.sh BUILD_DIR [WORK_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
mib=${TREE_MIB:-256}
work=${2:-${TMPDIR:-/tmp}/orvobf-bench-mount}
here=$(cd "$(dirname "$0")" && pwd)
command -v hyperfine >/dev/null || { echo "hyperfine is not installed (scripts/install-extras.sh)"; exit 77; }
command -v fusermount3 >/dev/null || { echo "fusermount3 is not installed (scripts/install-extras.sh)"; exit 77; }
bigfile=$build/tools/bigfile helper=$build/bench/mount/mount_bench
mkdir -p "$work"
cd "$work"
mkdir -p mnt
trap '"$bigfile" unmount mnt 2>/dev/null || true' EXIT

# Mounts in the foreground, in the background of this script: $server is
# the serving process; returns once the mount stands.
mount_fg() {
  "$bigfile" mount -f "$1" mnt & server=$!
  until mountpoint -q mnt; do sleep 0.01; done
}
rss_kib() { awk '/^VmRSS/ { print $2 }' "/proc/$server/status"; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

if [ ! -f stored.bf ]; then
  python3 "$here/../extractor/make_tree.py" tree-stored random "$mib"
  python3 "$here/../extractor/make_tree.py" tree-packed corpus "$mib"
  "$bigfile" create -q stored.bf tree-stored
  "$bigfile" create -q --pack packed.bf tree-packed
  "$helper" many many.bf 1000000
  echo x > one.txt && mkdir -p one && mv one.txt one/ && "$bigfile" create -q one.bf one
fi
du -sh stored.bf packed.bf many.bf

for kind in stored packed; do
  cat $kind.bf > /dev/null
  hyperfine --warmup 1 --runs "${RUNS:-5}" --export-markdown "$work/results-$kind.md" \
    --prepare "$bigfile unmount mnt 2>/dev/null; rm -rf x; $bigfile mount $kind.bf $work/mnt && sync" \
    -n "cat every file under the mount ($kind)" "find mnt -type f -exec cat {} + > /dev/null" \
    -n "cat every file of the tree on disk ($kind)" "find tree-$kind -type f -exec cat {} + > /dev/null" \
    -n "read every file under the mount, one process ($kind)" "$helper readall mnt" \
    -n "read every file of the tree on disk, one process ($kind)" "$helper readall tree-$kind" \
    -n "bigfile extract -j 1 ($kind)" "$bigfile extract -j 1 -C x $kind.bf 2>/dev/null" \
    -n "bigfile extract -j 2 ($kind)" "$bigfile extract -j 2 -C x $kind.bf 2>/dev/null"
  "$bigfile" unmount mnt
done
rm -rf x

echo "== 10,000 random 4 KiB reads, packed archive"
"$bigfile" mount packed.bf "$work/mnt"
"$helper" reads mnt 10000 4096
"$bigfile" unmount mnt
"$helper" reads --archive packed.bf 10000 4096

echo "== 1,000,000 entries"
mount_fg one.bf
base=$(rss_kib)
"$bigfile" unmount mnt && wait $server
start=$(now_ms)
mount_fg many.bf
echo "the mount stands after $(( $(now_ms) - start )) ms"
mounted=$(rss_kib)
hyperfine --runs 1 -n 'ls -R (first, nothing cached)' 'ls -R mnt > /dev/null'
listed=$(rss_kib)
hyperfine --runs 3 -n 'ls -R (again)' 'ls -R mnt > /dev/null'
echo "resident: one file $base KiB; 1,000,000 entries $mounted KiB once mounted, $listed KiB after ls -R"
echo "per entry: $(( (mounted - base) * 1024 / 1000000 )) B once mounted, $(( (listed - base) * 1024 / 1000000 )) B after ls -R"
"$bigfile" unmount mnt && wait $server
