"""Proves the UI driver against the real updater: reading, clicking, keys, boxes, choosers."""

import pytest

from harness.driver import Rect, Updater, click_center, keys, wait_until

CAPTION = "Vexo Printora T4417ke MFP Firmware Update 20090403"
CHOOSER_TITLE = "Select an alternate download file"

ID_EXIT = 1000
ID_PRINT_CONFIG = 1002
ID_NET = 1003
ID_ALTERNATE = 1005
ID_PRINTER_LIST = 1010
ID_NET_HOST = 1011
CB_ERR = -1
PBM_SETPOS = 0x0402


@pytest.fixture
def updater():
    with Updater() as running:
        yield running


def network_mode_shown(main) -> bool:
    return main.control(ID_NET_HOST).visible and not main.control(ID_PRINTER_LIST).visible


def printer_list_shown(main) -> bool:
    return main.control(ID_PRINTER_LIST).visible and not main.control(ID_NET_HOST).visible


def test_main_dialog_shows_caption_and_buttons_in_tab_order(updater):
    main = updater.main
    assert main.title == CAPTION
    assert main.visible and main.enabled
    assert main.control(ID_PRINT_CONFIG).text == "&Print Config"
    ids = [control.id for control in main.controls()]
    assert ids[:6] == [ID_PRINT_CONFIG, 1001, ID_EXIT, ID_NET, 1004, ID_ALTERNATE]


def test_hidden_buttons_have_zero_size(updater):
    net = updater.main.control(ID_NET)
    assert (net.rect.width, net.rect.height) == (0, 0)
    assert net.class_name == "Button"


def test_progress_bar_is_drawn_as_far_as_it_is_set(updater):
    bar = updater.main.control_by_class("msctls_progress32")
    assert bar.progress == (0, 0, 100)
    bar.send(PBM_SETPOS, 50)
    assert bar.progress == (50, 0, 100)
    inside = Rect(0, 0, bar.screen_rect.width - 2, bar.screen_rect.height - 2)  # 1-pixel frame
    half = inside.width // 2 * inside.height
    wait_until(lambda: abs(updater.filled_pixels(bar) - half) <= inside.height, 5,
               "the bar drawn half full")


def test_printer_list_matches_the_spooler(updater):
    assert updater.main.control(ID_PRINTER_LIST).items == updater.spooler_order()


def test_net_command_swaps_printer_list_for_network_field(updater):
    main = updater.main
    assert printer_list_shown(main)
    main.control(ID_NET).command()
    wait_until(lambda: network_mode_shown(main), 5, "the network field")


def test_click_on_hidden_net_button_then_alt_n_toggles_back(updater):
    main = updater.main
    main.control(ID_NET).click()
    wait_until(lambda: network_mode_shown(main), 5, "the network field")
    keys(main, "alt+n")
    wait_until(lambda: printer_list_shown(main), 5, "the printer list")


def test_exit_button_ends_with_code_zero(updater):
    updater.main.control(ID_EXIT).click()
    assert updater.wait_exit(10) == 0
    assert not updater.running()
    assert updater.windows() == []


def test_mouse_click_on_exit_ends_with_code_zero(updater):
    click_center(updater.main.control(ID_EXIT))
    assert updater.wait_exit(10) == 0


def test_alt_x_ends_with_code_zero(updater):
    keys(updater.main, "alt+x")
    assert updater.wait_exit(10) == 0


def test_print_config_without_printer_shows_error_box(updater):
    main = updater.main
    assert main.control(ID_PRINTER_LIST).selected == CB_ERR
    main.control(ID_PRINT_CONFIG).click()
    box = updater.message_box()
    assert (box.caption, box.text) == ("Error", "Please select printer in drop-down box")
    box.ok()
    assert updater.message_boxes() == []
    wait_until(lambda: main.control(ID_PRINT_CONFIG).enabled, 5, "Print Config enabled again")


def test_alternate_file_chosen_replaces_embedded_file(updater, tmp_path):
    chosen = tmp_path / "alternate.bin"
    chosen.write_bytes(b"\x1b%-12345X@PJL\r\n")
    updater.main.control(ID_ALTERNATE).click()
    updater.window(CHOOSER_TITLE)
    assert not updater.main.enabled  # the chooser is modal
    updater.choose_file(CHOOSER_TITLE, chosen)
    box = updater.message_box()
    assert (box.caption, box.text) == (
        "Info", "Selected file will now be downloaded instead of embedded file")
    box.ok()


def test_cancelled_chooser_shows_nothing(updater):
    updater.main.control(ID_ALTERNATE).click()
    updater.cancel_chooser(CHOOSER_TITLE)
    updater.assert_no_message_box(wait=0.5)
    assert updater.main.enabled


def test_locked_alternate_file_cannot_be_read(updater, tmp_path):
    chosen = tmp_path / "locked.bin"
    chosen.write_bytes(b"payload")
    updater.lock_file(chosen)
    updater.main.control(ID_ALTERNATE).click()
    updater.choose_file(CHOOSER_TITLE, chosen)
    box = updater.message_box()
    assert box.caption == "Error"
    assert box.text.startswith("failure with error 32:")  # ERROR_SHARING_VIOLATION
    box.ok()


def test_kill_ends_updater_inside_a_message_box(updater):
    updater.main.control(ID_PRINT_CONFIG).click()
    updater.message_box()
    updater.kill()
    assert not updater.running()
