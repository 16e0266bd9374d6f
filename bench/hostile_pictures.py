#!/usr/bin/env python3
"""Hostile pictures for the picture reader (verify/PictureReader.cpp): makes each one, reads
it with a small program built from the reader's sources, and prints the time and the peak
memory of that reading, with what the reader made of the file (its size and resolution, or
the message it refused it with).

  ztxt.png            1 x 1 PNG with 1,000 zTXt chunks of 7.9 MB of text each (7.7 MB file)
  scans499.jpg        8192 x 8192 grey progressive JPEG of 499 almost empty scans (50 KB)
  scans499_dc.jpg     the same with an interleaved DC scan of every block first
  scans40_colour.jpg  8192 x 8192 colour (4:4:4) progressive JPEG of 40 scans
  bound_grey.jpg      8192 x 8192 grey, 16 AC scans (all but the first refining): the most
                      blocks the reader lets scans go over
  bound_colour.jpg    8192 x 8192 colour (4:4:4), a DC scan and 13 AC scans: the same
  bound_cmyk.jpg      8192 x 8192 CMYK, a DC scan and 12 AC scans: the same
  jpeg99.tif          8192 x 8192 TIFF whose one strip is a progressive JPEG of 99 scans
  jpeg99_strips.tif   the same in 1,024 strips of 8 rows, each its own 99-scan JPEG
  bound_strips.tif    the same in 1,024 strips of 16 scans each: the most blocks read
  phys1.png           1 x 1 PNG stating 1 pixel per metre (0.0254 dpi)
  magick64.jpg        8192 x 8192 progressive JPEG written by ImageMagick (-interlace JPEG)
  magick64.tif        the same pixels as a TIFF with JPEG strips, written by ImageMagick

Usage: bench/hostile_pictures.py [--reader PictureReader.cpp] [--keep DIR] [NAME...]
  --reader  the reader's source to measure (default: verify/PictureReader.cpp), e.g. an
            older one from `git show REV:verify/PictureReader.cpp > old.cpp`
  --keep    make the files in DIR and leave them there (default: a temporary folder)
  NAME      only these files
"""
import argparse
import itertools
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

HARNESS = r"""
#include "verify/PictureReader.h"
#include "varimark/error.h"
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
// Reads the file; prints the peak memory of this process (VmHWM: what the reading needed,
// with the file's bytes) and its processor time, then what the reader made of the file.
int main(int argc, char** argv) {
    std::string said;
    try {
        const varimark::TGreyPicture p = varimark::ReadGreyPictureFile(argv[1]);
        char text[200];
        std::snprintf(text, sizeof text, "%d x %d, %g x %g dpi", p.width, p.height, p.dpiX,
                      p.dpiY);
        said = text;
        if (!p.resolutionNote.empty()) said += "; " + p.resolutionNote;
    } catch (const varimark::Error& e) {
        said = std::string("refused: ") + e.what();
    }
    long peak = 0;
    char line[256];
    std::FILE* status = std::fopen("/proc/self/status", "r");
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, "VmHWM:", 6) == 0) peak = std::atol(line + 6);
    if (status != nullptr) std::fclose(status);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.2f %ld %s\n", double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6, peak, said.c_str());
    (void)argc;
}
"""


# --- PNG -------------------------------------------------------------------------------------

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(width, height, extra=b"", pixels=None):
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    rows = pixels if pixels is not None else b"".join(b"\0" + b"\xff" * width
                                                      for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + extra +
            png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b""))


def ztxt_png():
    text = zlib.compress(b"A" * 7_900_000, 9)  # each inflates to 7.9 MB of letters
    chunk = png_chunk(b"zTXt", b"Comment\0\0" + text)
    return png(1, 1, chunk * 1000)


def phys_png():
    return png(1, 1, png_chunk(b"pHYs", struct.pack(">IIB", 1, 1, 1)))


# --- JPEG ------------------------------------------------------------------------------------

def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.value = 0
        self.count = 0

    def put(self, value, bits):
        for i in range(bits - 1, -1, -1):
            self.value = self.value << 1 | (value >> i & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.value)
                if self.value == 0xFF:
                    self.out.append(0)  # stuffed
                self.value = self.count = 0

    def bytes(self):
        while self.count:
            self.put(1, 1)
        return bytes(self.out)


def eob_runs(blocks):
    """An AC scan's data for blocks that are all zero: runs of 32767 blocks (EOB14)."""
    bits = BitWriter()
    for _ in range((blocks + 32766) // 32767):
        bits.put(0, 1)         # the one code of the AC table: EOB14
        bits.put(0x3FFF, 14)   # 2^14 + 16383 blocks
    return bits.bytes()


def progressive_jpeg(width, height, scans, components=1, dc_first=False):
    """Progressive JPEG (SOF2) of one colour; every AC scan is an end-of-band run over all its
    blocks. After the first AC scan of each component (bit 1), the rest refine bit 0 again
    and again: libjpeg warns and goes on."""
    out = bytearray(b"\xff\xd8")
    out += segment(0xDB, b"\x00" + b"\x01" * 64)
    sof = struct.pack(">BHHB", 8, height, width, components)
    for c in range(components):
        sof += bytes([c + 1, 0x11, 0])
    out += segment(0xC2, sof)
    out += segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00")  # DC: category 0 only
    out += segment(0xC4, b"\x10" + bytes([1] + [0] * 15) + b"\xe0")  # AC: EOB14 only
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    ac = eob_runs(blocks)
    made = 0
    if dc_first:
        head = bytes([components]) + b"".join(bytes([c + 1, 0]) for c in range(components))
        out += segment(0xDA, head + bytes([0, 0, 0]))
        bits = BitWriter()
        for _ in range(blocks * components):
            bits.put(0, 1)     # difference 0
        out += bits.bytes()
        made += 1
    refined = set()
    while made < scans:
        c = made % components
        approx = 0x10 if c in refined else 0x01
        refined.add(c)
        out += segment(0xDA, bytes([1, c + 1, 0x00, 1, 63, approx])) + ac
        made += 1
    return bytes(out + b"\xff\xd9")


# --- TIFF ------------------------------------------------------------------------------------

def jpeg_tiff(width, height, rows_per_strip, strip):
    """A grey TIFF with JPEG compression (7); strip(rows) gives each strip's JPEG stream."""
    strips = [strip(min(rows_per_strip, height - top))
              for top in range(0, height, rows_per_strip)]
    count = len(strips)
    entries = 10
    offsets_at = 8 + 2 + entries * 12 + 4  # the strips' offsets and lengths after the IFD
    data_at = offsets_at + 8 * count
    lengths = [len(s) for s in strips]
    offsets = [data_at + before for before in itertools.accumulate([0] + lengths[:-1])]

    def entry(tag, kind, n, value):
        return struct.pack("<HHII", tag, kind, n, value)

    # One strip's offset and length are in their entries; more are beyond them.
    ifd = struct.pack("<H", entries) + b"".join([
        entry(256, 4, 1, width), entry(257, 4, 1, height), entry(258, 3, 1, 8),
        entry(259, 3, 1, 7), entry(262, 3, 1, 1),
        entry(273, 4, count, offsets_at if count > 1 else offsets[0]),
        entry(277, 3, 1, 1), entry(278, 4, 1, rows_per_strip),
        entry(279, 4, count, offsets_at + 4 * count if count > 1 else lengths[0]),
        entry(284, 3, 1, 1)]) + b"\0\0\0\0"
    tables = struct.pack(f"<{count}I", *offsets) + struct.pack(f"<{count}I", *lengths)
    return b"II*\0" + struct.pack("<I", 8) + ifd + tables + b"".join(strips)


# --- ImageMagick -----------------------------------------------------------------------------

def magick(path, options):
    """8192 x 8192 colour picture with detail everywhere: bars 12 pixels wide every 40, with
    some noise in each channel, written by ImageMagick from a PPM (whose pixels alone fill
    its memory limits: the picture is made here)."""
    size = 8192
    source = path + ".ppm"
    base = bytearray(b"\xe0" * (3 * size))
    for x in range(0, size, 40):
        base[3 * x:3 * (x + 12)] = b"\0" * 36
    base = int.from_bytes(base, "big")
    low = bytes(range(32)) * 8  # a byte to 0..31: no carry into the next byte
    with open(source, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (size, size))
        for _ in range(size):
            noise = int.from_bytes(os.urandom(3 * size).translate(low), "big")
            f.write((base + noise).to_bytes(3 * size, "big"))
    try:
        subprocess.run(["convert", source] + options, check=True)
    finally:
        os.remove(source)


def written(make):
    """A maker of the file from the bytes make() gives."""
    def write(path):
        with open(path, "wb") as f:
            f.write(make())
    return write


MAKERS = {
    "ztxt.png": written(ztxt_png),
    "scans499.jpg": written(lambda: progressive_jpeg(8192, 8192, 499)),
    "scans499_dc.jpg": written(lambda: progressive_jpeg(8192, 8192, 499, dc_first=True)),
    "scans40_colour.jpg": written(lambda: progressive_jpeg(8192, 8192, 40, 3, dc_first=True)),
    "bound_grey.jpg": written(lambda: progressive_jpeg(8192, 8192, 16)),
    "bound_colour.jpg": written(lambda: progressive_jpeg(8192, 8192, 14, 3, dc_first=True)),
    "bound_cmyk.jpg": written(lambda: progressive_jpeg(8192, 8192, 13, 4, dc_first=True)),
    "jpeg99.tif": written(
        lambda: jpeg_tiff(8192, 8192, 8192, lambda rows: progressive_jpeg(8192, rows, 99))),
    "jpeg99_strips.tif": written(
        lambda: jpeg_tiff(8192, 8192, 8, lambda rows: progressive_jpeg(8192, rows, 99))),
    "bound_strips.tif": written(
        lambda: jpeg_tiff(8192, 8192, 8, lambda rows: progressive_jpeg(8192, rows, 16))),
    "phys1.png": written(phys_png),
    "magick64.jpg": lambda p: magick(p, ["-quality", "90", "-interlace", "JPEG", "JPG:" + p]),
    "magick64.tif": lambda p: magick(p, ["-quality", "90", "-compress", "JPEG", "TIFF:" + p]),
}


def build_harness(folder, reader):
    source = os.path.join(folder, "read_picture.cpp")
    binary = os.path.join(folder, "read_picture")
    with open(source, "w") as f:
        f.write(HARNESS)
    subprocess.run(["g++", "-std=c++20", "-O2", "-I", ROOT, "-I", os.path.join(ROOT, "include"),
                    source, reader, os.path.join(ROOT, "export", "FileReader.cpp"), "-o", binary,
                    "-ljpeg", "-lpng", "-lgif", "-ltiff"], check=True)
    return binary


def measure(binary, path):
    """Wall time, processor time, peak memory in MB and what the reader said."""
    start = time.monotonic()
    done = subprocess.run([binary, path], stdout=subprocess.PIPE, text=True)
    wall = time.monotonic() - start
    if done.returncode != 0:
        return wall, 0, 0, f"exit status {done.returncode}: {done.stdout.strip()}"
    cpu, peak, said = done.stdout.strip().split(" ", 2)
    return wall, float(cpu), int(peak) / 1024, said


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--reader", default=os.path.join(ROOT, "export", "PictureReader.cpp"))
    parser.add_argument("--keep")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    names = args.names or list(MAKERS)
    for name in names:
        if name not in MAKERS:
            sys.exit(f"unknown file {name}; one of: {', '.join(MAKERS)}")
    with tempfile.TemporaryDirectory() as scratch:
        folder = args.keep or scratch
        os.makedirs(folder, exist_ok=True)
        binary = build_harness(scratch, os.path.abspath(args.reader))
        print(f"{'file':<20} {'bytes':>10} {'wall s':>7} {'cpu s':>7} {'peak MB':>8}  result")
        for name in names:
            path = os.path.join(folder, name)
            if not os.path.exists(path):
                try:
                    MAKERS[name](path)
                except BaseException:
                    if os.path.exists(path):
                        os.remove(path)  # made again next time
                    raise
            wall, cpu, peak, said = measure(binary, path)
            print(f"{name:<20} {os.path.getsize(path):>10} {wall:>7.2f} {cpu:>7.2f} "
                  f"{peak:>8.0f}  {said}", flush=True)


if __name__ == "__main__":
    main()
