"""The tour that scripts/run.sh gives a machine without a display."""
import os
import re
import subprocess

from conftest import CONFIG_PAGE_JOB, default_payload, sha256
from harness import wine


def test_tour_delivers_every_byte_both_ways_and_reports_it():
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "CUPS_SERVER")}
    # The tour runs a wineserver of its own on the build's prefix: the session's stops meanwhile.
    for step in ("-k", "-w"):
        subprocess.run(["wineserver", step], env=wine.env(), timeout=60)
    try:
        tour = subprocess.run([os.path.join(wine.ROOT, "scripts", "demo.sh"), "tour"], env=env,
                              cwd=wine.ROOT, capture_output=True, text=True, timeout=900)
    finally:
        wine.restart_server()
    assert tour.returncode == 0, tour.stdout + tour.stderr
    firmware = default_payload()
    with open(os.path.join(wine.BUILD, "demo", "received.bin"), "rb") as f:
        assert f.read() == (firmware + CONFIG_PAGE_JOB) * 2
    jobs = re.findall(r"job \d: ([\d,]+) bytes, SHA-256 (\w+)", tour.stdout)
    assert jobs == [(f"{len(firmware):,}", sha256(firmware)), ("49", sha256(CONFIG_PAGE_JOB))] * 2
    shots = re.findall(r"screenshot: (\S+\.png)", tour.stdout)
    assert len(shots) == 9 and all(os.path.getsize(os.path.join(wine.ROOT, s)) for s in shots)
