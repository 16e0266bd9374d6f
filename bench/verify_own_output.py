#!/usr/bin/env python3
"""Our own pictures graded: every linear symbology at module sizes SC0 to SC9, in all four
turns, at 300 and 600 dpi with quiet zones (the default). Prints a table of the lowest
symbol grade per type and module size, and every picture whose grade is not 4.0 or whose
symbol characters are not the prepared text; exits 1 when there is one.

Usage: bench/verify_own_output.py
(the module from python/, the library from build/lib or $VARIMARK_LIBRARY)
"""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("VARIMARK_LIBRARY", os.path.join(ROOT, "build", "lib", "libvarimark.so.1"))
sys.path.insert(0, os.path.join(ROOT, "python"))
import varimark  # noqa: E402

SAMPLES = [("EAN_8", "1234567"), ("EAN_13", "400638133393"), ("UPC_A", "03600029145"),
           ("UPC_E", "0123457"), ("CODE39", "VARIMARK-1"), ("CODE25i", "123456"),
           ("CODE25iP", "1234567"), ("CODE128_A", "ABC-12"), ("CODE128_B", "Hello, 1!"),
           ("CODE128_C", "123456"), ("MSI_Plessey", "123456"), ("Codabar", "A123B")]


def main():
    failures = []
    print("type         " + " ".join(f"SC{m}" for m in range(10)))
    for type_, text in SAMPLES:
        expected = varimark.encode(text, type=type_)[0]
        row = []
        for module in range(10):
            lowest = 4.0
            for dpi in (300, 600):
                for rotate in (0, 90, 180, 270):
                    picture = varimark.render(text, type=type_, module=module, rotate=rotate,
                                              dpi=dpi)
                    report = varimark.verify(picture, dpi=dpi)
                    lowest = min(lowest, report["grade"])
                    ours = report.get("symbol_characters")
                    if report["grade"] != 4.0 or ours != expected:
                        failures.append(f"{type_} SC{module} {dpi} dpi {rotate}: "
                                        f"{report['grade_text']} {ours!r}")
            row.append(f"{lowest:.1f}")
        print(f"{type_:<12} " + " ".join(row))
    print(f"{len(SAMPLES) * 10 * 8} pictures; not 4.0 or not the prepared text: {len(failures)}")
    for failure in failures:
        print("  " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
