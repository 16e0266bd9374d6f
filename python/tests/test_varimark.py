"""The Python module over the installed library: pictures that a reader decodes, the
library's messages on every refusal."""
import os
import shutil
import subprocess
import sys

import pytest

import varimark

EAN = "400638133393"


@pytest.mark.parametrize("type_, text, decoded", [
    ("EAN_13", EAN, "EAN-13:4006381333931"),
    ("EAN_8", "1234567", "EAN-8:12345670"),
    ("UPC_A", "01234567890", "EAN-13:0012345678905"),  # zbar reads UPC-A as EAN-13
    ("CODE39", "VARIMARK-1", "CODE-39:VARIMARK-1"),
    ("CODE128_B", "Hello, World!", "CODE-128:Hello, World!"),
    ("CODE128_C", "123456", "CODE-128:123456"),
    ("code25i", "123456", "I2/5:123456"),
    ("GS1_128", "(00)095011010000000018", "CODE-128:00095011010000000018"),
    ("itf-14", "1540014128876", "I2/5:15400141288763"),
])
@pytest.mark.parametrize("format_", ["png", "bmp"])
def test_picture_decodes_to_its_data(tmp_path, type_, text, decoded, format_):
    if shutil.which("zbarimg") is None:
        pytest.skip("zbarimg (zbar-tools) is not installed")
    path = tmp_path / f"label.{format_}"
    path.write_bytes(varimark.render(text, type=type_, format=format_, dpi=300))
    out = subprocess.run(["zbarimg", "--quiet", str(path)], capture_output=True, text=True)
    assert out.stdout.strip() == decoded


def test_types_are_the_librarys_and_each_encodes():
    assert varimark.TYPES[0] == "EAN_8" and varimark.TYPES[-1] == "ITF_14"
    assert len(varimark.TYPES) == 16
    assert ", ".join(varimark.TYPES) in varimark.__doc__
    for type_ in varimark.TYPES:  # a name the library gives is one it takes
        with pytest.raises(varimark.Error) as refused:
            varimark.encode("", type=type_)  # refused for the text, not the type
        assert "type" not in str(refused.value)


def test_encode_gives_prepared_text_and_pattern():
    code, modules = varimark.encode(EAN)
    assert code == "4006381333931"
    assert len(modules) == 95 and modules.startswith("101") and set(modules) == {"0", "1"}
    assert varimark.encode("12345", type="ean-8", repair=True)[0] == "12345007"


# ITF-14's ratio (None: 2.5, in half modules) and bearer keyword; names of the new types.
@pytest.mark.parametrize("ratio, count", [(None, 241), (2.25, 453), (3, 135), (3.0, 135)])
def test_itf14_ratio(ratio, count):
    assert len(varimark.encode("1540014128876", type="ITF_14", ratio=ratio)[1]) == count


@pytest.mark.parametrize("call, message", [
    (lambda: varimark.encode("1540014128876", type="ITF_14", ratio=2.2),
     "bad ratio 2.2 (3 or 2; ITF_14: 2.25, 2.5, 2.75 or 3)"),
    (lambda: varimark.encode("123", type="CODE39", ratio=2.5), "bad ratio 2.5 (3 or 2)"),
    (lambda: varimark.render("1540014128876", type="ITF_14", bearer="left"),
     "unknown bearer 'left': frame or top-bottom"),
    (lambda: varimark.encode("(17)261331", type="gs1-128"), "(17) 261331: month 13"),
])
def test_gs1_itf_refusals(call, message):
    with pytest.raises(varimark.Error) as e:
        call()
    assert str(e.value) == message


def test_itf14_bearer_styles_differ():
    frame = varimark.render("1540014128876", type="ITF_14", format="bmp")
    bars = varimark.render("1540014128876", type="ITF_14", format="bmp", bearer="top-bottom")
    assert frame != bars and varimark.render(
        "1540014128876", type="ITF_14", format="bmp", bearer="FRAME") == frame


def test_save_writes_what_render_makes(tmp_path):
    for name in ("a.gif", "b.PNG", "c.svg", "d.pdf"):
        varimark.save(tmp_path / name, EAN, dpi=150)
        extension = os.path.splitext(name)[1]
        assert (tmp_path / name).read_bytes() == varimark.render(EAN, format=extension, dpi=150)
    varimark.save(tmp_path / "noext", EAN, format="tif")
    assert (tmp_path / "noext").read_bytes()[:3] == b"II*"


# The library's own messages are checked with its C++ tests; here, that they arrive, and
# the refusals the module makes itself.
@pytest.mark.parametrize("call, message", [
    (lambda: varimark.render(EAN, module=1 << 40), "Bar_SC_Size must be in the range 0..9!"),
    (lambda: varimark.encode("12\x003"), "the text holds a NUL byte (\\x00), which no barcode can carry"),
    (lambda: varimark.encode(EAN, type="EAN_14"), "unknown barcode type 'EAN_14'"),
    (lambda: varimark.render(EAN, format="jpeg"),
     "unknown format 'jpeg': use bmp, gif, tif, jpg, emf, png, svg or pdf"),
    (lambda: varimark.render(EAN, margin=-1), "the margin must not be negative"),
    (lambda: varimark.save("/", EAN, format="png"), "Cannot write file /: it is a directory"),
    (lambda: varimark.save("label", EAN), "'label' has no extension to choose the format"),
])
def test_refusals_raise_error_with_the_message(call, message):
    with pytest.raises(varimark.Error) as raised:
        call()
    assert str(raised.value).startswith(message)


# Each argument of the wrong kind raises TypeError naming it, before the library sees it; a
# switch takes a bool (0 and 1 as well), a value of the right kind out of range is the
# library's refusal.
@pytest.mark.parametrize("call, error, message", [
    (lambda: varimark.render(400638133393), TypeError, "text must be a str, not int"),
    (lambda: varimark.encode(EAN, type=None), TypeError, "type must be a str, not NoneType"),
    (lambda: varimark.encode(EAN, addon=12), TypeError, "addon must be a str, not int"),
    (lambda: varimark.encode(EAN, ratio="3"), TypeError, "ratio must be a number, not str"),
    (lambda: varimark.encode(EAN, ratio=True), TypeError, "ratio must be a number, not bool"),
    (lambda: varimark.render(EAN, module="2"), TypeError, "module must be an int, not str"),
    (lambda: varimark.render(EAN, rotate=90.0), TypeError, "rotate must be an int, not float"),
    (lambda: varimark.render(EAN, bar_height=True), TypeError,
     "bar_height must be an int, not bool"),
    (lambda: varimark.render(EAN, font=None), TypeError, "font must be a str, not NoneType"),
    (lambda: varimark.render(EAN, format=b"png"), TypeError, "format must be a str, not bytes"),
    (lambda: varimark.render(EAN, bearer=0), TypeError, "bearer must be a str, not int"),
    (lambda: varimark.render(EAN, scale=2.5), TypeError, "scale must be an int, not float"),
    (lambda: varimark.render(EAN, dpi="300"), TypeError, "dpi must be an int, not str"),
    (lambda: varimark.render(EAN, margin=1.0), TypeError, "margin must be an int, not float"),
    (lambda: varimark.render(EAN, zoom="no"), TypeError, "zoom must be a bool, not str"),
    (lambda: varimark.render(EAN, text_line=None), TypeError,
     "text_line must be a bool, not NoneType"),
    (lambda: varimark.render(EAN, quiet_zones="yes"), TypeError,
     "quiet_zones must be a bool, not str"),
    (lambda: varimark.encode(EAN, repair=[]), TypeError, "repair must be a bool, not list"),
    (lambda: varimark.render(EAN, monochrome=2), varimark.Error, "monochrome takes 0 or 1"),
    (lambda: varimark.render(EAN, high_density=2), varimark.Error,
     "high_density takes 0 or 1"),
    (lambda: varimark.save(None, EAN), TypeError, "expected str, bytes or os.PathLike object"),
    (lambda: varimark.verify(12), TypeError, "expected str, bytes or os.PathLike object"),
    (lambda: varimark.verify(b"x", type=13), TypeError, "type must be a str, not int"),
    (lambda: varimark.verify(b"x", aperture="6"), TypeError, "aperture must be a number"),
    (lambda: varimark.verify(b"x", min_grade=None), TypeError, "min_grade must be a number"),
    (lambda: varimark.verify(b"x", reflectance_black=True), TypeError,
     "reflectance_black must be a number, not bool"),
    (lambda: varimark.verify(b"x", gs1="yes"), TypeError, "gs1 must be a bool, not str"),
    (lambda: varimark.verify(varimark.render(EAN), min_grade=5), varimark.Error,
     "the minimum grade must be 0 to 4"),
])
def test_arguments_of_the_wrong_kind_are_refused(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value).startswith(message)


@pytest.mark.parametrize("on", [True, 1])
def test_a_switch_takes_a_bool_or_its_number(on):
    assert varimark.render(EAN, zoom=on) == varimark.render(EAN, zoom=True)
    assert varimark.render(EAN, zoom=0) == varimark.render(EAN)


def test_a_failed_save_leaves_the_old_file(tmp_path):
    path = tmp_path / "label.png"
    path.write_bytes(b"old")
    with pytest.raises(varimark.Error):
        varimark.save(path, "1" * 51, type="CODE128_B")
    assert path.read_bytes() == b"old"
    assert os.listdir(tmp_path) == ["label.png"]


def test_a_missing_library_fails_the_import_with_what_to_install():
    env = dict(os.environ, VARIMARK_LIBRARY="/nonexistent/libvarimark.so.1")
    out = subprocess.run([sys.executable, "-c", "import varimark"], env=env,
                         capture_output=True, text=True)
    assert out.returncode != 0
    assert "ImportError: varimark needs the library /nonexistent/libvarimark.so.1" in out.stderr
    assert "libvarimark1" in out.stderr


def test_verify_grades_our_own_picture():
    report = varimark.verify(varimark.render(EAN, dpi=600), dpi=600)
    assert report["decoded"] and report["passed"]
    assert report["data"] == "4006381333931" and report["type"] == "EAN_13"
    assert report["grade_text"] == "4.0/06/660"
    assert len(report["profiles"]) == 10
    assert set(report["profiles"][0]) >= {"grade", "decode", "symbol_contrast", "modulation",
                                          "defects", "decodability"}


def test_verify_reads_a_path_and_reports_what_it_cannot_decode(tmp_path):
    path = tmp_path / "label.png"
    varimark.save(path, EAN, dpi=600)
    assert varimark.verify(path, "EAN_13", dpi=600)["letter"] == "A"
    report = varimark.verify(path, "CODE39", dpi=600)
    assert not report["decoded"] and not report["passed"]
    assert report["failure"] == "no start character"


@pytest.mark.parametrize("call, error, message", [
    (lambda: varimark.verify(b"not a picture"), varimark.Error, "not a PNG, BMP, TIFF, GIF or JPEG"),
    (lambda: varimark.verify(varimark.render(EAN), "EAN_14"), varimark.Error,
     "unknown barcode type 'EAN_14'"),
    (lambda: varimark.verify(varimark.render(EAN), min_grade="E"), varimark.Error, "unknown grade"),
    (lambda: varimark.verify(varimark.render(EAN), dpi="600"), TypeError, "dpi must be a number"),
])
def test_verify_refusals(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)


# What each profile was measured on, for our own EAN-13 at 600 dpi (X about 8 pixels): 30
# bars, so 60 edges; black 0 % and white 100 %, so the global threshold at 50 %.
@pytest.mark.parametrize("key, holds", [
    ("line", lambda p: sorted(p["line"]) == ["count", "dx", "dy", "x", "y"]
     and p["line"]["count"] == len(p["reflectance"]) and abs(p["line"]["dx"]) == 1),
    ("reflectance", lambda p: len(p["reflectance"]) > 95 * 8
     and min(p["reflectance"]) < 5 and max(p["reflectance"]) > 95),
    ("edges", lambda p: len(p["edges"]) == 60 and p["edges"] == sorted(p["edges"])
     and 0 < p["edges"][0] and p["edges"][-1] < len(p["reflectance"])),
    ("threshold", lambda p: p["threshold"] == pytest.approx((p["rmin"] + p["rmax"]) / 2, abs=0.1)),
])
def test_verify_profiles_carry_what_was_measured(key, holds):
    report = varimark.verify(varimark.render(EAN, dpi=600), dpi=600)
    assert all(holds(p) for p in report["profiles"]), key
