#!/usr/bin/env python3
"""One EAN-13 PNG from Python: varimark.render in a loop against what Python programs do
today with a C generator, zint started as a subprocess writing the same PNG. Both are
timed in this one run, alternately in rounds, and the median per symbol is printed.

Usage: bench/python_render.py [SYMBOLS_PER_ROUND]
(the module from python/, the library from build/lib or $VARIMARK_LIBRARY)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("VARIMARK_LIBRARY", os.path.join(ROOT, "build", "lib", "libvarimark.so.1"))
sys.path.insert(0, os.path.join(ROOT, "python"))
import varimark  # noqa: E402

TEXT = "400638133393"


def per_symbol(work, count):
    start = time.perf_counter()
    for _ in range(count):
        work()
    return (time.perf_counter() - start) / count


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    zint = shutil.which("zint")
    if zint is None:
        sys.exit("python_render.py: needs zint (apt-get install zint)")
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "z.png")
        ours = lambda: varimark.render(TEXT, type="EAN_13")  # noqa: E731
        theirs = lambda: subprocess.run([zint, "-b", "13", "-d", TEXT, "-o", path],  # noqa: E731
                                        check=True, capture_output=True)
        ours(), theirs()
        rounds = [(per_symbol(ours, count * 10), per_symbol(theirs, count)) for _ in range(7)]
    ours_ms = statistics.median(r[0] for r in rounds) * 1000
    theirs_ms = statistics.median(r[1] for r in rounds) * 1000
    print(f"varimark.render {ours_ms:.3f} ms per symbol | zint as a subprocess "
          f"{theirs_ms:.3f} ms per symbol | {theirs_ms / ours_ms:.1f} times faster")


if __name__ == "__main__":
    main()
