"""Many sends in a row, a long printer list and a large file: every job arrives exact."""
import os

from conftest import CONFIG_PAGE_JOB, exe, sha256
from harness.driver import Updater, wait_until
from helpers import (CONFIG, SEND, buttons_enabled, choose, expect_box, select, to_network,
                     wait_for_face)

ROUNDS = 100
BIG = 256 * 1024 * 1024


def config_pages(u, rounds):
    for _ in range(rounds):
        u.main.control(CONFIG).click()
        expect_box(u, "Info", "Sent Configuration Page")
        wait_until(lambda: buttons_enabled(u) == [True, True, True])


def test_a_hundred_configuration_pages_through_the_spooler(spooler):
    queues = spooler("load-queue")
    with Updater(exe("updater-wait2")) as u:
        select(u, "load-queue")
        config_pages(u, ROUNDS)
        jobs = queues["load-queue"].wait_connections(ROUNDS, timeout=600)
        assert jobs == [CONFIG_PAGE_JOB] * ROUNDS
        assert u.main.title  # still answering


def test_a_hundred_configuration_pages_over_the_network(cups, printers):
    cups.set_queues({})
    printer = printers(port=9100)
    with Updater(exe("updater-wait2")) as u:
        to_network(u)
        config_pages(u, ROUNDS)
        assert printer.wait_connections(ROUNDS) == [CONFIG_PAGE_JOB] * ROUNDS
        assert printer.ends == ["eof"] * ROUNDS


def test_a_thousand_queues_are_listed(cups, printers):
    p = printers()
    names = [f"load-{i:04d}" for i in range(1000)]
    cups.set_queues({n: p.port for n in names})
    try:
        with Updater(exe(), timeout=120) as u:
            u.assert_no_message_box(wait=0.5)
            assert sorted(u.main.control(1010).items) == names
    finally:
        cups.set_queues({})


def big_file(tmp_path):
    path = tmp_path / "big.bin"
    block = os.urandom(1024 * 1024)
    with open(path, "wb") as f:
        for i in range(BIG // len(block)):
            f.write(i.to_bytes(4, "little") + block[4:])
    return str(path), sha256(open(path, "rb").read())


def test_256_megabytes_over_both_transports(spooler, printers, tmp_path):
    path, digest = big_file(tmp_path)
    queues = spooler("big-queue")
    with Updater(exe("updater-wait2")) as u:
        choose(u, path)
        select(u, "big-queue")
        u.main.control(SEND).click()
        [job] = queues["big-queue"].wait_connections(1, timeout=600)
        assert len(job) == BIG and sha256(job) == digest
        wait_for_face(u, timeout=120)
    del job

    printer = printers(port=9100)
    with Updater(exe("updater-wait2")) as u:
        choose(u, path)
        to_network(u)
        u.main.control(SEND).click()
        [job] = printer.wait_connections(1, timeout=600)
        assert len(job) == BIG and sha256(job) == digest
        wait_for_face(u, timeout=120)
