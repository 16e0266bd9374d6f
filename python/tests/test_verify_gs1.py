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
    assert "size_checks" not in gs1  # sizes only with the command line's --gs1


def test_verify_reports_no_gs1_for_other_data():
    assert "gs1" not in varimark.verify(varimark.render("400638133393", dpi=600), dpi=600)
