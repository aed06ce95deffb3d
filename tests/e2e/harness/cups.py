"""A private CUPS daemon for one test run, with raw queues whose devices are loopback printers.

Wine's spooler hands RAW jobs to CUPS, so a spooler send travels: updater -> Wine's winspool ->
this cupsd -> CUPS socket backend -> a loopback printer."""
import os
import shutil
import socket
import subprocess
import tempfile
import time

from . import wine

CUPSD_CONF = """\
Listen {root}/run/cups.sock
Listen 127.0.0.1:{port}
LogLevel warn
WebInterface No
Browsing Off
DefaultAuthType None
PreserveJobHistory Yes
PreserveJobFiles No
MaxJobs 0
JobRetryLimit 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
"""

CUPS_FILES_CONF = """\
ServerRoot {root}/etc
RequestRoot {root}/spool
CacheDir {root}/cache
StateDir {root}/state
TempDir {root}/tmp
ServerBin /usr/lib/cups
DataDir /usr/share/cups
AccessLog {root}/log/access_log
ErrorLog {root}/log/error_log
PageLog {root}/log/page_log
"""

BULK = 50  # more queues than this are set up by rewriting printers.conf


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Cups:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="updater-cups-")
        self.port = _free_port()
        for sub in ("etc", "etc/ppd", "run", "spool", "cache", "state", "tmp", "log"):
            os.makedirs(os.path.join(self.root, sub), exist_ok=True)
        os.chmod(self.root, 0o755)
        for sub in ("spool", "tmp", "cache", "state"):
            os.chmod(os.path.join(self.root, sub), 0o777)
        self.conf = os.path.join(self.root, "etc", "cupsd.conf")
        self.files_conf = os.path.join(self.root, "etc", "cups-files.conf")
        with open(self.conf, "w") as f:
            f.write(CUPSD_CONF.format(root=self.root, port=self.port))
        with open(self.files_conf, "w") as f:
            f.write(CUPS_FILES_CONF.format(root=self.root))
        self.socket = os.path.join(self.root, "run", "cups.sock")
        self.env = dict(os.environ, CUPS_SERVER=self.socket)
        self.proc = None
        self.queues = {}

    def start(self):
        self._launch()
        os.environ["CUPS_SERVER"] = self.socket  # Wine, started later, reads it too
        return self

    def _launch(self):
        self.proc = subprocess.Popen(
            ["cupsd", "-f", "-c", self.conf, "-s", self.files_conf],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while not os.path.exists(self.socket) or self._lpstat("-r").returncode != 0:
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("cupsd did not start: " + self.error_log())
            time.sleep(0.1)

    def _halt(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()

    def stop(self):
        self._halt()
        shutil.rmtree(self.root, ignore_errors=True)

    def error_log(self):
        try:
            with open(os.path.join(self.root, "log", "error_log")) as f:
                return f.read()[-4000:]
        except OSError:
            return ""

    def _run(self, *args, check=True):
        result = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise RuntimeError(f"{args}: {result.stderr.strip()}")
        return result

    def _lpstat(self, *args):
        return self._run("lpstat", *args, check=False)

    def set_queues(self, queues):
        """Makes exactly these raw queues ({name: port}) exist, then restarts Wine's server so
        Wine's printer list matches."""
        if queues == self.queues:
            return
        if len(queues) + len(self.queues) > BULK:
            self._write_printers_conf(queues)
        else:
            for name in self.queues:
                self._run("lpadmin", "-x", name, check=False)
            for name, port in queues.items():
                self._run("lpadmin", "-p", name, "-E", "-v", f"socket://127.0.0.1:{port}",
                          "-m", "raw")
        self.queues = dict(queues)
        wine.restart_server()

    def _write_printers_conf(self, queues):
        """Hundreds of queues at once: written as cupsd's own configuration, read at its start,
        instead of one lpadmin call each."""
        self._halt()
        with open(os.path.join(self.root, "etc", "printers.conf"), "w") as f:
            for name, port in queues.items():
                f.write(f"<Printer {name}>\nInfo {name}\nDeviceURI socket://127.0.0.1:{port}\n"
                        "State Idle\nAccepting Yes\nShared No\n</Printer>\n")
        for ppd in os.listdir(os.path.join(self.root, "etc", "ppd")):
            os.remove(os.path.join(self.root, "etc", "ppd", ppd))
        self._launch()

    def jobs(self, queue):
        """[(job id, job name)] of the jobs CUPS has recorded for a queue, oldest first. CUPS
        writes each job's control file about a second after it changes."""
        spool = os.path.join(self.root, "spool")
        found = []
        for name in sorted(os.listdir(spool)):
            if not (name.startswith("c") and name[1:].isdigit()):
                continue
            try:
                attrs = _ipp_attributes(open(os.path.join(spool, name), "rb").read())
            except (OSError, ValueError):
                continue
            if attrs.get("job-printer-uri", b"").decode().endswith("/printers/" + queue):
                found.append((int(name[1:]), attrs.get("job-name", b"").decode("latin-1")))
        return sorted(found)

    def wait_jobs(self, queue, count, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            jobs = self.jobs(queue)
            if len(jobs) >= count or time.monotonic() > deadline:
                return jobs
            time.sleep(0.2)


def _ipp_attributes(message):
    """The attributes of an IPP message (as CUPS keeps a job's control file): name -> first
    value's bytes."""
    attrs, name, o = {}, None, 8
    while o < len(message):
        tag = message[o]
        o += 1
        if tag == 0x03:  # end of attributes
            break
        if tag < 0x10:  # a group delimiter
            continue
        if o + 2 > len(message):
            raise ValueError("truncated")
        length = int.from_bytes(message[o:o + 2], "big")
        if length:
            name = message[o + 2:o + 2 + length].decode("ascii", "replace")
        o += 2 + length
        vlength = int.from_bytes(message[o:o + 2], "big")
        value = message[o + 2:o + 2 + vlength]
        o += 2 + vlength
        if name is not None and name not in attrs:
            attrs[name] = value
    return attrs
