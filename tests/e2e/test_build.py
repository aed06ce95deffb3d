"""The built executable as a file: what it imports, its checksum, and that it can be rebuilt."""
import hashlib
import os
import re
import subprocess

import pytest

from conftest import BUILD, exe
from harness import pe, wine

# The libraries the system always loads from its own folder, whatever lies beside the program.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "ws2_32.dll",
              "msvcrt.dll", "advapi32.dll", "shell32.dll", "ole32.dll"}
VARIANTS = ["updater", "updater-wait2", "updater-no-payload"]


@pytest.mark.parametrize("name", VARIANTS)
def test_imports_only_known_dlls(name):
    imported = {dll.lower() for dll in pe.imported_dlls(exe(name))}
    assert "kernel32.dll" in imported
    assert imported <= KNOWN_DLLS, imported - KNOWN_DLLS


@pytest.mark.parametrize("name", VARIANTS)
def test_header_checksum_is_correct(name):
    assert pe.checksum_field(exe(name)) == pe.computed_checksum(exe(name)) != 0


def _cache_value(name):
    text = open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8").read()
    return re.search(rf"^{name}:[A-Z]+=(.*)$", text, re.M).group(1)


def test_a_second_build_elsewhere_is_byte_identical(tmp_path):
    options = [f"-D{name}={_cache_value(name)}"
               for name in ("UPDATER_CAPTION", "UPDATER_WAIT", "UPDATER_PAYLOAD")]
    other = tmp_path / "build"
    subprocess.run(["cmake", "-S", wine.ROOT, "-B", str(other), "-DUPDATER_TESTS=OFF", *options],
                   check=True, capture_output=True, timeout=300)
    subprocess.run(["cmake", "--build", str(other), "--target", "updater", "-j2"],
                   check=True, capture_output=True, timeout=900)
    digest = [hashlib.sha256(open(path, "rb").read()).hexdigest()
              for path in (exe("updater"), other / "updater.exe")]
    assert digest[0] == digest[1]
