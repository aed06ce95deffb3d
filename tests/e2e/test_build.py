"""The built executable as a file: what it imports, its checksum, and that it can be rebuilt;
and what a builder of an updater for other firmware gets from the build's options."""
import hashlib
import os
import re
import subprocess

import pytest

from conftest import BUILD, exe
from harness import pe, wine
from harness.driver import Updater

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


def _configure(tmp_path, *options):
    """Configures a new build folder from tmp_path, as a builder standing there would."""
    return subprocess.run(["cmake", "-S", wine.ROOT, "-B", "refused", *options], cwd=tmp_path,
                          capture_output=True, text=True, timeout=300)


@pytest.mark.parametrize("options, message", [
    (["-DUPDATER_PAYLOAD=firmware.job"], "UPDATER_PAYLOAD: there is no file {tmp}/firmware.job"),
    (["-DUPDATER_PAYLOAD:FILEPATH=firmware.job"],
     "UPDATER_PAYLOAD: there is no file {tmp}/firmware.job"),
    (["-DUPDATER_PAYLOAD={tmp}"], "UPDATER_PAYLOAD: {tmp} is not a readable regular file"),
    (["-DUPDATER_WAIT=4 min"], "UPDATER_WAIT must be the wait in seconds, 1 to 9 digits and "
                               "nothing else (for example 240), not '4 min'"),
    (["-DUPDATER_WAIT=1234567890"], "1 to 9 digits and nothing else (for example 240), not "
                                    "'1234567890'"),
    (["-DUPDATER_WAIT="], "1 to 9 digits and nothing else (for example 240), not ''"),
    (["-DUPDATER_CAPTION=" + "\u00e9" * 255],
     "UPDATER_CAPTION is 255 characters long in code page 1252; the updater keeps at most 254"),
    (["-DUPDATER_CAPTION=\u0141\u00f3d\u017a firmware"],
     "UPDATER_CAPTION: code page 1252 has no '\u0141' (U+0141 LATIN CAPITAL LETTER L WITH "
     "STROKE), no '\u017a' (U+017A LATIN SMALL LETTER Z WITH ACUTE); the updater could not "
     "show them."),
    (["-DUPDATER_CODEPAGE=437"], "UPDATER_CODEPAGE must be a Windows ANSI code page"),
])
def test_a_faulty_option_stops_the_configuration_with_its_message(tmp_path, options, message):
    done = _configure(tmp_path, *(o.format(tmp=tmp_path) for o in options))
    said = " ".join(done.stderr.split())
    assert done.returncode != 0
    assert message.format(tmp=tmp_path) in said, done.stderr
    assert not (tmp_path / "refused" / "Makefile").exists()


def test_the_same_caption_fits_in_a_code_page_that_holds_it(tmp_path):
    done = _configure(tmp_path, "-DUPDATER_CAPTION=\u0141\u00f3d\u017a firmware",
                      "-DUPDATER_CODEPAGE=1250")
    assert done.returncode == 0, done.stderr


CUSTOM_CAPTION = "Model X; Firmware 2.1 \u2013 Caf\u00e9 \u20ac5 \"quoted\" C:\\fw"


@pytest.fixture(scope="module")
def custom(tmp_path_factory):
    """An updater built the README's way from the builder's own folder, with relative paths to
    the build folder and the firmware, and a caption with ';', quotes and non-ASCII text."""
    here = tmp_path_factory.mktemp("builder")
    (here / "firmware.job").write_bytes(os.urandom(200_000))
    done = subprocess.run([os.path.join(wine.ROOT, "scripts", "build.sh"), "--build-dir", "out",
                           "-DUPDATER_PAYLOAD=firmware.job", f"-DUPDATER_CAPTION={CUSTOM_CAPTION}",
                           "-DUPDATER_WAIT=7"], cwd=here, capture_output=True, text=True, timeout=900)
    assert done.returncode == 0, done.stdout + done.stderr
    return here


def test_custom_build_holds_the_whole_caption_the_wait_and_the_firmware(custom):
    resources = pe.resources(custom / "out" / "updater.exe")
    strings = pe.string_block_strings(resources[(pe.RT_STRING, 1, 1033)])
    assert "".join(map(chr, strings[1])) == CUSTOM_CAPTION
    assert "".join(map(chr, strings[2])) == "7"
    assert resources[("FILE", 1013, 1033)] == (custom / "firmware.job").read_bytes()
    # The updater alone: no test programs unless asked for.
    assert not (custom / "out" / "tests").exists()


def test_custom_caption_shows_as_typed(custom, cups):
    cups.set_queues({})
    with Updater(custom / "out" / "updater.exe") as u:
        assert u.main.title == CUSTOM_CAPTION
