"""A DLL named like a system one, left beside the updater (as in a Downloads folder), is never
loaded; the libraries the updater loads itself come from the system folder."""
import os
import shutil
import subprocess

from conftest import BUILD, CONFIG_PAGE_JOB, exe
from harness import wine
from harness.driver import Updater
from helpers import CONFIG, expect_box, to_network

PLANTED = os.path.join(BUILD, "tests", "planted", "wsock32.dll")
IMPORTER = os.path.join(BUILD, "tests", "planted", "wsock32_importer.exe")
MARKER = "planted-dll-loaded.marker"
_plain_env = wine.env


def _preferring_planted():
    """Wine told to take a native wsock32.dll where the loader finds one, as Windows does."""
    e = _plain_env()
    e["WINEDLLOVERRIDES"] += ";wsock32=n,b"
    return e


def test_planted_wsock32_is_not_loaded(tmp_path, printers, cups, monkeypatch):
    cups.set_queues({})
    shutil.copy(exe("updater-wait2"), tmp_path / "updater.exe")
    shutil.copy(PLANTED, tmp_path / "wsock32.dll")
    monkeypatch.setattr(wine, "env", _preferring_planted)
    printer = printers(port=9100)
    with Updater(tmp_path / "updater.exe") as u:
        to_network(u)
        u.main.control(CONFIG).click()
        expect_box(u, "Info", "Sent Configuration Page")
    assert printer.wait_connections(1) == [CONFIG_PAGE_JOB]
    assert not (tmp_path / MARKER).exists()


def test_the_planted_dll_is_loaded_by_a_program_that_imports_it(tmp_path):
    """The control case: the same planting does reach a program importing wsock32.dll."""
    shutil.copy(IMPORTER, tmp_path / "importer.exe")
    shutil.copy(PLANTED, tmp_path / "wsock32.dll")
    subprocess.run(["wine", str(tmp_path / "importer.exe")], env=_preferring_planted(),
                   capture_output=True, timeout=120, check=True)
    assert (tmp_path / MARKER).exists()
