"""Benchmarks of the real updater against references doing the same work on the same machine.

Run by bench/run.sh inside a private network namespace and virtual display, with its own Wine
prefix, so port 9100, the wineserver and the X server are ours alone. Prints a table to stdout.
"""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time
import queue

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import driver, wine  # noqa: E402
from harness.cups import Cups  # noqa: E402
from harness.driver import Updater, _Driver, keys, wait_until, windows_path  # noqa: E402

RUNS = int(os.environ.get("BENCH_RUNS", "9"))
WORK = os.path.join(wine.BUILD, "bench")
PAYLOAD = os.path.join(wine.BUILD, "payload", "default-payload.bin")
BIG = os.path.join(WORK, "alternate-256m.bin")
# A copy under its own name, so its Linux process is told apart from anyone else's updater.
UPDATER = os.path.join(WORK, "bench-updater-wait2.exe")
MINIMAL = os.path.join(WORK, "minimal_dialog.exe")
FLOOR = os.path.join(WORK, "floor.exe")
SEND, NET, LIST, HOST = 1001, 1003, 1010, 1011
CHOOSER = "Select an alternate download file"
QUEUE = "bench"
FIRST_BYTES = {}  # (file, spooler): median time from the click / go to the first byte
driver.POLL_INTERVAL = 0.005  # the harness polls every 50 ms; start-up times need finer steps


class Listener:
    """A loopback printer on 127.0.0.1:9100 that only counts bytes and stamps the last one."""

    def __init__(self, port=9100):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", port))
        self.sock.listen(8)
        self.done = queue.Queue()
        self.firsts = []  # time of each connection's first byte
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        buf = bytearray(4 << 20)
        while True:
            conn, _ = self.sock.accept()
            count, last, first = 0, time.monotonic(), None
            with conn:
                while n := conn.recv_into(buf):
                    count, last = count + n, time.monotonic()
                    first = first or last
            self.firsts.append(first or last)
            self.done.put((count, last))

    def end_of(self, size, timeout=300):
        """Time of the last byte of the next connection, which must carry `size` bytes."""
        count, last = self.done.get(timeout=timeout)
        if count != size:
            raise RuntimeError(f"listener got {count} bytes, expected {size}")
        return last


class Appearances:
    """Notes when files appear in a folder (Wine's and CUPS's spool files); Wine reuses job
    numbers, so a name seen again after it went away counts as a new file."""

    def __init__(self, folder):
        self.folder, self.times = folder, []
        threading.Thread(target=self._poll, daemon=True).start()

    def _poll(self):
        present = set()
        while True:
            try:
                names = set(os.listdir(self.folder))
            except OSError:
                names = set()
            now = time.monotonic()
            self.times += [now] * len(names - present)
            present = names
            time.sleep(0.001)

    def first_after(self, t0):
        return next((t for t in self.times if t >= t0), None)


def median(values):
    return statistics.median(values)


def quartiles(values):
    """The first and third quartiles: the middle half of the runs lies between them."""
    if len(values) < 2:
        return values[0], values[0]
    q = statistics.quantiles(values, n=4, method="inclusive")
    return q[0], q[2]


def choose_alternate(u, path):
    keys(u.main, "alt+f")
    u.choose_file(CHOOSER, path)
    wait_until(lambda: boxes(u), 30, "the Info box")[0].ok()


def boxes(u):
    """The open message boxes; none while a window vanishes mid-listing (the chooser closing)."""
    try:
        return u.message_boxes()
    except driver.DriverTimeout:
        raise
    except driver.DriverError:
        return []


def linux_pid(name):
    """The Wine process running our copy `name` in our prefix."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            cmd = open(f"/proc/{pid}/cmdline", "rb").read()
            env = open(f"/proc/{pid}/environ", "rb").read()
        except OSError:
            continue
        if name.encode() in cmd and f"WINEPREFIX={os.environ['WINEPREFIX']}".encode() in env:
            return pid
    raise RuntimeError(f"no Linux process for {name}")


def rss_anon_kb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("RssAnon:"):
            return int(line.split()[1])
    return 0


def updater_send(listener, path, size, spooler=False, memory=None):
    """Click to last byte for one fresh updater; memory collects RssAnon growth in KB."""
    with Updater(UPDATER) as u:
        pid = linux_pid(os.path.basename(UPDATER)) if memory is not None else None
        before = rss_anon_kb(pid) if pid else 0
        if path:
            choose_alternate(u, path)
        if spooler:
            combo = u.main.control(LIST)
            combo.select(combo.items.index(QUEUE))
        else:
            u.main.control(NET).command()
            wait_until(lambda: u.main.control(HOST).visible)
            u.main.control(HOST).set_text("127.0.0.1")
        t0 = time.monotonic()
        u.main.control(SEND).click()
        end = listener.end_of(size)
        if pid:
            memory.append(rss_anon_kb(pid) - before)
        return t0, end


def reference_send(listener, argv, size, stdin_path=None):
    with open(stdin_path or os.devnull, "rb") as stdin:
        t0 = time.monotonic()
        subprocess.run(argv, check=True, stdin=stdin, stdout=subprocess.DEVNULL)
    return t0, listener.end_of(size)


def floor_run(args, listener=None, size=None):
    """One run of the platform floor: (go to the listener's last byte, or to the process's end;
    the time of go)."""
    p = subprocess.Popen(["wine", FLOOR, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    ready = p.stdout.readline().split()
    if ready[:1] != [b"ready"]:
        raise RuntimeError(f"floor {args[0]} did not start")
    # Go goes the way a click goes to the updater: from the UI driver, as a posted message.
    driver_ready = go_driver()
    t0 = time.monotonic()
    driver_ready.call("post", int(ready[1]), WM_USER)
    end = listener.end_of(size) if listener else None
    if p.stdout.readline().strip() != b"done" or p.wait() != 0:
        raise RuntimeError(f"floor {args[0]} failed")
    return (end or time.monotonic()) - t0, t0


_GO_DRIVER = []
WM_USER = 0x0400


def go_driver():
    """The UI driver that tells the floor go."""
    if not _GO_DRIVER:
        _GO_DRIVER.append(_Driver(30))
    return _GO_DRIVER[0]


def delivery(listener, path, spooler, watchers=(), memory=None):
    """Alternating runs of updater and reference; medians of elapsed times and of phases."""
    size = os.path.getsize(path)
    ours, floor, ref, phases = [], [], [], {"ours": [], "ref": []}
    first_byte = {"updater": [], "floor": []}
    alternate = None if path == PAYLOAD else path
    floor_args = ["spool", QUEUE] if spooler else ["net"]
    for _ in range(RUNS):
        t0, end = updater_send(listener, alternate, size, spooler, memory)
        ours.append(end - t0)
        phases["ours"].append([(w.first_after(t0) or end) - t0 for w in watchers])
        first_byte["updater"].append(listener.firsts[-1] - t0)
        elapsed, go = floor_run([*floor_args, windows_path(path)], listener, size)
        floor.append(elapsed)
        first_byte["floor"].append(listener.firsts[-1] - go)
        if spooler:
            t0, end = reference_send(listener, ["lp", "-d", QUEUE, "-o", "raw", path], size)
        else:
            t0, end = reference_send(listener, ["nc", "-N", "127.0.0.1", "9100"], size, path)
        ref.append(end - t0)
        phases["ref"].append([(w.first_after(t0) or end) - t0 for w in watchers])
    split = {k: [median(col) for col in zip(*v)] for k, v in phases.items()} if watchers else {}
    FIRST_BYTES[os.path.basename(path), spooler] = {k: median(v) for k, v in first_byte.items()}
    return ours, floor, ref, split


def startup_time(exe, printer_list, *args):
    """Process start (the driver's CreateProcess) to the main dialog visible, and its printer
    list filled when it has one."""
    d = _Driver(30)
    u = Updater.__new__(Updater)
    u._driver, u._main = d, None
    try:
        t0 = time.monotonic()
        d.call("start", windows_path(exe), 30000, *args, timeout=45)
        main = u.wait_for_main(30)
        if printer_list:
            wait_until(lambda: main.control(LIST).items, 10, "the printer list")
        return time.monotonic() - t0
    finally:
        u.close()


def startup():
    """The updater, a minimal dialog, and a minimal dialog that lists the spooler's printers."""
    ours, ref, listing = [], [], []
    for _ in range(RUNS):
        ours.append(startup_time(UPDATER, True))
        ref.append(startup_time(MINIMAL, False))
        listing.append(startup_time(MINIMAL, True, "printers"))
    return ours, ref, listing


def repackaging():
    """Save-chooser OK to the new updater written and the process ended, against cp."""
    ours, floor, ref, first_seen = [], [], [], []
    source = os.path.join(WORK, "repack-source.exe")
    shutil.copyfile(UPDATER, source)
    for i in range(RUNS):
        target = os.path.join(WORK, f"repacked-{i}.exe")
        with Updater(source) as u:
            keys(u.main, "alt+u")
            dialog = u.window("Update Internal Resources")
            dialog.control(1022).set_text(f"Bench caption {i}")
            dialog.control(1024).set_text("3")
            dialog.control(1006).click()
            chooser = u.window("Select new file to save to")
            u._file_name_field(chooser).set_text(windows_path(target))
            t0 = time.monotonic()
            u._chooser_button(chooser, 1).click()
            written = None
            while u.running():
                if written is None and os.path.exists(target):
                    written = time.monotonic() - t0
                time.sleep(0.005)
            ours.append(time.monotonic() - t0)
            if not os.path.exists(target):
                raise RuntimeError("the updater ended without writing " + target)
            first_seen.append(written or ours[-1])
        floor.append(floor_run(["repack", windows_path(source),
                                windows_path(target + ".floor")])[0])
        t0 = time.monotonic()
        subprocess.run(["cp", source, target + ".cp"], check=True)
        ref.append(time.monotonic() - t0)
        for leftover in (target, target + ".floor", target + ".cp"):
            os.remove(leftover)
    return ours, floor, ref, first_seen


def row(name, ours, floor, native, goal=None):
    """Updater, platform floor, native tool, each a list of alternating runs. The ratio to the
    floor is the median of the runs' own ratios, with their middle half beside it: runs taken
    side by side share the machine's state, so their ratios spread less than the times."""
    ratios = [o / f for o, f in zip(ours, floor)]
    ratio = median(ratios)
    low, high = quartiles(ratios)
    verdict = "" if goal is None else (" met" if ratio <= goal else " missed")
    goal_text = f"<= {goal}x{verdict}" if goal else "-"
    native_text = (f"{median(native) * 1000:.1f} ms | {median(ours) / median(native):.2f}x"
                   if native else "- | -")
    print(f"| {name} | {median(ours) * 1000:.1f} ms | {median(floor) * 1000:.1f} ms "
          f"| {ratio:.2f}x ({low:.2f}-{high:.2f}) | {native_text} | {goal_text} |", flush=True)


def how_32bit_code_runs():
    entry = "/proc/sys/fs/binfmt_misc/qemu-i386"
    if os.path.exists(entry) and "enabled" in open(entry).read():
        version = subprocess.getoutput("qemu-i386 --version").splitlines()[0]
        return f"32-bit code emulated by {version} (binfmt_misc)"
    return "32-bit code runs natively"


def main():
    listener = Listener()
    cups = Cups().start()
    try:
        cups.set_queues({QUEUE: 9100})  # also restarts our wineserver with the queue listed
        wine_spool = Appearances(os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows",
                                            "system32", "spool", "printers"))
        cups_spool = Appearances(os.path.join(cups.root, "spool"))
        print(f"median of {RUNS} runs, 2 cores, {subprocess.getoutput('wine --version')}, "
              f"{how_32bit_code_runs()}, loopback\n")
        print("| figure | updater | floor | updater / floor (middle half) | native tool "
              "| updater / native | goal |")
        print("|---|---|---|---|---|---|---|")
        memory = []
        splits = {}
        for label, path, spooler, ref_name in (
                ("network, default payload", PAYLOAD, False, "nc -N"),
                ("network, 256 MB file", BIG, False, "nc -N"),
                ("spooler, default payload", PAYLOAD, True, "lp -o raw"),
                ("spooler, 256 MB file", BIG, True, "lp -o raw")):
            ours, floor, ref, split = delivery(
                listener, path, spooler, (wine_spool, cups_spool) if spooler else (),
                memory if (path == BIG and not spooler) else None)
            row(f"{label} (native: {ref_name})", ours, floor, ref, 1.05)
            if split:
                splits[label] = (split, median(ours), median(ref))
        ours, ref, listing = startup()
        row("start-up to dialog with printer list (floor: minimal dialog)", ours, ref, None, 1.2)
        row("start-up to dialog with printer list (floor: minimal dialog listing printers)",
            ours, listing, None)
        ours, floor, ref, seen = repackaging()
        repack_end = median(ours)
        row("repackaging, Save OK to the new 4 MB updater complete (native: cp)", seen, floor,
            ref, 1.2)
        row("repackaging, Save OK to the updater ended (native: cp)", ours, floor, ref)
        big = os.path.getsize(BIG)
        growth = median(memory) * 1024
        print(f"| memory: RssAnon growth, 256 MB file chosen and sent | {growth / 2**20:.1f} MB "
              f"| - | - | {big / 2**20:.0f} MB file | {growth / big:.3f} of file | - |")
        size = os.path.getsize(os.path.join(wine.BUILD, "updater.exe")) - 4134689
        print(f"| size: updater.exe minus payload | {size / 1024:.1f} KB | - | - | - | - "
              f"| <= 100 KB {'met' if size <= 100 * 1024 else 'missed'} |")
        print("\nspooler phases (median s after the click / after lp started):")
        for label, (split, total, ref_total) in splits.items():
            (w_ours, c_ours), (_, c_ref) = split["ours"], split["ref"]
            print(f"  {label}: updater: Wine spool file at {w_ours:.3f}, CUPS job file at "
                  f"{c_ours:.3f}, last byte at {total:.3f}; lp: CUPS job file at {c_ref:.3f}, "
                  f"last byte at {ref_total:.3f}")
        for (name, spooler), t in FIRST_BYTES.items():
            print(f"  first byte at the printer, {'spooler' if spooler else 'network'}, {name}: "
                  f"updater {t['updater'] * 1000:.1f} ms after the click, floor "
                  f"{t['floor'] * 1000:.1f} ms after go")
        print(f"  repackaging: the new file appeared {median(seen):.3f} s after Save OK, "
              f"the updater ended at {repack_end:.3f} s")
    finally:
        for d in _GO_DRIVER:
            d.close()
        cups.stop()


if __name__ == "__main__":
    main()
