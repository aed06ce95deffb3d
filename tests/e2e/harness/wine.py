"""The Wine environment the tests share with the build's scripts."""
import os
import subprocess

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
BUILD = os.environ.get("UPDATER_BUILD_DIR", os.path.join(ROOT, "build"))


def env():
    e = dict(os.environ)
    e.setdefault("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
    e["WINEARCH"] = "win32"
    e.setdefault("WINEDEBUG", "-all")
    e["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    return e


def _quiet(*args, timeout=180):
    subprocess.run(args, env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout, check=False)


def restart_server(tries=2):
    """Restarts the persistent wineserver: Wine reads the spooler's queue list when it starts.
    Its services start with their output detached, so they hold no test's pipes open. Under
    emulation a start has hung for minutes on an idle machine: that one is begun again."""
    _quiet("wineserver", "-k")
    _quiet("wineserver", "-w")
    _quiet("wineserver", "-p")
    try:
        _quiet("wine", "cmd.exe", "/c", "exit", timeout=120 if tries > 1 else 180)
    except subprocess.TimeoutExpired:
        if tries == 1:
            raise
        restart_server(tries - 1)


def windows_path(path):
    out = subprocess.run(["winepath", "-w", path], env=env(), capture_output=True, text=True,
                         timeout=30, check=True)
    return out.stdout.strip()
