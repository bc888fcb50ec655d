#!/usr/bin/env python3
"""Text road benchmark: `lumeno text` against the `cmark` command on the same
synthetic terminal captures, runs interleaved so that the ratios hold on a
noisy machine. Prints throughput, the time ratio lumeno/cmark, the growth from
1 MB to 10 MB, and peak memory.

usage: bench_text.py [LUMENO] [--runs N]
"""
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")
SIZES = [("100K", 100_000), ("1M", 1_000_000), ("10M", 10_000_000)]


def run(cmd, path):
    """Wall time and peak RSS (KB) of one run with the file on standard input."""
    with open(path, "rb") as stdin, open(os.devnull, "wb") as devnull:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdin=stdin, stdout=devnull)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{cmd[0]} failed on {path}")
    return elapsed, usage.ru_maxrss


def main():
    args = sys.argv[1:]
    runs = 7
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    lumeno = args[0] if args else os.path.join(HERE, "..", "build", "lumeno")
    os.makedirs(DATA, exist_ok=True)
    print(f"{'file':>6} {'lumeno MB/s':>12} {'cmark MB/s':>11} {'ratio':>7} {'lumeno peak':>12}")
    medians = {}
    for name, size in SIZES:
        path = os.path.join(DATA, f"terminal-{name}.txt")
        if not os.path.exists(path):
            subprocess.run([sys.executable, os.path.join(HERE, "gen_terminal.py"), str(size), path], check=True)
        actual = os.path.getsize(path)
        ours, theirs, peak = [], [], 0
        for _ in range(runs):
            t, rss = run([lumeno, "text"], path)
            ours.append(t)
            peak = max(peak, rss)
            theirs.append(run(["cmark"], path)[0])
        mo, mt = statistics.median(ours), statistics.median(theirs)
        medians[name] = mo
        print(f"{name:>6} {actual / mo / 1e6:12.1f} {actual / mt / 1e6:11.1f} {mo / mt:7.2f} {peak / 1024:9.1f} MB")
    print(f"growth 1M -> 10M: {medians['10M'] / medians['1M']:.2f}x (linear is about 10)")


if __name__ == "__main__":
    main()
