"""The scan reflectance profile along a line of a picture, computed independently of the
verifier: each point the mean reflectance over a circle of the aperture's diameter, each
pixel weighted by the share of its 16 x 16 sub-samples that lie inside the circle.

Coordinates: the centre of the top-left pixel is (0, 0); pixel (i, k) covers
[i - 0.5, i + 0.5] x [k - 0.5, k + 0.5]; its sub-samples sit at i - 0.5 + (a + 0.5)/16,
k - 0.5 + (b + 0.5)/16, a, b = 0..15. A sub-sample at distance <= r from the centre is
inside. Pixels outside the picture take no part: the mean is over what the circle covers of
the picture (a reading: the line should stay inside the picture anyway).

The count is made row of sub-samples by row: in each, the sub-samples inside the circle
form one run, split among the pixels it crosses. The counts depend only on the centre's
offset from its pixel, so a line along a row (the same offset at every point) counts once.
"""

import math
import subprocess

SUB = 16


_weights = {}


def circle_weights(fx, fy, diameter):
    """[(di, dk, sub-samples inside)] of the pixels (di, dk) around a circle centred at
    (fx, fy), 0 <= fx, fy < 1, out of each pixel's 256."""
    fx, fy = round(fx, 9), round(fy, 9)  # one offset, whatever the sum's rounding
    key = (fx, fy, diameter)
    if key not in _weights:
        if len(_weights) > 4096:
            _weights.clear()
        _weights[key] = count_weights(fx, fy, diameter / 2)
    return _weights[key]


def count_weights(fx, fy, r):
    """Each row of sub-samples inside the circle is a run of sub-sample columns lo..hi
    (column m, of pixel m // SUB, sits at x = (m + 0.5)/SUB - 0.5): its two end pixels
    get their part, the pixels between all SUB, added up along the row at the end."""
    i0 = math.floor(fx - r - 0.5) - 1
    columns = math.ceil(fx + r + 0.5) + 2 - i0
    weights = []
    for dk in range(math.floor(fy - r - 0.5), math.ceil(fy + r + 0.5) + 1):
        part, full = [0] * (columns + 1), [0] * (columns + 1)
        for b in range(SUB):
            dy = dk - 0.5 + (b + 0.5) / SUB - fy
            if dy * dy > r * r:
                continue
            h = math.sqrt(r * r - dy * dy)
            lo = math.ceil((fx - h + 0.5) * SUB - 0.5)
            hi = math.floor((fx + h + 0.5) * SUB - 0.5)
            if hi < lo:
                continue
            first, last = lo // SUB - i0, hi // SUB - i0
            if first == last:
                part[first] += hi - lo + 1
                continue
            part[first] += SUB * (first + i0 + 1) - lo
            part[last] += hi - SUB * (last + i0) + 1
            full[first + 1] += SUB
            full[last] -= SUB
        running = 0
        for c in range(columns):
            running += full[c]
            if part[c] + running:
                weights.append((i0 + c, dk, part[c] + running))
    return weights


class Picture:
    """Grey levels (0..255) as rows of reflectance (percent)."""

    def __init__(self, width, height, levels, black=0.0, white=100.0):
        if width <= 0 or height <= 0 or len(levels) != width * height:
            raise ValueError(f"a {width} x {height} picture needs {width * height} grey levels, "
                             f"not {len(levels)}")
        scale = (white - black) / 255
        self.width, self.height = width, height
        self.rows = []
        for k in range(height):
            self.rows.append([black + level * scale for level in levels[k * width:(k + 1) * width]])

    def mean_in_circle(self, cx, cy, diameter):
        ix, iy = math.floor(cx), math.floor(cy)
        total, weight = 0.0, 0
        for di, dk, count in circle_weights(cx - ix, cy - iy, diameter):
            i, k = ix + di, iy + dk
            if 0 <= i < self.width and 0 <= k < self.height:
                total += count * self.rows[k][i]
                weight += count
        if weight == 0:
            raise ValueError(f"the aperture at ({cx:.2f}, {cy:.2f}) covers none of the "
                             f"{self.width} x {self.height} picture")
        return total / weight

    def profile(self, x, y, dx, dy, count, diameter):
        """The profile of `count` points (x + j dx, y + j dy)."""
        return [self.mean_in_circle(x + j * dx, y + j * dy, diameter) for j in range(count)]


def parse_pgm(data, name="the picture"):
    """A binary 8-bit PGM (P5) -> (width, height, grey levels)."""
    fields, at = [], 2
    if data[:2] != b"P5":
        raise ValueError(f"{name}: not a binary PGM (P5)")
    while len(fields) < 3:
        while at < len(data) and data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        start = at
        while at < len(data) and not data[at:at + 1].isspace():
            at += 1
        if start == at:
            raise ValueError(f"{name}: the PGM header ends early")
        fields.append(int(data[start:at]))
    width, height, maximum = fields
    if maximum != 255:
        raise ValueError(f"{name}: a PGM of maximum {maximum}, 255 expected")
    pixels = data[at + 1:at + 1 + width * height]
    if len(pixels) != width * height:
        raise ValueError(f"{name}: {len(pixels)} of the PGM's {width * height} pixels")
    return width, height, list(pixels)


def read_picture(path, black=0.0, white=100.0):
    """A picture file's red channel (grey pictures: their grey) read through ImageMagick."""
    out = subprocess.run(["convert", path, "-alpha", "off", "-channel", "R", "-separate",
                          "+channel", "-depth", "8", "pgm:-"], capture_output=True)
    if out.returncode:
        why = out.stderr.decode(errors="replace").strip()
        raise ValueError(f"{path}: ImageMagick cannot read it: {why}")
    return Picture(*parse_pgm(out.stdout, path), black, white)
