"""Loopback printers: listeners on 127.0.0.1 that record every byte of each connection."""
import socket
import struct
import threading
import time


class Printer:
    """Accepts connections on 127.0.0.1:port and keeps each one's bytes, in arrival order.

    reset_after: close with a reset once that many bytes of a connection have arrived.
    piece/pause: read in pieces of that size with a pause between them (a slow printer).
    talk_back: bytes sent back once a connection has brought this many (a printer reporting
    its status while a job arrives), as (after, bytes)."""

    def __init__(self, port=0, reset_after=None, piece=1 << 20, pause=0.0, talk_back=None):
        self.reset_after = reset_after
        self.talk_back = talk_back
        self.piece = piece
        self.pause = pause
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if pause or reset_after is not None:
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
            threading.Thread(target=self._record, args=(conn,), daemon=True).start()

    def _record(self, conn):
        data = bytearray()
        end = "eof"
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
                    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    end = "we-reset"
                    break
                if self.pause:
                    time.sleep(self.pause)
        with self._lock:
            self.connections.append(bytes(data))
            self.ends.append(end)
            self._lock.notify_all()

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
        self._closed = True
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
