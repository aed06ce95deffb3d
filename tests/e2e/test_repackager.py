"""Update Internal Resources: writing a new updater from the running one."""
import os
import re
import shutil
import stat
import struct
import subprocess

import pytest

from conftest import DEFAULT_CAPTION, default_payload, exe, sha256
from harness import pe, wine
from harness.disks import small_disk
from harness.driver import Updater, keys, wait_until, windows_path
from harness.scanner import Scanner
from helpers import SEND, expect_box, progress, select, wait_for_face

TITLE = "Update Internal Resources"
CAPTION, EMBED, TIMEOUT, SAVE, CANCEL, BROWSE = 1022, 1023, 1024, 1006, 1007, 1008
SAVE_CHOOSER = "Select new file to save to"
BROWSE_CHOOSER = "Select an executable"


def block(caption, wait):
    out = struct.pack("<H", 0)
    for text in (caption, wait):
        out += struct.pack("<H", len(text)) + text.encode("utf-16-le")
    return out + bytes(26)


@pytest.fixture
def source(tmp_path, cups):
    """A private copy of the short-wait updater to repackage, and its bytes before."""
    cups.set_queues({})
    path = tmp_path / "source.exe"
    shutil.copyfile(exe("updater-wait2"), path)
    return str(path)


def open_repackager(u):
    keys(u.main, "alt+u")
    return u.window(TITLE)


def save(u, dialog, target, caption=None, wait=None, embed=None):
    if caption is not None:
        dialog.control(CAPTION).set_text(caption)
    if wait is not None:
        dialog.control(TIMEOUT).set_text(wait)
    if embed is not None:
        dialog.control(BROWSE).click()
        u.choose_file(BROWSE_CHOOSER, embed)
        wait_until(lambda: dialog.control(EMBED).text != "")
    dialog.control(SAVE).click()
    u.choose_file(SAVE_CHOOSER, target)


def repackage(src, target, **fields):
    with Updater(src) as u:
        save(u, open_repackager(u), target, **fields)
        assert u.wait_exit(30) == 0


def test_fields_start_with_the_current_strings(source):
    with Updater(source) as u:
        dialog = open_repackager(u)
        assert dialog.control(CAPTION).text == DEFAULT_CAPTION
        assert dialog.control(TIMEOUT).text == "2"
        assert dialog.control(EMBED).text == ""
        assert u.main.enabled  # no owner: the main dialog stays usable beside it


@pytest.mark.parametrize("caption", ["Fresh \xe9dition", "Price €5 “quoted” – Model™"])
def test_new_updater_has_the_new_caption_wait_and_payload(source, tmp_path, spooler, caption):
    before = open(source, "rb").read()
    image = os.urandom(123457)
    (tmp_path / "image.bin").write_bytes(image)
    target = str(tmp_path / "new.exe")
    repackage(source, target, caption=caption, wait="3", embed=str(tmp_path / "image.bin"))
    assert open(source, "rb").read() == before

    res = pe.resources(target)
    written = res[(pe.RT_STRING, 1, 0)]
    assert written == block(caption, "3")
    assert len(written) == 2 * len(caption) + 2 * len("3") + 32
    assert res[("FILE", 1013, 0)] == image
    assert res[(pe.RT_STRING, 1, 1033)] == pe.resources(source)[(pe.RT_STRING, 1, 1033)]
    assert ("FILE", 1013, 1033) in res

    queues = spooler("repack-queue")
    with Updater(target) as u:
        assert u.main.title == caption
        select(u, "repack-queue")
        u.main.control(SEND).click()
        [job] = queues["repack-queue"].wait_connections(1, timeout=120)
        assert sha256(job) == sha256(image)
        wait_for_face(u, timeout=60)
        assert progress(u) == (30, 0, 30)


def test_empty_embed_keeps_the_payload(source, tmp_path, spooler):
    target = str(tmp_path / "same-payload.exe")
    repackage(source, target, caption="Same payload", wait="2")
    res = pe.resources(target)
    assert ("FILE", 1013, 0) not in res
    queues = spooler("keep-queue")
    with Updater(target) as u:
        assert u.main.title == "Same payload"
        select(u, "keep-queue")
        u.main.control(SEND).click()
        [job] = queues["keep-queue"].wait_connections(1, timeout=120)
        assert sha256(job) == sha256(default_payload())


def test_empty_caption_and_timeout(source, tmp_path, spooler):
    target = str(tmp_path / "empty-strings.exe")
    repackage(source, target, caption="", wait="")
    assert pe.resources(target)[(pe.RT_STRING, 1, 0)] == bytes(32)
    queues = spooler("empty-strings-queue")
    with Updater(target) as u:
        assert u.main.title == ""
        select(u, "empty-strings-queue")
        u.main.control(SEND).click()
        wait_for_face(u, timeout=120)
        assert progress(u) == (0, 0, 0)


def test_long_fields_are_cut(source, tmp_path):
    target = str(tmp_path / "cut.exe")
    repackage(source, target, caption="c" * 300, wait="123456789")
    assert pe.resources(target)[(pe.RT_STRING, 1, 0)] == block("c" * 254, "12345678")
    with Updater(target) as u:
        assert u.main.title == "c" * 254


def test_third_generation_replaces_rather_than_adds(source, tmp_path, spooler):
    first, second = os.urandom(1000), os.urandom(2000)
    (tmp_path / "first.bin").write_bytes(first)
    (tmp_path / "second.bin").write_bytes(second)
    gen2, gen3 = str(tmp_path / "gen2.exe"), str(tmp_path / "gen3.exe")
    repackage(source, gen2, caption="Second", wait="2", embed=str(tmp_path / "first.bin"))
    repackage(gen2, gen3, caption="Third", wait="2", embed=str(tmp_path / "second.bin"))
    res = pe.resources(gen3)
    assert sorted(k[2] for k in res if k[:2] == ("FILE", 1013)) == [0, 1033]
    assert sorted(k[2] for k in res if k[:2] == (pe.RT_STRING, 1)) == [0, 1033]
    assert res[("FILE", 1013, 0)] == second
    queues = spooler("gen3-queue")
    with Updater(gen3) as u:
        assert u.main.title == "Third"
        select(u, "gen3-queue")
        u.main.control(SEND).click()
        assert queues["gen3-queue"].wait_connections(1, timeout=120) == [second]


@pytest.mark.parametrize("how", ["cancel", "escape", "enter"])
def test_leaving_without_saving_writes_nothing(source, tmp_path, how):
    before = sorted(os.listdir(tmp_path))
    with Updater(source) as u:
        dialog = open_repackager(u)
        dialog.control(CAPTION).set_text("never saved")
        if how == "cancel":
            dialog.control(CANCEL).click()
        else:
            keys(dialog, "Escape" if how == "escape" else "Return")
        wait_until(lambda: u.find_window(TITLE) is None)
        u.assert_no_message_box(wait=0.3)
        assert u.running() and u.main.visible
    assert sorted(os.listdir(tmp_path)) == before


def expect_one_failure(u, dialog, caption, starts=None, text=None):
    """The one box of a failed save, by the start of its text or the whole text; the dialog
    stays open with its fields as they were."""
    box = u.message_box(timeout=30)
    assert box.caption == caption
    if text is not None:
        assert box.text == text
    else:
        assert box.text.startswith(starts), box.text
    box.ok()
    u.assert_no_message_box(wait=0.3)
    assert u.find_window(TITLE) is not None
    assert dialog.control(CAPTION).text == "Kept caption"
    return box.text


def test_read_only_target_is_left_as_it_was(source, tmp_path):
    # The tests run as root, for whom permission bits do not make a file read-only; the
    # immutable attribute does.
    target = tmp_path / "readonly.exe"
    target.write_bytes(b"old contents")
    files = sorted(os.listdir(tmp_path))
    subprocess.run(["chattr", "+i", str(target)], check=True)
    try:
        with Updater(source) as u:
            dialog = open_repackager(u)
            save(u, dialog, str(target), caption="Kept caption")
            expect_one_failure(u, dialog, "Error", "failure with error ")
        assert target.read_bytes() == b"old contents"
        assert sorted(os.listdir(tmp_path)) == files
    finally:
        subprocess.run(["chattr", "-i", str(target)], check=False)


@pytest.mark.parametrize("embed", ["missing", "locked"])
def test_unreadable_embed_file_leaves_the_target_as_it_was(source, tmp_path, embed):
    old = os.urandom(4096)
    target = tmp_path / "existing.exe"
    target.write_bytes(old)
    image = tmp_path / "image.bin"
    if embed == "locked":
        image.write_bytes(b"locked")
    files = sorted(os.listdir(tmp_path))
    with Updater(source) as u:
        dialog = open_repackager(u)
        dialog.control(EMBED).set_text(u.windows_path(str(image)))
        if embed == "locked":
            u.lock_file(str(image))
        try:
            save(u, dialog, str(target), caption="Kept caption")
            code = 2 if embed == "missing" else 32
            expect_one_failure(u, dialog, "Error", f"failure with error {code}: ")
        finally:
            if embed == "locked":
                u.unlock_file(str(image))
    assert sha256(target.read_bytes()) == sha256(old)
    assert sorted(os.listdir(tmp_path)) == files


def test_failed_resource_update_leaves_the_target_as_it_was(source, tmp_path):
    """The target's disk holds a copy of the updater but not one that also carries the image
    to embed: the resource update's commit fails with the disk full."""
    image = os.urandom(2 << 20)
    (tmp_path / "image.bin").write_bytes(image)
    size = os.path.getsize(source) + (1 << 20)
    with small_disk(tmp_path / "disk", size) as disk:
        old = os.urandom(4096)
        target = disk / "existing.exe"
        target.write_bytes(old)
        with Updater(source) as u:
            dialog = open_repackager(u)
            save(u, dialog, str(target), caption="Kept caption",
                 embed=str(tmp_path / "image.bin"))
            # 112, the disk is full; 29 where the platform's update leaves no code (Wine).
            box_text = expect_one_failure(u, dialog, "Error", "failure with error ")
            assert re.match(r"failure with error (112|29): ", box_text), box_text
        assert sha256(target.read_bytes()) == sha256(old)
        assert os.listdir(disk) == ["existing.exe"]


def test_read_only_updater_makes_a_working_writable_one(source, tmp_path):
    # Wine shows a file without write permission as read-only, and a copy takes that on.
    os.chmod(source, 0o444)
    target = tmp_path / "from-read-only.exe"
    repackage(source, str(target), caption="From read-only", wait="2")
    assert os.stat(target).st_mode & stat.S_IWUSR
    assert pe.resources(str(target))[(pe.RT_STRING, 1, 0)] == block("From read-only", "2")
    with Updater(str(target)) as u:
        assert u.main.title == "From read-only"


def test_scanner_holding_the_new_file_for_a_moment(source, tmp_path):
    """A virus scanner opens each new executable for reading as it appears, sharing it with
    readers only, and lets go 300 ms later: the save waits for it and succeeds."""
    folder = tmp_path / "scanned"
    folder.mkdir()
    target = folder / "new.exe"
    with Scanner(folder, hold_ms=300) as scanner:
        repackage(source, str(target), caption="Scanned", wait="2")
    # It held the file being built before that file became new.exe.
    assert [name for name in scanner.held if name != "new.exe"], scanner.held
    assert sorted(os.listdir(folder)) == ["new.exe"]
    assert pe.resources(str(target))[(pe.RT_STRING, 1, 0)] == block("Scanned", "2")
    with Updater(str(target)) as u:
        assert u.main.title == "Scanned"


OWN_FILE = "The running updater can't overwrite its own file. Choose another file to save to."
EMBED_IS_TARGET = ("The file to embed can't also be the file to save to. "
                   "Choose another file to save to.")


@pytest.mark.parametrize("how", ["same path", "hard link"])
def test_own_file_is_refused(source, tmp_path, how):
    before = open(source, "rb").read()
    target = source
    if how == "hard link":
        target = str(tmp_path / "link-to-source.exe")
        os.link(source, target)
    files = sorted(os.listdir(tmp_path))
    with Updater(source) as u:
        dialog = open_repackager(u)
        save(u, dialog, target, caption="Kept caption")
        expect_one_failure(u, dialog, "Info", text=OWN_FILE)
    assert open(source, "rb").read() == before
    assert sorted(os.listdir(tmp_path)) == files


@pytest.fixture
def drive_letter(tmp_path):
    """A Wine drive letter R: for tmp_path, as a mapped drive is another route to a folder."""
    link = os.path.join(wine.env()["WINEPREFIX"], "dosdevices", "r:")
    os.symlink(str(tmp_path), link)
    yield "R:"
    os.remove(link)


def other_spelling(firmware, how, request):
    """Another name for the same file, as the operator might type it into Embed File."""
    path = windows_path(str(firmware))
    folder, name = path.rsplit("\\", 1)
    folder_name = folder.rsplit("\\", 1)[1]
    if how == "same path":
        return path
    if how == "other case":
        return path.upper()
    if how == "dot-dot":
        return f"{folder}\\..\\{folder_name}\\{name}"
    if how == "forward slashes":
        return path.replace("\\", "/")
    if how == "hard link":
        link = firmware.with_name("firmware-link.bin")
        os.link(firmware, link)
        return windows_path(str(link))
    if how == "other drive":
        return request.getfixturevalue("drive_letter") + "\\" + name
    raise ValueError(how)


@pytest.mark.parametrize("how", ["same path", "other case", "dot-dot", "forward slashes",
                                 "hard link", "other drive"])
def test_embed_file_as_target_is_refused(source, tmp_path, request, how):
    image = os.urandom(70001)
    firmware = tmp_path / "firmware.bin"
    firmware.write_bytes(image)
    embed = other_spelling(firmware, how, request)
    files = sorted(os.listdir(tmp_path))
    with Updater(source) as u:
        dialog = open_repackager(u)
        dialog.control(EMBED).set_text(embed)
        save(u, dialog, str(firmware), caption="Kept caption")
        expect_one_failure(u, dialog, "Info", text=EMBED_IS_TARGET)
        assert dialog.control(EMBED).text == embed
    assert sha256(firmware.read_bytes()) == sha256(image)
    assert sorted(os.listdir(tmp_path)) == files


def test_cancelled_save_chooser(source, tmp_path):
    with Updater(source) as u:
        dialog = open_repackager(u)
        dialog.control(CAPTION).set_text("Kept caption")
        dialog.control(SAVE).click()
        u.cancel_chooser(SAVE_CHOOSER)
        expect_one_failure(u, dialog, "Info", "Can't open file to save to")
    assert sorted(os.listdir(tmp_path)) == ["source.exe"]
