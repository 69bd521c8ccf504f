#!/usr/bin/env python3
"""Runs the tool on job files and prints one line per run: tubes, welds, copies placed, exit code,
wall time, CPU time and peak memory.

    python3 bench/jobs/measure.py TUBENEST JOB.json [JOB.json ...] [-- extra tubenest options]
    (e.g. -- -m svc -t 0.2 --seed 1)
"""
import json
import os
import subprocess
import sys
import tempfile
import time


def run(tool, path, extra):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "plan.json")
        start = time.monotonic()
        with tempfile.TemporaryFile(mode="w+") as err_file:
            proc = subprocess.Popen([tool, "solve", path, "-q", "--json", out] + extra,
                                    stdout=subprocess.DEVNULL, stderr=err_file)
            _, status, usage = os.wait4(proc.pid, 0)
            wall = time.monotonic() - start
            err_file.seek(0)
            stderr = err_file.read()
        returncode = os.waitstatus_to_exitcode(status)
        rss = usage.ru_maxrss / 1024.0
        cpu = usage.ru_utime + usage.ru_stime
        name = os.path.basename(path)
        if not os.path.exists(out):
            err = stderr.strip().splitlines()
            print(f"{name:28} rc={returncode} {wall:7.2f}s  {err[-1] if err else ''}")
            return
        with open(out, encoding="utf-8") as f:
            plan = json.load(f)
        t = plan["totals"]
        print(f"{name:28} rc={returncode} {plan['status']:11} tubes={t['tubes_used']:6} "
              f"welds={t['welds']:5} placed={t['copies_placed']}/{t['copies_required']} "
              f"material={t['material_used']:.0f} {wall:7.2f}s wall {cpu:7.2f}s cpu {rss:7.0f}MB")


def main():
    args = sys.argv[1:]
    extra = []
    if "--" in args:
        extra = args[args.index("--") + 1:]
        args = args[:args.index("--")]
    tool, jobs = args[0], args[1:]
    for job in jobs:
        run(tool, job, extra)


if __name__ == "__main__":
    main()
