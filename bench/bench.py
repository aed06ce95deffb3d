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
import tempfile
import threading
import time
import queue
import resource

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from harness import driver, wine  # noqa: E402
from harness.cups import Cups  # noqa: E402
from harness.driver import Updater, _Driver, keys, wait_until, windows_path  # noqa: E402

RUNS = int(os.environ.get("BENCH_RUNS", "9"))
# Rows that take under a tenth of a second spread by a tenth or more from one run to the next,
# with the click's or the start's own jitter: they take three times the runs, which costs
# little, so their medians hold as steady as the spooler's 256 MB row.
SHORT_RUNS = 3 * RUNS
# The groups of rows to run, e.g. BENCH_ROWS=network,waiting; all by default.
ROWS = set(os.environ.get("BENCH_ROWS", "network,spooler,start-up,repackaging,waiting")
           .split(","))
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
        # When set, the next connections are taken this far, then read no more but kept open
        # (a printer whose firmware hangs while its stack still answers); they go to `stalled`.
        self.stall_after = None
        self.stalled = queue.Queue()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        buf = bytearray(4 << 20)
        while True:
            conn, _ = self.sock.accept()
            if self.stall_after is not None:
                # A printer's small buffer: the job's end must wait in the updater's socket for
                # the printer's window, unacknowledged, not be taken into a buffer grown large.
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 256 * 1024)
                taken = 0
                while taken < self.stall_after and (
                        n := conn.recv_into(buf, self.stall_after - taken)):
                    taken += n
                self.stalled.put((conn, taken))
                continue
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
    """Notes when files appear in a folder (Wine's and CUPS's spool files), or only the file
    `name`; Wine reuses job numbers, so a name seen again after it went away counts as new."""

    def __init__(self, folder, name=None):
        self.folder, self.name, self.times, self.running = folder, name, [], True
        threading.Thread(target=self._poll, daemon=True).start()

    def _poll(self):
        present = set()
        while self.running:
            try:
                names = set(os.listdir(self.folder))
            except OSError:
                names = set()
            if self.name is not None:
                names &= {self.name}
            now = time.monotonic()
            self.times += [now] * len(names - present)
            present = names
            time.sleep(0.001)

    def stop(self):
        self.running = False

    def first_after(self, t0):
        return next((t for t in self.times if t >= t0), None)


def cpu_ticks():
    """(busy, total) jiffies of all cores since boot."""
    fields = [int(x) for x in open("/proc/stat").readline().split()[1:]]
    idle = fields[3] + fields[4]  # idle and iowait
    return sum(fields) - idle, sum(fields)


def wait_quiet(window=0.3, busy_share=0.05, limit=5.0):
    """Waits until the cores have been nearly idle for `window` seconds (or `limit` passed), so
    a timed run starts when the work before it is over rather than in the middle of it: the
    previous run's teardown (its windows, Wine's and the X server's clean-up), or a file
    chooser still reading the icons of the programs in its folder. Without it a quarter of
    the runs took 20 to 40 ms longer."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        busy0, total0 = cpu_ticks()
        time.sleep(window)
        busy1, total1 = cpu_ticks()
        if total1 == total0 or (busy1 - busy0) / (total1 - total0) <= busy_share:
            return


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


def our_prefix_processes():
    """(pid, command line) of every process running in our Wine prefix."""
    prefix = f"WINEPREFIX={os.environ['WINEPREFIX']}".encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            cmd = open(f"/proc/{pid}/cmdline", "rb").read()
            env = open(f"/proc/{pid}/environ", "rb").read()
        except OSError:
            continue
        if prefix in env.split(b"\0"):
            yield pid, cmd


def linux_pid(name):
    """The Wine process running our copy `name` in our prefix."""
    for pid, cmd in our_prefix_processes():
        if name.encode() in cmd:
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
        wait_quiet()
        t0 = time.monotonic()
        u.main.control(SEND).click()
        end = listener.end_of(size)
        if pid:
            memory.append(rss_anon_kb(pid) - before)
        return t0, end


def reference_send(listener, argv, size, stdin_path=None):
    with open(stdin_path or os.devnull, "rb") as stdin:
        wait_quiet()
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
    # The floor's button is clicked the way the updater's Send Firmware is: by the UI driver.
    driver_ready = shared_driver()
    wait_quiet()
    t0 = time.monotonic()
    driver_ready.call("click", int(ready[1]))
    end = listener.end_of(size) if listener else None
    if p.stdout.readline().strip() != b"done" or p.wait() != 0:
        raise RuntimeError(f"floor {args[0]} failed")
    return (end or time.monotonic()) - t0, t0


_SHARED_DRIVER = []


def shared_driver():
    """The one UI driver that clicks the floors' buttons and launches the start-up runs."""
    if not _SHARED_DRIVER:
        _SHARED_DRIVER.append(_Driver(30))
    return _SHARED_DRIVER[0]


def delivery(listener, path, spooler, watchers=(), memory=None):
    """Alternating runs of updater and reference; medians of elapsed times and of phases."""
    size = os.path.getsize(path)
    ours, floor, ref, phases = [], [], [], {"ours": [], "ref": []}
    first_byte = {"updater": [], "floor": []}
    alternate = None if path == PAYLOAD else path
    floor_args = ["spool", QUEUE] if spooler else ["net"]
    for _ in range(RUNS if spooler and path == BIG else SHORT_RUNS):
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


def startup_time(d, exe, printer_list, *args):
    """Process creation to the program's first wait for input, timed inside the UI driver `d`,
    which waits for that moment rather than polling for it: by then the main dialog is shown
    and painted, and its printer list filled, which is checked after the clock stops."""
    wait_quiet()
    try:
        _, micros, dialog = d.call("launch", windows_path(exe), 30000, *args, timeout=45)
        if int(dialog) == 0:
            raise RuntimeError(f"{exe} waited for input before its dialog showed")
        if printer_list and not driver.Window(d, int(dialog)).control(LIST).items:
            raise RuntimeError(f"{exe} showed its dialog with an empty printer list")
        return int(micros) / 1e6
    finally:
        d.call("kill")


def startup():
    """The updater; a minimal dialog; the same listing the spooler's printers; the updater's
    own dialog template (its thirteen controls are the platform's to create) listing them."""
    ours, ref, listing, template = [], [], [], []
    d = shared_driver()
    for _ in range(SHORT_RUNS):
        ours.append(startup_time(d, UPDATER, True))
        ref.append(startup_time(d, MINIMAL, False))
        listing.append(startup_time(d, MINIMAL, True, "printers"))
        template.append(startup_time(d, MINIMAL, True, "template", "printers"))
    return ours, ref, listing, template


def save_through_chooser(exe, args, target, caption):
    """Starts `exe`, opens its save chooser (the updater's through Alt+U and Save), types
    `target` and clicks OK: (seconds from OK until the target is there, until the process ends).
    A save builds the file beside the target and moves it in when complete, so the target's
    appearing is the moment the new file is complete."""
    with Updater(exe, args=args) as u:
        if not args:
            keys(u.main, "alt+u")
            dialog = u.window("Update Internal Resources")
            dialog.control(1022).set_text(caption)
            dialog.control(1024).set_text("3")
            dialog.control(1006).click()
        chooser = u.window("Select new file to save to")
        u._file_name_field(chooser).set_text(windows_path(target))
        seen = Appearances(os.path.dirname(target), os.path.basename(target))
        wait_quiet()
        t0 = time.monotonic()
        u._chooser_button(chooser, 1).click()
        code = u.wait_exit(30)
        ended = time.monotonic() - t0
        if code == 0:
            wait_until(lambda: seen.times, 5, f"{target} to be seen")
        written = seen.first_after(t0)
        seen.stop()
        if code != 0 or written is None:
            raise RuntimeError(f"{os.path.basename(exe)} failed its save to {target}")
        return written - t0, ended


def repackaging():
    """Save-chooser OK to the new updater complete and to the process's end: the updater, the
    floor making the same save from the same chooser, and cp."""
    ours, floor, ref = {"complete": [], "ended": []}, {"complete": [], "ended": []}, []
    # In the temporary folder, which bench/run.sh keeps in memory: the disk's writeback would
    # otherwise spread these runs by half.
    folder = tempfile.mkdtemp(prefix="repack-")
    source = os.path.join(folder, "repack-source.exe")
    shutil.copyfile(UPDATER, source)
    for i in range(SHORT_RUNS):
        target = os.path.join(folder, f"repacked-{i}.exe")
        for times, exe, args in ((ours, source, ()),
                                 (floor, FLOOR, ("saveas", windows_path(source)))):
            complete, ended = save_through_chooser(exe, args, target, "Bench caption")
            times["complete"].append(complete)
            times["ended"].append(ended)
            os.remove(target)
        wait_quiet()
        t0 = time.monotonic()
        subprocess.run(["cp", source, target + ".cp"], check=True)
        ref.append(time.monotonic() - t0)
        os.remove(target + ".cp")
    shutil.rmtree(folder)
    return ours, floor, ref


def hold_connections(count):
    """Opens `count` loopback TCP connections, holds both ends of each until standard input
    closes, and says "ready" once they are open: part of a busy machine's TCP table."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(128)
    ends = []
    for _ in range(count):
        ends.append(socket.create_connection(server.getsockname()))
        ends.append(server.accept()[0])
    print("ready", flush=True)
    sys.stdin.read()


def other_connections(count, holders):
    """Starts processes into `holders` that hold `count` connections in all, each as many as
    its file limit allows, and waits until they are open."""
    per_process = (resource.getrlimit(resource.RLIMIT_NOFILE)[0] - 64) // 2
    while count > 0:
        part = min(count, per_process)
        holders.append(subprocess.Popen(
            [sys.executable, __file__, "--hold-connections", str(part)], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE))
        count -= part
    for h in holders:
        if h.stdout.readline().strip() != b"ready":
            raise RuntimeError("the other connections did not open")


def awaiting_acknowledgement():
    """Whether a socket still held by its program is in FIN_WAIT1 towards port 9100: the
    updater has handed over the whole job and its end, and the printer has not taken them."""
    with open("/proc/net/tcp") as f:
        rows = [line.split() for line in f.readlines()[1:]]
    return any(r[2].endswith(":238C") and r[3] == "04" and r[9] != "0" for r in rows)


def cpu_seconds(pids):
    """User and system CPU time of each process in `pids` that still runs, in seconds."""
    times = {}
    for pid in pids:
        try:
            fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        times[pid] = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return times


def wine_processes():
    """Our prefix's Wine processes but the UI drivers, by pid: the wineserver and the services
    that answer a program's system calls (the TCP table is read in a driver host), and the
    updater."""
    found = {}
    for pid, cmd in our_prefix_processes():
        name = os.path.basename(cmd.split(b"\0")[0].decode(errors="replace").replace("\\", "/"))
        is_wine = name.lower().endswith(".exe") or name.startswith("wineserver")
        if is_wine and name != "driver.exe":
            found[pid] = name
    return found


def waiting_for_a_stalled_printer(listener, others=10000, window=60.0):
    """CPU time of the updater and of our Wine processes over `window` seconds of the updater's
    wait for the acknowledgement of a printer that took 1 MB of the default payload and then
    reads nothing, keeping the connection; `others` connections open beside it. Returns
    (updater's share of one core, the other Wine processes' share, their busy ones' shares, the
    bytes the printer took)."""
    holders = []
    listener.stall_after = 1 << 20
    try:
        other_connections(others, holders)
        with Updater(UPDATER) as u:
            updater = linux_pid(os.path.basename(UPDATER))
            u.main.control(NET).command()
            wait_until(lambda: u.main.control(HOST).visible)
            u.main.control(HOST).set_text("127.0.0.1")
            u.main.control(SEND).click()
            _, taken = listener.stalled.get(timeout=60)
            # The completion wait is over when the bar is full; the wait for the printer follows.
            bar = u.main.control_by_class("msctls_progress32")
            wait_until(lambda: bar.progress[0] == bar.progress[2], 60, "the full bar")
            if not awaiting_acknowledgement():
                raise RuntimeError("the updater does not wait for the printer's acknowledgement")
            pids = wine_processes()
            before = cpu_seconds(pids)
            time.sleep(window)
            after = cpu_seconds(pids)
            if not awaiting_acknowledgement() or updater not in after:
                raise RuntimeError("the updater stopped waiting within the measured window")
        used = {pid: after[pid] - before.get(pid, 0) for pid in after}
        others_used = sum(t for pid, t in used.items() if pid != updater)
        busiest = {}
        for pid, t in used.items():
            if pid != updater:
                busiest[pids[pid]] = busiest.get(pids[pid], 0) + t / window
        names = ", ".join(f"{name} {share * 100:.1f} %" for name, share in
                          sorted(busiest.items(), key=lambda item: -item[1]) if share >= 0.001)
        return used[updater] / window, others_used / window, names, taken
    finally:
        listener.stall_after = None
        while not listener.stalled.empty():
            listener.stalled.get()[0].close()
        for h in holders:
            h.stdin.close()
            h.wait(30)


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
        print(f"median of {SHORT_RUNS} runs ({RUNS} for the spooler's 256 MB file), "
              f"{os.cpu_count()} cores, {subprocess.getoutput('wine --version')}, "
              f"{how_32bit_code_runs()}, loopback\n")
        print("| figure | updater | floor | updater / floor (middle half) | native tool "
              "| updater / native | goal |")
        print("|---|---|---|---|---|---|---|")
        memory = []
        splits = {}
        repack = None
        for label, path, spooler, ref_name in (
                ("network, default payload", PAYLOAD, False, "nc -N"),
                ("network, 256 MB file", BIG, False, "nc -N"),
                ("spooler, default payload", PAYLOAD, True, "lp -o raw"),
                ("spooler, 256 MB file", BIG, True, "lp -o raw")):
            if label.split(",")[0] not in ROWS:
                continue
            ours, floor, ref, split = delivery(
                listener, path, spooler, (wine_spool, cups_spool) if spooler else (),
                memory if (path == BIG and not spooler) else None)
            row(f"{label} (native: {ref_name})", ours, floor, ref, 1.05)
            if split:
                splits[label] = (split, median(ours), median(ref))
        if "start-up" in ROWS:
            ours, ref, listing, template = startup()
            row("start-up to dialog with printer list (floor: minimal dialog)", ours, ref, None,
                1.2)
            row("start-up to dialog with printer list (floor: minimal dialog listing printers)",
                ours, listing, None, 1.2)
            row("start-up to dialog with printer list (floor: the updater's dialog template "
                "listing printers)", ours, template, None)
        if "repackaging" in ROWS:
            repack = ours, floor, ref = repackaging()
            row("repackaging, Save OK to the new 4 MB updater complete (native: cp)",
                ours["complete"], floor["complete"], ref, 1.2)
            row("repackaging, Save OK to the process ended (native: cp)", ours["ended"],
                floor["ended"], ref)
        if memory:
            big = os.path.getsize(BIG)
            growth = median(memory) * 1024
            print(f"| memory: RssAnon growth, 256 MB file chosen and sent | "
                  f"{growth / 2**20:.1f} MB | - | - | {big / 2**20:.0f} MB file "
                  f"| {growth / big:.3f} of file | - |")
        size = os.path.getsize(os.path.join(wine.BUILD, "updater.exe")) - 4134689
        print(f"| size: updater.exe minus payload | {size / 1024:.1f} KB | - | - | - | - "
              f"| <= 100 KB {'met' if size <= 100 * 1024 else 'missed'} |")
        waiting = None
        if "waiting" in ROWS:
            waiting = waiting_for_a_stalled_printer(listener)
            share = waiting[0] + waiting[1]
            print(f"| CPU waiting 60 s for a printer that took 1 MB and reads no more, 10,000 "
                  f"other TCP connections open (updater and our Wine processes) "
                  f"| {share * 100:.1f} % of a core | - | - | - | - "
                  f"| <= 5 % {'met' if share <= 0.05 else 'missed'} |")
        if splits:
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
        if repack:
            ours, floor, _ = repack
            print(f"  repackaging: the new file complete {median(ours['complete']):.3f} s after "
                  f"Save OK, the updater ended at {median(ours['ended']):.3f} s; the floor "
                  f"{median(floor['complete']):.3f} s and {median(floor['ended']):.3f} s")
        if waiting:
            updater, others, names, taken = waiting
            print(f"  waiting for the stalled printer ({taken} bytes taken): updater "
                  f"{updater * 100:.1f} %, other Wine processes {others * 100:.1f} % of a core "
                  f"({names or 'none busy'})")
    finally:
        for d in _SHARED_DRIVER:
            d.close()
        cups.stop()


if __name__ == "__main__":
    if sys.argv[1:2] == ["--hold-connections"]:
        hold_connections(int(sys.argv[2]))
    else:
        main()
