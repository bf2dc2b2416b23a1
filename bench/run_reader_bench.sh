#!/usr/bin/env bash
# Generates ~100 MB plot files in both widths, and one whose exponents span E-30 to E+30 (once),
# and reads them with the reader and with a strtof baseline; prints MB/s for each and their ratio.
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
wide="$data/plot_w12_wide.txt"
[ -f "$wide" ] || python3 "$root/bench/gen_plot_file.py" --width 12 --params 100 --blocks 80000 \
  --exponent-span 30 --out "$wide"
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DKORVANE_BENCHMARKS=ON \
  -DKORVANE_TESTS=OFF -DKORVANE_PYTHON=OFF > /dev/null
cmake --build "$root/build-bench" -j "$(nproc)" --target reader_bench > /dev/null
for file_and_width in plot_w12.txt:12 plot_w15.txt:15 plot_w12_wide.txt:12; do
  file="$data/${file_and_width%:*}"
  cat "$file" > /dev/null # warm the page cache
  "$root/build-bench/bench/reader_bench" "$file" "${file_and_width#*:}" "${REPEATS:-5}"
done
