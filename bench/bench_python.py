#!/usr/bin/env python3
"""What the Python module adds to the engine's own time, and how two threads scale.

Usage: PYTHONPATH=build/python python3 bench/bench_python.py [--report]

Overhead: System.diagram() against System._engine_only_diagram(), which runs
the same engine call and builds nothing from it, timed alternately in one
process so that a busy machine slows both alike; the median of the differences.
Two threads: the time of two diagrams, one in each of two pooled threads at
once, against one diagram in one of them, the median ratio of alternate trials.
Exits 1 when the call costs more than 1 ms over the engine or the ratio exceeds
1.3, unless --report is given.
"""

import pathlib
import statistics
import sys
import concurrent.futures
import time

import phase_boundary as pb

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"
CASES = ["eutectic", "peritectic", "cu-ni", "congruent-minimum"]
OVERHEAD_MS = 1.0
TWO_THREADS = 1.3
TRIALS = 41


def ms(call):
    start = time.perf_counter()
    call()
    return (time.perf_counter() - start) * 1e3


def in_threads(pool, call, n):
    for f in [pool.submit(call) for _ in range(n)]:
        f.result()


def main():
    report_only = "--report" in sys.argv
    ok = True
    print(f"{'system':<18}{'engine ms':>10}{'call ms':>9}{'overhead':>10}{'2 threads / 1':>15}")
    for name in CASES:
        s = pb.load(EXAMPLES / f"{name}.toml")
        s.diagram()  # numpy's first import is no part of a call
        engine, call, ratios = [], [], []
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            for _ in range(TRIALS):
                engine.append(ms(s._engine_only_diagram))
                call.append(ms(s.diagram))
                ratios.append(ms(lambda: in_threads(pool, s.diagram, 2)) / ms(lambda: in_threads(pool, s.diagram, 1)))
        overhead = statistics.median(c - e for c, e in zip(call, engine))
        ratio = statistics.median(ratios)
        print(f"{name:<18}{statistics.median(engine):>10.2f}{statistics.median(call):>9.2f}"
              f"{overhead:>10.3f}{ratio:>15.2f}")
        ok = ok and overhead <= OVERHEAD_MS and ratio <= TWO_THREADS
    if not ok:
        print(f"over a target: {OVERHEAD_MS} ms over the engine, or {TWO_THREADS} times one diagram for two")
    return 0 if ok or report_only else 1


if __name__ == "__main__":
    sys.exit(main())
