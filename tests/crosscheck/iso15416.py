"""Grading one scan reflectance profile as ISO/IEC 15416:2016 defines it, written from the
definitions alone as a second, independent reading of the verifier's grading: plain Python,
no numpy, one function per definition.

A profile is a list of reflectances in percent, one value per sample along the scan line.
grade_profile() grades the samples measured[0]..measured[1] (the symbol and its quiet
zones) and returns a dict with the keys of `varimark-cli verify --json`'s profiles.

The standard's text was not at hand: the definitions are followed as the project states
them, without clause numbers. Readings chosen where a definition leaves room (each is
named again at its code):
  R1  Elements: a sample above the global threshold belongs to a space, one at or below it
      to a bar; the first and last elements of the measured samples are the quiet zones.
  R2  An edge lies where the profile crosses (Rs + Rb) / 2 between the adjoining space's
      highest and bar's lowest sample, interpolated linearly; where it crosses that level
      more than once there, the crossing nearest the element boundary at GT is taken.
  R3  Peaks and valleys (ERN) are the local maxima and minima of the measured samples, a
      plateau of equal samples counting once; the first and last measured samples count
      against their one neighbour. An element's peaks and valleys are those among its
      samples at GT (R1). An element with no peak (bar) or no valley (space) beside its
      extreme has ERN 0.
  R4  A quiet zone is the light space beside the symbol: from its first (last) edge outwards
      to where the profile next falls below GT (interpolated), or else to the end of the
      picture, `reach` samples beyond the profile's first (last) sample (sample k covers
      [k - 0.5, k + 0.5] of a one-pixel step: reach 0.5).
  R5  EAN/UPC (ISO/IEC 15420) and Code 128 (ISO/IEC 15417) decode edge to similar edge:
      e_i in modules is j when (j - 1/2) p/n <= e_i < (j + 1/2) p/n, p the character's
      width and n its modules; V of a character = min over its e_i of the distance to the
      nearest such threshold, divided by p/(2n). EAN/UPC characters 1, 2, 7 and 8, equal in
      e1 and e2 to 7, 8, 1 and 2, are told apart by their two bars' width: the threshold
      halfway between the two candidates' bar modules, and its margin divided by half their
      difference (one module) counts in V as well. Guard patterns are read edge to similar
      edge against the symbol's mean module and must give their modules; they do not count
      in V. The Code 128 stop is read as a character over its first six elements, its
      termination bar must read 2 modules (1.5 to 2.5 of p/11) and does not count in V.
  R6  Two-width symbologies: each character has its own reference threshold RT, halfway
      between the mean width of its k widest and of its other elements (k: 3 of 9 for Code
      39; 2 of 5 for each Interleaved 2 of 5 character, its bars and its spaces being two
      characters; 2 or 3 of 7 for Codabar, whichever leaves the larger gap between the
      sorted widths). An element wider than RT is wide. V = min(RT - widest narrow,
      narrowest wide - RT) / ((mean wide - mean narrow) / 2). The intercharacter gaps of
      Code 39 and Codabar are not read. The Interleaved 2 of 5 start and stop patterns are
      read with the nearest bar character's RT for their bars and the nearest space
      character's for their spaces, and do not count in V. No wide-to-narrow ratio limit.
  R7  X for the quiet zones: EAN/UPC and Code 128 the symbol's width over its modules; the
      two-width symbologies the mean width of their narrow elements.
  R8  Decode fails when the element count, a character, a check character (EAN/UPC,
      Code 128; Interleaved 2 of 5 and Code 39 carry none of their own that is required)
      or a quiet zone is wrong. "decoded" says the characters were read: a quiet zone
      short of its minimum fails Decode but leaves the data and V. An add-on (after any
      EAN/UPC symbol) must stand beyond the main symbol's own right quiet zone (the gap
      counts as a quiet zone) and have 5 of its modules after it; a scan that does not
      cross it reads the main symbol alone.
"""

import math

# ISO/IEC 15416 (2016) grade limits of the profile parameters: A, B, C, D (below D: F).
SC_LIMITS = (70.0, 55.0, 40.0, 20.0)
MOD_LIMITS = (0.70, 0.60, 0.50, 0.40)
DEFECTS_LIMITS = (0.15, 0.20, 0.25, 0.30)  # at most
V_LIMITS = (0.62, 0.50, 0.37, 0.25)
EC_FLOOR = 15.0


def grade_at_least(value, limits):
    for index, limit in enumerate(limits):
        if value >= limit:
            return 4 - index
    return 0


def grade_at_most(value, limits):
    for index, limit in enumerate(limits):
        if value <= limit:
            return 4 - index
    return 0


def letter(grade):
    """The letter of a (mean) grade: A from 3.5, B from 2.5, C from 1.5, D from 0.5."""
    for bound, name in ((3.5, "A"), (2.5, "B"), (1.5, "C"), (0.5, "D")):
        if grade >= bound:
            return name
    return "F"


# ---------------------------------------------------------------------------------------
# Elements, edges, edge contrast, element reflectance non-uniformity

def runs_at(profile, first, last, threshold):
    """The elements at the threshold (R1): [is_space, first, last] runs of samples."""
    runs = []
    for k in range(first, last + 1):
        space = profile[k] > threshold
        if runs and runs[-1][0] == space:
            runs[-1][2] = k
        else:
            runs.append([space, k, k])
    return runs


def extreme(profile, run):
    """(position, value): a space's highest sample, a bar's lowest (the first of equals)."""
    samples = range(run[1], run[2] + 1)
    if run[0]:
        position = max(samples, key=lambda k: (profile[k], -k))
    else:
        position = min(samples, key=lambda k: (profile[k], k))
    return position, profile[position]


def edge_between(profile, left, right):
    """R2: where the profile crosses (Rs + Rb)/2 between the two elements' extremes."""
    (a, ra), (b, rb) = extreme(profile, left), extreme(profile, right)
    level = (ra + rb) / 2
    boundary = left[2] + 0.5
    best = None
    for k in range(a, b):
        above0, above1 = profile[k] > level, profile[k + 1] > level
        if above0 == above1:
            continue
        position = k + (level - profile[k]) / (profile[k + 1] - profile[k])
        if best is None or abs(position - boundary) < abs(best - boundary):
            best = position
    return best


def extrema(profile, first, last):
    """R3: (peaks, valleys) as lists of (position, value), a plateau once (its first
    sample), the ends against their one neighbour."""
    plateaus = []  # [value, first, last]
    for k in range(first, last + 1):
        if plateaus and plateaus[-1][0] == profile[k]:
            plateaus[-1][2] = k
        else:
            plateaus.append([profile[k], k, k])
    peaks, valleys = [], []
    for i, (value, start, _) in enumerate(plateaus):
        neighbours = [plateaus[j][0] for j in (i - 1, i + 1) if 0 <= j < len(plateaus)]
        if neighbours and all(n < value for n in neighbours):
            peaks.append((start, value))
        if neighbours and all(n > value for n in neighbours):
            valleys.append((start, value))
    return peaks, valleys


def element_ern(run, peaks, valleys):
    """ERN: the highest peak minus the lowest valley within the element."""
    inside = lambda points: [v for k, v in points if run[1] <= k <= run[2]]  # noqa: E731
    high, low = inside(peaks), inside(valleys)
    return max(high) - min(low) if high and low and max(high) > min(low) else 0.0


# ---------------------------------------------------------------------------------------
# Symbologies: module patterns and reference decodes over element widths (bar first)

def widths_of(pattern):
    """'0001101' -> [3, 2, 1, 1]: the runs of a module pattern."""
    runs = [1]
    for a, b in zip(pattern, pattern[1:]):
        if a == b:
            runs[-1] += 1
        else:
            runs.append(1)
    return runs


# ISO/IEC 15420 number set A (odd parity, left half), C = A inverted, B = C reversed.
EAN_A = ["0001101", "0011001", "0010011", "0111101", "0100011",
         "0110001", "0101111", "0111011", "0110111", "0001011"]
EAN_C = ["".join("1" if m == "0" else "0" for m in p) for p in EAN_A]
EAN_B = [p[::-1] for p in EAN_C]
# The leading digit of EAN-13 as the left half's sets.
EAN13_PARITY = ["AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"]
# UPC-E: the check digit as the six characters' sets, number system 0 (1: swapped).
UPCE_PARITY = ["BBBAAA", "BBABAA", "BBAABA", "BBAAAB", "BABBAA",
               "BAABBA", "BAAABB", "BABABA", "BABAAB", "BAABAB"]
# 5-digit add-on: its check value as the five characters' sets.
ADDON5_PARITY = [p[1:] for p in UPCE_PARITY]


def ean_table():
    """(E1, E2) in modules -> [(digit, set, bar modules)]: edge to similar edge."""
    table = {}
    for name, patterns in (("A", EAN_A), ("B", EAN_B), ("C", EAN_C)):
        for digit, pattern in enumerate(patterns):
            w = widths_of(pattern)
            bars = w[1] + w[3] if pattern[0] == "0" else w[0] + w[2]
            table.setdefault((w[0] + w[1], w[1] + w[2]), []).append((digit, name, bars))
    return table


EAN_TABLE = ean_table()

# ISO/IEC 15417 symbol character widths (bar, space, ...), values 0..105; 106 is the stop.
CODE128 = (
    "212222 222122 222221 121223 121322 131222 122213 122312 132212 221213 221312 231212 "
    "112232 122132 122231 113222 123122 123221 223211 221132 221231 213212 223112 312131 "
    "311222 321122 321221 312212 322112 322211 212123 212321 232121 111323 131123 131321 "
    "112313 132113 132311 211313 231113 231311 112133 112331 132131 113123 113321 133121 "
    "313121 211331 231131 213113 213311 213131 311123 311321 331121 312113 312311 332111 "
    "314111 221411 431111 111224 111422 121124 121421 141122 141221 112214 112412 122114 "
    "122411 142112 142211 241211 221114 413111 241112 134111 111242 121142 121241 114212 "
    "124112 124211 411212 421112 421211 212141 214121 412121 111143 111341 131141 114113 "
    "114311 411113 411311 113141 114131 311141 411131 211412 211214 211232 233111").split()
CODE128_BY_E = {tuple(int(w[i]) + int(w[i + 1]) for i in range(4)): value
                for value, w in enumerate(CODE128)}

# ISO/IEC 16388 Code 39: wide (1) and narrow (0) of b s b s b s b s b.
CODE39 = dict(zip(
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. *$/+%",
    ("000110100 100100001 001100001 101100000 000110001 100110000 001110000 000100101 "
     "100100100 001100100 100001001 001001001 101001000 000011001 100011000 001011000 "
     "000001101 100001100 001001100 000011100 100000011 001000011 101000010 000010011 "
     "100010010 001010010 000000111 100000110 001000110 000010110 110000001 011000001 "
     "111000000 010010001 110010000 011010000 010000101 110000100 011000100 010010100 "
     "010101000 010100010 010001010 000101010").split()))
# ISO/IEC 16390 Interleaved 2 of 5: the five bars (or spaces) of a digit.
ITF = ["00110", "10001", "01001", "11000", "00101", "10100", "01100", "00011", "10010", "01010"]
# EN 798 Codabar: b s b s b s b.
CODABAR = dict(zip(
    "0123456789-$:/.+ABCD",
    ("0000011 0000110 0001001 1100000 0010010 1000010 0100001 0100100 0110000 1001000 "
     "0001100 0011000 1000101 1010001 1010100 0010101 0011010 0101001 0001011 0001110").split()))


class DecodeError(Exception):
    """Why the reference decode fails (Decode F)."""


def modules_at(e, p, n):
    """R5: e (edge to similar edge) in modules of a p wide, n module character, and the
    margin to the nearest threshold in units of p/(2n)."""
    unit = p / n
    j = math.floor(e / unit + 0.5)
    return j, 1 - abs(e / unit - j) * 2


def ean_character(w, left_half):
    """One 4-element EAN/UPC character (widths in its own order) -> (digit, set, V)."""
    p = sum(w)
    (e1, v1), (e2, v2) = modules_at(w[0] + w[1], p, 7), modules_at(w[1] + w[2], p, 7)
    candidates = [c for c in EAN_TABLE.get((e1, e2), []) if (c[1] == "C") != left_half]
    if not candidates:
        raise DecodeError(f"no EAN/UPC character has edge-to-similar-edge widths {e1}, {e2}")
    v = min(v1, v2)
    if len(candidates) == 2:  # 1/7 or 2/8: their bars' width decides (R5)
        bars = (w[1] + w[3] if left_half else w[0] + w[2]) * 7 / p
        (d1, s1, b1), (d2, s2, b2) = candidates
        middle = (b1 + b2) / 2
        candidates = [candidates[0] if (bars < middle) == (b1 < b2) else candidates[1]]
        v = min(v, abs(bars - middle) / (abs(b1 - b2) / 2))
    digit, name, _ = candidates[0]
    return digit, name, v


def check_guard(w, expected, module, what):
    """A guard pattern read edge to similar edge against the symbol's mean module (R5)."""
    for i in range(len(w) - 1):
        got = math.floor((w[i] + w[i + 1]) / module + 0.5)
        if got != expected[i] + expected[i + 1]:
            raise DecodeError(f"the {what} guard pattern reads {got} modules at element {i + 1}, "
                              f"not {expected[i] + expected[i + 1]}")


def ean_check(digits):
    """GS1 modulo 10: weights 3 and 1 from the right of the digits before the check."""
    total = sum(int(d) * (3 if i % 2 == 0 else 1) for i, d in enumerate(reversed(digits)))
    return (10 - total % 10) % 10


def upce_to_upca(ns, d):
    """The UPC-A number (11 digits, no check) that a UPC-E symbol stands for."""
    if d[5] in "012":
        return ns + d[0:2] + d[5] + "0000" + d[2:5]
    if d[5] == "3":
        return ns + d[0:3] + "00000" + d[3:5]
    if d[5] == "4":
        return ns + d[0:4] + "00000" + d[4]
    return ns + d[0:5] + "0000" + d[5]


EAN_LAYOUT = {  # modules, characters per half (UPC-E: all left), quiet zones (left, right)
    "EAN_13": (95, 6, (11, 7)), "UPC_A": (95, 6, (9, 9)),
    "EAN_8": (67, 4, (7, 7)), "UPC_E": (51, 6, (9, 7)),
}


def decode_ean_main(type_, w):
    """The main EAN/UPC symbol from its widths (bar first) -> (data, V, module)."""
    modules, half, _ = EAN_LAYOUT[type_]
    module = sum(w) / modules
    check_guard(w[0:3], [1, 1, 1], module, "left")
    chars, v = [], 1.0
    if type_ == "UPC_E":
        body = [w[3 + 4 * i: 7 + 4 * i] for i in range(6)]
        check_guard(w[27:33], [1] * 6, module, "right")
        sides = [True] * 6
    else:
        body = [w[3 + 4 * i: 7 + 4 * i] for i in range(half)]
        middle = 3 + 4 * half
        check_guard(w[middle:middle + 5], [1] * 5, module, "centre")
        body += [w[middle + 5 + 4 * i: middle + 9 + 4 * i] for i in range(half)]
        check_guard(w[middle + 5 + 4 * half: middle + 8 + 4 * half], [1, 1, 1], module, "right")
        sides = [True] * half + [False] * half
    for widths, left in zip(body, sides):
        digit, name, cv = ean_character(widths, left)
        chars.append((digit, name))
        v = min(v, cv)
    digits = "".join(str(d) for d, _ in chars)
    sets = "".join(s for _, s in chars)
    if type_ == "EAN_13":
        if sets[6:] != "CCCCCC" or sets[:6] not in EAN13_PARITY:
            raise DecodeError(f"the left half's sets {sets[:6]} give no leading digit")
        digits = str(EAN13_PARITY.index(sets[:6])) + digits
    elif type_ in ("UPC_A", "EAN_8"):
        if sets != "A" * half + "C" * half:
            raise DecodeError(f"the characters' sets {sets} are not all A then all C")
    else:  # UPC-E: number system and check digit in the sets
        swapped = sets.translate(str.maketrans("AB", "BA"))
        if sets in UPCE_PARITY:
            ns, check = "0", UPCE_PARITY.index(sets)
        elif swapped in UPCE_PARITY:
            ns, check = "1", UPCE_PARITY.index(swapped)
        else:
            raise DecodeError(f"the sets {sets} give no UPC-E number system and check digit")
        if ean_check(upce_to_upca(ns, digits)) != check:
            raise DecodeError("the UPC-E check digit does not match")
        return ns + digits + str(check), v, module
    if ean_check(digits[:-1]) != int(digits[-1]):
        raise DecodeError(f"the check digit {digits[-1]} should be {ean_check(digits[:-1])}")
    return digits, v, module


def decode_addon(w):
    """A 2- or 5-digit add-on (13 or 31 elements, bar first) -> (digits, V, module)."""
    count = {13: 2, 31: 5}.get(len(w))
    if count is None:
        raise DecodeError(f"an add-on of {len(w)} elements (13 or 31 expected)")
    module = sum(w) / (9 * count + 2)  # start 4, characters 7, separators 2
    check_guard(w[0:3], [1, 1, 2], module, "add-on start")
    digits, sets, v = "", "", 1.0
    for i in range(count):
        at = 3 + 6 * i
        digit, name, cv = ean_character(w[at:at + 4], True)
        if i + 1 < count:
            check_guard(w[at + 4:at + 6], [1, 1], module, "add-on separator")
        digits, sets, v = digits + str(digit), sets + name, min(v, cv)
    if count == 2:
        expected = ["AA", "AB", "BA", "BB"][int(digits) % 4]
    else:
        value = (3 * sum(int(d) for d in digits[0::2]) + 9 * sum(int(d) for d in digits[1::2])) % 10
        expected = ADDON5_PARITY[value]
    if sets != expected:
        raise DecodeError(f"the add-on's sets {sets} do not match its digits ({expected})")
    return digits, v, module


EAN_ELEMENTS = {"EAN_13": 59, "UPC_A": 59, "EAN_8": 43, "UPC_E": 33}


def decode_ean(type_, w, quiet):
    main = EAN_ELEMENTS[type_]
    if len(w) < main:
        raise DecodeError(f"{len(w)} elements, {main} needed")
    data, v, module = decode_ean_main(type_, w[:main])
    need_left, need_right = EAN_LAYOUT[type_][2]
    zones = [("left quiet zone", quiet[0] / module, need_left)]
    addon = ""
    if len(w) > main:
        addon, av, addon_module = decode_addon(w[main + 1:])
        v = min(v, av)
        zones += [("add-on gap", w[main] / module, need_right),
                  ("right quiet zone", quiet[1] / addon_module, 5)]
    else:
        zones.append(("right quiet zone", quiet[1] / module, need_right))
    return data, addon, v, module, zones


def ten_modules(quiet, module):
    return [("left quiet zone", quiet[0] / module, 10), ("right quiet zone", quiet[1] / module, 10)]


def quiet_zone_failure(zones):
    """R4, R7: the quiet zones [(name, modules, minimum)] against their minimum (a
    millionth of a module spared for the sums' rounding): why one fails, or ''."""
    for name, width, need in zones:
        if width + 1e-6 < need:
            return f"the {name} is {width + 1e-6:.2f} modules, {need} needed"
    return ""


def code128_data(values):
    """Values (start .. last data character) as text: sets A, B, C with CODE and SHIFT;
    FNC characters carry no text."""
    sets = {103: "A", 104: "B", 105: "C"}
    current, text, shift = sets[values[0]], "", False
    for value in values[1:]:
        now = ("B" if current == "A" else "A") if shift else current
        shift = False
        if now == "C" and value < 100:
            text += f"{value:02d}"
        elif now != "C" and value < 96:
            code = value + 32 if now == "B" or value < 64 else value - 64
            text += chr(code)
        elif value == 98 and now != "C":
            shift = True
        elif value in (99, 100, 101) and (now, value) not in (("C", 99), ("B", 100), ("A", 101)):
            current = {99: "C", 100: "B", 101: "A"}[value]
    return text


def decode_code128(w, quiet):
    if len(w) < 19 or (len(w) - 1) % 6:
        raise DecodeError(f"{len(w)} elements: Code 128 needs 6 per character and 7 for the stop")
    count = (len(w) - 1) // 6  # the stop's first six elements included
    module = sum(w) / (11 * count + 2)
    values, v = [], 1.0
    for i in range(count):
        c = w[6 * i: 6 * i + 6]
        p = sum(c)
        read = [modules_at(c[k] + c[k + 1], p, 11) for k in range(4)]
        e = tuple(j for j, _ in read)
        if e not in CODE128_BY_E:
            raise DecodeError(f"character {i + 1}: no Code 128 character has widths {e}")
        values.append(CODE128_BY_E[e])
        v = min(v, *(m for _, m in read))
        if i + 1 == count:
            termination = w[-1] / (p / 11)
            if not 1.5 <= termination < 2.5:
                raise DecodeError(f"the stop's termination bar is {termination:.2f} modules")
    if values[-1] != 106 or values[0] not in (103, 104, 105) or 106 in values[:-1]:
        raise DecodeError("no Code 128 start character first and stop last")
    data = values[:-2]
    if (data[0] + sum(i * x for i, x in enumerate(data[1:], 1))) % 103 != values[-2]:
        raise DecodeError("the Code 128 check character does not match")
    return code128_data(data), "", v, module, ten_modules(quiet, module)


def two_width(w, wide_counts):
    """R6: (wide flags, RT, V, mean narrow) of one character's elements."""
    ordered = sorted(w)
    k = max(wide_counts, key=lambda n: ordered[-n] - ordered[-n - 1])
    narrow, wide = ordered[:-k], ordered[-k:]
    mean_n, mean_w = sum(narrow) / len(narrow), sum(wide) / len(wide)
    rt = (mean_n + mean_w) / 2
    flags = "".join("1" if x > rt else "0" for x in w)
    narrows = [x for x in w if x <= rt]
    wides = [x for x in w if x > rt]
    if not wides or mean_w <= mean_n:
        return flags, rt, 0.0, mean_n
    v = min(rt - max(narrows), min(wides) - rt) / ((mean_w - mean_n) / 2)
    return flags, rt, v, mean_n


def decode_code39(w, quiet):
    if (len(w) + 1) % 10 or len(w) < 29:
        raise DecodeError(f"{len(w)} elements: Code 39 needs 9 per character and a gap between")
    text, v, narrow = "", 1.0, []
    for i in range(0, len(w), 10):
        flags, rt, cv, mean_n = two_width(w[i:i + 9], (3,))
        if flags not in CODE39.values():
            raise DecodeError(f"character {i // 10 + 1}: no Code 39 character is {flags}")
        text += next(c for c, f in CODE39.items() if f == flags)
        v, narrow = min(v, cv), narrow + [mean_n]
    if text[0] != "*" or text[-1] != "*" or "*" in text[1:-1]:
        raise DecodeError("no Code 39 start and stop character")
    module = sum(narrow) / len(narrow)
    return text[1:-1], "", v, module, ten_modules(quiet, module)


def decode_itf(w, quiet):
    if len(w) < 17 or (len(w) - 7) % 10:
        raise DecodeError(f"{len(w)} elements: Interleaved 2 of 5 needs 10 per digit pair "
                          "with start and stop")
    text, v, narrow, thresholds = "", 1.0, [], []
    for i in range(4, len(w) - 3, 10):
        pair = w[i:i + 10]
        for part in (pair[0::2], pair[1::2]):  # its bars, then its spaces (R6)
            flags, rt, cv, mean_n = two_width(part, (2,))
            if flags not in ITF:
                raise DecodeError(f"digit {len(text) + 1}: no Interleaved 2 of 5 digit is {flags}")
            text += str(ITF.index(flags))
            v, narrow, thresholds = min(v, cv), narrow + [mean_n], thresholds + [rt]
    # R6: the start's and stop's bars by the nearest bar character's RT, spaces by the
    # nearest space character's.
    start = "".join("1" if x > thresholds[i % 2] else "0" for i, x in enumerate(w[:4]))
    stop = "".join("1" if x > thresholds[-2 + i % 2] else "0" for i, x in enumerate(w[-3:]))
    if start != "0000" or stop != "100":
        raise DecodeError(f"the start ({start}) or stop ({stop}) pattern is wrong")
    module = sum(narrow) / len(narrow)
    return text, "", v, module, ten_modules(quiet, module)


def decode_codabar(w, quiet):
    if (len(w) + 1) % 8 or len(w) < 23:
        raise DecodeError(f"{len(w)} elements: Codabar needs 7 per character and a gap between")
    text, v, narrow = "", 1.0, []
    for i in range(0, len(w), 8):
        flags, rt, cv, mean_n = two_width(w[i:i + 7], (2, 3))
        if flags not in CODABAR.values():
            raise DecodeError(f"character {i // 8 + 1}: no Codabar character is {flags}")
        text += next(c for c, f in CODABAR.items() if f == flags)
        v, narrow = min(v, cv), narrow + [mean_n]
    if text[0] not in "ABCD" or text[-1] not in "ABCD" or any(c in "ABCD" for c in text[1:-1]):
        raise DecodeError("no Codabar start and stop character")
    module = sum(narrow) / len(narrow)
    return text, "", v, module, ten_modules(quiet, module)


DECODERS = {
    "EAN_13": lambda w, q: decode_ean("EAN_13", w, q),
    "UPC_A": lambda w, q: decode_ean("UPC_A", w, q),
    "EAN_8": lambda w, q: decode_ean("EAN_8", w, q),
    "UPC_E": lambda w, q: decode_ean("UPC_E", w, q),
    "CODE128": decode_code128, "CODE39": decode_code39,
    "CODE25I": decode_itf, "CODABAR": decode_codabar,
}


def symbology(name):
    """Our type names (EAN_13, CODE128_B, CODE25iP, Codabar, ...) as a decoder's key."""
    key = name.upper().replace("-", "_")
    if key.startswith("CODE128"):
        return "CODE128"
    if key.startswith("CODE25I"):
        return "CODE25I"
    if key not in DECODERS:
        raise ValueError(f"no reference decode for the type '{name}'")
    return key


def reference_decode(widths, quiet, type_=None):
    """Widths of the symbol's elements (bar first), quiet zones in samples -> (type, data,
    addon, V, module, [(quiet zone, modules, minimum)]); raises DecodeError with the
    reason when no character can be read."""
    keys = [symbology(type_)] if type_ else list(DECODERS)
    reasons = []
    for key in keys:
        try:
            return (key,) + DECODERS[key](widths, quiet)
        except DecodeError as error:
            reasons.append(str(error))
    raise DecodeError(reasons[0] if len(reasons) == 1 else "no symbology decodes the elements")


# ---------------------------------------------------------------------------------------
# The scan reflectance profile's grade

def quiet_zones(profile, edges, gt, reach):
    """R4: the light space before the first edge and after the last, in samples."""
    start, end = -reach, len(profile) - 1 + reach
    k = math.floor(edges[0])
    while k > 0 and profile[k] >= gt:
        k -= 1
    if profile[k] < gt:
        start = k + (gt - profile[k]) / (profile[k + 1] - profile[k])
    k = math.ceil(edges[-1])
    while k < len(profile) - 1 and profile[k] >= gt:
        k += 1
    if profile[k] < gt:
        end = k - 1 + (profile[k - 1] - gt) / (profile[k - 1] - profile[k])
    return edges[0] - start, end - edges[-1]


def grade_profile(profile, type_=None, measured=None, reach=0.5):
    """ISO/IEC 15416 (2016): every parameter of one scan reflectance profile."""
    if not profile:
        raise ValueError("an empty profile")
    first, last = measured if measured else (0, len(profile) - 1)
    if not 0 <= first < last < len(profile):
        raise ValueError(f"the measured samples {first}..{last} are outside the profile "
                         f"of {len(profile)}")
    samples = profile[first:last + 1]
    rmax, rmin = max(samples), min(samples)
    sc = rmax - rmin  # Symbol Contrast
    gt = rmin + sc / 2  # the global threshold
    runs = runs_at(profile, first, last, gt)
    result = {"rmax": rmax, "rmin": rmin, "symbol_contrast": sc, "threshold": gt,
              "rmin_grade": 4 if rmin <= 0.5 * rmax else 0,
              "symbol_contrast_grade": grade_at_least(sc, SC_LIMITS),
              "edges": [], "min_edge_contrast": 0.0, "ecmin_at": None, "modulation": 0.0,
              "defects": 0.0, "defect_at": None, "decodability": 0.0, "decoded": False,
              "data": "", "addon": "", "type": None, "failure": "", "module": None}
    if sc <= 0 or len(runs) < 3:
        result["failure"] = "no bar in the measured samples"
        return finish(result)
    edges, contrasts = [], []
    for left, right in zip(runs, runs[1:]):
        edges.append(edge_between(profile, left, right))
        contrasts.append(abs(extreme(profile, left)[1] - extreme(profile, right)[1]))
    result["edges"] = edges
    ecmin = min(contrasts)  # Minimum Edge Contrast, quiet zones included
    result["min_edge_contrast"], result["ecmin_at"] = ecmin, edges[contrasts.index(ecmin)]
    result["modulation"] = ecmin / sc  # Modulation
    peaks, valleys = extrema(profile, first, last)
    erns = [element_ern(run, peaks, valleys) for run in runs]
    worst = max(range(len(runs)), key=lambda i: erns[i])
    result["defects"] = erns[worst] / sc  # Defects: ERNmax / SC
    result["defect_at"] = (runs[worst][1] + runs[worst][2]) / 2 if erns[worst] > 0 else None
    if not runs[0][0] or not runs[-1][0]:
        result["failure"] = "the measured samples do not begin and end in a quiet zone"
        return finish(result)
    widths = [b - a for a, b in zip(edges, edges[1:])]
    quiet = quiet_zones(profile, edges, gt, reach)
    try:
        key, data, addon, v, module, zones = reference_decode(widths, quiet, type_)
    except DecodeError as error:
        result["failure"] = str(error)
        return finish(result)
    # R8: read, with the characters' V; the quiet zones can still fail Decode
    result.update(decoded=True, type=key, data=data, addon=addon, decodability=v,
                  module=module, failure=quiet_zone_failure(zones))
    return finish(result)


def finish(result):
    result["decode"] = 4 if result["decoded"] and not result["failure"] else 0
    result["min_edge_contrast_grade"] = 4 if result["min_edge_contrast"] >= EC_FLOOR else 0
    result["modulation_grade"] = grade_at_least(result["modulation"], MOD_LIMITS)
    result["defects_grade"] = grade_at_most(result["defects"], DEFECTS_LIMITS)
    result["decodability_grade"] = (grade_at_least(result["decodability"], V_LIMITS)
                                    if result["decoded"] else 0)
    result["grade"] = min(result[k] for k in GRADE_KEYS)
    return result


GRADE_KEYS = ("decode", "rmin_grade", "symbol_contrast_grade", "min_edge_contrast_grade",
              "modulation_grade", "defects_grade", "decodability_grade")
