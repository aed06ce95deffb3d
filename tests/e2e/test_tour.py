"""The tour that scripts/run.sh gives a machine without a display."""
import glob
import os
import re
import signal
import subprocess

from conftest import CONFIG_PAGE_JOB, default_payload, sha256
from harness import wine
from harness.driver import wait_until


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


def what_a_run_could_leave():
    """This namespace's mount points, /tmp, /run/lock and processes."""
    with open("/proc/self/mountinfo") as f:
        mounts = sorted(line.split()[4] for line in f)
    pids = {p for p in os.listdir("/proc") if p.isdigit()}
    return mounts, sorted(os.listdir("/tmp")), sorted(os.listdir("/run/lock")), pids


def interrupted_tour(stage, interrupt, **env):
    """Starts the tour as a user would, in a session of its own, and interrupts it once
    `stage` holds; returns the tour's exit status and what is there before and after."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "CUPS_SERVER", "UPDATER_CONTAINED")} | env
    before = what_a_run_could_leave()
    # Ctrl+C as at a terminal: the suite runs with SIGINT ignored, as a command in the background.
    tour = subprocess.Popen([os.path.join(wine.ROOT, "scripts", "demo.sh"), "tour"], env=env,
                            cwd=wine.ROOT, stdout=subprocess.DEVNULL, start_new_session=True,
                            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    try:
        wait_until(stage, 300, "the tour to reach the stage")
        interrupt(tour)
        status = tour.wait(60)
    finally:
        if tour.poll() is None:
            os.killpg(tour.pid, signal.SIGKILL)
    after = what_a_run_could_leave()
    return status, before[:3] + (set(),), after[:3] + (after[3] - before[3],)


def test_ctrl_c_while_the_prefix_is_made_and_sigterm_mid_tour_leave_nothing(tmp_path):
    build = tmp_path / "build"
    status, before, after = interrupted_tour(
        lambda: (build / "wineprefix.new").exists(),
        lambda tour: os.killpg(tour.pid, signal.SIGINT), BUILD_DIR=str(build))
    assert (status, after) == (130, before)
    assert not {"wineprefix", "wineprefix.new"} & set(os.listdir(build))  # whole or half made
    for shot in glob.glob(os.path.join(wine.BUILD, "demo", "*.png")):
        os.remove(shot)
    for step in ("-k", "-w"):
        subprocess.run(["wineserver", step], env=wine.env(), timeout=60)
    try:
        status, before, after = interrupted_tour(
            lambda: glob.glob(os.path.join(wine.BUILD, "demo", "*.png")),
            lambda tour: tour.send_signal(signal.SIGTERM))
    finally:
        wine.restart_server()
    assert (status, after) == (143, before)
