#!/usr/bin/env python3
"""Rich-text benchmark, in one go on the same synthetic web HTML (100 KB,
1 MB, 10 MB):

  lumeno html    against  pandoc -f html -t commonmark, Python's html2text,
                          and gumbo's bare parse (bench/gumbo_parse.cpp), the floor
  lumeno render  against  cmark --smart --unsafe, on the Markdown lumeno html gave

Runs are interleaved so that the ratios hold on a noisy machine; the slow
peers (pandoc, html2text) run fewer times. Prints medians as throughput,
the ratios, the growth from 1 MB to 10 MB and peak memory.

usage: bench_rich.py [BUILD_DIR] [--runs N]
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")
SIZES = [("100K", 100_000), ("1M", 1_000_000), ("10M", 10_000_000)]
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def run(cmd, path, out=os.devnull):
    """Wall time and peak RSS (KB) of one run with the file on standard input."""
    with open(path, "rb") as stdin, open(out, "wb") as stdout:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{' '.join(cmd)} failed on {path}")
    return elapsed, usage.ru_maxrss


def floor_program(build):
    """Builds the gumbo-only parser next to lumeno, when it is missing or stale."""
    source = os.path.join(HERE, "gumbo_parse.cpp")
    binary = os.path.join(build, "gumbo_parse")
    if not os.path.exists(binary) or os.path.getmtime(binary) < os.path.getmtime(source):
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "gumbo"], check=True,
                               capture_output=True, text=True).stdout.split()
        subprocess.run(["c++", "-O2", "-o", binary, source, *flags], check=True)
    return binary


def main():
    args = sys.argv[1:]
    runs = 5
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    build = os.path.abspath(args[0] if args else os.path.join(HERE, "..", "build"))
    lumeno = os.path.join(build, "lumeno")
    gumbo = floor_program(build)
    for tool in ("pandoc", "cmark"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is not installed (apt-get install pandoc cmark python3-html2text)")
    os.makedirs(DATA, exist_ok=True)

    html_tools = {
        "lumeno": [lumeno, "html"],
        "gumbo": [gumbo],
        "pandoc": ["pandoc", "-f", "html", "-t", "commonmark"],
        "html2text": [PYTHON, "-m", "html2text"],
    }
    render_tools = {"lumeno": [lumeno, "render"], "cmark": ["cmark", "--smart", "--unsafe"]}
    slow = {"pandoc", "html2text"}

    results = {}
    for name, size in SIZES:
        html = os.path.join(DATA, f"web-{name}.html")
        if not os.path.exists(html):
            subprocess.run([sys.executable, os.path.join(HERE, "gen_html.py"), str(size), html], check=True)
        markdown = os.path.join(DATA, f"web-{name}.md")
        run(html_tools["lumeno"], html, markdown)
        times = {k: [] for k in list(html_tools) + ["render", "cmark"]}
        peaks = {k: 0 for k in times}
        for r in range(runs):
            for tool, cmd in html_tools.items():
                if tool in slow and r >= (1 if size >= 10_000_000 else 2):
                    continue
                t, rss = run(cmd, html)
                times[tool].append(t)
                peaks[tool] = max(peaks[tool], rss)
            for tool, cmd in render_tools.items():
                key = "render" if tool == "lumeno" else tool
                t, rss = run(cmd, markdown)
                times[key].append(t)
                peaks[key] = max(peaks[key], rss)
        med = {k: statistics.median(v) for k, v in times.items()}
        results[name] = (os.path.getsize(html), os.path.getsize(markdown), med, peaks)

    print("lumeno html (MB/s of HTML; peak RSS)")
    print(f"{'file':>5} {'lumeno':>14} {'gumbo floor':>16} {'pandoc':>15} {'html2text':>15} "
          f"{'x pandoc':>9} {'x html2text':>11} {'/ floor':>8}")
    for name, (hsize, _, med, peaks) in results.items():
        def cell(tool):
            return f"{hsize / med[tool] / 1e6:6.2f} {peaks[tool] / 1024:5.0f}MB"
        print(f"{name:>5} {cell('lumeno'):>14} {cell('gumbo'):>16} {cell('pandoc'):>15} {cell('html2text'):>15} "
              f"{med['pandoc'] / med['lumeno']:8.1f}x {med['html2text'] / med['lumeno']:10.1f}x "
              f"{med['lumeno'] / med['gumbo']:7.2f}x")
    print("\nlumeno render (MB/s of Markdown; peak RSS)")
    print(f"{'file':>5} {'lumeno':>14} {'cmark':>14} {'lumeno/cmark':>13}")
    for name, (_, msize, med, peaks) in results.items():
        print(f"{name:>5} {msize / med['render'] / 1e6:6.2f} {peaks['render'] / 1024:5.0f}MB "
              f"{msize / med['cmark'] / 1e6:6.2f} {peaks['cmark'] / 1024:5.0f}MB {med['render'] / med['cmark']:12.2f}x")
    growth = {k: results["10M"][2][k] / results["1M"][2][k] for k in ("lumeno", "render", "gumbo")}
    print(f"\ngrowth 1M -> 10M (linear is about 10): html {growth['lumeno']:.2f}x, render {growth['render']:.2f}x, "
          f"gumbo {growth['gumbo']:.2f}x")
    print(f"peak memory, lumeno html on 10M: {results['10M'][3]['lumeno'] / 1024:.0f} MB")


if __name__ == "__main__":
    main()
