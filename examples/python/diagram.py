#!/usr/bin/env python3
"""Draws the phase diagram of a binary with matplotlib from what the program's
own figure is drawn from: each two-phase region's outline (Diagram.outlines,
outlines.tsv), the invariant lines, the lines where an ordering sets in
continuously inside a field (Diagram.orderings, orderings.tsv), and every label
where the program placed it, led out of fields too narrow for it
(Diagram.labels, labels.tsv).

    python3 diagram.py FILE [--components A,B] [-o diagram.png]

FILE is a system file (TOML) or a TDB database, which needs --components.
"""

import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import phase_boundary as pb


def draw(system, out):
    d = system.diagram()
    fig, ax = plt.subplots(figsize=(7, 5.2))
    # The text's size against the axes is the one the program placed the
    # labels for (an em about 1.8 % of the axis of x).
    size = 7
    liquid = system.phases[0]  # the liquid comes first
    for outline in d.outlines:
        x, T, phase = outline["x"], outline["T"], outline["phase"]
        # Each side in its phase's colour, the liquid's red and the solids'
        # blue: one line for each run of corners on the same side.
        on_liquid = phase == liquid
        start = 0
        for k in range(1, len(x) + 1):
            if k == len(x) or on_liquid[k] != on_liquid[start]:
                end = min(k + 1, len(x))
                ax.plot(x[start:end], T[start:end], "-", lw=1.0,
                        color="tab:red" if on_liquid[start] else "tab:blue")
                start = k
    # Where an ordered phase sets in continuously inside a field: dashed.
    for line in d.orderings:
        ax.plot(line["x"], line["T"], "--", lw=0.9, color="tab:blue")
    for inv in d.invariants:
        if len(inv.x) == 3:
            ax.hlines(inv.T, inv.x[0], inv.x[2], color="black", lw=1.0)
        else:
            ax.plot(inv.x[0], inv.T, "o", ms=4, mfc="none", color="seagreen")
    labels = d.labels
    # Each label's box hides its leader, and the lines are drawn over it.
    box = dict(boxstyle="square,pad=0.1", fc="white", ec="none")
    for text, x, T, x_to, T_to in zip(labels["text"], labels["x"], labels["T"], labels["x_to"], labels["T_to"]):
        if np.isnan(x_to):
            ax.text(x, T, text, ha="center", va="center", fontsize=size, bbox=box, zorder=1.5)
        else:  # led out of a field too narrow for it
            ax.annotate(text, (x_to, T_to), xytext=(x, T), ha="center", va="center", fontsize=size, bbox=box,
                        arrowprops=dict(arrowstyle="-", lw=0.6, color="0.4"), zorder=1.5)
    a, second = system.components
    ax.set_xlim(0, 1)
    # The range diagram() computed: where an outline closes at its edge, on the axes' own.
    first, last, _ = system.temperatures
    ax.set_ylim(first, last)
    ax.set_xlabel(f"mole fraction of {a}  (x = 0: {second}, x = 1: {a})")
    ax.set_ylabel("T / K")
    ax.set_title(system.name)
    fig.tight_layout()
    fig.savefig(out, dpi=150)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--components", help="a database's two elements, A,B")
    parser.add_argument("-o", "--output", default="diagram.png")
    args = parser.parse_args()
    components = args.components.split(",") if args.components else None
    draw(pb.load(args.file, components=components), args.output)


if __name__ == "__main__":
    main()
