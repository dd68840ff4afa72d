#!/usr/bin/env python3
"""Draws the phase diagram of a binary with matplotlib: the boundaries as lines,
the invariant lines with their temperatures and a label in each region, placed
where the program's regions.tsv places it (Diagram.regions).

    python3 diagram.py FILE [--components A,B] [-o diagram.png]

FILE is a system file (TOML) or a TDB database, which needs --components.
"""

import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import phase_boundary as pb


def regions(b):
    """Each two-phase region as (label, T, x_low, x_high) arrays: the tie-lines of
    one pair of phases, split where the region breaks off in T or jumps in x."""
    pairs = sorted(set(zip(b["phase_low"], b["phase_high"])))
    for low, high in pairs:
        rows = np.flatnonzero((b["phase_low"] == low) & (b["phase_high"] == high))
        T, lo, hi = b["T"][rows], b["x_low"][rows], b["x_high"][rows]
        order = np.lexsort((lo, T))
        T, lo, hi = T[order], lo[order], hi[order]
        middle = (lo + hi) / 2
        # A new region where the same pair reappears apart from the last one.
        breaks = [0]
        for i in range(1, len(T)):
            if T[i] - T[i - 1] > 5.0 or abs(middle[i] - middle[i - 1]) > 0.1:
                breaks.append(i)
        breaks.append(len(T))
        for a, z in zip(breaks, breaks[1:]):
            yield f"{low} + {high}" if low != high else f"{low}' + {low}''", T[a:z], lo[a:z], hi[a:z]


def draw(system, out):
    d = system.diagram()
    b = d.boundaries
    fig, ax = plt.subplots(figsize=(7, 5))
    for _, T, lo, hi in regions(b):
        ax.plot(lo, T, "-", lw=1.0, color="tab:blue")
        ax.plot(hi, T, "-", lw=1.0, color="tab:blue")
    r = d.regions
    for phases, x, T in zip(r["phases"], r["x"], r["T"]):
        ax.text(x, T, phases.replace("+", " + "), ha="center", va="center", fontsize=6)
    for inv in d.invariants:
        if len(inv.x) == 3:
            ax.hlines(inv.T, inv.x[0], inv.x[2], color="tab:red", lw=0.8)
            ax.annotate(f"{inv.kind} {inv.T:.1f} K", (inv.x[2], inv.T), fontsize=6, color="tab:red",
                        xytext=(3, 2), textcoords="offset points")
        elif len(inv.x) == 2 and inv.kind == "congruent":
            ax.plot(inv.x[0], inv.T, "o", ms=3, color="tab:red")
            ax.annotate(f"{inv.T:.1f} K", (inv.x[0], inv.T), fontsize=6, color="tab:red",
                        xytext=(0, 4), textcoords="offset points", ha="center")
    a, second = system.components
    ax.set_xlim(0, 1)
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
