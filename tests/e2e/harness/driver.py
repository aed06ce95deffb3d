"""Drives the updater like a user, from another process.

tests/driver.exe (built from tests/driver/) runs under Wine, starts the updater and reads and
works its windows; this module speaks that program's line protocol. Real keystrokes and mouse
clicks go through xdotool. Every call has a time limit, and an Updater context leaves no process
behind: the driver kills the updater, and the updater runs in a job that dies with the driver.
"""

from __future__ import annotations

import os
import queue
import re
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, NamedTuple, Optional, TypeVar, Union

from . import wine

DIALOG_CLASS = "#32770"
MESSAGE_BOX_TEXT_ID = 0xFFFF
IDOK = 1
IDCANCEL = 2
# IDOK through IDCONTINUE: the only buttons a message box has.
MESSAGE_BOX_BUTTON_IDS = range(1, 12)
FILE_NAME_COMBO_ID = 0x47C  # cmb13
FILE_NAME_EDIT_ID = 0x480  # edt1
WM_CLOSE = 0x0010
PBM_GETBARCOLOR = 0x040F
CLR_DEFAULT = 0xFF000000

# Every message the driver sends gets this long to be answered; a request that sends several
# fails at the first unanswered one, so a reply is due well within DEFAULT_CALL_TIMEOUT.
SEND_TIMEOUT = 5.0
DEFAULT_CALL_TIMEOUT = SEND_TIMEOUT + 10.0
POLL_INTERVAL = 0.05

T = TypeVar("T")


class DriverError(Exception):
    """The driver could not do what was asked, or the updater did not behave as expected."""


class DriverTimeout(DriverError):
    """Something did not happen within its time limit."""


def windows_path(path: Union[str, Path]) -> str:
    """A path as Wine programs see it: drive paths are kept, Unix paths go through Z:."""
    text = str(path)
    if re.match(r"^[A-Za-z]:[\\/]", text):
        return text
    return "Z:" + os.path.abspath(text).replace("/", "\\")


def wait_until(condition: Callable[[], T], timeout: float = 10,
               what: str = "the condition") -> T:
    """Polls `condition` until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise DriverTimeout(f"timed out after {timeout} s waiting for {what}")
        time.sleep(POLL_INTERVAL)


def _escape(text: str) -> str:
    return (text.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\n", "\\n").replace("\r", "\\r"))


_UNESCAPED = {"t": "\t", "n": "\n", "r": "\r"}


def _unescape(field: str) -> str:
    return re.sub(r"\\(.)", lambda m: _UNESCAPED.get(m.group(1), m.group(1)), field)


def _split(line: str) -> list[str]:
    return [_unescape(field) for field in line.split("\t")]


class Rect(NamedTuple):
    left: int
    top: int
    right: int
    bottom: int

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top

    @property
    def center(self) -> tuple[int, int]:
        return (self.left + self.right) // 2, (self.top + self.bottom) // 2


@dataclass(frozen=True)
class WindowInfo:
    """One window as the driver describes it (the field order of Describe in the driver)."""
    hwnd: int
    class_name: str
    text: str
    id: int
    style: int
    exstyle: int
    visible: bool
    enabled: bool
    owner: int
    parent: int
    screen_rect: Rect
    rect: Rect  # in the parent's client coordinates; the screen for a top-level window
    client_screen_rect: Rect

    @classmethod
    def parse(cls, fields: list[str]) -> "WindowInfo":
        n = [int(field) for field in fields[3:]]
        return cls(int(fields[0]), fields[1], fields[2], n[0], n[1], n[2], n[3] == 1,
                   n[4] == 1, n[5], n[6], Rect(*n[7:11]), Rect(*n[11:15]), Rect(*n[15:19]))


ControlInfo = WindowInfo


class _Driver:
    """driver.exe under Wine and its line protocol."""

    def __init__(self, timeout: float):
        exe = Path(wine.BUILD) / "tests" / "driver.exe"
        if not exe.is_file():
            raise DriverError(f"{exe} is missing: cmake --build {wine.BUILD} --target driver")
        self._stderr = tempfile.TemporaryFile()
        self._process = subprocess.Popen(
            ["wine", str(exe)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=self._stderr, env=wine.env())
        self._replies: queue.Queue = queue.Queue()
        self._broken = False
        threading.Thread(target=self._read_replies, daemon=True).start()
        self._reply("startup", timeout)
        self.call("sendtimeout", str(int(SEND_TIMEOUT * 1000)))

    def _read_replies(self) -> None:
        for line in self._process.stdout:
            self._replies.put(line.decode("utf-8", "replace").rstrip("\r\n"))
        self._replies.put(None)

    def _stderr_tail(self) -> str:
        self._stderr.seek(0)
        tail = self._stderr.read().decode("utf-8", "replace")[-2000:]
        return f"\ndriver stderr:\n{tail}" if tail.strip() else ""

    def _fail(self, message: str, kind=DriverError) -> DriverError:
        self._broken = True
        self._kill_process()
        return kind(message + self._stderr_tail())

    def _reply(self, request: str, timeout: float) -> list[str]:
        try:
            line = self._replies.get(timeout=timeout)
        except queue.Empty:
            raise self._fail(f"driver gave no reply to {request!r} within {timeout} s",
                             DriverTimeout) from None
        if line is None:
            raise self._fail(f"driver ended while answering {request!r}")
        fields = _split(line)
        if fields[0] == "ok":
            return fields[1:]
        message = fields[1] if len(fields) > 1 else line
        kind = DriverTimeout if message.startswith("timeout") else DriverError
        raise kind(f"{request}: {message}")

    def call(self, *fields: Union[str, int], timeout: float = DEFAULT_CALL_TIMEOUT) -> list[str]:
        if self._broken:
            raise DriverError("the driver was stopped after an earlier failure")
        request = "\t".join(_escape(str(field)) for field in fields)
        try:
            self._process.stdin.write(request.encode("utf-8") + b"\n")
            self._process.stdin.flush()
        except OSError as error:
            raise self._fail(f"driver does not take requests: {error}") from None
        return self._reply(request, timeout)

    def _kill_process(self) -> None:
        if self._process.poll() is None:
            self._process.kill()
            self._process.wait(timeout=10)

    def close(self) -> None:
        if not self._broken:
            try:
                self.call("quit")
            except DriverError:
                pass
        try:
            self._process.stdin.close()
            self._process.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            pass
        self._kill_process()
        self._stderr.close()


class Window:
    """A top-level window of the updater. Its properties are read afresh on every access, from
    the system, without sending the updater a message: they come at once even while its
    thread is busy. Only Control.text, controls() and the control-specific reads (items,
    progress, ...) send messages, each with the driver's time limit."""

    def __init__(self, driver: _Driver, hwnd: int):
        self._driver = driver
        self.hwnd = hwnd

    def __repr__(self) -> str:
        return f"Window({self.hwnd})"

    def info(self) -> WindowInfo:
        """Everything the system keeps about the window; text is its kept caption, which for an
        edit or combo box is not what it shows (read Control.text for that)."""
        return WindowInfo.parse(self._driver.call("info", self.hwnd))

    @property
    def title(self) -> str:
        return self.info().text

    @property
    def class_name(self) -> str:
        return self.info().class_name

    @property
    def id(self) -> int:
        return self.info().id

    @property
    def style(self) -> int:
        return self.info().style

    @property
    def exstyle(self) -> int:
        return self.info().exstyle

    @property
    def visible(self) -> bool:
        return self.info().visible

    @property
    def enabled(self) -> bool:
        return self.info().enabled

    @property
    def rect(self) -> Rect:
        """The window's rectangle on the screen."""
        return self.info().screen_rect

    @property
    def screen_rect(self) -> Rect:
        return self.rect

    @property
    def client_screen_rect(self) -> Rect:
        return self.info().client_screen_rect

    @property
    def exists(self) -> bool:
        try:
            self._driver.call("info", self.hwnd)
        except DriverTimeout:
            raise
        except DriverError:
            return False
        return True

    @property
    def open(self) -> bool:
        """Exists and is visible: a dismissed dialog may linger hidden for a moment."""
        try:
            return self.info().visible
        except DriverTimeout:
            raise
        except DriverError:
            return False

    def control(self, id: int) -> "Control":
        hwnd = int(self._driver.call("item", self.hwnd, id)[0])
        return Control(self._driver, hwnd, self)

    def control_by_class(self, class_name: str, index: int = 0) -> "Control":
        """The index-th child of that class in tab order, for controls without an id."""
        matches = [c for c in self.controls(texts=False) if c.class_name == class_name]
        if index >= len(matches):
            raise DriverError(f"{self!r} has no {class_name} number {index}")
        return Control(self._driver, matches[index].hwnd, self)

    def controls(self, texts: bool = True) -> list[ControlInfo]:
        """The direct children in z-order, which is a dialog's tab order. Edit and combo boxes
        are asked for their texts; with texts=False nothing is sent to the updater, and their
        text is the kept caption."""
        request = ("controls", self.hwnd) if texts else ("controls", self.hwnd, "captions")
        return [WindowInfo.parse(_split(record)) for record in self._driver.call(*request)]

    def top_level(self) -> "Window":
        return self

    def descendants(self, texts: bool = True) -> list[ControlInfo]:
        """All child windows, depth first in z-order (texts as in controls)."""
        found = []
        for child in self.controls(texts):
            found.append(child)
            found.extend(Control(self._driver, child.hwnd, self.top_level()).descendants(texts))
        return found

    def focused_id(self) -> Optional[int]:
        """Id of the child of this window that holds the keyboard focus (for a control made of
        several windows, such as a combo box with its edit, the id of the outer one)."""
        reply = self._driver.call("focus", self.hwnd)
        return int(reply[4]) if int(reply[3]) != 0 else None

    def post(self, msg: int, wparam: int = 0, lparam: int = 0) -> None:
        self._driver.call("post", self.hwnd, msg, wparam, lparam)

    def send(self, msg: int, wparam: int = 0, lparam: int = 0) -> int:
        """A message without pointers, sent with the driver's time limit; its result."""
        return int(self._driver.call("send", self.hwnd, msg, wparam, lparam)[0])

    def close(self) -> None:
        self.post(WM_CLOSE)

    def wait_closed(self, timeout: float = 10) -> None:
        wait_until(lambda: not self.open, timeout, f"{self!r} to close")


class Control(Window):
    """A child window. rect is in the parent's client coordinates, screen_rect on the screen."""

    def __init__(self, driver: _Driver, hwnd: int, window: Window):
        super().__init__(driver, hwnd)
        self.window = window

    def __repr__(self) -> str:
        return f"Control({self.hwnd} in {self.window!r})"

    def top_level(self) -> Window:
        return self.window

    @property
    def text(self) -> str:
        """The text the control reports (WM_GETTEXT)."""
        return self._driver.call("text", self.hwnd)[0]

    @property
    def rect(self) -> Rect:
        return self.info().rect

    @property
    def screen_rect(self) -> Rect:
        return self.info().screen_rect

    def click(self) -> None:
        """Posts BM_CLICK, as a click of the button. Wine's own button turns it into a click at
        (0,0), which misses a button of zero size unless the program handles BM_CLICK itself
        (see command)."""
        self._driver.call("click", self.hwnd)

    def command(self) -> None:
        """Posts the button's BN_CLICKED notification to its parent, whatever its size."""
        self._driver.call("command", self.hwnd)

    def set_text(self, text: str) -> None:
        self._driver.call("settext", self.hwnd, text)

    @property
    def items(self) -> list[str]:
        return self._driver.call("items", self.hwnd)

    @property
    def selected(self) -> int:
        """The combo box's selected index, -1 when none."""
        return int(self._driver.call("selected", self.hwnd)[0])

    def select(self, index: int) -> None:
        """Selects an item and notifies the parent (CBN_SELCHANGE) as a user's choice does."""
        self._driver.call("select", self.hwnd, index)

    @property
    def dropped(self) -> bool:
        return self._driver.call("dropped", self.hwnd)[0] != "0"

    @property
    def progress(self) -> tuple[int, int, int]:
        """The progress bar's position, lower and upper limit."""
        pos, low, high = self._driver.call("progress", self.hwnd)
        return int(pos), int(low), int(high)

    @property
    def bar_color(self) -> Optional[tuple[int, int, int]]:
        """The progress bar's colour as (red, green, blue); None for the system's default."""
        color = self.send(PBM_GETBARCOLOR) & 0xFFFFFFFF
        if color == CLR_DEFAULT:
            return None
        return color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF

    @property
    def image(self) -> int:
        """The static control's bitmap handle (STM_GETIMAGE), 0 when it shows none."""
        return int(self._driver.call("image", self.hwnd)[0])


class Box:
    """A message box: a dialog with the text in static 0xFFFF and only IDOK..IDCONTINUE
    buttons."""

    def __init__(self, window: Window, caption: str, text: str, buttons: dict[int, str]):
        self.window = window
        self.hwnd = window.hwnd
        self.caption = caption
        self.text = text
        self.buttons = buttons

    def __repr__(self) -> str:
        return f"Box({self.caption!r}: {self.text!r})"

    @classmethod
    def recognise(cls, window: Window, info: WindowInfo) -> Optional["Box"]:
        controls = window.controls(texts=False)  # a box's parts keep their texts as captions
        texts = [c for c in controls if c.id == MESSAGE_BOX_TEXT_ID and c.class_name == "Static"]
        buttons = {c.id: c.text for c in controls if c.class_name == "Button" and c.visible}
        only_box_parts = all(c.class_name in ("Static", "Button") for c in controls)
        if (not texts or not buttons or not only_box_parts
                or any(id not in MESSAGE_BOX_BUTTON_IDS for id in buttons)):
            return None
        return cls(window, info.text, texts[0].text, buttons)

    @property
    def open(self) -> bool:
        return self.window.open

    def press(self, id: int, timeout: float = 5) -> None:
        """Clicks one of its buttons and waits until the box has gone."""
        if id not in self.buttons:
            raise DriverError(f"{self!r} has no button {id}, only {self.buttons}")
        self.window.control(id).click()
        self.window.wait_closed(timeout)

    def ok(self, timeout: float = 5) -> None:
        self.press(IDOK, timeout)

    def cancel(self, timeout: float = 5) -> None:
        self.press(IDCANCEL, timeout)


class Updater:
    """The updater running under Wine, driven from outside. A context manager: on leaving,
    whatever is still running is killed."""

    def __init__(self, exe: Union[str, Path, None] = None, timeout: float = 30,
                 wait_for_dialog: bool = True, args: tuple[str, ...] = ()):
        """Starts the updater (default: the build's updater.exe) and waits until it shows a
        dialog. With wait_for_dialog, waits for the main dialog and fails at once if a message
        box comes first; without, a message box may come first, and the main dialog is looked
        for by wait_for_main or when `main` is first used."""
        self._driver = _Driver(timeout)
        self._main: Optional[Window] = None
        try:
            exe = exe if exe is not None else Path(wine.BUILD) / "updater.exe"
            started = self._driver.call("start", windows_path(exe), int(timeout * 1000), *args,
                                        timeout=timeout + DEFAULT_CALL_TIMEOUT)
            self.pid = int(started[0])
            if wait_for_dialog:
                self._main = self._wait_for_main(timeout, fail_on_box=True)
        except BaseException:
            self.close()
            raise

    def __enter__(self) -> "Updater":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        if self._driver is not None:
            self._driver.close()
            self._driver = None

    @property
    def main(self) -> Window:
        return self._main if self._main is not None else self.wait_for_main()

    def wait_for_main(self, timeout: float = 10) -> Window:
        """The main dialog: the first visible unowned dialog that is not a message box."""
        if self._main is None:
            self._main = self._wait_for_main(timeout, fail_on_box=False)
        return self._main

    def _wait_for_main(self, timeout: float, fail_on_box: bool) -> Window:
        def find() -> Optional[Window]:
            if not self.running():
                raise DriverError(f"the updater ended with exit code {self.wait_exit(0)} "
                                  "before its main dialog showed")
            if fail_on_box:
                boxes = self.message_boxes()
                if boxes:
                    raise DriverError(f"a message box came before the main dialog: {boxes}")
            for info in self._visible_dialogs():
                if info.owner == 0 and self._box(info) is None:
                    return Window(self._driver, info.hwnd)
            return None
        return wait_until(find, timeout, "the updater's main dialog")

    def _visible_dialogs(self) -> list[WindowInfo]:
        return [info for info in self.windows()
                if info.class_name == DIALOG_CLASS and info.visible]

    def _box(self, info: WindowInfo) -> Optional[Box]:
        try:
            return Box.recognise(Window(self._driver, info.hwnd), info)
        except DriverTimeout:
            raise
        except DriverError:
            return None  # closed while being read

    def windows(self) -> list[WindowInfo]:
        """The updater's top-level windows, topmost first (titles read without messages)."""
        # A window can vanish between being listed and being described; list again then.
        for attempt in range(5):
            try:
                records = self._driver.call("windows")
                break
            except DriverError as error:
                if "no window" not in str(error) or attempt == 4:
                    raise
                time.sleep(POLL_INTERVAL)
        return [WindowInfo.parse(_split(record)) for record in records]

    def find_window(self, title: str) -> Optional[Window]:
        """The visible top-level window of the updater with exactly that title, if one is open."""
        for info in self.windows():
            if info.visible and info.text == title:
                return Window(self._driver, info.hwnd)
        return None

    def window(self, title: str, timeout: float = 10) -> Window:
        """The visible top-level window with exactly that title, waited for."""
        return wait_until(lambda: self.find_window(title), timeout, f"a window titled {title!r}")

    windows_path = staticmethod(windows_path)

    def message_boxes(self) -> list[Box]:
        """The message boxes open now, topmost first."""
        boxes = [self._box(info) for info in self._visible_dialogs()]
        return [box for box in boxes if box is not None]

    def message_box(self, timeout: float = 10) -> Box:
        """The topmost open message box, waited for."""
        return wait_until(lambda: next(iter(self.message_boxes()), None), timeout,
                          "a message box")

    def assert_no_message_box(self, wait: float = 1.0) -> None:
        """Fails if a message box is open now or opens within `wait` seconds."""
        deadline = time.monotonic() + wait
        while True:
            boxes = self.message_boxes()
            if boxes:
                raise AssertionError(f"unexpected message box: {boxes}")
            if time.monotonic() >= deadline:
                return
            time.sleep(POLL_INTERVAL)

    def _file_name_field(self, chooser: Window) -> Control:
        for part in chooser.descendants(texts=False):
            if part.id == FILE_NAME_COMBO_ID:
                field = Control(self._driver, part.hwnd, chooser)
                edits = [p for p in field.descendants(texts=False) if p.class_name == "Edit"]
                return Control(self._driver, edits[0].hwnd, chooser) if edits else field
            if part.id == FILE_NAME_EDIT_ID and part.class_name == "Edit":
                return Control(self._driver, part.hwnd, chooser)
        raise DriverError(f"no file name field in {chooser!r}")

    def _chooser_button(self, chooser: Window, id: int) -> Control:
        for part in chooser.controls(texts=False):
            if part.id == id and part.class_name == "Button":
                return Control(self._driver, part.hwnd, chooser)
        raise DriverError(f"no button {id} in {chooser!r}")

    def _wait_chooser_closed(self, chooser: Window, timeout: float, what: str) -> None:
        try:
            chooser.wait_closed(timeout)
        except DriverTimeout:
            raise DriverTimeout(f"the file chooser stayed open after {what}; "
                                f"message boxes: {self.message_boxes()}") from None

    def choose_file(self, title: str, path: Union[str, Path], timeout: float = 10) -> None:
        """Waits for the chooser titled `title`, types `path` into its file name field and
        presses its Open/Save button; returns once the chooser has closed."""
        chooser = self.window(title, timeout)
        self._file_name_field(chooser).set_text(windows_path(path))
        self._chooser_button(chooser, IDOK).click()
        self._wait_chooser_closed(chooser, timeout, f"choosing {path}")

    def cancel_chooser(self, title: str, timeout: float = 10) -> None:
        chooser = self.window(title, timeout)
        self._chooser_button(chooser, IDCANCEL).click()
        self._wait_chooser_closed(chooser, timeout, "Cancel")

    def wait_exit(self, timeout: float) -> int:
        """The exit code; DriverTimeout if the updater still runs after `timeout` seconds."""
        return int(self._driver.call("wait_exit", int(timeout * 1000),
                                     timeout=timeout + DEFAULT_CALL_TIMEOUT)[0])

    def running(self) -> bool:
        return self._driver.call("status")[0] == "running"

    def kill(self) -> None:
        self._driver.call("kill")

    def spooler_order(self) -> list[str]:
        """The spooler's printer names in the order it enumerates them."""
        return self._driver.call("printers")

    def filled_pixels(self, control: Control,
                      color: Optional[tuple[int, int, int]] = None) -> int:
        """How many of the progress bar's pixels on screen have its fill colour: `color`, or
        else the colour drawn at the left end of its inside, 0 while the bar is empty. Wine's
        theme paints its own fill colour, whatever PBM_SETBARCOLOR asked for."""
        rect = control.screen_rect
        pixels = screen_pixels(rect)
        if color is None:
            position, low, _ = control.progress
            if position <= low:
                return 0
            color = pixels[(rect.height // 2) * rect.width + 1]
        return pixels.count(color)

    def lock_file(self, path: Union[str, Path]) -> None:
        """Holds the file open for writing, shared with no one, until unlock_file or the end."""
        self._driver.call("lock", windows_path(path))

    def unlock_file(self, path: Union[str, Path]) -> None:
        self._driver.call("unlock", windows_path(path))


def screen_pixels(rect: Rect, timeout: float = 30) -> list[tuple[int, int, int]]:
    """The screen's pixels inside rect, row by row, as (red, green, blue)."""
    geometry = f"{rect.width}x{rect.height}+{rect.left}+{rect.top}"
    try:
        shot = subprocess.run(["import", "-window", "root", "-crop", geometry, "+repage",
                               "-depth", "8", "rgb:-"], capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise DriverTimeout(f"the screenshot took longer than {timeout} s") from None
    data = shot.stdout
    if shot.returncode != 0 or len(data) != 3 * rect.width * rect.height:
        raise DriverError(f"screenshot of {geometry} failed: {shot.stderr.decode().strip()}")
    return [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]


def _xdotool(*args: str, timeout: float = 10, check: bool = True) -> str:
    try:
        done = subprocess.run(["xdotool", *args], capture_output=True, text=True,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        raise DriverTimeout(f"xdotool {' '.join(args)} took longer than {timeout} s") from None
    if check and done.returncode != 0:
        raise DriverError(f"xdotool {' '.join(args)} failed: {done.stderr.strip()}")
    return done.stdout


def _exact_pattern(title: str) -> str:
    """An anchored POSIX extended regular expression matching exactly `title`."""
    return "^" + re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", title) + "$"


def _x_geometry(wid: str) -> Optional[Rect]:
    """The X window's rectangle; None once it has gone (a window found by title can close
    before it is measured)."""
    values = dict(line.split("=", 1) for line in
                  _xdotool("getwindowgeometry", "--shell", wid, check=False).split()
                  if "=" in line)
    if not {"X", "Y", "WIDTH", "HEIGHT"} <= values.keys():
        return None
    x, y = int(values["X"]), int(values["Y"])
    return Rect(x, y, x + int(values["WIDTH"]), y + int(values["HEIGHT"]))


def _distance(a: Rect, b: Rect) -> int:
    return sum(abs(p - q) for p, q in zip(a, b))


def x_window(window: Window, timeout: float = 10) -> str:
    """The X window Wine made for a top-level window: the visible one with its title whose
    geometry is nearest the window's client area (without a window manager the X window
    covers the client area) or, failing that, its whole rectangle."""
    info = window.info()

    def find() -> Optional[str]:
        found = _xdotool("search", "--onlyvisible", "--name", _exact_pattern(info.text),
                         check=False).split()
        distances = {}
        for wid in found:
            rect = _x_geometry(wid)
            if rect is not None:
                distances[wid] = min(_distance(rect, info.client_screen_rect),
                                     _distance(rect, info.screen_rect))
        return min(distances, key=distances.get) if distances else None

    return wait_until(find, timeout, f"the X window titled {info.text!r}")


def keys(window: Union[Window, Control], *keys: str, timeout: float = 10) -> None:
    """Real keystrokes to the window, e.g. keys(main, "alt+n") or keys(main, "Tab", "Return").
    Each is pressed, then released, in its own xdotool run: a keystroke whose press closes the
    window (Escape, Return, Alt+X) finds it gone at the release, and that is its expected end,
    while a press that finds the window gone is a failure."""
    wid = x_window(window.top_level(), timeout)
    _xdotool("windowfocus", "--sync", wid, timeout=timeout)
    try:
        for key in keys:
            _xdotool("keydown", "--window", wid, key, timeout=timeout)
            _release(wid, key, timeout)
    finally:
        # A release that found its window gone reached no one: release the keys on the server
        # too, so none stays held into whichever window has the focus next.
        _xdotool("keyup", *keys, timeout=timeout, check=False)


def _release(wid: str, key: str, timeout: float) -> None:
    try:
        _xdotool("keyup", "--window", wid, key, timeout=timeout)
    except DriverTimeout:
        raise
    except DriverError as error:
        if "BadWindow" not in str(error):
            raise


def click_mouse(*where: Union[Window, Control, int], timeout: float = 10) -> None:
    """A real left click at screen coordinates: click_mouse(x, y), or click_mouse(window, x, y)
    to focus that window's X window first."""
    *target, x, y = where
    if target:
        wid = x_window(target[0].top_level(), timeout)
        _xdotool("windowfocus", "--sync", wid, timeout=timeout)
    # One xdotool run: the X server takes the move and the click in order. (mousemove --sync
    # hangs when the pointer is there already.)
    _xdotool("mousemove", str(x), str(y), "click", "1", timeout=timeout)


def click_center(target: Union[Window, Control], timeout: float = 10) -> None:
    """A real left click in the middle of the window or control."""
    click_mouse(target, *target.screen_rect.center, timeout=timeout)
