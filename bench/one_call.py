#!/usr/bin/env python3
"""One call as a whole process, against zint (Debian's zint; this script installs nothing).

What is measured is everything a user waits for when a command runs once: the process
start (the loader mapping the program and its libraries and relocating them, static
initialisation), the work, the save and the exit, from the spawn to the parent's wait.

Each pair of commands runs alternately, RUNS times each after a warm-up, so that a drift
in the machine's speed touches both alike. Printed per command: the median wall time; the
median peak resident memory and page faults of five more runs each, read by GNU time
(which starts the command from a small process of its own: the kernel's figures for a
process spawned from this script would count the script's own memory); the ratios of
ours to zint's.

  render: one EAN-13 to PNG      (varimark-cli render -o x.png / zint -b 13 -o x.png)
  encode: one EAN-13's pattern   (varimark-cli encode / zint --dump)

The font cache is warm: the warm-up runs fill it. The pictures go to a scratch folder under
$ONE_CALL_DIR (default: the system's temporary folder): a save is made durable (fsync of the
file and its folder) and zint's is not, so on a disk the sync may outweigh the work; on a
tmpfs (ONE_CALL_DIR=/dev/shm) it costs nothing and the rest is compared.
With --instructions, the instructions each command runs in user space, the loader's
included (valgrind's callgrind, repeatable where the wall time is not), are printed too.
The time moves with the machine's load (other processes delay the start and the exit);
the instructions and the page faults do not.
Usage: bench/one_call.py [--instructions] [RUNS]   (varimark-cli from build/bin, or $VARIMARK_CLI)
"""
import os
import re
import subprocess
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


def peak_and_faults(argv, work):
    """Peak resident KiB and page faults of one process."""
    report = os.path.join(work, "peak")
    run(["/usr/bin/time", "-o", report, "-f", "%M %R"] + argv)
    with open(report) as f:
        peak, faults = f.read().split()[-2:]
    return int(peak), int(faults)


def instructions(argv, work):
    """Instructions the whole process runs, counted by callgrind."""
    out = os.path.join(work, "callgrind.out")
    done = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + argv,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    found = re.search(r"Collected : (\d+)", done.stderr)
    if done.returncode != 0 or found is None:
        sys.exit(f"one_call.py: callgrind of {' '.join(argv)} failed")
    return int(found.group(1))


def compare(name, ours, theirs, runs, work, count):
    for _ in range(3):
        run(ours), run(theirs)
    walls, peaks = ([], []), ([], [])
    for _ in range(runs):
        for side, argv in enumerate((ours, theirs)):
            walls[side].append(run(argv))
    for _ in range(5):
        for side, argv in enumerate((ours, theirs)):
            peaks[side].append(peak_and_faults(argv, work))
    ours_ms, theirs_ms = (statistics.median(w) * 1000 for w in walls)
    ours_mib, theirs_mib = (statistics.median(p[0] for p in side) / 1024 for side in peaks)
    ours_faults, theirs_faults = (statistics.median(p[1] for p in side) for side in peaks)
    print(f"{name:7} varimark {ours_ms:6.2f} ms {ours_mib:5.1f} MiB {ours_faults:4} faults | "
          f"zint {theirs_ms:6.2f} ms {theirs_mib:5.1f} MiB {theirs_faults:4} faults | "
          f"time x{ours_ms / theirs_ms:4.2f}, memory x{ours_mib / theirs_mib:4.2f}")
    if count:
        ours_ir, theirs_ir = instructions(ours, work), instructions(theirs, work)
        print(f"{'':7} varimark {ours_ir:,} instructions | zint {theirs_ir:,} | "
              f"x{ours_ir / theirs_ir:4.2f}")


def main():
    args = sys.argv[1:]
    count = "--instructions" in args
    args = [a for a in args if a != "--instructions"]
    if args and args[0] in ("-h", "--help"):
        print(__doc__.strip())
        return
    if args and not args[0].isdigit():
        sys.exit(f"one_call.py: RUNS must be a whole number, not '{args[0]}' (--help)")
    runs = int(args[0]) if args else 40
    zint = shutil.which("zint")
    if count and shutil.which("valgrind") is None:
        sys.exit("one_call.py: --instructions needs valgrind (apt-get install valgrind)")
    if not os.access(CLI, os.X_OK) or zint is None or not os.access("/usr/bin/time", os.X_OK):
        sys.exit("one_call.py: needs varimark-cli (make), zint and GNU time (apt-get install "
                 "zint time)")
    with tempfile.TemporaryDirectory(dir=os.environ.get("ONE_CALL_DIR")) as work:
        print(f"whole processes (start, work, save, exit): median of {runs} runs each, "
              f"alternately; pictures in {work}")
        compare("render", [CLI, "render", "--type", "EAN_13", "-o", f"{work}/a.png", TEXT],
                [zint, "-b", "13", "-d", TEXT, "-o", f"{work}/z.png"], runs, work, count)
        compare("encode", [CLI, "encode", "--type", "EAN_13", TEXT],
                [zint, "-b", "13", "-d", TEXT, "--dump"], runs, work, count)


if __name__ == "__main__":
    main()
