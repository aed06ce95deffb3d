"""AlternateFile: a file from disk replaces the embedded payload for later firmware sends."""
import os

import pytest

from conftest import CONFIG_PAGE_JOB, default_payload, exe, sha256
from harness.driver import Updater, keys
from helpers import (ALTERNATE_CHOOSER, CONFIG, SEND, choose, expect_box, select, to_network,
                     wait_for_face)


@pytest.fixture
def files(tmp_path):
    def make(name, data):
        path = tmp_path / name
        path.write_bytes(data)
        return str(path)
    return make


def send_through(u, queue_printer, queue_name=None):
    if queue_name:
        select(u, queue_name)
    u.main.control(SEND).click()
    [job] = queue_printer.wait_connections(1, timeout=120)
    wait_for_face(u, timeout=60)
    return job


def test_chosen_file_goes_through_the_spooler(spooler, files):
    queues = spooler("alt-queue")
    data = os.urandom(300000)
    with Updater(exe("updater-wait2")) as u:
        choose(u, files("image.bin", data))
        select(u, "alt-queue")
        u.main.control(CONFIG).click()
        expect_box(u, "Info", "Sent Configuration Page")
        u.main.control(SEND).click()
        jobs = queues["alt-queue"].wait_connections(2, timeout=120)
        assert jobs[0] == CONFIG_PAGE_JOB
        assert sha256(jobs[1]) == sha256(data)
        wait_for_face(u, timeout=60)


def test_chosen_file_goes_over_the_network(cups, printers, files):
    cups.set_queues({})
    printer = printers(port=9100)
    data = os.urandom(2 * 1024 * 1024 + 17)
    with Updater(exe("updater-wait2")) as u:
        choose(u, files("net-image.bin", data))
        to_network(u)
        assert sha256(send_through(u, printer)) == sha256(data)


def test_second_choice_replaces_the_first(spooler, files):
    queues = spooler("second-queue")
    first, second = os.urandom(5000), os.urandom(7000)
    with Updater(exe("updater-wait2")) as u:
        choose(u, files("first.bin", first))
        choose(u, files("second.bin", second))
        assert send_through(u, queues["second-queue"], "second-queue") == second


def test_cancel_changes_nothing(spooler):
    queues = spooler("cancel-queue")
    with Updater(exe("updater-wait2")) as u:
        keys(u.main, "alt+f")
        u.cancel_chooser(ALTERNATE_CHOOSER)
        u.assert_no_message_box(wait=0.5)
        job = send_through(u, queues["cancel-queue"], "cancel-queue")
        assert sha256(job) == sha256(default_payload())


def failing_choice_keeps_the_payload(u, queue_printer, path, queue_name, previous):
    choose(u, path, selected=False)
    box = u.message_box(timeout=30)
    assert box.caption == "Error"
    assert box.text.startswith("failure with error ")
    box.ok()
    u.assert_no_message_box(wait=0.3)
    assert sha256(send_through(u, queue_printer, queue_name)) == sha256(previous)


def test_file_held_open_for_writing_is_refused(spooler, files):
    queues = spooler("locked-queue")
    earlier = os.urandom(4000)
    with Updater(exe("updater-wait2")) as u:
        choose(u, files("earlier.bin", earlier))
        locked = files("locked.bin", b"locked content")
        u.lock_file(locked)
        try:
            failing_choice_keeps_the_payload(u, queues["locked-queue"], locked, "locked-queue",
                                             earlier)
        finally:
            u.unlock_file(locked)


def test_empty_file_is_refused(spooler, files):
    queues = spooler("empty-file-queue")
    with Updater(exe("updater-wait2")) as u:
        failing_choice_keeps_the_payload(u, queues["empty-file-queue"], files("empty.bin", b""),
                                         "empty-file-queue", default_payload())


def test_file_too_large_to_map_is_refused(spooler, tmp_path):
    queues = spooler("huge-queue")
    huge = tmp_path / "huge.bin"
    with open(huge, "wb") as f:
        f.truncate(3 * 1024 ** 3)  # sparse: nothing large is written
    with Updater(exe("updater-wait2")) as u:
        failing_choice_keeps_the_payload(u, queues["huge-queue"], str(huge), "huge-queue",
                                         default_payload())
