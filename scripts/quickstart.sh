#!/usr/bin/env bash
# Installs what building needs when missing, builds the module for PyPy, and reads the bundled
# sample plot files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup.sh" build
cmake -S "$root" -B "$root/build" -DKORVANE_TESTS=OFF > /dev/null
cmake --build "$root/build" -j "$(nproc)" --target korvane_pypy > /dev/null
PYTHONPATH="$root/build/pypy" pypy3 "$root/scripts/summary.py" \
  "$root/samples/plot_w12.txt" 12 "$root/samples/plot_w15.txt" 15
