"""Reads plot files with korvane and prints what they hold: parameters, blocks, a few values."""

import sys

import korvane


def summarize(path, width):
    all_data = korvane.rust_read_tolvera(path, width)
    blocks = len(all_data[0]) if all_data else 0
    print(f"{path} (fields {width} bytes wide): {len(all_data)} parameters, {blocks} blocks")
    for index in (0, 1, len(all_data) - 1):
        column = all_data[index]
        print(f"  parameter {index:3d}: first {column[0]!r:>24}  last {column[-1]!r:>24}")


def main():
    args = sys.argv[1:]
    for path, width in zip(args[::2], args[1::2]):
        summarize(path, int(width))


if __name__ == "__main__":
    main()
