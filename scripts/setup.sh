#!/usr/bin/env bash
# Installs the Debian packages a job needs, when missing: `setup.sh build` what building the PyPy
# module and reading the samples take, `setup.sh test` those and what the whole suite, the fuzz
# runs and the benchmarks take. Without root, and without sudo that it may use, it names the
# missing packages and fails.
set -euo pipefail

build_packages=(cmake g++ libgcc-12-dev make pypy3 pypy3-dev zlib1g-dev libzstd-dev)
test_packages=(python3 python3-dev python3-venv python3-pip git libgtest-dev libbenchmark-dev
  unicode-data mypy python3-numpy python3-dask python3-distributed python3-pandas
  python3-matplotlib clang-16 libclang-rt-16-dev python3-xarray zstd)
# Installed without the packages they recommend: python3-xarray's bring python3-sparse, which
# dask.array then imports in every worker, about 100 MiB each.
without_recommends=(python3-xarray)

case "${1:-}" in
  build) packages=("${build_packages[@]}") ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 build|test" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
missing_with_recommends=()
missing_lean=()
for package in "${missing[@]}"; do
  if [[ " ${without_recommends[*]} " == *" $package "* ]]; then
    missing_lean+=("$package")
  else
    missing_with_recommends+=("$package")
  fi
done

# sudo serves when it runs a command for this user: without asking, or after asking on a terminal.
sudo_permitted() {
  sudo -n true 2> /dev/null || { [ -t 0 ] && sudo -v; }
}

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo > /dev/null && sudo_permitted; then
  sudo=(sudo)
else
  if command -v sudo > /dev/null; then
    why="sudo does not run commands for $(id -un)"
  else
    why="sudo is not available"
  fi
  echo "$0: these Debian packages are missing: ${missing[*]}" >&2
  echo "Installing them needs root, and $why. As root, run:" >&2
  echo "  apt-get update && apt-get install ${missing[*]}" >&2
  echo "then run this command again." >&2
  exit 1
fi

# apt's own output goes to a log, so that what the command itself prints stays in view; the log's
# end is shown when apt fails.
log=$(mktemp "${TMPDIR:-/tmp}/korvane-apt.XXXXXX.log")
echo "Installing ${#missing[@]} Debian packages with apt-get (log: $log): ${missing[*]}"
if ! { "${sudo[@]}" apt-get update &&
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y \
    "${missing_with_recommends[@]}" &&
  { [ ${#missing_lean[@]} -eq 0 ] || "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing_lean[@]}"; }; } > "$log" 2>&1; then
  echo "$0: apt-get failed; the end of its log, $log:" >&2
  tail -n 30 "$log" >&2
  exit 1
fi
echo "Installed: $(grep -c '^Setting up ' "$log") packages, dependencies included."
