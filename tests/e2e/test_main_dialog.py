"""The main dialog as the operator meets it: layout, focus, keys, modes and leaving."""
import pytest

from conftest import DEFAULT_CAPTION, exe
from harness.driver import Updater, keys, wait_until

EXIT, SEND, CONFIG, NET, UPDATE, ALTERNATE = 1000, 1001, 1002, 1003, 1004, 1005
PICTURE, GROUP, LIST, HOST, NET_LABEL, PRINTER_LABEL = 1012, 1009, 1010, 1011, 1020, 1021
STATIC_NO_ID = 0xFFFF
WS_SYSMENU = 0x00080000
WS_TABSTOP = 0x00010000
BS_DEFPUSHBUTTON = 0x1

# id, class, text, (x, y, width, height) in dialog units, in tab order
TEMPLATE = [
    (CONFIG, "Button", "&Print Config", (49, 101, 50, 14)),
    (SEND, "Button", "&Send Firmware", (145, 101, 60, 14)),
    (EXIT, "Button", "E&xit", (249, 101, 50, 14)),
    (NET, "Button", "&Net", (0, 0, 0, 0)),
    (UPDATE, "Button", "&Update", (0, 0, 0, 0)),
    (ALTERNATE, "Button", "Alternate&File", (0, 0, 0, 0)),
    (PICTURE, "Static", None, (291, 52, 37, 34)),  # text: the ordinal of a missing bitmap
    (GROUP, "Button", "Progress", (25, 48, 257, 38)),
    (STATIC_NO_ID, "Static", "Please ensure the printer is in ready state before continuing",
     (31, 32, 248, 13)),
    (NET_LABEL, "Edit", "Enter network printer name or IP address:", (7, 12, 140, 8)),
    (HOST, "Edit", "", (149, 10, 180, 14)),
    (PRINTER_LABEL, "Edit", "Select Printer to Update:", (7, 12, 80, 8)),
    (LIST, "ComboBox", "", (90, 10, 240, 100)),
]


@pytest.fixture
def updater(cups):
    cups.set_queues({})
    with Updater(exe()) as u:
        yield u


def mul_div(value, base, divisor):
    return (value * base + divisor // 2) // divisor


def test_title_controls_texts_and_tab_order(updater):
    main = updater.main
    assert main.title == DEFAULT_CAPTION
    dialog_controls = [c for c in main.controls() if c.class_name != "msctls_progress32"]
    assert [(c.id, c.class_name, c.text if text is not None else None)
            for c, (_, _, text, _) in zip(dialog_controls, TEMPLATE)] == \
        [(i, cls, text) for i, cls, text, _ in TEMPLATE]
    assert len(dialog_controls) == len(TEMPLATE)

    # Dialog units to pixels, with the base units the platform gave the dialog's font.
    config = main.control(CONFIG).rect
    base_x = round((config[2] - config[0]) * 4 / 50)
    base_y = round((config[3] - config[1]) * 8 / 14)
    for c, (_, _, _, (x, y, w, h)) in zip(dialog_controls, TEMPLATE):
        if c.class_name == "ComboBox":
            continue  # a drop-down list sizes its own closed height
        left, top = mul_div(x, base_x, 4), mul_div(y, base_y, 8)
        assert c.rect == (left, top, left + mul_div(w, base_x, 4), top + mul_div(h, base_y, 8)), c.id


def test_hidden_commands_are_zero_size_tab_stops(updater):
    for id in (NET, UPDATE, ALTERNATE):
        c = updater.main.control(id)
        left, top, right, bottom = c.rect
        assert (right - left, bottom - top) == (0, 0)
        assert c.style & WS_TABSTOP


def test_print_config_is_default_and_has_the_focus(updater):
    assert updater.main.control(CONFIG).style & BS_DEFPUSHBUTTON
    assert updater.main.focused_id() == CONFIG


# The tab stops from Print Config on, in template order; the hidden commands follow Exit.
TAB_STOPS = [CONFIG, SEND, EXIT, NET, UPDATE, ALTERNATE]

# Visibility of the network field and its label, then the printer list and its label.
NETWORK_MODE = (True, True, False, False)
PRINTER_MODE = (False, False, True, True)


def destination_controls(main):
    return tuple(main.control(id).visible for id in (HOST, NET_LABEL, LIST, PRINTER_LABEL))


def tab_to(main, id):
    """Tabs from the start-up focus on Print Config to the control, checking each stop."""
    assert main.focused_id() == CONFIG
    for previous, following in zip(TAB_STOPS, TAB_STOPS[1:TAB_STOPS.index(id) + 1]):
        keys(main, "Tab")
        reached = wait_until(lambda: main.focused_id() != previous and main.focused_id(),
                             what=f"the focus to leave {previous}")
        assert reached == following


def test_tab_reaches_the_hidden_commands_in_template_order(updater):
    tab_to(updater.main, ALTERNATE)
    updater.assert_no_message_box(wait=0.3)
    assert updater.find_window("Update Internal Resources") is None
    assert destination_controls(updater.main) == PRINTER_MODE  # passing over runs nothing


def test_space_on_net_switches_to_the_network_field(updater):
    main = updater.main
    tab_to(main, NET)
    keys(main, "space")
    wait_until(lambda: destination_controls(main) == NETWORK_MODE, what="network mode")
    assert main.focused_id() == NET


def test_space_on_update_opens_the_repackager(updater):
    tab_to(updater.main, UPDATE)
    keys(updater.main, "space")
    dialog = updater.window("Update Internal Resources")
    assert dialog.control(1022).text == DEFAULT_CAPTION


def test_space_on_alternate_file_opens_its_chooser(updater):
    tab_to(updater.main, ALTERNATE)
    keys(updater.main, "space")
    updater.window("Select an alternate download file")
    updater.cancel_chooser("Select an alternate download file")
    updater.assert_no_message_box(wait=0.3)


def test_no_close_box(updater):
    assert not updater.main.info().style & WS_SYSMENU


def test_starts_in_printer_mode(updater):
    main = updater.main
    assert main.control(LIST).visible and main.control(PRINTER_LABEL).visible
    assert not main.control(HOST).visible and not main.control(NET_LABEL).visible
    for id in (EXIT, SEND, CONFIG):
        assert main.control(id).enabled
    assert main.control(PICTURE).image == 0


def test_net_toggles_the_destination_controls(updater):
    main = updater.main
    main.control(NET).command()
    wait_until(lambda: destination_controls(main) == NETWORK_MODE, what="network mode")
    assert main.control(NET_LABEL).text == "Enter network printer name or IP address:"
    keys(main, "alt+n")
    wait_until(lambda: destination_controls(main) == PRINTER_MODE, what="printer mode")
    assert main.control(PRINTER_LABEL).text == "Select Printer to Update:"


def test_escape_does_nothing(updater):
    main = updater.main
    # The dialog takes keys in order: once Tab has moved the focus, Escape has had its effect.
    keys(main, "Escape", "Tab")
    wait_until(lambda: main.focused_id() == SEND, what="Tab to reach Send Firmware")
    assert updater.message_boxes() == []
    assert updater.running() and main.visible


def test_exit_ends_with_status_zero(updater):
    updater.main.control(EXIT).click()
    assert updater.wait_exit(20) == 0


def test_exit_from_the_keyboard(updater):
    keys(updater.main, "alt+x")
    assert updater.wait_exit(20) == 0


def test_close_message_ends_the_program(updater):
    updater.main.close()
    assert updater.wait_exit(20) == 0
