#!/usr/bin/env python3
"""verify against an independent second implementation of its grading (tests/crosscheck:
ISO/IEC 15416 from its definitions, in plain Python).

Pictures: nine symbols (EAN-13, EAN-13 with a 5-digit add-on, EAN-8, UPC-A, UPC-E, Code
128, Code 39, Interleaved 2 of 5, Codabar) drawn by varimark-cli render and by zint, at 300
and 600 dpi, each degraded 32 ways with ImageMagick (lost contrast, a grey ground, blur,
ink spread and shrink, a cut quiet zone, noise, voids and spots, skew, a colour picture,
combinations): 1,152 pictures, kept in the work folder (made again only when missing).

For each picture `varimark-cli verify --json --dpi D`, then for every scan:
  (a) profile: the profile computed again from the picture along the reported line
      through the reported aperture, against the reported reflectance (max |difference|
      over the measured samples);
  (b) graded: the reported profile graded here, every value and grade against verify's;
  (c) own: our profile (from (a)) graded here, against verify's values.
and the symbol grade (the mean of the scans' grades) against verify's: the same letter,
and within 0.1. While verify's JSON lacks a scan's line, profile and measured samples,
(a) and (b) are skipped (it says so), and (c) uses our own ten lines across 10 % to 90 %
of the bars found on the undegraded picture.

Prints the share of agreeing scans per parameter and source, lists the disagreements
(file, scan, source, parameter, verify's value, ours) and writes them all to
WORK/disagreements.tsv; exits 1 when a share falls below its --min-* threshold or a
picture could not be made or verified.

Usage: bench/verify_crosscheck.py [--quick] [--jobs N] [--min-values F] [--min-grades F]
           [--min-symbols F] [--min-profiles F] WORK_DIR
(varimark-cli from build/bin or $VARIMARK_CLI; needs zint and imagemagick)
"""
import argparse
import concurrent.futures
import json
import math
import os
import random
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = os.environ.get("VARIMARK_CLI", os.path.join(ROOT, "build", "bin", "varimark-cli"))
sys.path.insert(0, os.path.join(ROOT, "tests", "crosscheck"))
sys.dont_write_bytecode = True  # no __pycache__ in the sources
import aperture  # noqa: E402
import iso15416 as iso  # noqa: E402

# name: our type, text, add-on, zint symbology number, zint data
SYMBOLS = {
    "ean13": ("EAN_13", "400638133393", "", 13, "400638133393"),
    "ean13-addon": ("EAN_13", "400638133393", "12345", 13, "400638133393+12345"),
    "ean8": ("EAN_8", "1234567", "", 13, "1234567"),
    "upca": ("UPC_A", "03600029145", "", 34, "03600029145"),
    "upce": ("UPC_E", "0123456", "", 37, "0123456"),
    "code128": ("CODE128_B", "Hello-128", "", 20, "Hello-128"),
    "code39": ("CODE39", "VARIMARK-1", "", 8, "VARIMARK-1"),
    "itf": ("CODE25i", "123456", "", 3, "123456"),
    "codabar": ("Codabar", "A123B", "", 18, "A123456B"),
}
MAKERS = ("varimark", "zint")
DPIS = (300, 600)
# The quick run: profiles whose values do not hang on where the lines lie or on the
# sampling's phase (square edges), so that our own lines agree as well as verify's.
QUICK = {"symbols": ("ean13", "code128", "code39"), "dpis": (300,),
         "degradations": ("contrast-48", "colour")}


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, **kwargs)


# ---------------------------------------------------------------------------------------
# Pictures

def make_base(work, symbol, maker, dpi):
    """The undegraded picture: varimark-cli at its default module (0.33 mm: 4 px at 300
    dpi), zint at the nearest whole number of pixels (--scale 2 is 4 px a module)."""
    type_, text, addon, zint_type, zint_data = SYMBOLS[symbol]
    path = os.path.join(work, f"{symbol}-{maker}-{dpi}.png")
    if not os.path.exists(path):
        if maker == "varimark":
            args = [CLI, "render", "--type", type_, "--dpi", str(dpi), "-o", path, text]
            if addon:
                args[2:2] = ["--addon", addon]
        else:
            args = ["zint", "-b", str(zint_type), "--scale", str(2 * dpi // 300), "--quietzones",
                    "-d", zint_data, "-o", path]
        out = run(args, text=True)
        if out.returncode or not os.path.exists(path):
            raise RuntimeError(f"{' '.join(args)}: {out.stderr.strip() or 'no picture'}")
    return path


class Layout:
    """Where the bars are on an undegraded picture with `pad` white columns added on each
    side: the band of rows that crosses them all (the longest run of rows with at least
    half the most light/dark changes), the dark columns along its middle row (the bars
    stand upright, so they are dark all down the band) and the first and last of them.
    Kept beside the picture in FILE.layout.json."""

    def __init__(self, path, pad=0):
        kept = path + ".layout.json"
        if os.path.exists(kept):
            with open(kept) as file:
                found = json.load(file)
        else:
            found = self.find(path)
            with open(kept, "w") as file:
                json.dump(found, file)
        self.width, self.height = found["width"] + 2 * pad, found["height"]
        self.top, self.bottom = found["top"], found["bottom"]
        self.middle = [False] * pad + found["middle"] + [False] * pad
        self.first = self.middle.index(True)
        self.last = len(self.middle) - 1 - self.middle[::-1].index(True)

    @staticmethod
    def find(path):
        picture = aperture.read_picture(path)
        dark = [[r < 50 for r in row] for row in picture.rows]
        changes = [sum(a != b for a, b in zip(row, row[1:])) for row in dark]
        most = max(changes)
        best, start = (0, -1), None
        for k, n in enumerate(changes + [0]):
            if n >= most / 2 and most > 0:
                start = k if start is None else start
            elif start is not None:
                best = max(best, (k - start, start))
                start = None
        if best[0] == 0:
            raise RuntimeError(f"{path}: no bars found")
        top, bottom = best[1], best[1] + best[0] - 1
        return {"width": picture.width, "height": picture.height, "top": top, "bottom": bottom,
                "middle": dark[(top + bottom) // 2]}

    def lines(self, count=10):
        """Our scan lines (y) from 10 % to 90 % of the band's height."""
        height = self.bottom - self.top + 1
        return [self.top - 0.5 + height * (0.1 + 0.8 * i / (count - 1)) for i in range(count)]


def marks(layout, rng, scale, what, size, count):
    """ImageMagick draws of `count` squares `size` px wide in the bar band: white in bars
    (voids), black in spaces (spots), or both."""
    ops = []
    for _ in range(count):
        x = rng.randint(layout.first, layout.last)
        y = rng.randint(layout.top, layout.bottom)
        dark = layout.middle[x]
        if (what == "voids" and not dark) or (what == "spots" and dark):
            continue
        s = size * scale
        ops += ["-fill", "white" if dark else "black", "-draw",
                f"rectangle {x},{y} {x + s - 1},{y + s - 1}"]
    return ops


def padding(dpi):
    """White added on each side of every picture but one, a module (4 px at 300 dpi): the
    pictures are drawn with the least quiet zones, which an edge moved outward by blur or
    ink spread would cut below their minimum; cut-left and cut-right cut them, and
    blur-1-least-quiet-zone keeps them at their least."""
    return 4 * (dpi // 300)


def degradations(layout, dpi, rng):
    """name -> (ImageMagick operators, geometry): geometry is None, ('chop', side,
    pixels) or ('rotate', degrees). The layout is the padded picture's."""
    f = dpi // 300
    module = 4 * f
    keep = 4 * module  # a quiet zone cut to 4 modules
    cut_left = max(0, layout.first - keep)
    cut_right = max(0, layout.width - 1 - layout.last - keep)

    def blur(sigma):
        return ["-blur", f"0x{sigma * f:g}"]

    def noise(amount):
        return ["-attenuate", f"{amount:g}", "+noise", "Gaussian"]

    table = {
        "none": ([], None),
        # Symbol Contrast 73, 60, 48, 32 %: between the grade limits, not on them
        "contrast-73": (["+level", "27%,100%"], None),
        "contrast-60": (["+level", "40%,100%"], None),
        "contrast-48": (["+level", "52%,100%"], None),
        "contrast-32": (["+level", "68%,100%"], None),
        "grey-ground-75": (["+level", "0%,75%"], None),
        "grey-ground-48": (["+level", "10%,58%"], None),
        "rmin-over-half": (["+level", "48%,90%"], None),
        "blur-0.5": (blur(0.5), None),
        "blur-1": (blur(1), None),
        "blur-1-least-quiet-zone": (blur(1), None),
        "blur-3": (blur(3), None),
        "spread-1": (["-morphology", "Erode", f"Rectangle:{f + 1}x1"], None),
        "spread-2": (["-morphology", "Erode", f"Rectangle:{2 * f + 1}x1"], None),
        "shrink-1": (["-morphology", "Dilate", f"Rectangle:{f + 1}x1"], None),
        "shrink-2": (["-morphology", "Dilate", f"Rectangle:{2 * f + 1}x1"], None),
        "blur-threshold-spread": (blur(1.5) + ["-threshold", "62%"], None),
        "blur-threshold-shrink": (blur(1.5) + ["-threshold", "38%"], None),
        "cut-left": (["-gravity", "West", "-chop", f"{cut_left}x0"], ("chop", "West", cut_left)),
        "cut-right": (["-gravity", "East", "-chop", f"{cut_right}x0"], ("chop", "East", cut_right)),
        "noise-low": (noise(0.3), None),
        "noise-high": (noise(0.8), None),
        "voids": (marks(layout, rng, f, "voids", 2, 60), None),
        "spots": (marks(layout, rng, f, "spots", 2, 60), None),
        "voids-spots-large": (marks(layout, rng, f, "both", 4, 30), None),
        "skew-2": (["-background", "white", "-rotate", "2"], ("rotate", 2.0)),
        "skew-minus-3": (["-background", "white", "-rotate", "-3"], ("rotate", -3.0)),
        # red light: green and blue gone, the red channel (what is read) unchanged
        "colour": (["-channel", "G,B", "-evaluate", "set", "0", "+channel"], None),
        "blur-1-noise": (blur(1) + noise(0.4), None),
        "contrast-60-blur-1.5": (["+level", "40%,100%"] + blur(1.5), None),
        "voids-blur-1": (marks(layout, rng, f, "voids", 2, 60) + blur(1), None),
        "skew-2-blur-1-noise": (["-background", "white", "-rotate", "2"] + blur(1) + noise(0.3),
                                ("rotate", 2.0)),
    }
    return table


def make_picture(work, base, layout, name, dpi, degradation):
    path = os.path.join(work, f"{name}-{degradation}.png")
    rng = random.Random(f"{name}-{degradation}")
    ops, geometry = degradations(layout, dpi, rng)[degradation]
    if degradation != "blur-1-least-quiet-zone":
        ops = ["-bordercolor", "white", "-border", f"{padding(dpi)}x0"] + ops
    if not os.path.exists(path):
        final = [] if degradation == "colour" else ["-colorspace", "Gray"]
        out = run(["convert", base, *ops, *final, "-depth", "8", path], text=True)
        if out.returncode:
            raise RuntimeError(f"convert {base} {' '.join(ops)}: {out.stderr.strip()}")
    return path, geometry


def own_lines(layout, geometry, picture, count):
    """Our scan lines [(x, y, dx, dy, samples)] on the degraded picture."""
    lines = []
    for y in layout.lines(count):
        if geometry and geometry[0] == "rotate":
            # ImageMagick turns about the picture's centre onto a larger canvas, clockwise.
            a = math.radians(geometry[1])
            cx, cy = (layout.width - 1) / 2, (layout.height - 1) / 2
            nx, ny = (picture.width - 1) / 2, (picture.height - 1) / 2
            x0 = nx + math.cos(a) * (0 - cx) - math.sin(a) * (y - cy)
            y0 = ny + math.sin(a) * (0 - cx) + math.cos(a) * (y - cy)
            lines.append((x0, y0, math.cos(a), math.sin(a), layout.width))
        else:
            lines.append((0.0, y, 1.0, 0.0, picture.width))
    return lines


def symbol_range(profile, type_):
    """Our measured samples on our own line: the symbol (the largest group of elements
    whose spaces are under 5.5 X, an EAN/UPC add-on within 13 X after it) and one and a
    half times the quiet zones its symbology needs, as far as the line reaches. X is
    guessed as the mean element width over 1.6 (what the symbologies here average),
    which bar gain does not move."""
    rmax, rmin = max(profile), min(profile)
    runs = iso.runs_at(profile, 0, len(profile) - 1, (rmax + rmin) / 2)
    inner = runs[1:-1]
    if not inner or rmax == rmin:
        return 0, len(profile) - 1
    x = sum(r[2] - r[1] + 1 for r in inner) / len(inner) / 1.6
    groups, current = [], []
    for run in runs:
        if run[0] and run[2] - run[1] + 1 >= 5.5 * x:
            if current:
                groups.append(current)
            current = []
        elif current or not run[0]:
            current.append(run)
    if current and not current[-1][0]:
        groups.append(current)
    if not groups:
        return 0, len(profile) - 1
    best = max(range(len(groups)), key=lambda i: len(groups[i]))
    start, end = groups[best][0][1], groups[best][-1][2]
    key = iso.symbology(type_)
    if key in iso.EAN_LAYOUT and best + 1 < len(groups) and groups[best + 1][0][1] - end <= 13 * x:
        end = groups[best + 1][-1][2]
    need_left, need_right = iso.EAN_LAYOUT[key][2] if key in iso.EAN_LAYOUT else (10, 10)
    first = max(0, math.floor(start - 1.5 * need_left * x) - 2)
    last = min(len(profile) - 1, math.ceil(end + 1.5 * need_right * x) + 2)
    return first, last


# ---------------------------------------------------------------------------------------
# Comparing

REFLECTANCES = ("rmin", "rmax", "symbol_contrast", "min_edge_contrast")
RATIOS = ("modulation", "defects", "decodability")
GRADES = ("grade", "decode", "rmin_grade", "symbol_contrast_grade", "min_edge_contrast_grade",
          "modulation_grade", "defects_grade", "decodability_grade")


def normal(data):
    text = "".join(c for c in str(data) if c.isalnum()).upper()
    return text.lstrip("0")


def same_data(a, b):
    a, b = normal(a), normal(b)
    return a == b or a[:-1] == b or b[:-1] == a


def compare(theirs, ours, tolerances):
    """[(parameter, verify's value, ours, agree)] of one scan."""
    rows = []
    for key in REFLECTANCES + RATIOS + GRADES + ("threshold", "decoded", "data", "edges"):
        if key not in theirs:
            continue
        a, b = theirs[key], ours[key]
        if a is None or b is None or isinstance(a, bool) != isinstance(b, bool):
            rows.append((key, a, b, a == b))
            continue
        if key in ("decodability",) and not (theirs.get("decoded") and ours["decoded"]):
            continue
        if key == "data":
            if not (theirs.get("decoded") and ours["decoded"]):
                continue
            agree = same_data(a, b)
        elif key == "edges":
            apart = max((abs(x - y) for x, y in zip(a, b)), default=0.0)
            agree = len(a) == len(b) and apart <= tolerances["edge"]
            a, b = f"{len(a)} edges", f"{len(b)} edges" + (
                f", at most {apart:.3f} apart" if len(a) == len(b) else "")
        elif key in REFLECTANCES or key == "threshold":
            agree = abs(a - b) <= tolerances["reflectance"]
        elif key in RATIOS:
            agree = abs(a - b) <= tolerances["ratio"]
        else:
            agree = a == b
        if key == "decode" and not agree:  # with the reasons, to be worked by hand
            a, b = f"{a} ({theirs.get('failure', '')})", f"{b} ({ours['failure']})"
        rows.append((key, a, b, agree))
    return rows


def shown(value):
    return f"{value:.3f}" if isinstance(value, float) else str(value)


def check_picture(job):
    """One picture: make it, verify it, compare every scan. Returns (picture, rows, notes)
    with rows (scan, source, parameter, verify's value, ours, agree)."""
    try:
        return check_one(*job)
    except Exception as error:  # one picture's fault must not end the run: it is listed
        return f"{job[1]}-{job[2]}-{job[3]}-{job[4]}", None, [f"{type(error).__name__}: {error}"]


def check_one(work, symbol, maker, dpi, degradation, tolerances):
    type_ = SYMBOLS[symbol][0]
    name = f"{symbol}-{maker}-{dpi}"
    try:
        base = make_base(work, symbol, maker, dpi)
        pad = 0 if degradation == "blur-1-least-quiet-zone" else padding(dpi)
        layout = Layout(base, pad)
        path, geometry = make_picture(work, base, layout, name, dpi, degradation)
    except (RuntimeError, ValueError) as error:
        return name + "-" + degradation, None, [f"not made: {error}"]
    label = os.path.basename(path)
    out = run([CLI, "verify", "--json", "--dpi", str(dpi), path], text=True, errors="replace")
    if not out.stdout.startswith("{"):
        return label, None, [f"verify gave no JSON (exit {out.returncode}): {out.stderr.strip()}"]
    try:
        report = json.loads(out.stdout)
    except json.JSONDecodeError as error:
        return label, None, [f"verify's JSON does not parse: {error}"]
    picture = aperture.read_picture(path)
    profiles = report.get("profiles") or []
    diameter = report.get("aperture_px") or report.get("aperture_mils", 6.0) * dpi / 1000
    rows, notes, missing = [], [], set()
    reported_lines = all("line" in p and "reflectance" in p for p in profiles) and profiles
    lines = ([(p["line"]["x"], p["line"]["y"], p["line"]["dx"], p["line"]["dy"], p["line"]["count"])
              for p in profiles] if reported_lines
             else own_lines(layout, geometry, picture, max(len(profiles), 10)))
    # our profile on verify's line, or on our own line: then its values can differ by the
    # sampling's phase, and only its grades are held to the thresholds
    own_source = "own" if reported_lines else "own-line"
    if not reported_lines:
        missing.add("line/reflectance")
    if "type" in report and report.get("found", True) and report["type"]:
        try:
            agree = iso.symbology(report["type"]) == iso.symbology(type_)
        except ValueError:
            agree = False
        rows.append((None, "symbol", "type", report["type"], type_, agree))
    # a verify that found no symbol has no profile to compare value by value: one row
    # says whether we read it (the old report had no "found": all its profiles are zero)
    found = report.get("found", any(p.get("rmax", 0) > 0 for p in profiles))
    graded, own, addons, read = [], [], [], []
    for scan, line in enumerate(lines):
        theirs = profiles[scan] if scan < len(profiles) else {}
        try:
            mine = picture.profile(*line, diameter)
        except ValueError as error:
            notes.append(f"scan {scan + 1}: {error}")
            continue
        # the picture ends half a pixel beyond the line's first and last samples
        reach = 0.5 / math.hypot(line[2], line[3])
        measured = theirs.get("measured")
        if measured is None:
            missing.add("measured")
            measured = symbol_range(mine, type_)
        if reported_lines:
            reflectance = theirs["reflectance"]
            # over the samples graded (the line may run past the picture, where the two
            # readings of what lies outside it may differ)
            span = range(measured[0], min(measured[1] + 1, len(mine), len(reflectance)))
            worst = max((abs(mine[k] - reflectance[k]) for k in span), default=0.0)
            rows.append((scan + 1, "profile", "reflectance", f"{len(reflectance)} samples",
                         f"max |difference| {worst:.3f}" + ("" if len(mine) == len(reflectance)
                                                            else f", {len(mine)} samples"),
                         worst <= tolerances["reflectance"] and len(mine) == len(reflectance)))
            result = iso.grade_profile(reflectance, type_, measured, reach)
            graded.append(result["grade"])
            rows += [(scan + 1, "graded") + row for row in compare(theirs, result, tolerances)]
        result = iso.grade_profile(mine, type_, measured, reach)
        own.append(result["grade"])
        addons.append(result["addon"])
        read.append(result["decoded"])
        if theirs and found:
            rows += [(scan + 1, own_source) + row for row in compare(theirs, result, tolerances)]
    for source, grades in (("graded", graded), (own_source, own)):
        if grades and "grade" in report:
            mean = sum(grades) / len(grades)
            rows.append((None, source, "symbol letter", report.get("letter") or iso.letter(report["grade"]),
                         iso.letter(mean), iso.letter(report["grade"]) == iso.letter(mean)))
            rows.append((None, source, "symbol grade", report["grade"], round(mean, 2),
                         abs(report["grade"] - mean) <= 0.1))
    if not found:
        rows.append((None, "symbol", "found", False, f"{sum(read)} of {len(read)} scans read",
                     not any(read)))
    if "addon" in report and report.get("decoded") and addons:
        # what most of our scans that cross an add-on read (some lie above a short add-on)
        crossing = [a for a in addons if a] or [""]
        ours = max(set(crossing), key=crossing.count)
        rows.append((None, "symbol", "addon", report["addon"], ours, report["addon"] == ours))
    if missing:
        notes.append("missing: " + ", ".join(sorted(missing)))
    return label, rows, notes


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", help="folder for the pictures (kept) and disagreements.tsv")
    parser.add_argument("--quick", action="store_true",
                        help="3 symbols at 300 dpi, at 48 %% contrast and in colour (12 pictures)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--tol-reflectance", type=float, default=0.5)
    parser.add_argument("--tol-ratio", type=float, default=0.01)
    parser.add_argument("--tol-edge", type=float, default=0.05, help="in samples")
    parser.add_argument("--min-values", type=float, default=0.95)
    parser.add_argument("--min-grades", type=float, default=0.95)
    parser.add_argument("--min-symbols", type=float, default=0.95)
    parser.add_argument("--min-profiles", type=float, default=0.95)
    parser.add_argument("--list", type=int, default=60, help="disagreements printed (all in the file)")
    args = parser.parse_args()
    if not os.access(CLI, os.X_OK):
        sys.exit(f"varimark-cli not found at {CLI} (build it, or set VARIMARK_CLI)")
    os.makedirs(args.work, exist_ok=True)
    tolerances = {"reflectance": args.tol_reflectance, "ratio": args.tol_ratio, "edge": args.tol_edge}
    symbols = QUICK["symbols"] if args.quick else tuple(SYMBOLS)
    dpis = QUICK["dpis"] if args.quick else DPIS
    # the bases first, once each (the jobs share them)
    makers = tuple(m for m in MAKERS if m != "zint" or shutil.which("zint"))
    if makers != MAKERS:
        print("zint is not installed (scripts/install-deps.sh bench): its pictures are left out")
    bases = [(s, m, d) for s in symbols for m in makers for d in dpis]
    failures = []
    for s, m, d in bases:
        try:
            make_base(args.work, s, m, d)
        except RuntimeError as error:
            failures.append((f"{s}-{m}-{d}", str(error)))
    names = (QUICK["degradations"] if args.quick
             else tuple(degradations(Layout(make_base(args.work, *bases[0])), 300, random.Random(0))))
    jobs = [(args.work, s, m, d, g, tolerances) for s, m, d in bases for g in names
            if not any(f[0] == f"{s}-{m}-{d}" for f in failures)]
    tally, disagreements, missing = {}, [], set()
    with concurrent.futures.ProcessPoolExecutor(max(1, args.jobs)) as pool:
        for label, rows, notes in pool.map(check_picture, jobs, chunksize=1):
            for note in notes:
                if note.startswith("missing: "):
                    missing.update(note[9:].split(", "))
                else:
                    failures.append((label, note))
            for scan, source, parameter, theirs, ours, agree in rows or []:
                key = (source, parameter)
                n, good = tally.get(key, (0, 0))
                tally[key] = (n + 1, good + bool(agree))
                if not agree:
                    disagreements.append((label, scan or 0, source, parameter, shown(theirs), shown(ours)))
    disagreements.sort()
    print(f"{len(jobs)} pictures ({len(symbols)} symbols x {len(makers)} makers x {len(dpis)} "
          f"resolutions x {len(names)} degradations), varimark-cli at {CLI}")
    if missing:
        print(f"verify's JSON does not carry {' and '.join(sorted(missing))} yet: (a) the profile "
              "and (b) the grading of verify's own profile are skipped where the line and "
              "profile are missing; (c) grades our profile along our own scan lines and "
              "measures the symbol and its quiet zones itself where 'measured' is missing.")
    print(f"tolerances: {args.tol_reflectance} % reflectance, {args.tol_ratio} for MOD, Defects "
          f"and V, {args.tol_edge} sample for edges")
    print(f"{'source':8} {'parameter':26} {'scans':>7} {'agree':>7}")
    below = []
    for (source, parameter), (n, good) in sorted(tally.items()):
        share = good / n
        limit = (args.min_profiles if source == "profile" else
                 args.min_symbols if source == "symbol" or parameter.startswith("symbol") else
                 args.min_grades if parameter in GRADES or parameter == "decoded" else
                 0.0 if source == "own-line" else args.min_values)
        flag = "" if share >= limit else f"  < {limit}"
        if flag:
            below.append((source, parameter))
        print(f"{source:8} {parameter:26} {n:7} {100 * share:6.1f}%{flag}")
    with open(os.path.join(args.work, "disagreements.tsv"), "w") as out:
        out.write("file\tscan\tsource\tparameter\tverify\tcrosscheck\n")
        for row in disagreements:
            out.write("\t".join(str(x) for x in row) + "\n")
    if disagreements:
        print(f"{len(disagreements)} disagreements (file, scan, source, parameter, verify, crosscheck); "
              f"all in {os.path.join(args.work, 'disagreements.tsv')}:")
        for row in disagreements[:args.list]:
            print("  " + "  ".join(str(x) for x in row))
    for label, why in failures:
        print(f"FAILED {label}: {why}")
    if below or failures:
        print(f"below the thresholds: {', '.join(f'{s} {p}' for s, p in below) or 'none'}; "
              f"pictures failed: {len(failures)}")
        return 1
    print("agreement reached")
    return 0


if __name__ == "__main__":
    sys.exit(main())
