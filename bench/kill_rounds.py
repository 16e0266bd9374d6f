#!/usr/bin/env python3
"""Kill rounds: varimark-cli killed at random moments while it replaces files, counting what
the kills leave. Each round starts the program over files that are there already, sends a
signal after a random delay within its usual run time, and then looks at the folder:

  hidden  hidden names (".NAME.vmk-...") right after the kill; SIGINT and SIGTERM must
          leave none, SIGKILL may (between linking the new file in and renaming it)
  after   such names still there once the next run in the folder has finished: it removes
          those of ended processes, so this must be 0 for every signal
  torn    files that are neither the old picture nor the new one byte for byte

Cases: single saves (-o) over an existing picture, killed by SIGKILL and SIGTERM; batches
(--batch, 40 lines) over a folder of earlier pictures with --jobs 1, 2 and 4, killed by
SIGKILL, SIGTERM and SIGINT; and saves over a writable picture in a folder that may not be
written (written over in place, which cannot be atomic), killed by SIGKILL, a small one
(scale 1, 31 KB) and a large one (scale 12, 4.5 MB). That last case
also counts "cut": the file empty or holding the start of the new picture (what a kill part
way leaves by design), apart from "torn" (old bytes left after new ones: must be 0).
The cases marked "named" run the program with a small preloaded library (built here with cc)
that refuses unnamed files (O_TMPFILE), as some file systems do: each new file is then
written under its hidden name from the start, so that the signals find one far more often.

Usage: bench/kill_rounds.py [--rounds N] [--cli PATH] [CASE...]
  --rounds  rounds per case (default 200)
  --cli     the program (default: build/bin/varimark-cli, or $VARIMARK_CLI)
  CASE      only cases whose name starts with one of these (save, batch, over, named)
The write-over case needs root (the folder is made immutable with chattr +i) or a user for
whom chmod 555 keeps the folder from being written.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BATCH_LINES = 40


NO_TMPFILE = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#define REFUSE(NAME, ARGS, CALL)                                        \
    int NAME ARGS {                                                    \
        va_list ap;                                                    \
        va_start(ap, flags);                                           \
        mode_t mode = va_arg(ap, mode_t);                              \
        va_end(ap);                                                    \
        if ((flags & O_TMPFILE) == O_TMPFILE) {                        \
            errno = EOPNOTSUPP;                                        \
            return -1;                                                 \
        }                                                              \
        static int (*real)();                                          \
        if (!real) real = (int (*)())dlsym(RTLD_NEXT, #NAME);          \
        return real CALL;                                              \
    }
REFUSE(open, (const char* path, int flags, ...), (path, flags, mode))
REFUSE(open64, (const char* path, int flags, ...), (path, flags, mode))
REFUSE(openat, (int dir, const char* path, int flags, ...), (dir, path, flags, mode))
REFUSE(openat64, (int dir, const char* path, int flags, ...), (dir, path, flags, mode))
"""


def build_no_tmpfile(work):
    """The preloaded library that refuses unnamed files, or None without a compiler."""
    source = os.path.join(work, "no_tmpfile.c")
    library = os.path.join(work, "no_tmpfile.so")
    with open(source, "w") as f:
        f.write(NO_TMPFILE)
    built = subprocess.run(["cc", "-shared", "-fPIC", "-o", library, source, "-ldl"],
                           stderr=subprocess.DEVNULL).returncode == 0
    return library if built else None


def hidden(folder):
    """Hidden names: the folders here hold nothing else that starts with a dot, so this
    counts an older program's temporary names too."""
    return [n for n in os.listdir(folder) if n.startswith(".")]


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


class Program:
    def __init__(self, cli, preload=None, tag=""):
        self.cli = cli
        self.env = dict(os.environ, LD_PRELOAD=preload) if preload else None
        self.tag = tag

    def run(self, args):
        return subprocess.run([self.cli] + args, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, env=self.env).returncode

    def start(self, args):
        return subprocess.Popen([self.cli] + args, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=self.env)

    def seconds(self, args, prepare, times=5):
        """The median wall time of a run."""
        spent = []
        for _ in range(times):
            prepare()
            begin = time.perf_counter()
            self.run(args)
            spent.append(time.perf_counter() - begin)
        return sorted(spent)[times // 2]


def kill_at_random(program, args, number, run_time):
    """Starts the program and sends the signal within its run time; True when the signal
    ended it (it had not finished before)."""
    process = program.start(args)
    time.sleep(random.uniform(0.0, run_time))
    process.send_signal(number)
    status = process.wait()
    return status == -number


class Tally:
    def __init__(self, name):
        self.name = name
        self.rounds = self.killed = self.hidden = self.after = self.torn = self.cut = 0

    def line(self):
        return "%-28s %6d %6d %6d %6d %6d %6d" % (self.name, self.rounds, self.killed,
                                                 self.hidden, self.after, self.torn, self.cut)


def single_saves(program, work, number, rounds):
    """-o over an existing picture, old and new differing."""
    tally = Tally("save %s%s" % (signal.Signals(number).name, program.tag))
    folder = os.path.join(work, "save")
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "label.bmp")
    new_args = ["render", "--type", "UPC_A", "--scale", "12", "-o", target, "03600029145"]
    old_args = ["render", "--type", "UPC_A", "--scale", "12", "-o", target, "01234567890"]
    program.run(old_args)
    old = read(target)
    program.run(new_args)
    new = read(target)
    run_time = program.seconds(new_args, lambda: None)
    for _ in range(rounds):
        with open(target, "wb") as f:
            f.write(old)
        tally.rounds += 1
        tally.killed += kill_at_random(program, new_args, number, run_time)
        tally.hidden += len(hidden(folder))
        if read(target) not in (old, new):
            tally.torn += 1
        program.run(old_args)  # the next save in the folder
        tally.after += len(hidden(folder))
        for name in hidden(folder):  # counted once
            os.unlink(os.path.join(folder, name))
    return tally


def batches(program, work, number, jobs, rounds):
    """--batch over a folder of the other lines' pictures."""
    tally = Tally("batch %s jobs %d%s" % (signal.Signals(number).name, jobs, program.tag))
    lines = {}
    for kind in ("old", "new"):
        path = os.path.join(work, kind + ".txt")
        with open(path, "w") as f:
            for k in range(1, BATCH_LINES + 1):
                f.write("CODE128_B\t%s%d\n" % (kind.upper(), k))
        lines[kind] = path
    pictures = {}
    for kind in ("old", "new"):
        out = os.path.join(work, "reference-" + kind)
        shutil.rmtree(out, ignore_errors=True)
        program.run(["render", "--batch", lines[kind], "--outdir", out, "--format", "bmp",
                     "--scale", "6", "--jobs", "1", "--quiet"])
        pictures[kind] = {n: read(os.path.join(out, n)) for n in os.listdir(out)}
    folder = os.path.join(work, "batch")

    def args(kind):
        return ["render", "--batch", lines[kind], "--outdir", folder, "--format", "bmp",
                "--scale", "6", "--jobs", str(jobs), "--quiet"]

    def fill():
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, content in pictures["old"].items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)

    run_time = program.seconds(args("new"), fill)
    for _ in range(rounds):
        fill()
        tally.rounds += 1
        tally.killed += kill_at_random(program, args("new"), number, run_time)
        tally.hidden += len(hidden(folder))
        for name in os.listdir(folder):
            if name.startswith("."):
                continue
            if read(os.path.join(folder, name)) not in (pictures["old"].get(name),
                                                        pictures["new"].get(name)):
                tally.torn += 1
        program.run(args("old"))  # the next batch in the folder
        tally.after += len(hidden(folder))
    return tally


def read_only(folder, on):
    if os.geteuid() == 0:
        return subprocess.run(["chattr", "+i" if on else "-i", folder],
                              stderr=subprocess.DEVNULL).returncode == 0
    os.chmod(folder, 0o555 if on else 0o755)
    return not os.access(folder, os.W_OK) if on else True


def write_over(program, work, rounds, scale):
    """-o over a writable picture in a folder that may not be written."""
    tally = Tally("over SIGKILL scale %d" % scale)
    folder = os.path.join(work, "over")
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "label.bmp")
    # The new picture smaller than the old, so that old bytes after the new would show.
    new_args = ["render", "--type", "UPC_A", "--scale", str(scale), "-o", target, "03600029145"]
    program.run(["render", "--type", "UPC_A", "--scale", str(scale + scale // 3 + 1), "-o",
                 target, "01234567890"])
    old = read(target)
    program.run(new_args)
    new = read(target)
    if not read_only(folder, True):
        print("over: cannot keep the folder from being written; skipped", file=sys.stderr)
        return None
    try:
        run_time = program.seconds(new_args, lambda: None)
        for _ in range(rounds):
            with open(target, "wb") as f:
                f.write(old)
            tally.rounds += 1
            tally.killed += kill_at_random(program, new_args, signal.SIGKILL, run_time)
            tally.hidden += len(hidden(folder))
            now = read(target)
            if now not in (old, new):
                if new.startswith(now):
                    tally.cut += 1
                else:
                    tally.torn += 1
    finally:
        read_only(folder, False)
    return tally


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=200)
    parser.add_argument("--cli", default=os.environ.get(
        "VARIMARK_CLI", os.path.join(ROOT, "build", "bin", "varimark-cli")))
    parser.add_argument("cases", nargs="*")
    options = parser.parse_args()
    if not os.access(options.cli, os.X_OK):
        sys.exit("kill_rounds.py: build varimark-cli first (%s)" % options.cli)
    program = Program(options.cli)
    wanted = lambda name: not options.cases or any(name.startswith(c) for c in options.cases)
    random.seed(20260521)
    print("%-28s %6s %6s %6s %6s %6s %6s" % ("case", "rounds", "killed", "hidden", "after",
                                             "torn", "cut"))
    total = Tally("total")
    caught = 0  # names left by SIGINT or SIGTERM
    with tempfile.TemporaryDirectory(prefix="varimark-kills.") as work:
        tallies = []
        if wanted("save"):
            tallies += [lambda n=n: single_saves(program, work, n, options.rounds)
                        for n in (signal.SIGKILL, signal.SIGTERM)]
        if wanted("batch"):
            tallies += [lambda n=n, j=j: batches(program, work, n, j, options.rounds)
                        for n in (signal.SIGKILL, signal.SIGTERM, signal.SIGINT)
                        for j in (1, 2, 4)]
        if wanted("over"):
            tallies += [lambda s=s: write_over(program, work, options.rounds, s) for s in (1, 12)]
        if wanted("named"):
            library = build_no_tmpfile(work)
            if library is None:
                print("named: no cc to build the preloaded library; skipped", file=sys.stderr)
            else:
                named = Program(options.cli, library, " named")
                tallies += [lambda: single_saves(named, work, signal.SIGKILL, options.rounds),
                            lambda: single_saves(named, work, signal.SIGTERM, options.rounds)]
                tallies += [lambda n=n: batches(named, work, n, 2, options.rounds)
                            for n in (signal.SIGKILL, signal.SIGTERM, signal.SIGINT)]
        for make in tallies:
            tally = make()
            if tally is None:
                continue
            print(tally.line(), flush=True)
            for field in ("rounds", "killed", "hidden", "after", "torn", "cut"):
                setattr(total, field, getattr(total, field) + getattr(tally, field))
            if "KILL" not in tally.name:
                caught += tally.hidden
    print(total.line())
    print("names left by SIGINT or SIGTERM: %d; after the next run: %d; torn: %d (goal 0 each)"
          % (caught, total.after, total.torn))
    return 0


if __name__ == "__main__":
    sys.exit(main())
