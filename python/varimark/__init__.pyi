from os import PathLike
from typing import Any

__all__ = ["Error", "TYPES", "encode", "render", "save", "verify", "version"]

class Error(Exception): ...

# The symbologies' names as the library gives them, in the order of its types ("EAN_8",
# "EAN_13", ... "ITF_14"); a type is named so, without regard to case, '-' for '_'.
TYPES: tuple[str, ...]

# escapes: "\xNN" is the byte NN of the symbology's 8-bit text, "\\" a backslash (Code 128's
# FNC1 "\x86", FNC2 "\x81", FNC3 "\x80", FNC4 "\x84" in code set B, "\x85" in A); repair: a
# wrong EAN/UPC check digit computed anew, a character that cannot be carried replaced,
# instead of a refusal.
def encode(
    text: str,
    type: str = "EAN_13",
    addon: str = "",
    ratio: float | None = None,
    *,
    escapes: bool = False,
    repair: bool = False,
) -> tuple[str, str]: ...
def render(
    text: str,
    type: str = "EAN_13",
    format: str = "png",
    *,
    addon: str = "",
    ratio: float | None = None,
    module: int = 2,
    rotate: int = 0,
    bearer: str = "frame",
    text_line: bool = True,
    bar_height: int = 100,
    font: str = "Arial",
    font_height: int = 100,
    zoom: bool = False,
    high_density: bool = False,
    width_reduce: bool = False,
    escapes: bool = False,
    repair: bool = False,
    scale: int = 1,
    dpi: int = 96,
    quiet_zones: bool = True,
    margin: int | None = None,
    monochrome: bool = False,
) -> bytes: ...
def save(
    path: str | bytes | PathLike[str] | PathLike[bytes],
    text: str,
    type: str = "EAN_13",
    format: str | None = None,
    *,
    addon: str = "",
    ratio: float | None = None,
    module: int = 2,
    rotate: int = 0,
    bearer: str = "frame",
    text_line: bool = True,
    bar_height: int = 100,
    font: str = "Arial",
    font_height: int = 100,
    zoom: bool = False,
    high_density: bool = False,
    width_reduce: bool = False,
    escapes: bool = False,
    repair: bool = False,
    scale: int = 1,
    dpi: int = 96,
    quiet_zones: bool = True,
    margin: int | None = None,
    monochrome: bool = False,
) -> None: ...
# The report as a dict (see the docstring); each of its "profiles" holds, beside each
# parameter and its grade: "line" ({"x", "y", "dx", "dy": float, "count": int}: sample j at
# (x + j * dx, y + j * dy) in pixels), "reflectance" (list[float], percent, one per sample),
# "edges" (list[float], in samples) and "threshold" (float, percent). A GS1-128 or ITF-14
# symbol adds "gs1": {"ais": [{"ai", "data": str, "faults": list[str]}], "faults", "passed"}.
def verify(
    # bytes are the picture's; a path is a str or os.PathLike (giving str or bytes)
    picture: str | PathLike[str] | PathLike[bytes] | bytes | bytearray | memoryview,
    type: str | None = None,
    *,
    dpi: float = 0,
    aperture: float = 0,
    min_grade: str | float = "C",
    reflectance_black: float = 0,
    reflectance_white: float = 100,
    gs1: bool = False,
) -> dict[str, Any]: ...
def version() -> str: ...

__version__: str
