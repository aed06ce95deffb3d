"""Steps the end-to-end tests share."""
from harness.driver import keys, wait_until
EXIT, SEND, CONFIG, NET, UPDATE, ALTERNATE = 1000, 1001, 1002, 1003, 1004, 1005
PICTURE, LIST, HOST = 1012, 1010, 1011
ALTERNATE_CHOOSER = "Select an alternate download file"


def buttons_enabled(u):
    """[Send Firmware, Print Config, Exit] enabled."""
    return [u.main.control(i).enabled for i in (SEND, CONFIG, EXIT)]


def to_network(u, host="127.0.0.1"):
    u.main.control(NET).command()
    wait_until(lambda: u.main.control(HOST).visible)
    u.main.control(HOST).set_text(host)


def select(u, name):
    combo = u.main.control(LIST)
    combo.select(combo.items.index(name))
    assert combo.text == name


def progress(u):
    return u.main.control_by_class("msctls_progress32").progress


def wait_for_face(u, timeout):
    """Waits out the completion wait: the face is shown when it ends."""
    wait_until(lambda: u.main.control(PICTURE).image != 0, timeout=timeout)


def expect_box(u, caption, text, timeout=30):
    box = u.message_box(timeout=timeout)
    assert (box.caption, box.text) == (caption, text), (box.caption, box.text)
    box.ok()


def choose(u, path, selected=True):
    """AlternateFile: Alt+F, the path into its chooser, and the box that confirms the choice."""
    keys(u.main, "alt+f")
    u.choose_file(ALTERNATE_CHOOSER, str(path))
    if selected:
        expect_box(u, "Info", "Selected file will now be downloaded instead of embedded file")
