#!/usr/bin/env python3
"""verify against two real readers: pictures drawn by varimark-cli in every symbology the
readers know (MSI Plessey: neither does), at four module sizes and two resolutions, each
also degraded with ImageMagick (blur, lost contrast, noise, spots, a cut quiet zone,
halved resolution). Each picture goes to zbarimg, ZXingReader and varimark-cli verify.

Agreement: where both readers decode the same data, verify decodes that data too; where
neither decodes, verify grades F or decodes nothing. Prints the tallies, the cases that
disagree, and exits 1 when there is one.

Usage: bench/verify_agreement.py [WORK_DIR]
(varimark-cli from build/bin or $VARIMARK_CLI; needs zbar-tools, zxing-cpp-tools, imagemagick)
"""
import concurrent.futures
import itertools
import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = os.environ.get("VARIMARK_CLI", os.path.join(ROOT, "build", "bin", "varimark-cli"))

SAMPLES = [("EAN_8", "1234567"), ("EAN_13", "400638133393"), ("UPC_A", "03600029145"),
           ("UPC_E", "0123457"), ("CODE39", "VARIMARK-1"), ("CODE25i", "123456"),
           ("CODE25iP", "123456"), ("CODE128_A", "ABC-12"), ("CODE128_B", "Hello, 1!"),
           ("CODE128_C", "123456"), ("Codabar", "A123B")]
MODULES = [0, 2, 5, 9]
DPIS = [300, 600]
# name: ImageMagick operators (a picture's degradation)
DEGRADATIONS = {
    "none": [],
    "blur1": ["-blur", "0x1"],
    "blur3": ["-blur", "0x3"],
    "blur6": ["-blur", "0x6"],
    "blur10": ["-blur", "0x10"],
    "contrast50": ["+level", "50%,100%"],
    "contrast80": ["+level", "80%,100%"],
    "contrast92": ["+level", "92%,100%"],
    "noise": ["-attenuate", "0.6", "+noise", "Gaussian"],
    "spots": ["-attenuate", "0.3", "+noise", "Impulse"],
    "cut-quiet-zone": ["-gravity", "West", "-chop", "{cut}x0"],
    "half-size": ["-resize", "50%"],
}


def run(args):
    return subprocess.run(args, capture_output=True, text=True, errors="replace")


def normal(type_, text):
    """verify's data (as a scanner sends it) reduced to what all readers agree on: no
    Codabar start/stop letters, no leading zeros (UPC shown as EAN)."""
    text = text.strip().upper()
    if type_ == "Codabar":
        text = text.strip("ABCDTN*E")
    return text.lstrip("0")


def same(type_, reader, ours):
    if reader is None or ours is None:
        return False
    a, b = reader.strip().strip("*").upper().lstrip("0"), normal(type_, ours)
    return a == b or a[:-1] == b or b[:-1] == a or a.strip("ABCD") == b


def same_reading(a, b):
    a, b = (x.strip().strip("*").upper().lstrip("0") for x in (a, b))
    return a == b or a[:-1] == b or b[:-1] == a or a.strip("ABCD") == b.strip("ABCD")


def one(case, work):
    (type_, text), module, dpi, degradation = case
    name = os.path.join(work, f"{type_}-{module}-{dpi}-{degradation}")
    plain = name + "-plain.png"
    picture = name + ".png"
    if run([CLI, "render", "--type", type_, "--module", str(module), "--dpi", str(dpi), "-o",
            plain, text]).returncode:
        return case, "render failed", None, None, None
    # 7 modules off the left: what is left of the quiet zone is too narrow (10 or 11 needed).
    cut = int(dpi / 25.4 * (0.27 + 0.39 / 9 * module) * 7)
    operators = [op.replace("{cut}", str(cut)) for op in DEGRADATIONS[degradation]]
    run(["convert", plain, *operators, "-colorspace", "Gray", picture])
    zbar = run(["zbarimg", "-q", "-Supca.enable", "-Supce.enable", picture]).stdout.strip()
    # -noscale: the downscaled pass of Debian's ZXingReader aborts on an assertion with
    # larger pictures, and then nothing is read at all.
    zxing = run(["ZXingReader", "-1", "-noscale", picture]).stdout.strip()
    zbar_data = zbar.split(":", 1)[1] if ":" in zbar else None
    zxing_data = zxing.split('"', 1)[1].rsplit('"', 1)[0] if zxing.count('"') >= 2 else None
    effective_dpi = dpi // 2 if degradation == "half-size" else dpi
    verify = run([CLI, "verify", "--json", "--type", type_, "--dpi", str(effective_dpi), picture])
    report = json.loads(verify.stdout) if verify.stdout.startswith("{") else {}
    for path in (plain, picture):
        os.remove(path)
    return case, None, zbar_data, zxing_data, report


def main():
    work = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="verify-agreement-")
    os.makedirs(work, exist_ok=True)
    cases = list(itertools.product(SAMPLES, MODULES, DPIS, DEGRADATIONS))
    tally = {"the readers disagree": 0, "both read": 0, "both read, verify agrees": 0, "neither reads": 0,
             "neither reads, verify F or nothing": 0, "one reads": 0, "one reads, verify decodes": 0}
    disagreements = []
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        for case, error, zbar, zxing, report in pool.map(lambda c: one(c, work), cases):
            if error:
                disagreements.append((case, error))
                continue
            type_ = case[0][0]
            zbar_ok = zbar is not None and same(type_, zbar, report.get("data"))
            ours = report.get("decoded") and report.get("data")
            if zbar is not None and zxing is not None and not same_reading(zbar, zxing):
                tally["the readers disagree"] += 1
            elif zbar is not None and zxing is not None:
                tally["both read"] += 1
                if ours and zbar_ok:
                    tally["both read, verify agrees"] += 1
                else:
                    disagreements.append((case, f"readers {zbar!r}/{zxing!r}, verify {report.get('data')!r} "
                                                f"{report.get('failure', '')}"))
            elif zbar is None and zxing is None:
                tally["neither reads"] += 1
                if not ours or report.get("grade", 0) < 0.5:
                    tally["neither reads, verify F or nothing"] += 1
                else:
                    disagreements.append((case, f"no reader decodes; verify {report.get('grade_text')}"))
            else:
                tally["one reads"] += 1
                tally["one reads, verify decodes"] += bool(ours)
    print(f"{len(cases)} pictures ({len(SAMPLES)} symbologies x {len(MODULES)} module sizes x "
          f"{len(DPIS)} resolutions x {len(DEGRADATIONS)} degradations)")
    for key, value in tally.items():
        print(f"  {key}: {value}")
    for case, why in disagreements:
        print(f"DISAGREES {case}: {why}")
    return 1 if disagreements else 0


if __name__ == "__main__":
    sys.exit(main())
