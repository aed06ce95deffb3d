#!/usr/bin/env python3
"""Makes the README's screenshots of the real updater under Wine. Run it inside a virtual
display with the build's wineserver running, as scripts/screenshots.sh does."""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

from harness import wine  # noqa: E402
from harness.cups import Cups  # noqa: E402
from harness.driver import Updater, keys, wait_until, x_window  # noqa: E402
from harness.printers import Printer  # noqa: E402

SEND, NET, HOST, LIST, PICTURE = 1001, 1003, 1011, 1010, 1012


def xwininfo(*args):
    return subprocess.run(["xwininfo", *args], capture_output=True, text=True, check=True,
                          timeout=30).stdout


def frame(wid):
    """The window manager's frame around an X window: its ancestor just below the root."""
    while True:
        tree = xwininfo("-tree", "-id", wid)
        root = re.search(r"Root window id: (0x[0-9a-f]+)", tree).group(1)
        parent = re.search(r"Parent window id: (0x[0-9a-f]+)", tree).group(1)
        if parent == root:
            return wid
        wid = parent


def shoot(window, name):
    """The window as a user sees it on the screen: its frame, title bar included."""
    info = xwininfo("-id", frame(x_window(window)))
    x, y, width, height = (int(re.search(rf"{label}:\s+(-?\d+)", info).group(1)) for label in
                           ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
    subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                    "+repage", os.path.join(HERE, name)], check=True, timeout=30)


def exe(name):
    return os.path.join(wine.BUILD, name + ".exe")


def main():
    cups = Cups().start()
    printer = Printer()
    try:
        cups.set_queues({"Office-MFP-2nd-floor": printer.port, "Workshop-Printer": printer.port})
        with Updater(exe("updater")) as u:
            u.main.control(LIST).select(0)
            shoot(u.main, "printer-mode.png")
            u.main.control(NET).command()
            wait_until(lambda: u.main.control(HOST).visible)
            u.main.control(HOST).set_text("192.0.2.40")
            shoot(u.main, "network-mode.png")
            keys(u.main, "alt+u")
            shoot(u.window("Update Internal Resources"), "repackager.png")
        with Updater(exe("updater-wait2")) as u:
            u.main.control(LIST).select(0)
            u.main.control(SEND).click()
            wait_until(lambda: u.main.control(PICTURE).image != 0, timeout=120)
            shoot(u.main, "after-send.png")
    finally:
        printer.close()
        cups.stop()


if __name__ == "__main__":
    main()
