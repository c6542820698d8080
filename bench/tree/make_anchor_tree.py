#!/usr/bin/env python3
# Makes the anchor tree the file benchmarks measure: 20,000 files in 400 folders, 100 B to 20 KB,
# the same bytes, names and times on every run (seeded), names long and short, mixed case.
import argparse
import os
import random
import sys


def make(root, folders, per_folder, seed):
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    base_time = 1100000000
    total = 0
    for f in range(folders):
        # Four levels of nesting for a quarter of the folders, the rest flat, as a home folder has.
        rel = f"Folder {f:03d}" if f % 4 else os.path.join(f"Group {f // 16:02d}", f"Sub Folder {f:03d}")
        folder = os.path.join(root, rel)
        os.makedirs(folder, exist_ok=True)
        for i in range(per_folder):
            if i % 5 == 0:
                name = f"F{f:03d}{i:03d}.TXT"  # a valid 8.3 name
            else:
                name = f"Document number {i:04d} of folder {f:03d}.dat"
            size = rng.randint(100, 20 * 1024)
            path = os.path.join(folder, name)
            with open(path, "wb") as out:
                out.write(rng.randbytes(size))
            t = base_time + rng.randint(0, 10**8)
            os.utime(path, (t, t))
            total += size
    return total


def main():
    p = argparse.ArgumentParser(description="Makes the anchor tree of the file benchmarks.")
    p.add_argument("root", help="folder to fill (made when missing)")
    p.add_argument("--folders", type=int, default=400)
    p.add_argument("--files-per-folder", type=int, default=50)
    p.add_argument("--seed", type=int, default=18)
    a = p.parse_args()
    total = make(a.root, a.folders, a.files_per_folder, a.seed)
    print(f"{a.folders * a.files_per_folder} files, {total} bytes in {a.root}", file=sys.stderr)


if __name__ == "__main__":
    main()
