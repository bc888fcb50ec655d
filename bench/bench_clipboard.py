#!/usr/bin/env python3
"""Clipboard-path benchmark: `lumeno clipboard` on a 100 KB HTML flavour that
xclip serves on a private Xvfb, from process start to the written selection,
against `lumeno transform --html` on the same file, runs interleaved. The
clipboard path should stay within 1.5 times the plain transform.

usage: bench_clipboard.py [LUMENO] [--runs N]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    args = sys.argv[1:]
    runs = 20
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    lumeno = args[0] if args else os.path.join(HERE, "..", "build", "lumeno")
    data = os.path.join(HERE, "data")
    os.makedirs(data, exist_ok=True)
    page = os.path.join(data, "web-100K.html")
    if not os.path.exists(page):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_html.py"), "100000", page], check=True)

    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp"], pass_fds=[write],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    display = ":" + os.read(read, 16).decode().strip()
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=tempfile.mkdtemp())
    try:
        clip, plain = [], []
        for _ in range(runs):
            subprocess.run(["xclip", "-selection", "clipboard", "-t", "text/html", "-i", page], env=env, check=True)
            time.sleep(0.05)  # xclip's background child takes the selection
            start = time.perf_counter()
            subprocess.run([lumeno, "clipboard"], env=env, check=True, stderr=subprocess.DEVNULL)
            clip.append(time.perf_counter() - start)
            start = time.perf_counter()
            subprocess.run([lumeno, "transform", "--html", page], env=env, check=True, stdout=subprocess.DEVNULL)
            plain.append(time.perf_counter() - start)
        c, p = statistics.median(clip), statistics.median(plain)
        print(f"lumeno clipboard, 100 KB HTML:   median {c * 1000:.1f} ms")
        print(f"lumeno transform --html, same:   median {p * 1000:.1f} ms")
        print(f"ratio {c / p:.2f} (goal at most 1.5)")
    finally:
        xvfb.kill()


if __name__ == "__main__":
    main()
