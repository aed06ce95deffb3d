import hashlib
import os

import pytest

from harness import wine
from harness.cups import Cups
from harness.printers import Printer

BUILD = wine.BUILD
CONFIG_PAGE_JOB = b"\x1b%-12345X@PJL DEFAULT TESTPAGE=SELFTEST\n\x1b%-12345X"
DEFAULT_CAPTION = "Vexo Printora T4417ke MFP Firmware Update 20090403"


def exe(name="updater"):
    return os.path.join(BUILD, name + ".exe")


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def default_payload():
    with open(os.path.join(BUILD, "payload", "default-payload.bin"), "rb") as f:
        return f.read()


@pytest.fixture(scope="session")
def cups():
    server = Cups().start()
    yield server
    server.stop()


@pytest.fixture
def printers():
    """Makes loopback printers that are closed when the test ends."""
    made = []

    def make(**options):
        p = Printer(**options)
        made.append(p)
        return p

    yield make
    for p in made:
        p.close()


@pytest.fixture
def spooler(cups, printers):
    """Gives the spooler exactly the named raw queues, each with its own loopback printer."""

    def make(*names):
        queue_printers = {name: printers() for name in names}
        cups.set_queues({name: p.port for name, p in queue_printers.items()})
        return queue_printers

    return make
