"""Send Firmware: the embedded payload through the spooler, the completion wait and its bar,
and how the updater finds its payload and strings."""
from conftest import CONFIG_PAGE_JOB, default_payload, exe, sha256
from harness.driver import Updater, click_mouse, wait_until
from helpers import (CONFIG, EXIT, LIST, PICTURE, SEND, buttons_enabled, expect_box, progress,
                     select, wait_for_face)


def test_firmware_arrives_whole_and_the_run_goes_on(spooler, cups):
    queues = spooler("fw-queue")
    with Updater(exe("updater-wait2")) as u:
        select(u, "fw-queue")
        u.main.control(SEND).click()
        wait_for_face(u, timeout=120)
        [job] = queues["fw-queue"].wait_connections(1, timeout=120)
        assert len(job) == 4134689
        assert sha256(job) == sha256(default_payload())
        assert [name for _, name in cups.wait_jobs("fw-queue", 1)] == ["Firmware Update"]
        wait_until(lambda: buttons_enabled(u) == [False, True, True])
        assert progress(u) == (20, 0, 20)
        u.assert_no_message_box(wait=0.3)

        u.main.control(CONFIG).click()
        expect_box(u, "Info", "Sent Configuration Page")
        assert queues["fw-queue"].wait_connections(2)[1] == CONFIG_PAGE_JOB
        wait_until(lambda: buttons_enabled(u) == [False, True, True])


def test_during_the_wait_buttons_are_off_and_the_window_lives(spooler):
    spooler("wait-queue")
    with Updater(exe("updater-wait8")) as u:
        select(u, "wait-queue")
        u.main.control(SEND).click()
        wait_until(lambda: progress(u)[0] > 0, timeout=60)
        assert buttons_enabled(u) == [False, False, False]
        first = progress(u)
        assert first[1:] == (0, 80)
        wait_until(lambda: progress(u)[0] > first[0] + 5, timeout=30)
        assert buttons_enabled(u) == [False, False, False]

        # The dialog still paints: the bar's filled part grows on screen.
        bar = u.main.control_by_class("msctls_progress32")
        filled_before = u.filled_pixels(bar)
        wait_until(lambda: u.filled_pixels(bar) > filled_before, timeout=10)

        # The printer list still opens with a real mouse click.
        combo = u.main.control(LIST)
        left, top, right, bottom = combo.screen_rect
        click_mouse(right - 5, (top + bottom) // 2)
        wait_until(lambda: combo.dropped, timeout=10)
        click_mouse(right - 5, (top + bottom) // 2)

        wait_for_face(u, timeout=60)
        assert progress(u) == (80, 0, 80)
        wait_until(lambda: buttons_enabled(u) == [False, True, True])


def test_close_during_the_wait_hides_then_ends_after_it(spooler):
    spooler("close-queue")
    with Updater(exe("updater-wait8")) as u:
        select(u, "close-queue")
        u.main.control(SEND).click()
        wait_until(lambda: progress(u)[0] > 0, timeout=60)
        u.main.close()
        wait_until(lambda: not u.main.visible, timeout=10)
        # Hidden, the wait runs on to its full count before the program ends.
        at_close = progress(u)[0]
        assert at_close < 80
        wait_until(lambda: progress(u)[0] > at_close, timeout=20)
        assert u.running()
        assert u.wait_exit(60) == 0


def test_empty_payload_entry_is_an_empty_successful_job(spooler):
    queues = spooler("empty-queue")
    with Updater(exe("updater-empty-payload")) as u:
        u.assert_no_message_box(wait=0.5)
        select(u, "empty-queue")
        u.main.control(SEND).click()
        wait_for_face(u, timeout=60)
        u.assert_no_message_box(wait=0.5)
        assert buttons_enabled(u) == [False, True, True]


def test_missing_payload_entry_shows_the_system_error_and_runs_on(spooler):
    spooler("missing-queue")
    with Updater(exe("updater-no-payload"), wait_for_dialog=False) as u:
        box = u.message_box(timeout=30)
        assert box.caption == "Error"
        # Built without a "FILE" entry, its resources have no such type at all: the platform's
        # lookup says so (ERROR_RESOURCE_TYPE_NOT_FOUND), with Wine's text for it.
        assert box.text == "failure with error 1813: Resource type not found.\r\n"
        box.ok()
        u.wait_for_main()
        assert u.main.title == "No payload"
        assert u.main.control(SEND).enabled
        u.main.control(EXIT).click()
        assert u.wait_exit(20) == 0
