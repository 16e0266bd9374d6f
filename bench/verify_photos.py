#!/usr/bin/env python3
"""verify on photographs and screenshots of labels, against two real readers.

Generates, from a seed, photo-like pictures of labels: a symbol drawn by varimark-cli render
or by zint (EAN-13, EAN-8, UPC-A, UPC-E, Code 128, Code 39, Interleaved 2 of 5, Codabar)
with realistic data, on a label with other print (text lines, a logo, a frame), the label
on a table (textured grey, wood, cloth, a gradient) and photographed: 1.5 to 4 pixels a
module, turned by any angle, a mild perspective, uneven light, a shadow, sometimes glare,
defocus or shake, sensor noise, JPEG at quality 60-90, no resolution stated in the file,
640x480 to 1600x1200; a few are screenshots (upright, resampled, PNG). Besides these,
pictures without any barcode: text-only labels, fences, grilles, ruled paper, keyboards,
book spines, noise and textures, photographed the same way.

Every picture goes to zbarimg, ZXingReader and varimark-cli verify --type auto; each
reader's data is compared with the data encoded, in any of the forms a scanner may
transmit (Code 39 with or without its stars, Codabar with or without its start and stop,
UPC-A in 12 or 13 digits, UPC-E in 8 digits or expanded, an add-on appended or apart).
Prints, per symbology, per angle and per module size, how many each reader decoded right,
wrong and not at all; the false reads on the pictures without a barcode; the pictures
verify missed that another reader decoded. Exits 1 when verify decodes fewer than zbar
(plus --margin), reads more than --max-wrong wrong or gives more than --max-false false
reads.

Usage: bench/verify_photos.py [options] WORK_DIR
  --seed N          the pictures' seed (default 1)
  --count N         pictures with a barcode (default 250)
  --none N          pictures without one (default 45)
  --jobs N          pictures handled at once (default: the number of processors)
  --keep            reuse the pictures already in WORK_DIR when made with the same seed
                    and counts (only the readers run again)
  --margin N        verify must decode at least zbar's count plus N (default 0)
  --max-wrong N     wrong reads verify may give (default 0)
  --max-false N     false reads verify may give on pictures without a barcode (default 0)
  --save-samples D  keep about 20 small crops (JPEG quality 85, at most 25 KB each) that
                    zbar reads, covering the symbologies, angles and module sizes, with
                    three without a barcode, in D with D/manifest.tsv and D/README
WORK_DIR gets the pictures, pictures.json (how each was made) and results.tsv (each
reader's outcome and data per picture).
(varimark-cli from build/bin or $VARIMARK_CLI; needs zbar-tools, zxing-cpp-tools, zint,
imagemagick with the DejaVu and Liberation fonts)
"""
import argparse
import concurrent.futures
import json
import math
import os
import random
import re
import resource
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = os.environ.get("VARIMARK_CLI", os.path.join(ROOT, "build", "bin", "varimark-cli"))
READER_TIMEOUT = 120  # seconds a reader may take on one picture; longer counts as an error
GENERATOR_VERSION = 1  # bumped whenever the pictures change for the same seed
# One thread per ImageMagick call (the pool runs the calls side by side), and the noise of a
# seeded call the same on every run.
os.environ["MAGICK_THREAD_LIMIT"] = "1"

# symbology: (share of the barcode pictures, zint's -b)
SYMBOLOGIES = {
    "EAN_13": (60, "13"), "EAN_8": (25, "13"), "UPC_A": (35, "34"), "UPC_E": (20, "37"),
    "CODE128": (45, "20"), "CODE39": (30, "8"), "CODE25i": (20, "3"), "Codabar": (15, "18"),
}
NONE_KINDS = ["text-label", "fence", "grille", "ruled-paper", "keyboard", "spines",
              "noise", "texture", "price-table"]
SIZES = [(640, 480), (800, 600), (1024, 768), (1280, 720), (1280, 960), (1600, 1200),
         (480, 640), (600, 800), (768, 1024), (960, 1280), (1200, 1600)]
FONTS = ["DejaVu-Sans", "DejaVu-Sans-Bold", "DejaVu-Serif", "DejaVu-Sans-Condensed",
         "Liberation-Sans", "Liberation-Sans-Bold", "Liberation-Mono", "DejaVu-Serif-Bold"]
PAPERS = ["#ffffff", "#fbfaf6", "#f6f1e4", "#fdf7d4", "#eef3fb", "#f4f4f4", "#fff8f0"]
INKS = ["#000000", "#141414", "#1c1c3a", "#13311c", "#2e1d10", "#0d2240"]
LOGO_COLOURS = ["#c8102e", "#0057b8", "#009639", "#ff8200", "#6d2077", "#e4002b", "#333333"]
WORDS = ["Organic", "Whole", "Milk", "Coffee", "Beans", "Pasta", "Tomato", "Sauce", "Apple",
         "Juice", "Green", "Tea", "Dark", "Chocolate", "Rice", "Flour", "Olive", "Oil",
         "Screws", "M6x20", "Cable", "USB-C", "Filter", "Batteries", "Paint", "White", "Matt",
         "Fragile", "Spare", "Part", "Valve", "Sensor", "Lemon", "Biscuits", "Honey", "Salt",
         "Vitamin", "Tablets", "Glue", "Brush", "Notebook", "Ink", "Cartridge", "Black"]
SMALL_PRINT = ["Net wt 500 g", "Best before 03.2026", "Price 3.49", "Lot 2311-07",
               "Made in EU", "Hauptstr. 12, 10115 Berlin", "Batch A7", "Keep dry",
               "Store below 25 C", "Qty 12 pcs", "1.5 L", "Ref. 4711-0815", "Art.-Nr. 20331",
               "Unit price 6.98 / kg", "Packed 12.11.2025", "Ship to: Dock 4", "Rev. C",
               "Serial number", "Use by 21.12.2025", "Contains nuts"]


def run(args, timeout=None, binary=False):
    return subprocess.run(args, capture_output=True, timeout=timeout,
                          **({} if binary else {"text": True, "errors": "replace"}))


# --- data ---------------------------------------------------------------------------------

def gs1_check(digits):
    """GS1 modulo 10: weights 3, 1, 3, ... from the rightmost digit before the check."""
    total = sum(int(d) * (3 if i % 2 == 0 else 1) for i, d in enumerate(reversed(digits)))
    return str(-total % 10)


def upce_expanded(six):
    """UPC-A body (11 digits, number system 0) of a UPC-E symbol's six digits."""
    d, last = six, six[5]
    if last in "012":
        return "0" + d[0:2] + last + "0000" + d[2:5]
    if last == "3":
        return "0" + d[0:3] + "00000" + d[3:5]
    if last == "4":
        return "0" + d[0:4] + "00000" + d[4]
    return "0" + d[0:5] + "0000" + last


def digits(rng, n):
    return "".join(rng.choice("0123456789") for _ in range(n))


def make_data(rng, symbology):
    """(data to draw, expected data as transmitted, add-on or "")"""
    if symbology == "EAN_13":
        prefix = rng.choice(["400", "401", "402", "405", "409", "412", "426", "50", "30", "34",
                             "80", "84", "87", "590", "690", "693", "45", "49", "54", "76",
                             "978", "978", "979", "977", "20", "28"])
        body = prefix + digits(rng, 12 - len(prefix))
        addon = ""
        if prefix in ("978", "979") and rng.random() < 0.6:  # a book's price
            addon = rng.choice("59") + digits(rng, 4)
        elif prefix == "977" and rng.random() < 0.5:
            addon = digits(rng, 2)
        return body, body + gs1_check(body), addon
    if symbology == "EAN_8":
        body = rng.choice(["40", "41", "42", "50", "87", "96", "20", "21", "73"]) + digits(rng, 5)
        return body, body + gs1_check(body), ""
    if symbology == "UPC_A":
        body = rng.choice("0000067812") + digits(rng, 10)
        addon = digits(rng, 2) if rng.random() < 0.06 else ""
        return body, body + gs1_check(body), addon
    if symbology == "UPC_E":
        # The zero suppressions that no other form covers: last digit 3 needs the third 3..9,
        # 4 the fourth 1..9, 5..9 the fifth 1..9.
        last = rng.choice("0123456789")
        six = digits(rng, 5) + last
        fix = {"3": (2, "3456789"), "4": (3, "123456789")}.get(last, (4, "123456789") if last >= "5" else None)
        if fix:
            six = six[:fix[0]] + rng.choice(fix[1]) + six[fix[0] + 1:]
        return six, "0" + six + gs1_check(upce_expanded(six)), ""
    if symbology == "CODE128":
        alnum = "ABCDEFGHJKLMNPRSTUVWXYZ0123456789"
        form = rng.randrange(7)
        if form == 0:
            text = "1Z" + "".join(rng.choice(alnum) for _ in range(6)) + digits(rng, 10)
        elif form == 1:
            text = "JJD" + digits(rng, 14)
        elif form == 2:
            text = digits(rng, 2 * rng.randint(4, 9))
        elif form == 3:
            text = f"ORD-{rng.randint(2019, 2026)}-{digits(rng, 6)}"
        elif form == 4:
            text = "SN " + "".join(rng.choice(alnum.lower() + alnum) for _ in range(rng.randint(5, 9)))
        elif form == 5:
            text = rng.choice(["Lot ", "Ref:", "P/N ", "Item#"]) + digits(rng, rng.randint(4, 8))
        else:
            text = "".join(rng.choice(alnum) for _ in range(rng.randint(6, 12)))
        return text, text, ""
    if symbology == "CODE39":
        # No $ / + %: a reader in Full ASCII mode would read pairs with them differently.
        alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
        form = rng.randrange(4)
        if form == 0:
            text = "".join(rng.choice(alnum[:26]) for _ in range(rng.randint(1, 3))) + "-" + digits(rng, rng.randint(3, 6))
        elif form == 1:
            text = f"LOT {digits(rng, 4)} {rng.choice(alnum[:26])}"
        elif form == 2:
            text = f"V{rng.randint(1, 9)}.{rng.randint(0, 9)}.{digits(rng, 2)}"
        else:
            text = "".join(rng.choice(alnum) for _ in range(rng.randint(4, 10)))
        return text, text, ""
    if symbology == "CODE25i":
        if rng.random() < 0.4:  # ITF-14: a packaging indicator and a GTIN-13 body
            body = rng.choice("1235") + rng.choice(["400", "401", "50", "87", "80"])
            body += digits(rng, 13 - len(body))
            text = body + gs1_check(body)
        else:
            text = digits(rng, 2 * rng.randint(3, 8))
        return text, text, ""
    if symbology == "Codabar":
        start, stop = rng.choice("ABCD"), rng.choice("ABCD")
        middle = digits(rng, rng.randint(5, 13))
        if rng.random() < 0.3:
            cut = rng.randint(1, len(middle) - 1)
            middle = middle[:cut] + rng.choice("-$:.") + middle[cut:]
        text = start + middle + stop
        return text, text, ""
    raise ValueError(symbology)


# --- the symbol ---------------------------------------------------------------------------

def read_grey(path):
    """(width, height, bytes) of a picture as 8-bit grey."""
    out = run(["convert", path, "-colorspace", "Gray", "-depth", "8", "pgm:-"], binary=True).stdout
    magic, width, height, maxval, pixels = out.split(maxsplit=4)
    if magic != b"P5" or maxval != b"255":
        raise RuntimeError(f"{path}: not read as an 8-bit grey picture")
    width, height = int(width), int(height)
    return width, height, pixels[:width * height]


def module_pixels(path):
    """The narrowest element's width in pixels on the row with the most edges, in the upper
    half of the bars (the drawn symbols have whole pixels a module)."""
    width, height, pixels = read_grey(path)
    best = []
    for y in range(height // 8, height // 2, max(1, height // 40)):
        row = pixels[y * width:(y + 1) * width]
        runs, count, dark = [], 0, row[0] < 128
        for value in row:
            if (value < 128) == dark:
                count += 1
            else:
                runs.append(count)
                count, dark = 1, value < 128
        if len(runs) > len(best):
            best = runs[1:]  # the first is the margin
    narrow = [r for r in best if best.count(r) >= 2]
    if len(best) < 15 or not narrow:
        raise RuntimeError(f"{path}: no bars found")
    return min(narrow), width, height


def render_symbol(rng, symbology, text, addon, path):
    """Draws the symbol with varimark-cli or zint; returns (renderer, arguments)."""
    if rng.random() < 0.5:
        type_ = symbology
        if symbology == "CODE128":
            type_ = ("CODE128_C" if text.isdigit() and len(text) % 2 == 0 else
                     "CODE128_A" if text == text.upper() and rng.random() < 0.5 else "CODE128_B")
        args = [CLI, "render", "--type", type_, "--dpi", "300", "--module", str(rng.randint(0, 9)),
                "--bar-height", str(rng.choice([40, 60, 80, 100, 100]))]
        if symbology in ("CODE39", "CODE25i", "Codabar"):
            args += ["--ratio", rng.choice(["3", "3", "2"])]
        if addon:
            args += ["--addon", addon]
        if rng.random() < 0.2:
            args.append("--no-text")
        args += ["-o", path, "--", text]
        renderer = "varimark"
    else:
        barcode = SYMBOLOGIES[symbology][1]
        data = text
        if symbology == "UPC_E":
            data = "0" + text
        elif symbology == "CODE25i" and len(text) == 14 and rng.random() < 0.6:
            barcode, data = "89", text[:13]  # ITF-14 with its bearer bars
        if addon:
            data += "+" + addon
        args = ["zint", "-b", barcode, "--scale=2", "--quietzones", "-o", path, "-d", data]
        if symbology not in ("EAN_13", "EAN_8", "UPC_A", "UPC_E"):
            args.append(f"--height={rng.randint(20, 60)}")
        if rng.random() < 0.2:
            args.append("--notext")
        renderer = "zint"
    result = run(args)
    if result.returncode:
        raise RuntimeError(f"{' '.join(args)}: {result.stderr.strip()}")
    return renderer, args[1:]


# --- the label ----------------------------------------------------------------------------

def text_args(font, size, colour, x, y, text):
    return ["-font", font, "-pointsize", f"{size:.1f}", "-fill", colour, "-stroke", "none",
            "-annotate", f"+{x:.0f}+{y:.0f}", text]


def logo_args(rng, x, y, size):
    colour = rng.choice(LOGO_COLOURS)
    cx, cy, r = x + size / 2, y + size / 2, size / 2
    shape = rng.randrange(4)
    if shape == 0:
        draw = f"circle {cx:.0f},{cy:.0f} {cx + r:.0f},{cy:.0f}"
    elif shape == 1:
        draw = f"polygon {cx:.0f},{y:.0f} {x + size:.0f},{y + size:.0f} {x:.0f},{y + size:.0f}"
    elif shape == 2:
        points = " ".join(f"{cx + (r if k % 2 == 0 else r / 2.4) * math.sin(k * math.pi / 5):.0f},"
                          f"{cy - (r if k % 2 == 0 else r / 2.4) * math.cos(k * math.pi / 5):.0f}"
                          for k in range(10))
        draw = f"polygon {points}"
    else:
        draw = f"roundrectangle {x:.0f},{y:.0f} {x + size:.0f},{y + size:.0f} {size / 5:.0f},{size / 5:.0f}"
    return ["-fill", colour, "-stroke", "none", "-draw", draw]


def make_label(rng, path, symbol=None, x_px=4, text_only_size=(600, 300)):
    """A label around the symbol picture (or with print only); returns (width, height, the
    symbol's rectangle (x, y, w, h) on it or None)."""
    paper, ink = rng.choice(PAPERS), rng.choice(INKS)
    if symbol:
        sw, sh = symbol[1], symbol[2]
    else:
        sw, sh = text_only_size
    margin = rng.uniform(3, 12) * x_px
    size = max(2.5 * x_px, rng.uniform(0.09, 0.16) * sh)
    lines_above = rng.choice([0, 1, 1, 2, 2, 3])
    side = rng.random() < 0.3
    side_w = rng.uniform(0.5, 0.9) * sh if side else 0
    lines_below = rng.choice([0, 0, 1, 2])
    above_h = lines_above * size * 1.35 + (size * 0.6 if lines_above else 0)
    below_h = lines_below * size * 1.35 + (size * 0.4 if lines_below else 0)
    width = margin * 2 + side_w + sw
    height = margin * 2 + above_h + sh + below_h
    sx, sy = margin + side_w, margin + above_h
    args = ["convert", "-size", f"{width:.0f}x{height:.0f}", f"xc:{paper}"]
    if symbol:
        args += ["(", symbol[0], "-colorspace", "sRGB", "+level-colors", f"{ink},{paper}", ")",
                 "-geometry", f"+{sx:.0f}+{sy:.0f}", "-compose", "over", "-composite"]
    elif rng.random() < 0.7:  # more small print where the symbol would be
        rows = int(sh / (size * 1.3))
        for k in range(rows):
            line = rng.choice(SMALL_PRINT)
            fit = min(size, sw / (0.62 * len(line)))
            args += text_args(rng.choice(FONTS), fit, ink, sx, sy + (k + 1) * size * 1.3, line)
    title_font = rng.choice(FONTS)
    for k in range(lines_above):
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 3))) if k == 0 else rng.choice(SMALL_PRINT)
        fit = min(size * (1.3 if k == 0 else 1), (width - 2 * margin - side_w) / (0.62 * len(line)))
        args += text_args(title_font if k == 0 else rng.choice(FONTS), fit, ink, sx,
                          margin + (k + 1) * size * 1.35, line)
    for k in range(lines_below):
        line = rng.choice(SMALL_PRINT)
        fit = min(size, sw / (0.62 * len(line)))
        args += text_args(rng.choice(FONTS), fit, ink, sx, sy + sh + size * 0.4 + (k + 1) * size * 1.3, line)
    if side:
        logo = side_w * 0.6
        args += logo_args(rng, margin + side_w * 0.1, margin + above_h, logo)
        for k in range(rng.randint(1, 3)):
            line = rng.choice(SMALL_PRINT)
            fit = min(size * 0.8, side_w * 0.85 / (0.62 * len(line)))
            args += text_args(rng.choice(FONTS), fit, ink, margin, margin + above_h + logo + (k + 1) * size * 1.2, line)
    elif lines_above and rng.random() < 0.6:
        logo = min(above_h * 0.9, sw * 0.2)
        args += logo_args(rng, width - margin - logo, margin * 0.6, logo)
    if rng.random() < 0.6:
        inset = margin * rng.uniform(0.25, 0.6)
        stroke = max(1.0, rng.uniform(0.4, 1.5) * x_px)
        shape = rng.choice(["rectangle", "roundrectangle"])
        corner = f" {margin / 2:.0f},{margin / 2:.0f}" if shape == "roundrectangle" else ""
        args += ["-fill", "none", "-stroke", ink, "-strokewidth", f"{stroke:.1f}", "-draw",
                 f"{shape} {inset:.0f},{inset:.0f} {width - inset:.0f},{height - inset:.0f}{corner}"]
    run_checked(args + [path])
    return round(width), round(height), (sx, sy, sw, sh) if symbol else None


def run_checked(args):
    result = run(args)
    if result.returncode:
        raise RuntimeError(f"{args[0]} failed ({result.returncode}): {result.stderr.strip()[:400]}")
    return result


# --- scenes without a barcode -------------------------------------------------------------

def make_scene(rng, kind, path):
    """A subject without any barcode; returns (width, height)."""
    if kind == "text-label":
        width, height, _ = make_label(rng, path, text_only_size=(rng.randint(300, 700), rng.randint(150, 350)),
                                      x_px=rng.uniform(2, 5))
        return width, height
    width, height = rng.randint(500, 900), rng.randint(350, 700)
    args = ["convert", "-seed", str(rng.randrange(1 << 30)), "-size", f"{width}x{height}"]
    if kind == "fence":
        post, gap = rng.randint(14, 40), rng.randint(10, 30)
        colour = rng.choice(["#6b4a2b", "#8a8a80", "#3d4a3a", "#d8d2c0"])
        args += [f"xc:{rng.choice(['#7aa35a', '#a0b8c8', '#556b2f', '#c0c8d0'])}", "-fill", colour]
        x = rng.randint(0, gap)
        while x < width:
            args += ["-draw", f"rectangle {x},{rng.randint(0, 30)} {x + post},{height}"]
            x += post + gap
        args += ["-draw", f"rectangle 0,{height // 4} {width},{height // 4 + post // 2}",
                 "-draw", f"rectangle 0,{height * 3 // 4} {width},{height * 3 // 4 + post // 2}"]
    elif kind == "grille":
        bar, gap = rng.randint(3, 9), rng.randint(3, 9)
        args += ["xc:#c8c8c8", "-fill", "#202020"]
        for x in range(0, width, bar + gap):
            args += ["-draw", f"rectangle {x},0 {x + bar - 1},{height}"]
    elif kind == "ruled-paper":
        step = rng.randint(18, 30)
        args += ["xc:#fbfbf5", "-stroke", "#8fb3d9", "-strokewidth", "1.5"]
        for y in range(step * 2, height, step):
            args += ["-draw", f"line 0,{y} {width},{y}"]
        args += ["-stroke", "#e05050", "-draw", f"line {step * 3},0 {step * 3},{height}"]
        for k in range(rng.randint(3, 8)):
            args += text_args("DejaVu-Serif-Italic", step * 0.8, "#1c2a6a", step * 3.4,
                              step * (2 + 2 * k) - 4, " ".join(rng.choice(WORDS) for _ in range(5)))
    elif kind == "keyboard":
        key = rng.randint(34, 56)
        args += ["xc:#2a2a2a", "-stroke", "none"]
        letters = "QWERTYUIOPASDFGHJKLZXCVBNM1234567890"
        for row in range(height // key):
            for col in range(width // key):
                x, y = col * key + (row * key // 3) % key, row * key
                args += ["-fill", "#e8e8e8", "-draw",
                         f"roundrectangle {x + 3},{y + 3} {x + key - 3},{y + key - 3} 5,5"]
                args += text_args("DejaVu-Sans", key * 0.35, "#202020", x + key * 0.2, y + key * 0.5,
                                  rng.choice(letters))
    elif kind == "spines":
        args += ["xc:#404040", "-stroke", "none"]
        x = 0
        while x < width:
            w = rng.randint(6, 60)
            shade = rng.choice(["#7a1f1f", "#1f3a7a", "#d8cfa0", "#202020", "#f0f0f0", "#2f6a3a",
                                "#a05a20", "#5a5a5a"])
            args += ["-fill", shade, "-draw", f"rectangle {x},{rng.randint(0, 60)} {x + w},{height}"]
            x += w + rng.randint(0, 4)
    elif kind == "noise":
        small = rng.choice([2, 4, 8])
        args = ["convert", "-seed", str(rng.randrange(1 << 30)), "-size",
                f"{width // small}x{height // small}", "xc:gray50", "+noise", "Random",
                "-colorspace", "Gray", "-resize", f"{width}x{height}!", "-colorspace", "sRGB"]
    elif kind == "texture":
        args = ["convert", "-seed", str(rng.randrange(1 << 30)), "-size",
                f"{width // 4}x{height // 4}", "xc:gray50", "+noise", "Random", "-colorspace",
                "Gray", "-motion-blur", f"0x{rng.randint(4, 12)}+{rng.choice([0, 90, 30])}",
                "-auto-level", "-colorspace", "sRGB", "+level-colors",
                rng.choice(["#4a2e18,#b08050", "#303030,#a0a0a0", "#20304a,#8090b0"]),
                "-resize", f"{width}x{height}!"]
    elif kind == "price-table":
        args += ["xc:#ffffff", "-stroke", "#000000", "-strokewidth", "2"]
        columns = sorted(rng.sample(range(40, width - 40), rng.randint(3, 6)))
        for x in columns:
            args += ["-draw", f"line {x},0 {x},{height}"]
        for y in range(0, height, 28):
            args += ["-strokewidth", "1", "-draw", f"line 0,{y} {width},{y}"]
            args += text_args("Liberation-Mono", 16, "#000000", 6, y + 20,
                              f"{rng.choice(WORDS):<10} {rng.randint(1, 99)}.{rng.randint(0, 99):02d}")
    else:
        raise ValueError(kind)
    run_checked(args + [path])
    return width, height


# --- the photograph -----------------------------------------------------------------------

def homography(src, dst):
    """The projective map taking the four points src to dst: 8 coefficients a..h with
    u = (a x + b y + c) / (g x + h y + 1), v = (d x + e y + f) / (g x + h y + 1)."""
    rows = []
    for (x, y), (u, v) in zip(src, dst):
        rows.append([x, y, 1, 0, 0, 0, -u * x, -u * y, u])
        rows.append([0, 0, 0, x, y, 1, -v * x, -v * y, v])
    for col in range(8):  # Gauss-Jordan with partial pivoting
        pivot = max(range(col, 8), key=lambda r: abs(rows[r][col]))
        rows[col], rows[pivot] = rows[pivot], rows[col]
        for r in range(8):
            if r != col:
                f = rows[r][col] / rows[col][col]
                rows[r] = [a - f * b for a, b in zip(rows[r], rows[col])]
    return [rows[k][8] / rows[k][k] for k in range(8)]


def project(h, x, y):
    w = h[6] * x + h[7] * y + 1
    return (h[0] * x + h[1] * y + h[2]) / w, (h[3] * x + h[4] * y + h[5]) / w


def choose_angle(rng):
    draw = rng.random()
    if draw < 0.15:
        return float(rng.choice([0, 90, 180, 270]))
    if draw < 0.45:
        return round((rng.choice([0, 90, 180, 270]) + rng.choice([-1, 1]) * rng.uniform(0.5, 6)) % 360, 1)
    return round(rng.uniform(0, 360), 1)


def place(rng, rect, scale, angle, label_size, screenshot):
    """Chooses the picture size and where the subject lands; returns (size, homography from
    label to picture, the rectangle's corners in the picture)."""
    x, y, w, h = rect
    corners = [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]
    cx, cy = x + w / 2, y + h / 2
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))
    turned = [((px - cx) * scale * c - (py - cy) * scale * s, (px - cx) * scale * s + (py - cy) * scale * c)
              for px, py in corners]
    half_w = max(abs(p[0]) for p in turned)
    half_h = max(abs(p[1]) for p in turned)
    perspective = 0 if screenshot else rng.choice([0, 0.01, 0.02, 0.03, 0.04])
    slack = 1.08 + 2 * perspective
    fits = [size for size in SIZES if size[0] >= 2 * half_w * slack + 24 and size[1] >= 2 * half_h * slack + 24]
    if not fits:
        return None
    size = fits[0] if rng.random() < 0.5 else rng.choice(fits)
    width, height = size
    for _ in range(50):
        px = rng.uniform(half_w * slack + 12, width - half_w * slack - 12)
        py = rng.uniform(half_h * slack + 12, height - half_h * slack - 12)
        reach = perspective * math.hypot(w, h) * scale
        dst = [(tx + px + rng.uniform(-reach, reach), ty + py + rng.uniform(-reach, reach)) for tx, ty in turned]
        hmat = homography(corners, dst)
        label_corners = [(0, 0), (label_size[0], 0), (label_size[0], label_size[1]), (0, label_size[1])]
        if any(hmat[6] * lx + hmat[7] * ly + 1 < 0.3 for lx, ly in label_corners):
            continue
        if all(4 <= u <= width - 4 and 4 <= v <= height - 4 for u, v in dst):
            return size, hmat, dst
    return None


def background_args(rng, width, height):
    kind = rng.choice(["table", "table", "wood", "cloth", "gradient", "gradient"])
    quarter = f"{max(1, width // 4)}x{max(1, height // 4)}"
    if kind == "table":
        lo = rng.randint(15, 45)
        return kind, ["-size", quarter, "xc:gray50", "-attenuate", "1", "+noise", "Random", "-colorspace",
                      "Gray", "-blur", "0x1", "-auto-level", "+level", f"{lo}%,{lo + rng.randint(10, 30)}%",
                      "-colorspace", "sRGB", "-resize", f"{width}x{height}!", "-fill",
                      rng.choice(["#808080", "#a08060", "#6080a0", "#80a080"]), "-colorize", "12%"]
    if kind == "wood":
        return kind, ["-size", quarter, "xc:gray50", "+noise", "Random", "-colorspace", "Gray",
                      "-motion-blur", f"0x{rng.randint(8, 20)}+{rng.choice([0, 90])}", "-auto-level",
                      "-colorspace", "sRGB", "+level-colors", rng.choice(["#4a2e18,#9a6a3a", "#6a4a2a,#c09060", "#3a2010,#7a5030"]),
                      "-resize", f"{width}x{height}!"]
    if kind == "cloth":
        return kind, ["-size", quarter, f"xc:{rng.choice(['#303438', '#2a3550', '#503030', '#405040'])}",
                      "-attenuate", "0.6", "+noise", "Gaussian", "-resize", f"{width}x{height}!"]
    a, b = rng.randint(25, 80), rng.randint(25, 80)
    return kind, ["-size", f"{width}x{height}", "-define", f"gradient:angle={rng.randint(0, 359)}",
                  f"gradient:gray{a}-gray{b}"]


def photograph(rng, subject, label_size, rect, scale, angle, path, screenshot, ppm):
    """Puts the subject into a photo (or a screenshot); returns its parameters."""
    placed = place(rng, rect, scale, angle, label_size, screenshot)
    if placed is None:
        return None
    (width, height), hmat, quad = placed
    x, y, w, h = rect
    points = " ".join(f"{sx:.2f},{sy:.2f} {dx:.2f},{dy:.2f}"
                      for (sx, sy), (dx, dy) in zip([(x, y), (x + w, y), (x + w, y + h), (x, y + h)], quad))
    params = {"size": f"{width}x{height}", "quad": [[round(u, 1), round(v, 1)] for u, v in quad]}
    args = ["convert", "-seed", str(rng.randrange(1 << 30))]
    if screenshot:
        params["background"] = "page"
        args += ["-size", f"{width}x{height}", f"xc:{rng.choice(['#ffffff', '#f2f2f2', '#e9edf2'])}",
                 "-fill", "#d0d4da", "-draw", f"rectangle 0,0 {width},{rng.randint(20, 40)}"]
    else:
        params["background"], more = background_args(rng, width, height)
        args += more
    # A grey background would make the whole picture grey: a camera's pictures are in colour.
    args += ["-colorspace", "sRGB", "-type", "TrueColor"]
    args += ["(", subject, "-alpha", "set", "-virtual-pixel", "transparent", "-define",
             f"distort:viewport={width}x{height}+0+0", "-distort", "Perspective", points, "+repage", ")",
             "-compose", "over", "-composite", "-virtual-pixel", "edge", "-alpha", "off"]
    if screenshot:
        params["format"] = rng.choice(["png", "png", "jpg"])
        params["quality"] = 90
        out = path + "." + params["format"]
        args += ["-strip", "-depth", "8", "-quality", "90", "-define", "png:exclude-chunks=pHYs,date,time", out]
        run_checked(args)
        return params, out
    light = rng.randint(50, 95)
    params["light"] = light
    args += ["(", "-size", f"{width}x{height}", "-define", f"gradient:angle={rng.randint(0, 359)}",
             f"gradient:white-gray{light}", ")", "-compose", "multiply", "-composite"]
    small_w, small_h = max(1, width // 4), max(1, height // 4)
    if rng.random() < 0.35:  # the shadow of a hand or a phone
        darkness = rng.randint(45, 80)
        params["shadow"] = darkness
        cx, cy = rng.uniform(0, small_w), rng.uniform(0, small_h)
        r = rng.uniform(0.3, 0.7) * small_w
        poly = " ".join(f"{cx + r * math.cos(t) * rng.uniform(0.6, 1.2):.0f},{cy + r * math.sin(t) * rng.uniform(0.6, 1.2):.0f}"
                        for t in [k * math.pi / 4 for k in range(8)])
        args += ["(", "-size", f"{small_w}x{small_h}", "xc:white", "-fill", f"gray{darkness}", "-draw",
                 f"polygon {poly}", "-blur", f"0x{rng.uniform(2, 10):.1f}", "-resize", f"{width}x{height}!", ")",
                 "-compose", "multiply", "-composite"]
    if rng.random() < 0.1:  # a lamp's reflection on a glossy label
        strength = rng.randint(20, 40)
        params["glare"] = strength
        gx, gy = project(hmat, x + w * rng.uniform(0.1, 0.9), y + h * rng.uniform(0.1, 0.9))
        gr = rng.uniform(0.05, 0.15) * small_w
        args += ["(", "-size", f"{small_w}x{small_h}", "xc:black", "-fill", f"gray{strength}", "-draw",
                 f"ellipse {gx / 4:.0f},{gy / 4:.0f} {gr * 1.6:.0f},{gr:.0f} 0,360", "-blur", f"0x{gr / 2:.1f}",
                 "-resize", f"{width}x{height}!", ")", "-compose", "screen", "-composite"]
    args += ["-compose", "over"]
    sigma = round(rng.uniform(0.3, min(1.3, 0.2 + 0.3 * ppm)), 2)  # defocus, relative to a module
    params["blur"] = sigma
    args += ["-blur", f"0x{sigma}"]
    if rng.random() < 0.12:
        shake = round(rng.uniform(0.8, 2.0), 1)
        params["shake"] = shake
        args += ["-motion-blur", f"0x{shake}+{rng.randint(0, 179)}"]
    if rng.random() < 0.3:
        params["sharpen"] = True
        args += ["-unsharp", "0x1+0.7+0.02"]
    noise = round(rng.uniform(0.1, 0.5), 2)
    quality = rng.randint(60, 90)
    params.update(noise=noise, quality=quality, format="jpg")
    out = path + ".jpg"
    args += ["-attenuate", str(noise), "+noise", "Gaussian", "-strip", "-quality", str(quality), out]
    run_checked(args)
    return params, out


def states_no_resolution(path):
    """A JPEG's JFIF density units 0 (an aspect ratio only) and no Exif; a PNG without pHYs."""
    with open(path, "rb") as f:
        head = f.read(64 * 1024)
    if head.startswith(b"\xff\xd8"):
        return head[6:11] == b"JFIF\0" and head[13] == 0 and b"Exif\0" not in head
    return b"pHYs" not in head


def make_picture(work, seed, index, item):
    """Generates one picture from its own random stream; returns its record."""
    rng = random.Random(f"{seed}:{index}")
    base = os.path.join(work, item["name"])
    for attempt in range(6):
        if item["kind"] == "barcode":
            symbology = item["symbology"]
            text, expected, addon = make_data(rng, symbology)
            symbol_path = base + "-symbol.png"
            renderer, render_args = render_symbol(rng, symbology, text, addon, symbol_path)
            x_px, sw, sh = module_pixels(symbol_path)
            check = {"symbology": symbology, "expected": expected, "addon": ""}
            if judge(check, read_zbar(symbol_path)) != "right":  # the drawing itself as intended
                raise RuntimeError(f"{' '.join(render_args)}: zbar does not read {expected!r}")
            label_path = base + "-label.png"
            label_w, label_h, rect = make_label(rng, label_path, (symbol_path, sw, sh), x_px)
            ppm = round(rng.uniform(1.5, 4.0), 2)
            screenshot = rng.random() < 0.06
            angle = 0.0 if screenshot else choose_angle(rng)
            scale = ppm / x_px
            record = {"symbology": symbology, "expected": expected, "addon": addon,
                      "renderer": renderer, "render": render_args, "ppm": ppm, "angle": angle}
        else:
            kind = item["scene"]
            label_path = base + "-label.png"
            label_w, label_h = make_scene(rng, kind, label_path)
            rect = (0, 0, label_w, label_h)
            screenshot = False
            angle = choose_angle(rng)
            scale = rng.uniform(0.4, 1.0)
            record = {"symbology": "-", "expected": "-", "addon": "", "scene": kind, "angle": angle}
        made = photograph(rng, label_path, (label_w, label_h), rect, scale, angle, base, screenshot,
                          record.get("ppm", 2.5))
        for temporary in (base + "-symbol.png", label_path):
            if os.path.exists(temporary):
                os.remove(temporary)
        if made:
            params, out = made
            if not states_no_resolution(out):
                raise RuntimeError(f"{out}: the file states a resolution")
            record.update(params, name=item["name"], kind=item["kind"], file=os.path.basename(out),
                          screenshot=screenshot)
            if item["kind"] == "barcode":
                quad = record["quad"]
                top = math.dist(quad[0], quad[1])
                bottom = math.dist(quad[3], quad[2])
                record["ppm_seen"] = round((top + bottom) / 2 / (rect[2] / (ppm / scale)), 2)
            return record
        if item["kind"] == "barcode":
            rng = random.Random(f"{seed}:{index}:{attempt}")  # too large for any picture: anew
    raise RuntimeError(f"{item['name']}: no picture size holds the subject")


def plan(count, none_count):
    """The pictures' names and kinds, the symbologies in proportion to their shares."""
    total = sum(share for share, _ in SYMBOLOGIES.values())
    items = []
    for symbology, (share, _) in SYMBOLOGIES.items():
        n = round(count * share / total)
        items += [{"kind": "barcode", "symbology": symbology} for _ in range(n)]
    while len(items) < count:  # what the rounding left out goes to EAN-13
        items.insert(0, {"kind": "barcode", "symbology": "EAN_13"})
    items = sorted(items[:count], key=lambda item: list(SYMBOLOGIES).index(item["symbology"]))
    for k in range(none_count):
        items.append({"kind": "none", "scene": NONE_KINDS[k % len(NONE_KINDS)]})
    for k, item in enumerate(items):
        what = item.get("symbology") or "none-" + item["scene"]
        item["name"] = f"{k:03d}-{what.lower().replace('_', '')}"
    return items


# --- the readers --------------------------------------------------------------------------

def run_reader(args):
    """A reader's run, or {"error": why} when it could not run or took too long."""
    try:
        return run(args, timeout=READER_TIMEOUT)
    except subprocess.TimeoutExpired:
        return {"error": "timeout"}
    except OSError as error:
        return {"error": str(error)}


def read_zbar(path):
    result = run_reader(["zbarimg", "-q", "--raw", path])
    if isinstance(result, dict):
        return result
    if result.returncode not in (0, 4):  # 4: no symbol found
        return {"error": f"exit {result.returncode}: {result.stderr.strip()[:200]}"}
    return {"reads": [line for line in result.stdout.splitlines() if line.strip()]}


def read_zxing(path):
    # -noscale: the downscaled pass of Debian's ZXingReader aborts on an assertion with larger
    # pictures, and then nothing is read at all. -1: one line a symbol, FILE FORMAT "TEXT".
    result = run_reader(["ZXingReader", "-noscale", "-1", path])
    if isinstance(result, dict):
        return result
    if result.returncode:
        return {"error": f"exit {result.returncode}: {result.stderr.strip()[-200:]}"}
    reads = []
    for line in result.stdout.splitlines():
        match = re.match(re.escape(path) + r' (\S+) "(.*)"$', line)
        if match:
            reads.append(match.group(2))
    return {"reads": reads}


def read_verify(path):
    result = run_reader([CLI, "verify", "--type", "auto", "--json", path])
    if isinstance(result, dict):
        return result
    try:
        report = json.loads(result.stdout)
    except ValueError:
        return {"error": f"exit {result.returncode}: {result.stderr.strip()[:200]}"}
    if not report.get("decoded"):
        return {"reads": [], "failure": report.get("failure", "")}
    # "data" as a scanner transmits it; "symbol_characters" (or an older build's "data") the
    # prepared text: Code 39 with its stars, Code 128 as symbol values, UPC-E without its
    # number system.
    texts = [report.get("data", ""), report.get("symbol_characters", "")]
    forms = []
    for text in texts:
        if text:
            prepared = code128_from_prepared(text)
            forms.append(text if prepared is None else prepared)
    if report.get("addon"):
        forms = [form + " " + report["addon"] for form in forms] + forms
    forms = list(dict.fromkeys(forms)) or [""]
    return {"reads": [" | ".join(forms)], "forms": forms, "type": report.get("type", ""),
            "transmitted": report.get("data", "")}


def code128_from_prepared(text):
    """Code 128 data from an older verify's prepared text (each symbol character as its value
    + 32 in Windows-1252: start, data, check character, stop), or None when it is not one."""
    values = []
    for ch in text:
        try:
            byte = ch.encode("cp1252")[0]
        except UnicodeEncodeError:
            byte = ord(ch)
        values.append(byte - 32)
    if len(values) < 3 or values[0] not in (103, 104, 105) or values[-1] != 106:
        return None
    out, code, shift = [], {103: "A", 104: "B", 105: "C"}[values[0]], False
    for value in values[1:-2]:  # the data characters (the check character and stop left out)
        current = ("B" if code == "A" else "A") if shift else code
        shift = False
        if current == "C":
            if value < 100:
                out.append(f"{value:02d}")
            elif value in (100, 101):
                code = "B" if value == 100 else "A"
        elif value < 96:  # Code A: 0..63 are ASCII 32..95, 64..95 the controls 0..31
            out.append(chr(value + 32) if current == "B" or value < 64 else chr(value - 64))
        elif value == 98:
            shift = True
        elif value == 99:
            code = "C"
        elif value == 100 and current == "A" or value == 101 and current == "B":
            code = "B" if value == 100 else "A"
        # else FNC1 .. FNC4: no data
    return "".join(out)


def accepted(record):
    """The forms in which a reader may transmit the picture's data (main symbol only)."""
    sym, data = record["symbology"], record["expected"]
    if sym == "UPC_A":
        return {data, "0" + data}
    if sym == "UPC_E":
        upca = upce_expanded(data[1:7]) + data[7]
        return {data, data[1:], upca, "0" + upca}
    if sym == "Codabar":
        return {data, data[1:-1]}
    return {data}


def judge(record, read):
    """'right', 'wrong', 'none' or 'error' for one reader on one barcode picture."""
    if "error" in read:
        return "error"
    if not read["reads"]:
        return "none"
    forms = accepted(record)
    addon = record["addon"]
    for line in read.get("forms", read["reads"]):
        text = line.strip()
        if record["symbology"] == "CODE39":
            text = text.strip("*")
        if record["symbology"] == "Codabar":
            text = text.upper()
        if text in forms:
            return "right"
        pieces = re.split(r"[ +-]", text, maxsplit=1) if record["symbology"] in ("EAN_13", "UPC_A") else [text]
        if len(pieces) == 2 and pieces[0] in forms and pieces[1] == addon:
            return "right"
        if addon and any(text == form + addon for form in forms):
            return "right"
    return "wrong"


def same_type(symbology, type_):
    """verify's type name for the symbology drawn (a UPC-A also as EAN-13)."""
    if symbology in ("CODE128", "CODE25i"):
        return type_.startswith(symbology)
    return type_ == symbology or symbology == "UPC_A" and type_ == "EAN_13"


READERS = {"zbar": read_zbar, "ZXing": read_zxing, "verify": read_verify}


def read_all(work, record):
    path = os.path.join(work, record["file"])
    return {name: reader(path) for name, reader in READERS.items()}


# --- the report ---------------------------------------------------------------------------

def angle_class(angle):
    off = min(angle % 90, 90 - angle % 90)
    return "0/90/180/270" if off < 0.01 else "within 6 deg" if off <= 6 else "odd angle"


def ppm_class(ppm):
    return "1.5-2 px" if ppm < 2 else "2-3 px" if ppm < 3 else "3-4 px"


def print_table(title, groups, rows):
    print(f"\n{title:<14}{'pictures':>9}  " + "".join(f"{name + ' right/wrong/none':>26}" for name in READERS))
    for label in groups:
        members = [r for r in rows if r["group"] == label]
        if not members:
            continue
        cells = []
        for name in READERS:
            tally = {k: sum(r["outcome"][name] == k for r in members) for k in ("right", "wrong", "none", "error")}
            cell = f"{tally['right']}/{tally['wrong']}/{tally['none'] + tally['error']}"
            if tally["error"]:
                cell += f" ({tally['error']} err)"
            cells.append(f"{cell:>26}")
        print(f"{label:<14}{len(members):>9}  " + "".join(cells))


# The samples kept: per symbology, the angle class and module size wanted (each class about
# equally often); the nearest picture zbar reads stands in when none fits both. One EAN-13
# carries a book's 5-digit add-on (its data: the 13 digits, then the add-on's).
SAMPLE_SLOTS = [("EAN_13", "within 6 deg", "add-on"), ("EAN_13", "odd angle", "3-4 px"), ("EAN_13", "0/90/180/270", "1.5-2 px"),
                ("EAN_13", "within 6 deg", "2-3 px"), ("EAN_8", "within 6 deg", "3-4 px"),
                ("EAN_8", "odd angle", "1.5-2 px"), ("UPC_A", "odd angle", "2-3 px"),
                ("UPC_A", "0/90/180/270", "3-4 px"), ("UPC_E", "0/90/180/270", "2-3 px"),
                ("UPC_E", "odd angle", "3-4 px"), ("CODE128", "odd angle", "1.5-2 px"),
                ("CODE128", "within 6 deg", "3-4 px"), ("CODE128", "0/90/180/270", "2-3 px"),
                ("CODE39", "odd angle", "2-3 px"), ("CODE39", "within 6 deg", "1.5-2 px"),
                ("CODE25i", "within 6 deg", "3-4 px"), ("CODE25i", "odd angle", "2-3 px"),
                ("Codabar", "0/90/180/270", "1.5-2 px"), ("Codabar", "odd angle", "3-4 px")]


def save_samples(work, records, outcomes, folder, seed):
    """About 20 crops around the symbol (JPEG quality 85, at most 25 KB), covering each
    symbology, the angle classes and module sizes, that zbar reads; three without a barcode."""
    os.makedirs(folder, exist_ok=True)
    chosen, seen = [], set()
    candidates = sorted((r for r in records if r["kind"] == "barcode" and outcomes[r["name"]]["zbar"] == "right"),
                        key=lambda r: r["name"])
    for symbology, angle_wanted, ppm_wanted in SAMPLE_SLOTS:
        mine = [r for r in candidates if r["symbology"] == symbology and r["name"] not in seen
                and (len(r["addon"]) == 5) == (ppm_wanted == "add-on")]
        tiers = [[r for r in mine if angle_class(r["angle"]) == angle_wanted and ppm_class(r["ppm"]) == ppm_wanted],
                 [r for r in mine if angle_class(r["angle"]) == angle_wanted],
                 [r for r in mine if ppm_class(r["ppm"]) == ppm_wanted], mine]
        for record in (r for tier in tiers for r in tier):
            crop = crop_sample(work, record, folder)
            if crop:
                seen.add(record["name"])
                chosen.append((record, crop))
                break
    nones = [r for r in records if r["kind"] == "none" and not any(outcomes[r["name"]][n] == "false" for n in READERS)]
    for scene in ("fence", "spines", "text-label"):
        for record in nones:
            if record["scene"] == scene:
                crop = crop_sample(work, record, folder)
                if crop:
                    chosen.append((record, crop))
                    break
    lines = ["# file\tsymbology\tdata (as transmitted)\thow it was made\n"]
    for record, (name, how) in chosen:
        lines.append(f"{name}\t{record['symbology']}\t{record['expected']}{record['addon']}\t{how}\n")
    with open(os.path.join(folder, "manifest.tsv"), "w") as f:
        f.writelines(lines)
    with open(os.path.join(folder, "README"), "w") as f:
        f.write(f"Made by bench/verify_photos.py --seed {seed} --save-samples: generated photo-like "
                "pictures of labels (varimark-cli render or zint, ImageMagick's perspective, light, "
                "blur, noise, JPEG) cropped to the symbol and saved at JPEG quality 85; "
                "manifest.tsv gives each one's data.\n")
    return chosen


def crop_sample(work, record, folder):
    src = os.path.join(work, record["file"])
    width, height = (int(v) for v in record["size"].split("x"))
    if record["kind"] == "barcode":
        xs = [p[0] for p in record["quad"]]
        ys = [p[1] for p in record["quad"]]
        pad = 3 * record["ppm"]
        left, top = max(0, int(min(xs) - pad) // 16 * 16), max(0, int(min(ys) - pad) // 16 * 16)
        right, bottom = min(width, math.ceil(max(xs) + pad)), min(height, math.ceil(max(ys) + pad))
        sym = record["symbology"].lower().replace("_", "")
        name = f"{sym}{'-addon' if record['addon'] else ''}-{record['ppm']:.1f}px-{record['angle']:.0f}deg.jpg"
        how = f"{record['renderer']}, {record['ppm']} px/module, turned {record['angle']} deg, "
        if record["addon"]:
            how += f"add-on {record['addon']}, "
        if record["screenshot"]:
            how += f"screenshot ({record['format']})"
        else:
            how += ", ".join(f"{key} {record[key]}" for key in ("blur", "shake", "shadow", "glare", "noise")
                             if key in record) + f", first saved at quality {record['quality']}"
    else:
        crop_w, crop_h = min(width, 416), min(height, 320)
        left, top = (width - crop_w) // 32 * 16, (height - crop_h) // 32 * 16
        right, bottom = left + crop_w, top + crop_h
        name = f"none-{record['scene']}.jpg"
        how = f"{record['scene']}, turned {record['angle']} deg, blur {record['blur']}"
    out = os.path.join(folder, name)
    run_checked(["convert", src, "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                 "-strip", "-quality", "85", out])
    reads = read_zbar(out).get("reads", [])
    ok = (judge(record, {"reads": reads}) == "right") if record["kind"] == "barcode" else not reads
    if os.path.getsize(out) > 25 * 1024 or not ok:
        os.remove(out)
        return None
    return name, how


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("work")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=250)
    parser.add_argument("--none", type=int, default=45)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--margin", type=int, default=0)
    parser.add_argument("--max-wrong", type=int, default=0)
    parser.add_argument("--max-false", type=int, default=0)
    parser.add_argument("--save-samples")
    options = parser.parse_args()
    work = options.work
    os.makedirs(work, exist_ok=True)
    if not os.access(CLI, os.X_OK):
        sys.exit(f"verify_photos: {CLI} is not an executable varimark-cli (set VARIMARK_CLI)")
    missing = [tool for tool in ("zbarimg", "ZXingReader", "zint", "convert") if not shutil.which(tool)]
    if missing:
        sys.exit(f"verify_photos: {', '.join(missing)} not found (zbar-tools, zxing-cpp-tools, zint, imagemagick)")

    started, cpu_started = time.monotonic(), children_cpu()
    stamp = {"seed": options.seed, "count": options.count, "none": options.none, "version": GENERATOR_VERSION}
    index_path = os.path.join(work, "pictures.json")
    records = None
    if options.keep and os.path.exists(index_path):
        with open(index_path) as f:
            saved = json.load(f)
        if saved.get("stamp") == stamp and all(os.path.exists(os.path.join(work, r["file"])) for r in saved["records"]):
            records = saved["records"]
    items = plan(options.count, options.none)
    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        kept = records is not None
        if not kept:
            records = list(pool.map(lambda numbered: make_picture(work, options.seed, *numbered),
                                    enumerate(items)))
            with open(index_path, "w") as f:
                json.dump({"stamp": stamp, "records": records}, f, indent=0)
        made, cpu_made = time.monotonic(), children_cpu()
        results = list(zip(records, pool.map(lambda record: read_all(work, record), records)))
    read_seconds, read_cpu = time.monotonic() - made, children_cpu() - cpu_made
    made_seconds, made_cpu = made - started, cpu_made - cpu_started

    rows, outcomes = [], {}
    false_reads = {name: [] for name in READERS}
    errors = []
    for record, reads in results:
        outcome = {}
        for name in READERS:
            read = reads[name]
            if "error" in read:
                errors.append(f"{record['file']}: {name} {read['error']}")
            if record["kind"] == "barcode":
                outcome[name] = judge(record, read)
            else:
                outcome[name] = "false" if read.get("reads") else "error" if "error" in read else "none"
                if read.get("reads"):
                    false_reads[name].append(f"{record['file']}: {read['reads']}")
        outcomes[record["name"]] = outcome
        rows.append({"record": record, "reads": reads, "outcome": outcome})

    with open(os.path.join(work, "results.tsv"), "w") as f:
        f.write("file\tsymbology\texpected\tppm\tangle\t" + "\t".join(f"{n}\t{n} data" for n in READERS) + "\n")
        for row in rows:
            r = row["record"]
            f.write(f"{r['file']}\t{r['symbology']}\t{r['expected']}\t{r.get('ppm', '')}\t{r['angle']}\t" +
                    "\t".join(f"{row['outcome'][n]}\t{row['reads'][n].get('reads', row['reads'][n].get('error'))}"
                              for n in READERS) + "\n")

    barcode_rows = [row for row in rows if row["record"]["kind"] == "barcode"]
    print(f"{len(barcode_rows)} pictures with a barcode, {len(rows) - len(barcode_rows)} without "
          f"(seed {options.seed}), {options.jobs} jobs: made in {made_seconds:.0f} s ({made_cpu:.0f} s of "
          f"processor){' (kept)' if kept else ''}, read by the three in {read_seconds:.0f} s "
          f"({read_cpu:.0f} s of processor)")
    for key, groups in (("symbology", list(SYMBOLOGIES)),
                        ("angle", ["0/90/180/270", "within 6 deg", "odd angle"]),
                        ("px/module", ["1.5-2 px", "2-3 px", "3-4 px"])):
        for row in barcode_rows:
            r = row["record"]
            row["group"] = (r["symbology"] if key == "symbology" else angle_class(r["angle"])
                            if key == "angle" else ppm_class(r["ppm"]))
        print_table(key, groups, barcode_rows)
        if key == "symbology":
            for row in barcode_rows:
                row["group"] = "all"
            print_table("", ["all"], barcode_rows)
    print(f"\nno barcode ({len(rows) - len(barcode_rows)} pictures), false reads: " +
          ", ".join(f"{name} {len(false_reads[name])}" for name in READERS))
    for name in READERS:
        for line in false_reads[name]:
            print(f"  FALSE READ {name}: {line}")

    right = {name: sum(row["outcome"][name] == "right" for row in barcode_rows) for name in READERS}
    wrong = [row for row in barcode_rows if row["outcome"]["verify"] == "wrong"]
    for row in wrong:
        print(f"  WRONG verify: {row['record']['file']}: expected {row['record']['expected']!r}, "
              f"read {row['reads']['verify']['reads']}")
    for name in ("zbar", "ZXing"):
        for row in barcode_rows:
            if row["outcome"][name] == "wrong":
                print(f"  wrong {name}: {row['record']['file']}: expected {row['record']['expected']!r}, "
                      f"read {row['reads'][name]['reads']}")
    empty = [row for row in rows if row["reads"]["verify"].get("transmitted") == ""]
    if empty:
        print(f"  verify decoded {len(empty)} with empty \"data\" (judged by its prepared text, or wrong "
              f"without one)")
    for row in barcode_rows:
        if row["outcome"]["verify"] == "right" and not same_type(row["record"]["symbology"], row["reads"]["verify"]["type"]):
            print(f"  verify's type {row['reads']['verify']['type']} for {row['record']['file']}")
    missed = [row for row in barcode_rows if row["outcome"]["verify"] != "right"
              and (row["outcome"]["zbar"] == "right" or row["outcome"]["ZXing"] == "right")]
    print(f"\nverify missed {len(missed)} that zbar or ZXing read:")
    for row in missed:
        r = row["record"]
        readers = "+".join(n for n in ("zbar", "ZXing") if row["outcome"][n] == "right")
        why = row["reads"]["verify"].get("failure") or row["reads"]["verify"].get("error") or row["reads"]["verify"].get("reads")
        print(f"  {r['file']}  ({r['symbology']}, {r['ppm']} px, {r['angle']} deg, blur {r.get('blur', '-')}, "
              f"q{r['quality']}; {readers}): {str(why)[:100]}")
    for line in errors:
        print(f"  ERROR {line}")

    if options.save_samples:
        chosen = save_samples(work, [row["record"] for row in rows], outcomes, options.save_samples, options.seed)
        print(f"\n{len(chosen)} samples saved in {options.save_samples}")

    goal = right["zbar"] + options.margin
    failed = []
    if right["verify"] < goal:
        failed.append(f"verify decoded {right['verify']}, zbar {right['zbar']} (goal {goal})")
    if len(wrong) > options.max_wrong:
        failed.append(f"verify read {len(wrong)} wrong (at most {options.max_wrong})")
    if len(false_reads["verify"]) > options.max_false:
        failed.append(f"verify gave {len(false_reads['verify'])} false reads (at most {options.max_false})")
    print("\nGOAL MISSED: " + "; ".join(failed) if failed else "\ngoal met")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
