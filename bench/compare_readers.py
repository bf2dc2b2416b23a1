#!/usr/bin/env python3
"""Reads the benchmark plot files with this tree's reader and with the reader of an earlier commit,
alternating, in one run; prints the median MB/s of each, their ratio, and the ratio of this
tree's reader to the getline + strtof baseline.

    python3 bench/compare_readers.py --against 65ce335 --rounds 7

Both readers are built in Release by their own tree's CMake files (the earlier one in a
temporary git worktree); the plot files are made by bench/gen_plot_file.py once, in bench/data/.
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "bench", "data")
# name, width, blocks, exponent span: about 100 MB each.
FILES = [("plot_w12.txt", 12, 80000, 0), ("plot_w15.txt", 15, 64000, 0),
         ("plot_w12_wide.txt", 12, 80000, 30)]


def make_files():
    os.makedirs(DATA, exist_ok=True)
    for name, width, blocks, span in FILES:
        path = os.path.join(DATA, name)
        if not os.path.exists(path):
            subprocess.run([sys.executable, os.path.join(ROOT, "bench", "gen_plot_file.py"),
                            "--width", str(width), "--params", "100", "--blocks", str(blocks),
                            "--exponent-span", str(span), "--out", path], check=True)


def build(source, build_dir):
    subprocess.run(["cmake", "-S", source, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                    "-DKORVANE_BENCHMARKS=ON", "-DKORVANE_TESTS=OFF", "-DKORVANE_PYTHON=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j", str(os.cpu_count()), "--target",
                    "reader_bench"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "bench", "reader_bench")


def one_run(bench, path, width):
    out = subprocess.run([bench, path, str(width), "3"], check=True, capture_output=True,
                         text=True).stdout
    figures = dict(re.findall(r"^(reader|strtof baseline):\s+([\d.]+) MB/s", out, re.M))
    return float(figures["reader"]), float(figures["strtof baseline"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--against", required=True, help="the earlier commit")
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    make_files()
    with tempfile.TemporaryDirectory() as scratch:
        earlier = os.path.join(scratch, "tree")
        subprocess.run(["git", "-C", ROOT, "worktree", "add", "--detach", earlier, args.against],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            old = build(earlier, os.path.join(scratch, "build"))
            new = build(ROOT, os.path.join(ROOT, "build-bench"))
            print(f"median of {args.rounds} alternating runs, warm page cache")
            print(f"{'file':20} {args.against:>10} {'this tree':>10} {'ratio':>6} "
                  f"{'strtof':>8} {'vs strtof':>9}")
            for name, width, _, _ in FILES:
                path = os.path.join(DATA, name)
                subprocess.run(["cat", path], check=True, stdout=subprocess.DEVNULL)
                olds, news, baselines = [], [], []
                for _ in range(args.rounds):
                    olds.append(one_run(old, path, width)[0])
                    reader, baseline = one_run(new, path, width)
                    news.append(reader)
                    baselines.append(baseline)
                o, n, b = (statistics.median(x) for x in (olds, news, baselines))
                print(f"{name:20} {o:10.1f} {n:10.1f} {n / o:5.2f}x {b:8.1f} {n / b:8.2f}x")
            print("figures in MB/s")
        finally:
            subprocess.run(["git", "-C", ROOT, "worktree", "remove", "--force", earlier],
                           check=True)


if __name__ == "__main__":
    main()
