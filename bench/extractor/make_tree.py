#!/usr/bin/env python3
"""Writes the extraction benchmark's tree: 10 files of 64 MiB, 10,000 files
of 4 KiB to 1 MiB, 20,000 empty files, in 500 directories, 1 GiB in all.
Deterministic (fixed seed), so every run measures the same tree.

  make_tree.py ROOT           contents cut from one 1 MiB random block
  make_tree.py ROOT corpus    contents cut from 64 MiB of installed files
                              (documentation text without compressed files,
                              then programs from /usr/bin), for packing
  make_tree.py ROOT KIND MIB  the same tree scaled to MIB MiB in all: the
                              big files, the file counts and the folders
                              shrink with it"""
import os
import random
import sys

root = sys.argv[1]
total = int(sys.argv[3]) << 20 if len(sys.argv) > 3 else 1 << 30
share = total / (1 << 30)
rng = random.Random(20261206)
folders = max(10, int(500 * share))
dirs = [os.path.join(root, f"d{i // 50:02d}", f"s{i % 50:02d}") for i in range(folders)]
for d in dirs:
    os.makedirs(d, exist_ok=True)
# Sizes spread evenly on a log scale between 4 KiB and 1 MiB, then scaled
# so the whole tree is `total`.
bigSize = max(1 << 20, int((64 << 20) * share))
big = 10 * bigSize
sizes = [int(4096 * 256 ** rng.random()) for _ in range(max(100, int(10000 * share)))]
budget = total - big
scale = budget / sum(sizes)
sizes = [min(1 << 20, max(4096, int(s * scale))) for s in sizes]
def corpus(limit):
    parts, total = [], 0
    for top, share in (("/usr/share/doc", limit // 2), ("/usr/bin", limit)):
        for base, subdirs, files in sorted(os.walk(top)):
            subdirs.sort()
            for name in sorted(files):
                path = os.path.join(base, name)
                if total >= share or os.path.islink(path) or not os.path.isfile(path):
                    continue
                if name.endswith((".gz", ".xz", ".bz2", ".zst")):
                    continue
                with open(path, "rb") as f:
                    data = f.read(share - total)
                parts.append(data)
                total += len(data)
    data = b"".join(parts)
    while len(data) < limit:
        data += data[: limit - len(data)]
    return data

block = corpus(64 << 20) if len(sys.argv) > 2 and sys.argv[2] == "corpus" else os.urandom(1 << 20)
def write(path, size):
    with open(path, "wb") as out:
        offset = rng.randrange(len(block))
        while size:
            piece = min(size, len(block) - offset)
            out.write(block[offset:offset + piece])
            size -= piece
            offset = 0
for i in range(10):
    write(os.path.join(dirs[i * folders // 10], f"big{i}.bin"), bigSize)
for i, size in enumerate(sizes):
    write(os.path.join(dirs[i % folders], f"f{i:05d}.dat"), size)
for i in range(max(400, int(20000 * share))):
    open(os.path.join(dirs[(i * 7) % folders], f"e{i:05d}"), "wb").close()
