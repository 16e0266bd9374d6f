#!/usr/bin/env python3
"""One call as a whole process, against zint (Debian's zint; this script installs nothing).

Each pair of commands runs alternately, RUNS times each after a warm-up, so that a drift
in the machine's speed touches both alike; the figures are medians of the wall time from
the start of the process to its exit, and the peak resident memory of the process (read
by GNU time, which starts it from a small process of its own).

  render: one EAN-13 to PNG      (varimark-cli render -o x.png / zint -b 13 -o x.png)
  encode: one EAN-13's pattern   (varimark-cli encode / zint --dump)

The font cache is warm: the warm-up runs fill it.
Usage: bench/one_call.py [RUNS]   (varimark-cli from build/bin, or $VARIMARK_CLI)
"""
import os
import shutil
import statistics
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = os.environ.get("VARIMARK_CLI", os.path.join(ROOT, "build", "bin", "varimark-cli"))
TEXT = "400638133393"


def run(argv):
    """Wall seconds of one process."""
    devnull = os.open(os.devnull, os.O_RDWR)
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 0),
                                       (os.POSIX_SPAWN_DUP2, devnull, 1)])
    _, status = os.waitpid(pid, 0)
    wall = time.perf_counter() - start
    os.close(devnull)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"one_call.py: {' '.join(argv)} failed")
    return wall


def peak_kib(argv, work):
    """Peak resident KiB of one process."""
    report = os.path.join(work, "peak")
    run(["/usr/bin/time", "-o", report, "-f", "%M"] + argv)
    with open(report) as f:
        return int(f.read().split()[-1])


def compare(name, ours, theirs, runs, work):
    for _ in range(3):
        run(ours), run(theirs)
    walls, peaks = ([], []), ([], [])
    for _ in range(runs):
        for side, argv in enumerate((ours, theirs)):
            walls[side].append(run(argv))
    for _ in range(5):
        for side, argv in enumerate((ours, theirs)):
            peaks[side].append(peak_kib(argv, work))
    ours_ms, theirs_ms = (statistics.median(w) * 1000 for w in walls)
    ours_mib, theirs_mib = (statistics.median(p) / 1024 for p in peaks)
    print(f"{name:7} varimark {ours_ms:6.2f} ms {ours_mib:5.1f} MiB | "
          f"zint {theirs_ms:6.2f} ms {theirs_mib:5.1f} MiB | "
          f"time x{ours_ms / theirs_ms:4.2f}, memory x{ours_mib / theirs_mib:4.2f}")


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    zint = shutil.which("zint")
    if not os.access(CLI, os.X_OK) or zint is None or not os.access("/usr/bin/time", os.X_OK):
        sys.exit("one_call.py: needs varimark-cli (make), zint and GNU time (apt-get install "
                 "zint time)")
    with tempfile.TemporaryDirectory() as work:
        print(f"median of {runs} runs each, alternately")
        compare("render", [CLI, "render", "--type", "EAN_13", "-o", f"{work}/a.png", TEXT],
                [zint, "-b", "13", "-d", TEXT, "-o", f"{work}/z.png"], runs, work)
        compare("encode", [CLI, "encode", "--type", "EAN_13", TEXT],
                [zint, "-b", "13", "-d", TEXT, "--dump"], runs, work)


if __name__ == "__main__":
    main()
