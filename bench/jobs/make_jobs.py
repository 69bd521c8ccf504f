#!/usr/bin/env python3
"""Writes the job files of the default-method measurements (docs/performance.md) into a folder.

    python3 bench/jobs/make_jobs.py OUTDIR

Every job is seeded, so the files are the same on every run. Lengths are mm.
"""
import json
import os
import random
import sys


def job(name, parts, stock, kerf=3.0, **params):
    problem = {"name": name, "units": "mm",
               "parts": [{"id": f"P{i + 1}", "length": round(l, 1), "amount": a}
                         for i, (l, a) in enumerate(parts)],
               "stock": [{"id": f"S{i + 1}", "length": l, "amount": a} for i, (l, a) in enumerate(stock)],
               "gaps": {"kerf": kerf}}
    if params:
        problem["parameters"] = params
    return problem


def kinds(rng, count, copies, low, high):
    """count part kinds with lengths in [low, high] and copies spread over them (each at least 1)."""
    lengths = [rng.uniform(low, high) for _ in range(count)]
    amounts = [1] * count
    for _ in range(copies - count):
        amounts[rng.randrange(count)] += 1
    return list(zip(lengths, amounts))


def main(out):
    os.makedirs(out, exist_ok=True)
    jobs = {}
    # Two stock lengths, many kinds (welds against svc).
    for kinds_n, copies in ((200, 2000), (500, 5000), (1000, 10000)):
        rng = random.Random(kinds_n)
        jobs[f"two-stock-{kinds_n}x{copies}"] = job(
            f"two stock lengths, {kinds_n} kinds, {copies} copies", kinds(rng, kinds_n, copies, 150, 2900),
            [(6000, copies // 8), (7500, 100000)])
    # 20 kinds at growing copy counts (circular cost, stop latency).
    for copies in (2000, 10000, 100000, 300000, 1000000):
        rng = random.Random(20)
        jobs[f"20-kinds-{copies}"] = job(f"20 kinds, {copies} copies", kinds(rng, 20, copies, 200, 2500),
                                         [(6000, 10000000)])
    # A 12 m job where the seed order matters.
    rng = random.Random(12)
    jobs["twelve-metre"] = job("12 m stock, 40 kinds", kinds(rng, 40, 1500, 400, 5000), [(12000, 100000)])
    # Large capacity: the SVC table is over its cell limit.
    rng = random.Random(15)
    jobs["long-stock"] = job("1,500,000 mm stock", kinds(rng, 60, 600, 1000, 30000), [(1500000, 1000)])
    # Rounding to whole millimetres (SVC).
    jobs["rounding-two"] = job("two copies in 5999.85", [(2999.9, 4)], [(5999.85, 3)], kerf=0.0)
    jobs["rounding-one"] = job("5999.5 in 5999.7", [(5999.5, 2)], [(5999.7, 2)], kerf=0.0)
    # Many short copies of one kind (order search cost).
    jobs["short-6mm"] = job("750 x 6 mm", [(6, 750)], [(6000, 10)], kerf=0.0)
    jobs["short-4mm"] = job("1000 x 4 mm", [(4, 1000)], [(6000, 10)], kerf=0.0)
    for name, problem in jobs.items():
        with open(os.path.join(out, name + ".json"), "w", encoding="utf-8") as f:
            json.dump(problem, f, indent=1)
            f.write("\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "jobs")
