"""The README's install command works offline on Debian: a venv that sees
Debian's packages, built with Debian's setuptools, no index consulted."""
from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

PACKAGE_ROOT = Path(__file__).resolve().parent.parent


def test_pip_install_into_a_venv_needs_no_download(lib, tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    # pip copies the source tree first; a copy keeps build/ and egg-info out of python/.
    subprocess.run([str(venv / "bin" / "pip"), "install", "--quiet", "--no-index",
                    "--no-build-isolation", str(PACKAGE_ROOT)], check=True, cwd=tmp_path)
    environment = dict(os.environ, KORVI_LIBRARY=lib.path)
    environment.pop("PYTHONPATH", None)
    out = subprocess.run(
        [str(venv / "bin" / "python"), "-c",
         "import korvi; print(korvi.__file__); print(korvi.fingerprint('john smith jr', short=True))"],
        check=True, capture_output=True, text=True, cwd=tmp_path, env=environment).stdout.splitlines()
    assert out[0].startswith(str(venv))
    assert out[1] == "['07e965b4d1d8a439', 'cb0ca6abc12be5b4']"  # the README's worked example
