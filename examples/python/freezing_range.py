#!/usr/bin/env python3
"""Freezes alloys across the composition range and draws where each starts and
ends freezing: the liquidus, the equilibrium solidus and the end of the Scheil
path against x.

    python3 freezing_range.py FILE [--components A,B] [--points 49] [-o freezing.png]
"""

import argparse
import concurrent.futures
import os
import warnings

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import phase_boundary as pb


def freezing(system, points):
    """One alloy per thread at a time: the engine runs without the GIL."""
    x = np.linspace(0.0, 1.0, points + 2)[1:-1]

    def one(x0):
        f = system.solidify(float(x0), step=5.0)
        return f.liquidus, f.solidus, f.scheil_end, len(f.warnings)

    with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
        return x, np.array(list(pool.map(one, x)))


def draw(system, points, out):
    x, rows = freezing(system, points)
    fig, ax = plt.subplots(figsize=(7, 4.5))
    ax.plot(x, rows[:, 0], "-o", ms=3, label="liquidus")
    ax.plot(x, rows[:, 1], "-o", ms=3, label="solidus (lever rule)")
    ax.plot(x, rows[:, 2], "--", label="end of the Scheil path")
    ax.fill_between(x, rows[:, 1], rows[:, 0], alpha=0.15, label="equilibrium freezing range")
    ax.set_xlim(0, 1)
    a, _ = system.components
    ax.set_xlabel(f"mole fraction of {a}")
    ax.set_ylabel("T / K")
    ax.set_title(f"{system.name}: freezing of {points} alloys")
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out, dpi=150)
    unconfirmed = int(rows[:, 3].sum())
    if unconfirmed:
        print(f"{unconfirmed} results the engine could not confirm")
    widest = np.nanargmax(rows[:, 0] - rows[:, 1])
    print(f"widest freezing range: x = {x[widest]:.3f}, {rows[widest, 0] - rows[widest, 1]:.1f} K")


def main():
    warnings.simplefilter("ignore", pb.EngineWarning)  # counted in the figure's run instead
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("--components", help="a database's two elements, A,B")
    parser.add_argument("--points", type=int, default=49)
    parser.add_argument("-o", "--output", default="freezing.png")
    args = parser.parse_args()
    components = args.components.split(",") if args.components else None
    draw(pb.load(args.file, components=components), args.points, args.output)


if __name__ == "__main__":
    main()
