#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++-16 into build-fuzz/ and runs each for SECONDS
# (default 30), one after the other; exits non-zero when any run finds an input that fails.
#
# Each run starts from a scratch copy of its checked-in corpus (build-fuzz/corpus/NAME), so new
# inputs never flood fuzz/corpus/. A failing input is written to build-fuzz/findings/NAME/ and
# the full output of each run to build-fuzz/logs/NAME.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build="$root/build-fuzz"
compiler=${KORVANE_FUZZ_CXX:-clang++-16}

if ! [[ $seconds =~ ^[0-9]+$ ]]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVANE_FUZZ=ON -DKORVANE_PYTHON=OFF -DKORVANE_TESTS=OFF > /dev/null
cmake --build "$build" -j 2 --target field_parse_fuzz reader_fuzz simulation_line_fuzz > /dev/null

# The targets silence the reader's reports themselves; sanitizer findings stop the run.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
unset RUST_BACKTRACE

failed=0

# run_target NAME PROGRAM MAX_LEN: one bounded run of one target.
run_target() {
  local name=$1 program=$2 max_len=$3
  local corpus="$build/corpus/$name" findings="$build/findings/$name" log="$build/logs/$name.log"
  rm -rf "$corpus"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  cp "$root/fuzz/corpus/$name/"* "$corpus/"
  echo "== $name: ${seconds}s from $(ls "$corpus" | wc -l) seeds"
  local before
  before=$(ls "$findings" | wc -l)
  if "$build/fuzz/$program" -max_total_time="$seconds" -max_len="$max_len" -timeout=25 \
    -dict="$root/fuzz/$name.dict" -artifact_prefix="$findings/" -print_final_stats=1 \
    "$corpus" > "$log" 2>&1; then
    grep -E 'DONE|^Done [0-9]+ runs' "$log" || true
    echo "== $name: no finding"
  else
    failed=1
    # The report from its first line on: a sanitizer's, a trap's, a timeout's or libFuzzer's.
    sed -n '/^==[0-9]*==\|runtime error:\|^ALARM\|ERROR: libFuzzer/,$p' "$log" | head -n 80
    echo "== $name: FAILED; full output in $log"
    local after
    after=$(ls "$findings" | wc -l)
    if [ "$after" -gt "$before" ]; then
      echo "== $name: failing input(s):"
      local input
      for input in $(ls -t "$findings" | head -n $((after - before))); do
        echo "   $findings/$input"
        od -An -tx1 -v "$findings/$input" | head -n 20
      done
      echo "== reproduce: $build/fuzz/$program FILE"
    fi
  fi
}

run_target field field_parse_fuzz 20
run_target reader reader_fuzz 12000
run_target line simulation_line_fuzz 200

exit "$failed"
