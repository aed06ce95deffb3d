#!/usr/bin/env python3
"""Makes the README's screenshots of the real updater under Wine. Run it inside a virtual
display with the build's wineserver running, as scripts/screenshots.sh does."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

from harness import wine  # noqa: E402
from harness.cups import Cups  # noqa: E402
from harness.driver import Updater, keys, wait_until  # noqa: E402
from harness.printers import Printer  # noqa: E402

SEND, NET, HOST, LIST, PICTURE = 1001, 1003, 1011, 1010, 1012


def shoot(window, name):
    r = window.rect
    subprocess.run(["import", "-window", "root", "-crop",
                    f"{r.right - r.left}x{r.bottom - r.top}+{r.left}+{r.top}", "+repage",
                    os.path.join(HERE, name)], check=True, timeout=30)


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
