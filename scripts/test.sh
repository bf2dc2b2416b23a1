#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs the whole suite through
# ctest: once as released, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/setup.sh" test

run_suite() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" "$@" > /dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

# The tests are turned on explicitly: the quickstart configures build/ without them.
run_suite "$root/build" -DKORVANE_TESTS=ON -DKORVANE_WERROR=ON
run_suite "$root/build-sanitize" -DKORVANE_TESTS=ON -DKORVANE_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=ON

# A bounded run of each libFuzzer target, 30 seconds each.
if command -v clang++-16 > /dev/null; then
  "$root/fuzz/run.sh" 30
else
  echo "clang++-16 not found: skipping the fuzz run"
fi
