"""The independent grading (iso15416.py) and aperture (aperture.py) on profiles worked by
hand. Reflectances: grey level L reads L * 100 / 255 %: 25 -> 9.80, 66 -> 25.88,
153 -> 60.00, 204 -> 80.00. Profiles are square unless said otherwise, S samples a module;
a square step's (Rs + Rb)/2 crossing lies halfway between its two samples, so every width
is exact and V is 1."""
import math
import os
import re
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import aperture  # noqa: E402
import iso15416 as iso  # noqa: E402

BAR, GREY, SPACE = 25 * 100 / 255, 153 * 100 / 255, 204 * 100 / 255
S = 10
EAN = "4006381333931"


def set_modules(digits, sets):
    table = {"A": iso.EAN_A, "B": iso.EAN_B, "C": iso.EAN_C}
    return "".join(table[s][int(d)] for d, s in zip(digits, sets))


def ean13_modules(digits):
    left = set_modules(digits[1:7], iso.EAN13_PARITY[int(digits[0])])
    return "101" + left + "01010" + set_modules(digits[7:], "CCCCCC") + "101"


def widths_profile(widths, left, right, bar=BAR, space=SPACE):
    """A square profile: `left` samples of quiet zone, the elements (bar first, widths in
    samples), `right` samples of quiet zone."""
    profile = [space] * left
    for i, w in enumerate(widths):
        profile += [bar if i % 2 == 0 else space] * w
    return profile + [space] * right


def modules_profile(modules, quiet=(11, 7)):
    return widths_profile([w * S for w in iso.widths_of(modules)], quiet[0] * S, quiet[1] * S)


def element_span(profile, element):
    """(first, last) sample of the symbol's element (0: the first bar) in a square profile."""
    runs = iso.runs_at(profile, 0, len(profile) - 1, (max(profile) + min(profile)) / 2)
    return runs[element + 1][1], runs[element + 1][2]


# EAN-13 4006381333931; its elements, bar first: the left guard 0..2, the third character
# (A6 = 0101111: s1 b1 s1 b4) 11..14, so element 13 is a narrow space, 14 a 4-module bar.
def narrow_space_at_60(profile):
    first, last = element_span(profile, 13)
    profile[first:last + 1] = [GREY] * (last - first + 1)


def void_in_wide_bar(profile):
    first, _ = element_span(profile, 14)
    profile[first + S:first + 2 * S] = [66 * 100 / 255] * S  # its second module


@pytest.mark.parametrize("change, values", [
    # Rmax 80.00, Rmin 9.80: SC 70.20 (A), GT 44.90; every edge's Rs - Rb is 70.20.
    (None, dict(symbol_contrast=70.20, min_edge_contrast=70.20, modulation=1.0, defects=0.0,
                decodability=1.0, grade=4)),
    # The narrow space at 60.00 %: its two edges' contrast 60.00 - 9.80 = 50.20 = ECmin;
    # MOD = 50.20 / 70.20 = 0.715 (A, >= 0.70). The space still crosses GT 44.90, and its
    # edges at (60.00 + 9.80)/2 = 34.90 lie halfway between samples: V 1.00, grade 4.
    (narrow_space_at_60, dict(min_edge_contrast=50.20, modulation=0.715, decodability=1.0,
                              grade=4)),
    # The 4-module bar's second module at 25.88 %: a peak between valleys of 9.80 in one
    # bar: ERN 25.88 - 9.80 = 16.08; Defects 16.08 / 70.20 = 0.229 (C, 0.20 < D <= 0.25).
    (void_in_wide_bar, dict(defects=0.229, defects_grade=2, grade=2, decodability=1.0)),
])
def test_square_ean13_profiles(change, values):
    profile = modules_profile(ean13_modules(EAN))
    if change:
        change(profile)
    result = iso.grade_profile(profile, "EAN_13")
    assert result["decoded"] and result["data"] == EAN, result["failure"]
    for key, expected in values.items():
        within = 0.001 if key in ("modulation", "defects") else 0.01
        assert result[key] == pytest.approx(expected, abs=within), key


def test_defect_sits_in_the_void_and_ern_is_its_depth():
    profile = modules_profile(ean13_modules(EAN))
    void_in_wide_bar(profile)
    result = iso.grade_profile(profile)
    first, last = element_span(profile, 14)
    assert first <= result["defect_at"] <= last
    assert result["defects"] * result["symbol_contrast"] == pytest.approx(66 * 100 / 255 - BAR)


# Quiet zones in modules (left, right) against the minimum: EAN-13 11/7, the others 10/10.
@pytest.mark.parametrize("type_, modules, quiet, reason", [
    ("EAN_13", ean13_modules(EAN), (11, 7), ""),
    ("EAN_13", ean13_modules(EAN), (10, 7), "the left quiet zone is 10.00 modules, 11 needed"),
    ("EAN_13", ean13_modules(EAN), (11, 6), "the right quiet zone is 6.00 modules, 7 needed"),
    ("UPC_A", ean13_modules("0" + "03600029145" + "2"), (9, 9), ""),
    ("UPC_A", ean13_modules("0" + "03600029145" + "2"), (9, 8),
     "the right quiet zone is 8.00 modules, 9 needed"),
])
def test_quiet_zones(type_, modules, quiet, reason):
    result = iso.grade_profile(modules_profile(modules, quiet), type_)
    assert (result["decoded"], result["failure"]) == (True, reason)  # read all the same
    assert result["decode"] == (0 if reason else 4)


# Every bar g samples wider, every space as much narrower (S = 10): edge-to-similar-edge
# sums keep their width, so only the bar-width test of characters 1, 2, 7 and 8 moves.
# 4006381333931's halves: 0A 0B 6A 3A 8B 1B | 3C 3C 3C 9C 3C 1C. B8 (C8 1001000
# reversed: 0001001, s3 b1 s2 b1) has bars 2 against B2's 4: middle 3; B1 (0110011:
# s1 b2 s2 b2) bars 4 against B7's 2; C1 (1100110: b2 s2 b2 s1) bars 4 against C7's 2.
# Two bars per character: 2g per character.
#   g = +2 (0.2 module): B8 reads 2.4 -> margin 0.6; B1, C1 4.4 -> 1.4.  V 0.6
#   g = +3: B8 2.6 -> 0.4.  V 0.4          g = -2: B1, C1 3.6 -> 0.6.  V 0.6
# The quiet zones are 12 modules: the symbol grows by g samples, and at 11 modules it
# would lose its quiet zone.
@pytest.mark.parametrize("gain, v", [(2, 0.6), (3, 0.4), (-2, 0.6)])
def test_bar_gain_moves_only_the_bar_width_test(gain, v):
    widths = [w * S + (gain if i % 2 == 0 else -gain)
              for i, w in enumerate(iso.widths_of(ean13_modules(EAN)))]
    result = iso.grade_profile(widths_profile(widths, 12 * S, 12 * S), "EAN_13")
    assert result["decoded"], result["failure"]
    assert result["decodability"] == pytest.approx(v)


def gt_crossings_v(profile, type_):
    """V with the edges at the global-threshold crossings instead of (Rs + Rb)/2."""
    gt = (max(profile) + min(profile)) / 2
    edges = [k + (gt - profile[k]) / (profile[k + 1] - profile[k]) for k in range(len(profile) - 1)
             if (profile[k] > gt) != (profile[k + 1] > gt)]
    widths = [b - a for a, b in zip(edges, edges[1:])]
    return iso.reference_decode(widths, (edges[0] + 0.5, len(profile) - 0.5 - edges[-1]), type_)[3]


def test_blurred_narrow_space_reads_v_from_the_local_edges():
    """UPC-A 036000291452, right character 2 (C2: b2 s1 b2 s2), its narrow space blurred: the
    profile falls linearly from Rs = 60.00 at 0.5 sample off the space's centre c to
    Rb = 9.80 at 13.5 samples off (13 samples of ramp into each neighbouring bar).
      (Rs + Rb)/2 = 34.90 is crossed at |x - c| = 0.5 + 13/2 = 7 samples: the space reads
        14 samples, each bar 2 less (18), p = 18 + 14 + 18 + 20 = 70 (p/7 = 10):
        e1 = e2 = 32 -> 3.2 modules, 0.2 off 3: 1 - 2 x 0.2 = 0.6; the bars 36 -> 3.6
        against the middle 3 of C2's 4 and C8's 2: margin 0.6 / 1 = 0.6.  V = 0.60 (B).
      GT = 44.90 = 9.80 + 0.6992 x 50.20 is crossed at |x - c| = 0.5 + 13 x 0.3008 = 4.41:
        the space 8.82, bars 20.59: e1 = 29.41 -> 2.941: 1 - 2 x 0.059 = 0.882."""
    digits = "0" + "03600029145" + "2"
    profile = modules_profile(ean13_modules(digits), (9, 9))
    first, last = element_span(profile, 3 + 24 + 5 + 4 * 5 + 1)  # last character's space
    centre = (first + last) / 2
    for k in range(first - 14, last + 15):
        d = abs(k - centre)
        profile[k] = BAR + (GREY - BAR) * max(0.0, (13.5 - d) / 13)
    result = iso.grade_profile(profile, "UPC_A")
    assert result["decoded"] and result["data"] == digits[1:], result["failure"]
    assert result["decodability"] == pytest.approx(0.600, abs=1e-3)
    assert result["decodability_grade"] == 3
    assert gt_crossings_v(profile, "UPC_A") == pytest.approx(0.882, abs=1e-3)


# EAN-8 1234567: check 3x1 + 2 + 3x3 + 4 + 3x5 + 6 + 3x7 = 60 -> 0. UPC-E 123456, number
# system 0: it stands for UPC-A 0 12345 0000 6 (last digit 5..9: five digits, 0000, it),
# check 3 x (0+2+4+0+0+6) + (1+3+5+0+0) = 45 -> 5, shown by the sets BAABBA; with the sets
# swapped (ABBAAB) number system 1: 1 12345 0000 6 -> 3 x 13 + 9 = 48 -> 2, not 5.
@pytest.mark.parametrize("type_, modules, quiet, data, reason", [
    ("EAN_8", "101" + set_modules("1234", "AAAA") + "01010" + set_modules("5670", "CCCC") + "101",
     (7, 7), "12345670", ""),
    ("EAN_8", "101" + set_modules("1234", "AAAA") + "01010" + set_modules("5671", "CCCC") + "101",
     (7, 7), "", "the check digit 1 should be 0"),
    ("UPC_E", "101" + set_modules("123456", "BAABBA") + "010101", (9, 7), "01234565", ""),
    ("UPC_E", "101" + set_modules("123456", "ABBAAB") + "010101", (9, 7), "",
     "the UPC-E check digit does not match"),
])
def test_short_ean_upc(type_, modules, quiet, data, reason):
    result = iso.grade_profile(modules_profile(modules, quiet), type_)
    assert (result["data"], result["failure"]) == (data, reason)


def addon_modules(digits, sets):
    """An add-on: start 1011, then each digit in its set, 01 between them."""
    return "1011" + "01".join(set_modules(d, s) for d, s in zip(digits, sets))


# Add-ons after EAN-13 4006381333931, 5 modules of quiet zone after them. Their sets, by
# hand: 2 digits by the value modulo 4 (12 -> 0: AA); 5 digits by 3 x (1 + 3 + 5) + 9 x
# (2 + 4) = 81 -> 1: BABAA. The gap must hold the main symbol's 7-module right quiet zone:
# short, it fails Decode, the add-on read all the same.
@pytest.mark.parametrize("digits, sets, gap, addon, reason", [
    ("12", "AA", 7, "12", ""),
    ("12345", "BABAA", 9, "12345", ""),
    ("12", "AB", 7, "", "the add-on's sets AB do not match its digits (AA)"),
    ("12345", "BABAA", 6, "12345", "the add-on gap is 6.00 modules, 7 needed"),
])
def test_addons(digits, sets, gap, addon, reason):
    modules = ean13_modules(EAN) + "0" * gap + addon_modules(digits, sets)
    result = iso.grade_profile(modules_profile(modules, (11, 5)), "EAN_13")
    assert (result["addon"], result["failure"]) == (addon, reason)
    assert result["decode"] == (0 if reason else 4)


CODE128_B = [104] + [ord(c) - 32 for c in "Hi!"]  # start B, then data
CODE128_B += [(CODE128_B[0] + sum(i * v for i, v in enumerate(CODE128_B[1:], 1))) % 103, 106]


def code128_widths(values):
    return [int(w) * S for v in values for w in iso.CODE128[v]] + [2 * S]


def two_width_widths(flags_list, narrow, wide, gap):
    widths = []
    for flags in flags_list:
        if widths and gap:
            widths.append(gap)
        widths += [wide if f == "1" else narrow for f in flags]
    return widths


def itf_widths(digits, narrow_bar, wide_bar, narrow_space, wide_space):
    widths = [narrow_bar, narrow_space, narrow_bar, narrow_space]
    for a, b in zip(digits[0::2], digits[1::2]):
        for fb, fs in zip(iso.ITF[int(a)], iso.ITF[int(b)]):
            widths += [wide_bar if fb == "1" else narrow_bar, wide_space if fs == "1" else narrow_space]
    return widths + [wide_bar, narrow_space, narrow_bar]


def nudge(widths, element, samples):
    """Move the edge after `element` by `samples` (the element wider, the next narrower)."""
    widths = widths[:]
    widths[element] += samples
    widths[element + 1] -= samples
    return widths


@pytest.mark.parametrize("type_, widths, data, v", [
    # Code 128 "Hi!": exact widths.
    ("CODE128_B", code128_widths(CODE128_B), "Hi!", 1.0),
    # 'H' (value 40: 2 3 1 1 1 3) with its first bar 3 samples wider and first space as
    # much narrower: p = 110 (p/11 = 10), e1 = 23 + 27 = 50 as before, e2 = s1 + b2 =
    # 27 + 10 = 37 -> 3.7 modules, 0.3 off 4: 1 - 2 x 0.3 = 0.4 (D).
    ("CODE128_B", nudge(code128_widths(CODE128_B), 6, 3), "Hi!", 0.4),
    # Code 39 "A" (*A*: narrow 10, wide 25, gaps 10). In 'A' (100001001) its second bar
    # (narrow, element 12 of the symbol) 4 samples wider, the space after it 4 narrower:
    # narrows 14, 6 and four 10s (mean 10), wides 25: RT 17.5;
    # V = min(17.5 - 14, 25 - 17.5) / ((25 - 10)/2) = 3.5/7.5 = 0.467 (C).
    ("CODE39", two_width_widths([iso.CODE39[c] for c in "*A*"], 10, 25, 10), "A", 1.0),
    ("CODE39", nudge(two_width_widths([iso.CODE39[c] for c in "*A*"], 10, 25, 10), 12, 4), "A", 0.467),
    # Interleaved 2 of 5 "1234" with every bar 2 samples wider (12/27) and every space 2
    # narrower (8/23): bars and spaces are characters of their own, each with its own RT
    # (19.5 and 15.5), so V stays 1; one RT for a digit pair's ten elements would be
    # (10 + 25)/2 = 17.5 and V min(17.5 - 12, 23 - 17.5)/7.5 = 0.733.
    ("CODE25i", itf_widths("1234", 12, 27, 8, 23), "1234", 1.0),
    # Codabar A12B, narrow 10, wide 25, gaps 10.
    ("Codabar", two_width_widths([iso.CODABAR[c] for c in "A12B"], 10, 25, 10), "A12B", 1.0),
])
def test_reference_decodes(type_, widths, data, v):
    result = iso.grade_profile(widths_profile(widths, 10 * 25, 10 * 25), type_)
    assert result["decoded"], result["failure"]
    assert result["data"] == data
    assert result["decodability"] == pytest.approx(v, abs=1e-3)


# A wrong check character; the termination bar or the last bar left out (the space before
# it joins the quiet zone: two elements fewer).
@pytest.mark.parametrize("type_, widths, reason", [
    ("CODE128_B", code128_widths(CODE128_B[:-2] + [(CODE128_B[-2] + 1) % 103, 106]),
     "the Code 128 check character does not match"),
    ("CODE128_B", code128_widths(CODE128_B)[:-1],
     "35 elements: Code 128 needs 6 per character and 7 for the stop"),
    ("CODE39", two_width_widths([iso.CODE39[c] for c in "*A*"], 10, 25, 10)[:-1],
     "27 elements: Code 39 needs 9 per character and a gap between"),
])
def test_reference_decode_refusals(type_, widths, reason):
    result = iso.grade_profile(widths_profile(widths, 10 * 25, 10 * 25), type_)
    assert (result["decode"], result["failure"]) == (0, reason)


# Rmin <= 0.5 Rmax or F: bars at 45 %, spaces at 85 %: Rmin 45 > 42.5 -> F, while SC 40
# is C. ECmin < 15 is F: bars 9.8, spaces 24: EC 14.2 (and SC 14.2: F too).
@pytest.mark.parametrize("bar, space, rmin_grade, sc_grade, ec_grade", [
    (45.0, 85.0, 0, 2, 4),
    (BAR, 24.0, 4, 0, 0),
    (BAR, SPACE, 4, 4, 4),
])
def test_rmin_and_edge_contrast_floors(bar, space, rmin_grade, sc_grade, ec_grade):
    widths = [w * S for w in iso.widths_of(ean13_modules(EAN))]
    result = iso.grade_profile(widths_profile(widths, 110, 70, bar, space), "EAN_13")
    got = (result["rmin_grade"], result["symbol_contrast_grade"], result["min_edge_contrast_grade"])
    assert got == (rmin_grade, sc_grade, ec_grade)
    assert result["grade"] == min(got)


@pytest.mark.parametrize("value, limits, at_most, grade", [
    (70.0, iso.SC_LIMITS, False, 4), (69.99, iso.SC_LIMITS, False, 3), (19.99, iso.SC_LIMITS, False, 0),
    (0.70, iso.MOD_LIMITS, False, 4), (0.399, iso.MOD_LIMITS, False, 0),
    (0.15, iso.DEFECTS_LIMITS, True, 4), (0.151, iso.DEFECTS_LIMITS, True, 3),
    (0.301, iso.DEFECTS_LIMITS, True, 0),
    (0.62, iso.V_LIMITS, False, 4), (0.37, iso.V_LIMITS, False, 2), (0.249, iso.V_LIMITS, False, 0),
])
def test_grade_limits(value, limits, at_most, grade):
    assert (iso.grade_at_most if at_most else iso.grade_at_least)(value, limits) == grade


# Aperture, 12 x 12 pixels, the 6-mil aperture at 600 dpi (3.6 px):
#   a 2 x 2 pixel void (255) in black, centred on it: the void (4 px^2, its corners 1.41 px
#     from the centre, inside the 1.8 px radius) over the circle's pi x 1.8^2 = 10.18 px^2:
#     39.3 % (the 16 x 16 sub-samples count 10.19 px^2: 39.26);
#   white columns 0..5, black 6..11, centred on their border x = 5.5: half, 50.0 exactly
#     (the sub-samples lie symmetric about the border);
#   all grey 153: 60.0 wherever the circle is.
def void(i, k):
    return 255 if i in (5, 6) and k in (5, 6) else 0


@pytest.mark.parametrize("level, cx, cy, expected, within", [
    (void, 5.5, 5.5, 39.3, 0.1),
    (lambda i, k: 255 if i <= 5 else 0, 5.5, 3.3, 50.0, 1e-9),
    (lambda i, k: 153, 2.7, 8.1, 60.0, 1e-9),
])
def test_aperture_mean(level, cx, cy, expected, within):
    picture = aperture.Picture(12, 12, [level(i, k) for k in range(12) for i in range(12)])
    assert picture.mean_in_circle(cx, cy, 3.6) == pytest.approx(expected, abs=within)


def test_aperture_weights_are_the_circle():
    # every sub-sample inside a 6 px circle: 256 x area = 256 x pi x 9 = 7238 (sub-sampled)
    weights = aperture.circle_weights(0.25, 0.5, 6.0)
    assert sum(n for _, _, n in weights) / 256 == pytest.approx(math.pi * 9, rel=0.005)
    assert max(n for _, _, n in weights) == 256


@pytest.mark.parametrize("data, reason", [
    (b"P6 2 2 255\n" + bytes(12), "x: not a binary PGM (P5)"),
    (b"P5 2 2 65535\n" + bytes(8), "x: a PGM of maximum 65535, 255 expected"),
    (b"P5 2 2 255\n" + bytes(3), "x: 3 of the PGM's 4 pixels"),
])
def test_bad_pgm_is_named(data, reason):
    with pytest.raises(ValueError, match=re.escape(reason)):
        aperture.parse_pgm(data, "x")
