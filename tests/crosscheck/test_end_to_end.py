"""verify end to end against the cross-check: bench/verify_crosscheck.py --quick draws a few
pictures, verifies them with the varimark-cli named by $VARIMARK_CLI (ctest gives the one
just built) and compares verify's profiles and grades with ours; it exits 1 below 95 %
agreement or when a picture cannot be made or verified."""
import os
import shutil
import subprocess
import sys

import pytest

BENCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench",
                     "verify_crosscheck.py")


@pytest.mark.skipif(not os.environ.get("VARIMARK_CLI"), reason="$VARIMARK_CLI names no varimark-cli")
@pytest.mark.skipif(shutil.which("convert") is None, reason="ImageMagick's convert is not installed")
def test_quick_agreement(tmp_path):
    out = subprocess.run([sys.executable, BENCH, "--quick", "--jobs", "2", str(tmp_path)],
                         capture_output=True, text=True)
    assert out.returncode == 0 and "agreement reached" in out.stdout, out.stdout[-4000:] + out.stderr[-2000:]
