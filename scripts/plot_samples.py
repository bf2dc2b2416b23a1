"""Draws what the bundled sample plot files hold: the picture in the README (docs/samples.png).

Each sample is read with korvane.read_plot, its time axis taken from the block header lines
("TIME = ...  STEP ..."), and a few of its parameters are drawn against time, each scaled to its
own range so that parameters of very different sizes share one panel. Needs matplotlib (Debian:
python3-matplotlib), which the module itself does not use.

    PYTHONPATH=build/cpython /usr/bin/python3 scripts/plot_samples.py docs/samples.png
"""

import argparse
import os

import korvane

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLES = [("plot_w12.txt", "width 12 (%12.5E)"), ("plot_w15.txt", "width 15 (%15.8E)")]
SHOWN = ["PARAM0000", "PARAM0001", "PARAM0003", "PARAM0007"]


def scaled(column):
    """The values mapped onto [0, 1] by their own range."""
    low, high = min(column), max(column)
    return [(value - low) / (high - low) if high > low else 0.5 for value in column]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", help="the PNG file to write")
    args = parser.parse_args()

    import matplotlib
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, panels = pyplot.subplots(1, len(SAMPLES), figsize=(10, 3.6), sharey=True)
    for panel, (name, width) in zip(panels, SAMPLES):
        plot = korvane.read_plot(os.path.join(ROOT, "samples", name), block_headers=True)
        time = [float(header.split()[2]) for header in plot.block_headers]
        for parameter in SHOWN:
            panel.plot(time, scaled(plot[parameter]), label=parameter, linewidth=1.2)
        panel.set_title(f"samples/{name}: {len(SHOWN)} of {len(plot.names)} parameters, "
                        f"{plot.blocks} blocks, {width}", fontsize=9)
        panel.set_xlabel("TIME (from each block's header line)")
    panels[0].set_ylabel("value, scaled to its own range")
    panels[-1].legend(fontsize=8, loc="best")
    figure.tight_layout()
    figure.savefig(args.out, dpi=100)


if __name__ == "__main__":
    main()
