"""tests/scanner.exe under Wine: a stand-in for a virus scanner that holds each new file of a
folder open for reading for a moment."""
import subprocess
import threading
from pathlib import Path

from . import wine
from .driver import DriverError, wait_until, windows_path


class Scanner:
    """A context manager: watches `folder` from entry to exit; `held` lists the names of the
    files it held open, in order."""

    def __init__(self, folder, hold_ms=300):
        exe = Path(wine.BUILD) / "tests" / "scanner.exe"
        if not exe.is_file():
            raise DriverError(f"{exe} is missing: cmake --build {wine.BUILD} --target scanner")
        self.held = []
        self._watching = threading.Event()
        self._process = subprocess.Popen(
            ["wine", str(exe), windows_path(folder), str(hold_ms)],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            env=wine.env())
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self._process.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            if line == "watching":
                self._watching.set()
            elif line.startswith("held "):
                self.held.append(line[len("held "):])

    def __enter__(self):
        try:
            wait_until(lambda: self._watching.is_set() or self._process.poll() is not None,
                       timeout=60, what="the scanner to start watching")
            if not self._watching.is_set():
                raise DriverError(f"the scanner ended with exit code {self._process.poll()}")
        except BaseException:
            self._stop()
            raise
        return self

    def __exit__(self, *exc):
        self._stop()

    def _stop(self):
        try:
            self._process.stdin.close()
            self._process.wait(timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            self._process.kill()
            self._process.wait(timeout=10)
        self._reader.join(timeout=10)
