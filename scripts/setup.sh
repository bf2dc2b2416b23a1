#!/usr/bin/env bash
# Installs the Debian packages a job needs, when missing: `setup.sh build` what building the PyPy
# module and reading the samples take, `setup.sh test` those and what the whole suite, the fuzz
# runs and the benchmarks take. Without root and without sudo it names the missing packages and
# fails.
set -euo pipefail

build_packages=(cmake g++ libgcc-12-dev make pypy3 pypy3-dev)
test_packages=(python3 python3-dev python3-venv python3-pip git libgtest-dev libbenchmark-dev
  unicode-data mypy python3-numpy python3-dask python3-distributed python3-pandas
  python3-matplotlib clang-16 libclang-rt-16-dev)

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

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo > /dev/null; then
  sudo=(sudo)
else
  echo "$0: these Debian packages are missing: ${missing[*]}" >&2
  echo "Installing them needs root, and sudo is not available. As root, run:" >&2
  echo "  apt-get update && apt-get install ${missing[*]}" >&2
  echo "then run this command again." >&2
  exit 1
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
