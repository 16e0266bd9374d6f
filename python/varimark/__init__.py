"""Varimark: one-dimensional barcodes as bar patterns and pictures.

    >>> import varimark
    >>> varimark.encode("400638133393", type="EAN_13")
    ('4006381333931', '10100011010...')
    >>> png = varimark.render("400638133393", type="EAN_13", dpi=300)
    >>> varimark.save("label.gif", "400638133393", type="EAN_13")

Types (varimark.TYPES, as the library names them): {types} (without regard to case, '-'
for '_'). GS1_128 takes GS1 data with its AIs in brackets,
varimark.render("(00)095011010000000014", type="GS1_128"); ITF_14 takes 13 or 14 digits
and draws bearer bars (bearer="frame" or "top-bottom").
Formats: bmp, gif, tif, jpg, emf, png, svg, pdf.

Every refusal raises varimark.Error with the library's message, or the module's naming the
argument ("path holds a NUL byte (\\x00)"). Texts and names are str, given to the library
as UTF-8; paths are str, bytes or os.PathLike, as os.fsencode gives them; switches
(text_line, zoom, quiet_zones, gs1, ...) are bool. An argument of another kind raises
TypeError naming it. Calls may run in any number of threads at once; nothing is kept from
one call to the next. The module calls libvarimark.so.1 through its C API;
$VARIMARK_LIBRARY names another copy of it.
"""

import ctypes
import json
import math
import os
import stat

__all__ = ["Error", "TYPES", "encode", "render", "save", "verify", "version"]


class Error(Exception):
    """A text, value or picture the library refused; str(error) is its message."""


class _Buffer(ctypes.Structure):
    _fields_ = [("data", ctypes.POINTER(ctypes.c_uint8)), ("size", ctypes.c_size_t)]


def _load():
    name = os.environ.get("VARIMARK_LIBRARY") or "libvarimark.so.1"
    try:
        lib = ctypes.CDLL(name)
    except OSError as e:
        raise ImportError(f"varimark needs the library {name} (Debian's package libvarimark1, "
                          f"or $VARIMARK_LIBRARY naming a copy): {e}") from e
    handle, text, status = ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int
    buffer = ctypes.POINTER(_Buffer)
    for function, arguments, result in (
        ("varimark_last_error", [], text),
        ("varimark_version", [], text),
        ("varimark_symbol_new", [], handle),
        ("varimark_symbol_free", [handle], None),
        ("varimark_symbol_set_type", [handle, text], status),
        ("varimark_symbol_set_text", [handle, text], status),
        ("varimark_symbol_set_addon", [handle, text], status),
        ("varimark_symbol_set_font", [handle, text], status),
        ("varimark_symbol_set_int", [handle, text, ctypes.c_longlong], status),
        ("varimark_options_new", [], handle),
        ("varimark_options_free", [handle], None),
        ("varimark_options_set_format", [handle, text], status),
        ("varimark_options_set_int", [handle, text, ctypes.c_longlong], status),
        ("varimark_encode", [handle, buffer, buffer], status),
        ("varimark_render", [handle, handle, buffer], status),
        ("varimark_render_to_file", [handle, handle, text], status),
        ("varimark_verify", [ctypes.c_char_p, ctypes.c_size_t, text, ctypes.c_double,
                             ctypes.c_double, ctypes.c_double, ctypes.c_double, ctypes.c_double,
                             buffer], status),
        ("varimark_verify_flags", [ctypes.c_char_p, ctypes.c_size_t, text, ctypes.c_double,
                                   ctypes.c_double, ctypes.c_double, ctypes.c_double,
                                   ctypes.c_double, ctypes.c_uint, buffer], status),
        ("varimark_buffer_free", [buffer], None),
        ("varimark_type_name", [ctypes.c_int], ctypes.c_char_p),
    ):
        f = getattr(lib, function)
        f.argtypes, f.restype = arguments, result
    return lib


_lib = _load()


def _type_names():
    """The symbologies the library names, in the order of its types."""
    names = []
    while (name := _lib.varimark_type_name(len(names))) is not None:
        names.append(name.decode("ascii"))
    return tuple(names)


TYPES = _type_names()
__doc__ = __doc__.replace("{types}", ", ".join(TYPES))


def _check(status):
    if status != 0:
        message = _lib.varimark_last_error().decode("utf-8", "backslashreplace")
        if status == 3:
            raise MemoryError(message)
        raise Error(message)


def _utf8(value, what):
    """A str argument as the library's UTF-8; what names it in a refusal."""
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    if "\0" in value:
        # The library's own words for the text; the C strings would end at the NUL.
        raise Error("the text holds a NUL byte (\\x00), which no barcode can carry"
                    if what == "text" else f"{what} holds a NUL byte (\\x00)")
    try:
        return value.encode("utf-8")
    except UnicodeEncodeError as e:
        raise _unencodable(what, "as UTF-8", e) from None


def _unencodable(what, how, error):
    character = error.object[error.start]
    return Error(f"{what}: cannot be encoded {how}: {error.reason} "
                 f"(U+{ord(character):04X} at position {error.start})")


def _path(path):
    """A str, bytes or os.PathLike path as the file system's bytes (undecodable bytes come
    back from their surrogateescape str)."""
    try:
        name = os.fsencode(path)
    except UnicodeEncodeError as e:
        raise _unencodable("path", "for the file system", e) from None
    if b"\0" in name:
        raise Error("path holds a NUL byte (\\x00)")
    return name


def _shown(name):
    return name.decode("utf-8", "backslashreplace")


def _whole(value, what):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    return max(min(value, 1 << 62), -(1 << 62))  # out of range stays out of range


def _switch(value, what):
    """A switch as the library's 0 or 1: a bool, or 0 and 1 (the library refuses another
    number); a str such as "no" would be true, so another kind is refused."""
    if not isinstance(value, int):
        raise TypeError(f"{what} must be a bool, not {type(value).__name__}")
    return max(min(value, 1 << 62), -(1 << 62))


# Handles live for one call: new and free cost under a microsecond beside a render's
# tenth of a millisecond, and nothing (a megabyte's text) is kept by a thread or after it.
def _handles(with_options):
    symbol = _lib.varimark_symbol_new()
    options = _lib.varimark_options_new() if with_options else None
    if not symbol or (with_options and not options):
        _free(symbol, options)
        raise MemoryError("varimark: no memory for a symbol")
    return symbol, options


def _free(symbol, options):
    _lib.varimark_symbol_free(symbol)
    _lib.varimark_options_free(options)


def _set_symbol(symbol, text, type, addon, ratio, module, rotate, text_line, bar_height, font,
                font_height, zoom, high_density, width_reduce, escapes, repair):
    _check(_lib.varimark_symbol_set_type(symbol, _utf8(type, "type")))
    _check(_lib.varimark_symbol_set_text(symbol, _utf8(text, "text")))
    _check(_lib.varimark_symbol_set_addon(symbol, _utf8(addon, "addon")))
    _check(_lib.varimark_symbol_set_font(symbol, _utf8(font, "font")))
    _set_ratio(symbol, ratio)
    for field, name, value in ((b"module_size", "module", module), (b"rotation", "rotate", rotate),
                               (b"bar_height", "bar_height", bar_height),
                               (b"font_height", "font_height", font_height)):
        _check(_lib.varimark_symbol_set_int(symbol, field, _whole(value, name)))
    for field, name, value in ((b"human_readable", "text_line", text_line), (b"zoom", "zoom", zoom),
                               (b"high_density", "high_density", high_density),
                               (b"width_reduce", "width_reduce", width_reduce),
                               (b"escapes", "escapes", escapes), (b"repair", "repair", repair)):
        _check(_lib.varimark_symbol_set_int(symbol, field, _switch(value, name)))


def _set_ratio(symbol, ratio):
    """None: the type's own; a whole number as it is, a float in hundredths (ITF_14's 2.25
    to 3)."""
    if ratio is None:
        return
    if isinstance(ratio, bool) or not isinstance(ratio, (int, float)):
        raise TypeError(f"ratio must be a number, not {type(ratio).__name__}")
    if isinstance(ratio, int) or ratio.is_integer():
        _check(_lib.varimark_symbol_set_int(symbol, b"ratio", _whole(int(ratio), "ratio")))
        return
    hundredths = ratio * 100
    if not math.isfinite(hundredths) or hundredths != round(hundredths):
        raise Error(f"bad ratio {ratio!r} (3 or 2; ITF_14: 2.25, 2.5, 2.75 or 3)")
    _check(_lib.varimark_symbol_set_int(symbol, b"ratio_percent",
                                        _whole(int(round(hundredths)), "ratio")))


_BEARERS = {"frame": 0, "top-bottom": 1}


def _set_bearer(symbol, bearer):
    name = _utf8(bearer, "bearer").decode("utf-8").lower().replace("_", "-")
    if name not in _BEARERS:
        raise Error(f"unknown bearer {bearer!r}: frame or top-bottom")
    _check(_lib.varimark_symbol_set_int(symbol, b"bearer", _BEARERS[name]))


def _set_options(options, format, scale, dpi, quiet_zones, margin, monochrome):
    """format: the name as bytes."""
    _check(_lib.varimark_options_set_format(options, format))
    if margin is None and not quiet_zones:
        margin = 2  # the desktop program's margin
    if margin is not None and _whole(margin, "margin") < 0:
        raise Error("the margin must not be negative")
    for field, value in ((b"scale", scale), (b"dpi", dpi)):
        _check(_lib.varimark_options_set_int(options, field, _whole(value, field.decode())))
    _check(_lib.varimark_options_set_int(options, b"margin", -1 if margin is None
                                         else _whole(margin, "margin")))
    _check(_lib.varimark_options_set_int(options, b"quiet_zones",
                                         _switch(quiet_zones, "quiet_zones")))
    _check(_lib.varimark_options_set_int(options, b"monochrome", _switch(monochrome, "monochrome")))


def _take(buffer):
    try:
        return ctypes.string_at(buffer.data, buffer.size)
    finally:
        _lib.varimark_buffer_free(ctypes.byref(buffer))


def encode(text, type="EAN_13", addon="", ratio=None, *, escapes=False, repair=False):
    """The prepared text (with its check characters) and the bar pattern ('1' dark).

    ratio: the wide to narrow element, None for the type's own (3; ITF_14 2.5), 3 or 2;
    ITF_14 2.25, 2.5, 2.75 or 3. GS1_128 takes AIs in brackets before their data,
    "(01)09501101530003(10)AB-123"; ITF_14 13 digits, or 14 with the check digit.

    escapes: "\\xNN" in the text is the byte NN of the symbology's 8-bit text and "\\\\" a
    backslash; Code 128's function characters are given only so (FNC1 "\\x86", FNC2 "\\x81",
    FNC3 "\\x80", FNC4 "\\x84" in code set B, "\\x85" in A). repair: the desktop program's
    repairs (a wrong EAN/UPC check digit computed anew, a character the symbology cannot
    carry replaced) instead of a refusal.
    """
    symbol, options = _handles(False)
    try:
        _set_symbol(symbol, text, type, addon, ratio, 2, 0, True, 100, "Arial", 100, False,
                    False, False, escapes, repair)
        code, modules = _Buffer(), _Buffer()
        _check(_lib.varimark_encode(symbol, ctypes.byref(code), ctypes.byref(modules)))
        return _take(code).decode("utf-8"), _take(modules).decode("ascii")
    finally:
        _free(symbol, options)


def render(text, type="EAN_13", format="png", *, addon="", ratio=None, module=2, rotate=0,
           bearer="frame", text_line=True, bar_height=100, font="Arial", font_height=100,
           zoom=False, high_density=False, width_reduce=False, escapes=False, repair=False,
           scale=1, dpi=96, quiet_zones=True, margin=None, monochrome=False):
    """The picture file of the barcode, as bytes, in the format given.

    module: 0 (0.27 mm) to 9 (0.66 mm); rotate: 0, 90, 180 or 270; bearer: ITF_14's
    bearer bars, "frame" (around the bars and their quiet zones) or "top-bottom";
    text_line: the human-readable line; bar_height and font_height: percent, 20 to 200;
    escapes and repair: as for encode; scale: a whole magnification; dpi: the resolution
    the barcode is laid out at; quiet_zones: each side's quiet zone as the margin (margin: pixels, then
    at least that many; without quiet zones the margin alone, 2 by default); monochrome: a
    1-bit raster picture.
    """
    symbol, options = _handles(True)
    try:
        _set_symbol(symbol, text, type, addon, ratio, module, rotate, text_line, bar_height,
                    font, font_height, zoom, high_density, width_reduce, escapes, repair)
        _set_bearer(symbol, bearer)
        _set_options(options, _utf8(format, "format"), scale, dpi, quiet_zones, margin,
                     monochrome)
        picture = _Buffer()
        _check(_lib.varimark_render(symbol, options, ctypes.byref(picture)))
        return _take(picture)
    finally:
        _free(symbol, options)


def save(path, text, type="EAN_13", format=None, *, addon="", ratio=None, module=2, rotate=0,
         bearer="frame", text_line=True, bar_height=100, font="Arial", font_height=100,
         zoom=False, high_density=False, width_reduce=False, escapes=False, repair=False,
         scale=1, dpi=96, quiet_zones=True, margin=None, monochrome=False):
    """Writes the picture (as render makes it) under exactly that name, the format by its
    extension unless format is given. path: a str, bytes or os.PathLike. The file takes the
    name only when it is complete: a failure leaves an old file as it was and nothing
    beside it."""
    name = _path(path)
    if format is None:
        format = os.path.splitext(name)[1]
        if not format:
            raise Error(f"'{_shown(name)}' has no extension to choose the format; give format=")
    else:
        format = _utf8(format, "format")
    symbol, options = _handles(True)
    try:
        _set_symbol(symbol, text, type, addon, ratio, module, rotate, text_line, bar_height,
                    font, font_height, zoom, high_density, width_reduce, escapes, repair)
        _set_bearer(symbol, bearer)
        _set_options(options, format, scale, dpi, quiet_zones, margin, monochrome)
        _check(_lib.varimark_render_to_file(symbol, options, name))
    finally:
        _free(symbol, options)


_GRADES = {"A": 3.5, "B": 2.5, "C": 1.5, "D": 0.5, "F": 0.0}
_MAX_PICTURE_BYTES = 256 << 20
_NOT_REGULAR = ((stat.S_ISDIR, "a directory"), (stat.S_ISFIFO, "a FIFO"),
                (stat.S_ISCHR, "a character device"), (stat.S_ISBLK, "a block device"),
                (stat.S_ISSOCK, "a socket"))


def _refuse_unless_regular(info, name):
    if stat.S_ISREG(info.st_mode):
        _refuse_if_larger(info.st_size, name)
        return
    kind = next((kind for test, kind in _NOT_REGULAR if test(info.st_mode)), None)
    raise Error(f"Cannot read file {_shown(name)}: "
                + (f"it is {kind}" if kind else "it is not a regular file"))


def _refuse_if_larger(size, name):
    if size > _MAX_PICTURE_BYTES:
        raise Error(f"Cannot read file {_shown(name)}: it is larger than "
                    f"{_MAX_PICTURE_BYTES >> 20} MB")


def _picture_bytes(picture):
    if isinstance(picture, (bytes, bytearray, memoryview)):
        return bytes(picture)
    name = _path(picture)
    # Looked at before it is opened (opening a FIFO waits for a writer), and again once
    # open, without waiting, in case it changed in between.
    _refuse_unless_regular(os.stat(name), name)
    descriptor = os.open(name, os.O_RDONLY | os.O_NONBLOCK | os.O_NOCTTY | os.O_CLOEXEC)
    with open(descriptor, "rb") as f:
        _refuse_unless_regular(os.fstat(descriptor), name)
        data = f.read(_MAX_PICTURE_BYTES + 1)
    _refuse_if_larger(len(data), name)  # it may have grown since
    return data


def _number(value, what):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{what} must be a number, not {type(value).__name__}")
    return float(value)


def verify(picture, type=None, *, dpi=0, aperture=0, min_grade="C", reflectance_black=0,
           reflectance_white=100, gs1=False):
    """Grades the barcode in a picture as a print-quality verifier does (ISO/IEC 15416).

    picture: the path of a regular file (a str or os.PathLike; a file name that is not
    UTF-8 as os.fsdecode gives it, or an os.PathLike giving bytes), or a PNG, BMP, TIFF,
    GIF or JPEG file's bytes (bytes, bytearray, memoryview). A FIFO, a directory or a
    device is refused without being opened for reading; a file that cannot be opened
    raises OSError. type: the symbology, or None for any linear one. dpi: the picture's
    resolution (0: what the file states; when it states none, the grade is relative to X,
    measured in pixels); aperture: in mils (0: by the X dimension); min_grade: "A".."F" or
    0..4.
    Returns the report as a dict: grade (0..4), grade_text ("4.0/06/660"), letter, passed,
    decoded, type, data, x_mm, bar_gain_mm, aperture_mils, profiles, advice (what to
    change), failure (when nothing decoded). Each of the ten profiles holds each parameter
    and its grade, and what they were measured on:
      "line": {"x", "y", "dx", "dy", "count"}, the scan line in the picture: sample j at
              (x + j * dx, y + j * dy) in pixels, the centre of the top left pixel at (0, 0);
      "reflectance": a list of count reflectances in percent, one per sample;
      "edges": the element edges, in samples (fractional), left to right;
      "threshold": the global threshold in percent, halfway between Rmin and Rmax.
    A GS1-128 symbol (FNC1 first) or ITF-14 (between bearer bars) adds "gs1": {"ais": each
    Application Identifier as {"ai", "data", "faults"}, "faults": every fault of the data
    ("(17) 261331: month 13"), "passed"}; a GS1 fault lowers nothing of the grade.
    gs1=True also checks the symbol's size against GS1's symbol specification tables (as
    varimark-cli verify --gs1): "gs1" gains "table" and "size_checks", each {"name",
    "measured", "min", "max", "passed"}, for EAN/UPC too.
    """
    kind = None if type is None else _utf8(type, "type")
    data = _picture_bytes(picture)
    grade = _GRADES.get(min_grade) if isinstance(min_grade, str) else _number(min_grade, "min_grade")
    if grade is None:
        raise Error(f"unknown grade {min_grade!r}: A, B, C, D, F or 0..4")
    report = _Buffer()
    _check(_lib.varimark_verify_flags(data, len(data), kind, _number(dpi, "dpi"),
                                      _number(aperture, "aperture"),
                                      _number(reflectance_black, "reflectance_black"),
                                      _number(reflectance_white, "reflectance_white"), grade,
                                      _switch(gs1, "gs1"),  # VARIMARK_VERIFY_GS1
                                      ctypes.byref(report)))
    return json.loads(_take(report).decode("utf-8"))


def version():
    """The library's version, such as "1.3.0"."""
    return _lib.varimark_version().decode("ascii")


# The version of the library the module runs on: the project's, as its C API tells it.
__version__ = version()
