"""Loopback printers: listeners on 127.0.0.1 that record every byte of each connection, and a
printer device behind Debian's port-9100 server p910nd."""
import contextlib
import os
import select
import shutil
import socket
import struct
import subprocess
import threading
import time
import tty

from .driver import wait_until


class Printer:
    """Accepts connections on 127.0.0.1:port and keeps each one's bytes, in arrival order.

    reset_after: close with a reset once that many bytes of a connection have arrived (once
    `hold`, an event, is set, when given; reading nothing meanwhile).
    piece/pause: read in pieces of that size with a pause between them (a slow printer).
    talk_back: bytes sent back once a connection has brought this many (a printer reporting
    its status while a job arrives), as (after, bytes).
    keep_open: serve one connection at a time, keeping it open after the job's end until a status
    report, sent every 0.2 s while another connection waits, fails: the sender has closed it.
    half_close: close the printer's sending side at once, and read on.
    stall_after: read nothing more once that many bytes have come, keeping the connection until
    the sender ends it (a hung printer whose network stack still answers)."""

    def __init__(self, port=0, reset_after=None, piece=1 << 20, pause=0.0, talk_back=None,
                 keep_open=False, hold=None, half_close=False, stall_after=None):
        self.reset_after, self.hold = reset_after, hold
        self.half_close, self.stall_after = half_close, stall_after
        self.keep_open = keep_open
        self.talk_back = talk_back
        self.piece = piece
        self.pause = pause
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if pause or reset_after is not None or stall_after is not None:
            # A small window keeps the sender from parking the whole job in socket buffers.
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.sock.bind(("127.0.0.1", port))
        self.sock.listen(16)
        self.port = self.sock.getsockname()[1]
        self.connections = []  # finished connections' bytes
        self.accepted = 0
        self.ends = []  # "eof" or "reset" per finished connection
        self._lock = threading.Condition()
        self._closed = False
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while not self._closed:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with self._lock:
                self.accepted += 1
            serve = threading.Thread(target=self._record, args=(conn,), daemon=True)
            serve.run() if self.keep_open else serve.start()

    def _record(self, conn):
        data = bytearray()
        end = "eof"
        if self.half_close:
            conn.shutdown(socket.SHUT_WR)
        with conn:
            while True:
                try:
                    chunk = conn.recv(self.piece)
                except ConnectionResetError:
                    end = "reset"
                    break
                if not chunk:
                    break
                data += chunk
                if self.talk_back and len(data) >= self.talk_back[0] > len(data) - len(chunk):
                    conn.sendall(self.talk_back[1])
                if self.reset_after is not None and len(data) >= self.reset_after:
                    if self.hold:
                        self.hold.wait(120)
                    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    end = "we-reset"
                    break
                if self.stall_after is not None and len(data) >= self.stall_after:
                    # TCP_INFO's first byte is the state; 7, closed, once the sender reset.
                    while not self._closed and conn.getsockopt(
                            socket.IPPROTO_TCP, socket.TCP_INFO, 1)[0] != 7:
                        time.sleep(0.1)
                    end = "reset"
                    break
                if self.pause:
                    time.sleep(self.pause)
            with self._lock:
                self.connections.append(bytes(data))
                self.ends.append(end)
                self._lock.notify_all()
            with contextlib.suppress(OSError, ValueError):
                while self.keep_open and end == "eof" and not self._closed:
                    if select.select([self.sock], [], [], 0.2)[0]:
                        conn.sendall(STATUS_REPORT)

    def wait_connections(self, count, timeout=60):
        """The first `count` finished connections; raises if they do not come in time."""
        with self._lock:
            if not self._lock.wait_for(lambda: len(self.connections) >= count, timeout):
                raise AssertionError(
                    f"printer on port {self.port}: {len(self.connections)} of {count} "
                    f"connections finished in {timeout} s")
            return list(self.connections[:count])

    def close(self):
        """Stops listening at once, so the port is free for the next printer."""
        with self._lock:
            self._closed = True
            self._lock.notify_all()
        try:
            self.sock.shutdown(socket.SHUT_RDWR)  # wakes the accept() blocked in the thread
        except OSError:
            pass
        self.sock.close()
        self._thread.join(5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


STATUS_REPORT = (b'@PJL USTATUS DEVICE\r\nCODE=10023\r\nDISPLAY="PROCESSING JOB"\r\n'
                 b'ONLINE=TRUE\r\n\x0c')
RAW_PORT = 9100


class DevicePrinter(contextlib.AbstractContextManager):
    """A printer behind Debian's port-9100 server, p910nd, run bidirectionally on 127.0.0.1:9100.

    Its device is a pty whose other end this class plays: it keeps every byte that arrives,
    reads `rate` bytes a second, as a printer writing flash does, and sends a status report back
    (which p910nd passes to the client) each `every` bytes. pause: (after, seconds), a silence
    once that many bytes have come (a flash erase), after which it reports and reads on; with
    an Event for the seconds, it waits for that instead, reporting each second.
    `sink`: a file that gets every byte too, as it arrives."""

    def __init__(self, rate=1 << 20, every=64 * 1024, pause=(None, 0), sink=None):
        if shutil.which("p910nd") is None:
            raise RuntimeError("p910nd is not installed: run scripts/setup.sh")
        self.rate, self.every, self.pause, self.sink = rate, every, pause, sink
        self.received = bytearray()
        self.reports = 0
        self._closed = False
        self._master, self._slave = os.openpty()
        tty.setraw(self._slave)
        os.makedirs("/var/lock/p910nd", exist_ok=True)
        self._server = subprocess.Popen(
            ["p910nd", "-d", "-b", "-i", "127.0.0.1", "-f", os.ttyname(self._slave), "0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._thread = threading.Thread(target=self._play, daemon=True)
        self._thread.start()
        try:
            wait_until(lambda: tcp_sockets(RAW_PORT, listening=True), what="p910nd to listen")
        except BaseException:
            self.close()
            raise

    def _play(self):
        started = None
        while not self._closed:
            try:
                # No further than the pause: the bytes after it wait until it ends.
                ahead_of_pause = (self.pause[0] or 0) - len(self.received)
                chunk = os.read(self._master, ahead_of_pause if 0 < ahead_of_pause < 4096 else 4096)
            except OSError:
                return
            if not chunk:
                return
            started = started or time.monotonic()
            before = len(self.received)
            self.received += chunk
            if self.sink:
                self.sink.write(chunk)
                self.sink.flush()
            if self.pause[0] is not None and len(self.received) >= self.pause[0] > before:
                held = time.monotonic()
                if isinstance(self.pause[1], threading.Event):
                    while not self.pause[1].wait(1) and not self._closed:
                        os.write(self._master, STATUS_REPORT)
                else:
                    time.sleep(self.pause[1])
                started += time.monotonic() - held
                os.write(self._master, STATUS_REPORT)
            if len(self.received) // self.every > before // self.every:
                os.write(self._master, STATUS_REPORT)
                self.reports += 1
            # Reading no faster than the rate keeps the job waiting in the sockets' buffers.
            ahead = len(self.received) / self.rate - (time.monotonic() - started)
            if ahead > 0:
                time.sleep(ahead)

    def wait_bytes(self, count, timeout=120):
        """Waits until `count` bytes reached the device; the device's bytes then."""
        wait_until(lambda: len(self.received) >= count, timeout, f"{count} bytes at the device")
        return bytes(self.received)

    def close(self):
        self._closed = True
        self._server.kill()
        self._server.wait(10)
        os.close(self._slave)  # the reader's next read fails and ends it
        self._thread.join(5)
        os.close(self._master)

    def __exit__(self, *exc):
        self.close()


def tcp_sockets(port, listening=False, owned=False):
    """This namespace's TCP sockets on `port` (either end): the listening ones, or those of
    connections not yet fully closed (TIME_WAIT and CLOSE count as closed). `owned`: only those
    a process still holds open, not those the kernel finishes alone after their close."""
    found = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table) as f:
            for line in f.readlines()[1:]:
                fields = line.split()
                local, remote, state = fields[1], fields[2], fields[3]
                ports = {int(local.split(":")[1], 16), int(remote.split(":")[1], 16)}
                if port not in ports:
                    continue
                if owned and fields[9] == "0":
                    continue
                if (state == "0A") == listening and state not in ("06", "07"):
                    found.append(line)
    return found


def resets_sent():
    """How many resets TCP sent in this namespace: a socket closed with bytes unread, or bytes
    arriving for one already closed, is answered with a reset, and the peer then drops what it
    had not read yet."""
    with open("/proc/net/snmp") as f:
        lines = f.read().splitlines()
    for names, values in zip(lines[::2], lines[1::2]):
        if names.startswith("Tcp:"):
            return int(dict(zip(names.split()[1:], values.split()[1:]))["OutRsts"])
    raise AssertionError("no Tcp counters in /proc/net/snmp")
