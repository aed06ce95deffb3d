#!/usr/bin/env python3
"""The demo printer of scripts/run.sh and what runs beside it; scripts/demo.sh starts this in
namespaces of its own.

The demo printer is real: a private cupsd with one raw queue, Demo-printer, whose device is
p910nd on 127.0.0.1:9100 (CUPS's socket backend connects to it); p910nd writes each job to a pty
whose other end writes every byte to demo/received.bin in the build folder, and reports a
status back now and then as a printer does. The updater reaches it both ways: through the
spooler, or in network mode at 127.0.0.1.

  demo.py window  the build's updater on the current display; a report when it ends
  demo.py tour    a narrated tour that drives the updater (its short-wait build) on the
                  display as a user would, with a screenshot of each step, ending with the
                  report; exit status 0 only if every byte arrived
"""
import contextlib
import hashlib
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import pe, wine  # noqa: E402
from harness.cups import Cups  # noqa: E402
from harness.driver import (DriverError, Updater, click_center, keys, screen_pixels,  # noqa: E402
                            wait_until, x_window)
from harness.printers import RAW_PORT, DevicePrinter, tcp_sockets  # noqa: E402
from helpers import CONFIG, EXIT, HOST, PICTURE, SEND, progress, select  # noqa: E402

QUEUE = "Demo-printer"
CONFIG_JOB = b"\x1b%-12345X@PJL DEFAULT TESTPAGE=SELFTEST\n\x1b%-12345X"
UPDATE_CANCEL = 1007
PICTURE_STYLES = (0x3, 0xE)  # SS_ICON, SS_BITMAP
FOLDER = os.path.join(wine.BUILD, "demo")
RECEIVED = os.path.join(FOLDER, "received.bin")
SLOW = 300  # seconds any one step may take, under emulation too


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def shown(path):
    return os.path.relpath(path) if path.startswith(os.getcwd() + os.sep) else path


@contextlib.contextmanager
def demo_printer():
    """Starts the demo printer, then the wineserver (which reads the queue list as it starts);
    stops them again."""
    os.makedirs(FOLDER, exist_ok=True)
    for name in os.listdir(FOLDER):  # the last tour's screenshots
        if name.endswith(".png"):
            os.remove(os.path.join(FOLDER, name))
    with contextlib.ExitStack() as stack:
        sink = stack.enter_context(open(RECEIVED, "wb"))
        device = stack.enter_context(DevicePrinter(rate=16 << 20, sink=sink))
        cups = Cups()
        stack.callback(cups.stop)
        cups.start().set_queues({QUEUE: RAW_PORT})
        yield device


def settled():
    """No job waits in CUPS and no connection to p910nd is open: the bytes sent are in."""
    jobs = subprocess.run(["lpstat", "-o"], capture_output=True, text=True, timeout=60).stdout
    return not jobs.strip() and not tcp_sockets(RAW_PORT)


def jobs(data, firmware):
    """The received bytes as the jobs they hold, in order: (name, bytes)."""
    known = (("the firmware", firmware), ("the configuration job", CONFIG_JOB))
    found, at = [], 0
    while at < len(data):
        for name, job in known:
            if job and data.startswith(job, at):
                found.append((name, job))
                at += len(job)
                break
        else:
            starts = [data.find(job, at + 1) for _, job in known if job]
            end = min([s for s in starts if s > 0], default=len(data))
            found.append(("other bytes", data[at:end]))
            at = end
    return found


def report(data, firmware, exe):
    """The closing report; the names of the jobs received."""
    print(f"\nThe demo printer received {len(data):,} bytes, in {shown(RECEIVED)}.")
    print(f"The firmware embedded in {os.path.basename(exe)}: {len(firmware):,} bytes, "
          f"SHA-256 {sha256(firmware)}")
    found = jobs(data, firmware)
    for number, (name, job) in enumerate(found, 1):
        whole = ", whole: equal to the embedded firmware" if name == "the firmware" else ""
        print(f"  job {number}: {len(job):,} bytes, SHA-256 {sha256(job)}: {name}{whole}")
    return [name for name, _ in found]


def embedded_firmware(exe):
    """The payload entry of the executable's resources (the language-neutral one first)."""
    entries = {lang: data for (kind, name, lang), data in pe.resources(exe).items()
               if (kind, name) == ("FILE", 1013)}
    return entries[min(entries)]


def painted(window):
    """Every visible control of the window shows something on the screen: none is one flat
    colour, but a picture control without a picture."""
    whole = window.rect
    pixels = screen_pixels(whole)
    for control in window.controls(texts=False):
        rect = control.screen_rect
        left, top = max(rect.left, whole.left), max(rect.top, whole.top)
        right, bottom = min(rect.right, whole.right), min(rect.bottom, whole.bottom)
        if not control.visible or right <= left or bottom <= top:
            continue
        colours = {pixel for y in range(top - whole.top, bottom - whole.top)
                   for pixel in pixels[y * whole.width + left - whole.left:
                                       y * whole.width + right - whole.left]}
        picture = control.class_name == "Static" and control.style & 0x1F in PICTURE_STYLES
        if len(colours) == 1 and not (picture and window.control(control.id).image == 0):
            return False
    return True


def shoot(window, path):
    """The window as a user sees it on the screen, once painted: its frame, title bar included."""
    wait_until(lambda: painted(window), SLOW, f"{window.title!r} to be painted")

    def xwininfo(*args):
        return subprocess.run(["xwininfo", *args], capture_output=True, text=True, check=True,
                              timeout=30).stdout

    wid = x_window(window)
    while True:  # up to the window manager's frame, just below the root
        tree = xwininfo("-tree", "-id", wid)
        parent = re.search(r"Parent window id: (0x[0-9a-f]+)", tree).group(1)
        if parent == re.search(r"Root window id: (0x[0-9a-f]+)", tree).group(1):
            break
        wid = parent
    info = xwininfo("-id", wid)
    x, y, width, height = (int(re.search(rf"{label}:\s+(-?\d+)", info).group(1)) for label in
                           ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
    # The pointer, left on the last button clicked, would light it up.
    subprocess.run(["xdotool", "mousemove", "0", "0"], check=True, timeout=30)
    subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                    "+repage", path], check=True, timeout=30)


class Tour:
    def __init__(self, device, firmware):
        self.device, self.firmware = device, firmware
        self.step = 0
        self.expected = b""

    def say(self, text):
        self.step += 1
        print(f"{self.step}. {text}", flush=True)

    def shoot(self, window, name):
        path = os.path.join(FOLDER, name)
        shoot(window, path)
        print(f"   screenshot: {shown(path)}", flush=True)

    def arrives(self, job, what):
        """Waits until the demo printer has the job after the ones before it; says how it came."""
        start = len(self.expected)
        self.expected += job
        got = self.device.wait_bytes(len(self.expected), SLOW)[start:len(self.expected)]
        verdict = "equal" if got == job else "NOT EQUAL"
        print(f"   the demo printer has {what}: {len(got):,} bytes, SHA-256 {sha256(got)}: "
              f"{verdict} to what the updater holds", flush=True)

    def send(self, u, prefix, how):
        self.say(f"Send Firmware: the firmware goes {how}. The buttons are disabled while the "
                 "progress bar fills over the wait.")
        click_center(u.main.control(SEND))
        bar = u.main.control_by_class("msctls_progress32")
        wait_until(lambda: u.filled_pixels(bar) > 0, SLOW, "the progress bar to fill")
        self.shoot(u.main, f"{prefix}sending.png")
        wait_until(lambda: u.main.control(PICTURE).image != 0, SLOW, "the smiling face")
        position, _, high = progress(u)
        self.say(f"The wait is over: the bar is full ({position} of {high}), the smiling face shows"
                 " and Send Firmware stays disabled for this run.")
        self.shoot(u.main, f"{prefix}after-send.png")
        self.arrives(self.firmware, "the firmware")

    def print_config(self, u, prefix, how):
        self.say(f"Print Config: the 49-byte configuration job goes {how}.")
        click_center(u.main.control(CONFIG))
        box = u.message_box(SLOW)
        self.shoot(box.window, f"{prefix}config-sent.png")
        print(f"   the updater says: {box.caption}: {box.text}")
        box.ok()
        self.arrives(CONFIG_JOB, "the configuration job")

    def exit(self, u):
        self.say("Exit.")
        click_center(u.main.control(EXIT))
        u.wait_exit(SLOW)

    def run(self, exe):
        name = os.path.basename(exe)
        with Updater(exe, timeout=SLOW) as u:
            self.say(f"The updater ({name}: this build's updater with a wait of seconds) shows "
                     f"its main dialog; {QUEUE} is chosen in its printer list, which the "
                     "spooler filled.")
            select(u, QUEUE)
            self.shoot(u.main, "printer-mode.png")
            self.send(u, "", "to the spooler as one RAW job, through CUPS's socket backend to "
                      "p910nd")
            self.print_config(u, "", "the same way")
            self.exit(u)
        with Updater(exe, timeout=SLOW) as u:
            self.say("The updater again: Alt+N switches it to network mode; 127.0.0.1 goes into "
                     "the network field.")
            keys(u.main, "alt+n")
            wait_until(lambda: u.main.control(HOST).visible, SLOW, "the network field")
            u.main.control(HOST).set_text("127.0.0.1")
            self.shoot(u.main, "network-mode.png")
            self.send(u, "network-", "straight to port 9100 of 127.0.0.1, where p910nd listens")
            self.print_config(u, "network-", "to port 9100 too")
            self.say("Alt+U opens the hidden repackager, which writes a copy of the updater with "
                     "another caption, wait and image; Cancel closes it.")
            keys(u.main, "alt+u")
            repackager = u.window("Update Internal Resources", SLOW)
            self.shoot(repackager, "repackager.png")
            click_center(repackager.control(UPDATE_CANCEL))
            repackager.wait_closed(SLOW)
            self.exit(u)


def interrupt(*_):
    """Ctrl+C: the terminal interrupts the updater and its driver too, whose end may be seen
    first as a failure."""
    global interrupted
    interrupted = True
    raise KeyboardInterrupt


interrupted = False


def main(mode):
    signal.signal(signal.SIGINT, interrupt)
    exe = os.path.join(wine.BUILD, "updater-tour.exe" if mode == "tour" else "updater.exe")
    firmware = embedded_firmware(exe)
    started = time.monotonic()
    failed = None
    with demo_printer() as device:
        try:
            if mode == "tour":
                print(f"The demo printer: the raw queue {QUEUE} of a private cupsd, and p910nd on "
                      f"127.0.0.1:9100 writing to {shown(RECEIVED)}. The tour:", flush=True)
                Tour(device, firmware).run(exe)
            else:
                print(f"The updater's window is open. Its printer list has {QUEUE}, and network "
                      f"mode (Alt+N) reaches the same printer at 127.0.0.1; what it receives "
                      f"goes to {shown(RECEIVED)}. The report follows when the updater ends.",
                      flush=True)
                code = subprocess.run(["wine", exe]).returncode
                failed = f"the updater ended with status {code}" if code else None
            wait_until(settled, SLOW, "the jobs to reach the demo printer")
        except KeyboardInterrupt:
            pass
        except DriverError as error:
            failed = str(error)
        names = report(bytes(device.received), firmware, exe)
    if mode == "tour":
        print(f"The tour took {time.monotonic() - started:.0f} s; its screenshots are the "
              f"*.png in {shown(FOLDER)}.")
        expected = ["the firmware", "the configuration job"] * 2
        if not (interrupted or failed) and names != expected:
            failed = f"the demo printer should have received {expected}"
    if interrupted:
        print("Interrupted.")
        return 130
    if failed:
        print(f"FAILED: {failed}")
        return 1
    if mode == "tour":
        print("Every byte arrived: the firmware whole both ways, and the configuration job.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
