"""verify()["gs1"]: a GS1-128 label's AIs and their faults, from the report's JSON."""

import pytest

import varimark

# The label's date 261331 has month 13: the symbol grades A, its GS1 data fails. Drawn as
# Code 128 B with FNC1 (\x86) first, so that the making checks no AI.
LABEL = "\\x86" "0109501101530003" "17261331" "10AB-123"


@pytest.mark.parametrize("text, type, escapes, ais, faults", [
    ("(01)09501101530003(17)260131(10)AB-123", "GS1_128", False,
     [("01", "09501101530003"), ("17", "260131"), ("10", "AB-123")], []),
    (LABEL, "CODE128_B", True,
     [("01", "09501101530003"), ("17", "261331"), ("10", "AB-123")],
     ["(17) 261331: month 13"]),
])
def test_verify_reports_gs1_data(text, type, escapes, ais, faults):
    report = varimark.verify(varimark.render(text, type, dpi=600, escapes=escapes), dpi=600)
    assert report["type"] == "GS1_128" and report["identifier"] == "]C1"
    assert report["grade_text"].startswith("4.0/")
    gs1 = report["gs1"]
    assert [(e["ai"], e["data"]) for e in gs1["ais"]] == ais
    assert gs1["faults"] == faults and gs1["passed"] == (not faults)
    assert "size_checks" not in gs1  # sizes only when asked for


# gs1=True adds the size checks. The default module (SC2) at 600 dpi draws X = 8 px =
# 0.339 mm, below GS1-128's smallest X of 0.495 mm; SC9 draws 16 px = 0.677 mm, inside.
@pytest.mark.parametrize("module, x_passes", [(2, False), (9, True)])
def test_verify_gs1_checks_the_size(module, x_passes):
    picture = varimark.render("(00)095011015300000003", "GS1_128", module=module, dpi=600)
    checks = varimark.verify(picture, dpi=600, gs1=True)["gs1"]["size_checks"]
    x = next(c for c in checks if c["name"].startswith("X"))
    assert x["passed"] == x_passes and x["min"] == 0.495 and x["max"] == 1.016


def test_verify_reports_no_gs1_for_other_data():
    assert "gs1" not in varimark.verify(varimark.render("400638133393", dpi=600), dpi=600)
