#!/usr/bin/env bash
# Generates ~100 MB plot files in both widths (once) and reads them with the reader and with a
# strtof baseline; prints MB/s for each and their ratio.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
data="$root/bench/data"
mkdir -p "$data"
for width in 12 15; do
  file="$data/plot_w${width}.txt"
  blocks=$((width == 12 ? 80000 : 64000))
  [ -f "$file" ] || python3 "$root/bench/gen_plot_file.py" --width "$width" --params 100 \
    --blocks "$blocks" --out "$file"
done
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DKORVANE_BENCHMARKS=ON \
  -DKORVANE_TESTS=OFF -DKORVANE_PYTHON=OFF > /dev/null
cmake --build "$root/build-bench" -j "$(nproc)" --target reader_bench > /dev/null
for width in 12 15; do
  cat "$data/plot_w${width}.txt" > /dev/null # warm the page cache
  "$root/build-bench/bench/reader_bench" "$data/plot_w${width}.txt" "$width" "${REPEATS:-5}"
done
