#!/usr/bin/env python3
# The installed IDE on a real X server (Xvfb at 96 dpi with openbox), driven by key presses through
# the real keyboard path (xdotool): what only a real X server shows. The build is installed into a
# prefix whose name holds blanks, quotes, "$" and "%", checked, moved to another folder, and the
# IDE started through the link in bin/ from yet another. A screen reader follows it over AT-SPI
# where the walk runs on a D-Bus session and AT-SPI for Python is there. Every wait polls a
# condition up to a limit.
# Usage: e2e_desktop.py [--no-skips] CMAKE BUILD_DIR (Debian's Python, where python3-gi and the
# Atspi typelib are). Exit status: 0 passed, 1 failed, 77 skipped.
# With --no-skips (CI) whatever would be skipped for want of a tool fails instead, naming it.
import contextlib
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import warnings

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, Gio, GLib
    NO_READER = None
    warnings.simplefilter("ignore", DeprecationWarning)  # Qt answers only GetTextAtOffset
except (ImportError, ValueError) as error:
    Atspi, NO_READER = None, f"no AT-SPI for Python: {error}"

SKIP, DIALOG, DEBUG, REPORT = 77, "Vor Source File", "Debug Output", "Report of the walk"
TOOLS = ("Xvfb", "openbox", "xdotool", "xwininfo", "xprop", "convert", "desktop-file-validate",
         "appstreamcli", "setxkbmap")
ICON = "org.vornex.VornexIDE"
ENTRY, METAINFO = f"share/applications/{ICON}.desktop", f"share/metainfo/{ICON}.metainfo.xml"


# probe()'s first result that is done within timeout seconds, or its last one.
def poll(probe, timeout, done=bool):
    deadline = time.monotonic() + timeout
    while not done(result := probe()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return result


def read(path):
    with contextlib.suppress(OSError), open(path, "rb") as f:
        return f.read()
    return b""


# probe(), after the AT-SPI events that have arrived are handled.
def pumped(probe):
    def run():
        while GLib.MainContext.default().iteration(False):
            pass
        return probe()
    return run


# What a screen reader hears of the IDE, and what it finds by name from the desktop: the IDE is
# the only program on this bus. The desktop's accessibility bus runs before the IDE starts, as
# a desktop starts it at login, but the screen reader only starts after the IDE.
class Reader:
    def __init__(self):
        self.events, self.bus = [], Gio.bus_get_sync(Gio.BusType.SESSION)
        assert not self.state("Get").unpack()[0], "a screen reader is on before the IDE starts"

    # Reads or sets whether a screen reader is on, in the bus's state as Orca sets it.
    def state(self, method, *value):
        arguments = GLib.Variant("(ss" + "v" * len(value) + ")",
                                 ("org.a11y.Status", "IsEnabled", *value))
        return self.bus.call_sync("org.a11y.Bus", "/org/a11y/bus",
                                  "org.freedesktop.DBus.Properties", method, arguments, None, 0,
                                  30000)

    @staticmethod
    def children(node):
        return (node.get_child_at_index(i) for i in range(node.get_child_count()))

    def find(self, name, node=None, depth=0):
        node = Atspi.get_desktop(0) if depth == 0 else node
        if node is not None and node.get_name() == name:
            return node
        children = (self.find(name, child, depth + 1)
                    for child in (self.children(node) if node and depth < 12 else ()))
        return next((child for child in children if child), None)

    # Starts as Orca does: listens, then says that a screen reader is on.
    def attach(self):
        self.listener = Atspi.EventListener.new(
            lambda event: self.events.append((event.type, event.detail1, event.any_data)))
        for kind in ("object:text-changed", "object:text-caret-moved"):
            self.listener.register(kind)
        self.state("Set", GLib.Variant("b", True))
        self.source = poll(pumped(lambda: self.find("Source")), 30)
        assert self.source and "Text" in self.source.get_interfaces(), "no Source text"

    # The object that has the focus below node, as Orca finds it to read.
    def focused(self, node):
        if node.get_state_set().contains(Atspi.StateType.FOCUSED):
            return node
        return next(filter(None, map(self.focused, self.children(node))), None)

    # The text, the caret, the character and the line at offset, and the events.
    def read(self, offset):
        char, line = (self.source.get_text_at_offset(offset, getattr(
            Atspi.TextBoundaryType, unit)) for unit in ("CHAR", "LINE_START"))
        return (self.source.get_text(0, -1), self.source.get_caret_offset(),
                (char.content, char.start_offset), (line.content, line.start_offset),
                [(kind.split(":")[-1], at, data) for kind, at, data in self.events
                 if kind.startswith("object:text-changed")])


# What the machine lacks for the walk.
class Unavailable(Exception):
    pass


class Desktop:
    def __init__(self, work):
        self.work, self.processes, self.ide, self.reader = work, [], None, None
        self.step = "install"

    # What the desktop shows: the programs that ended and how, the windows and their names,
    # and the end of what the IDE printed.
    def seen(self):
        ended = [f"{p.args[0]} ended with status {p.returncode}" for p in self.processes
                 if p.poll() is not None]
        windows = self.x("xdotool", "search", "--onlyvisible", "--name", "", "getwindowname",
                         "%@") if self.processes and self.processes[0].poll() is None else ""
        log = read(os.path.join(self.work, "ide.log")).decode(errors="replace")
        return "\n".join(ended + ["windows: " + ", ".join(windows.splitlines()),
                                   "the IDE printed: " + log[-2000:]])

    def open(self):
        # -noreset: a server that resets whenever its last client leaves, as an early probe may
        # before the window manager has connected, takes the window manager down with it.
        read_end, write_end = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-dpi",
                    "96", "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        display = select.select([read_end], [], [], 30)[0] and os.read(read_end, 16).strip()
        if not display:
            raise Unavailable("Xvfb cannot start a display")
        # What the dialogs and the browser engine store stays in the work folder.
        self.env = dict(os.environ, DISPLAY=":" + display.decode(), HOME=self.work,
                        QT_QPA_PLATFORM="xcb", QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu")
        self.start(["openbox", "--sm-disable"], env=self.env)
        # A US layout whose right Alt is AltGr, the third level many layouts have, set before the
        # IDE starts as a desktop sets it at login.
        self.x("setxkbmap", "-layout", "us", "-variant", "altgr-intl")
        self.expect("openbox", lambda: (
            "id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), True))

    # Starts a program in a process group of its own, which close() ends.
    def start(self, arguments, stdout=subprocess.DEVNULL, **options):
        self.processes.append(subprocess.Popen(arguments, stdout=stdout, stderr=subprocess.STDOUT,
                                               start_new_session=True, **options))
        return self.processes[-1]

    def close(self):
        for process in self.processes:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, 9)
            process.wait()

    # What an X tool printed, run on this display; a tool that hangs fails.
    def x(self, *arguments):
        return subprocess.run(arguments, env=self.env, capture_output=True, text=True,
                              timeout=60).stdout

    # Waits until the window with the focus has this title, then presses keys there; its id.
    def key(self, title, *keys):
        def focus():
            assert self.ide.poll() is None, f"the IDE ended with status {self.ide.returncode}"
            return self.x("xdotool", "getactivewindow", "getwindowname").rstrip("\n"), title

        self.expect("the window with the focus", focus)
        window = self.x("xdotool", "getactivewindow").strip()
        if keys:
            self.x("xdotool", "key", "--delay", "20", *keys)
        return window

    # x, y, width and height of window with its frame.
    def frame(self, window):
        x, y, width, height = map(int, re.findall(
            r"(?:Absolute upper-left .|Width|Height): +(-?\d+)", self.x("xwininfo", "-id", window)))
        extents = self.x("xprop", "-id", window, "_NET_FRAME_EXTENTS")
        left, right, top, bottom = map(int, re.findall(r"\d+", extents) or [0] * 4)
        return x - left, y - top, width + left + right, height + top + bottom

    # Polls measure() for a (got, expected) that agree; fails if none does.
    def expect(self, what, measure, timeout=30):
        got, expected = poll(measure, timeout, lambda seen: seen[0] == seen[1])
        assert got == expected, f"{what}: {got!r}, expected {expected!r}"


def install(cmake, build, prefix, **env):
    subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, timeout=300,
                   capture_output=True, env=dict(os.environ, **env))
    return prefix


# What lands where, each file checked by Debian's checker for its kind where there is one; the
# menu entry starts the link in bin/ of the prefix it was installed to (not of a stage), quoted as
# one argument; the link is relative, so the installed tree can move.
def check_install(cmake, build, work):
    prefix = install(cmake, build, os.path.join(work, "a  \"b$c`d%e'f#g;h&i"))
    for path, executable, checker in (
            ("lib/vornex-ide/vornex-ide", True, []), ("lib/vornex-ide/cvornex.exe", True, []),
            ("lib/vornex-ide/libvornex-webview.so", False, []),
            (ENTRY, False, ["desktop-file-validate"]),
            (METAINFO, False, ["appstreamcli", "validate", "--no-net"]),
            *((f"share/icons/hicolor/{n}x{n}/apps/{ICON}.png", False, []) for n in (
                32, 48, 64, 128, 256)), (f"share/icons/hicolor/scalable/apps/{ICON}.svg", False, [])):
        file = os.path.join(prefix, path)
        assert os.path.isfile(file) and not os.path.islink(file), file
        assert os.access(file, os.X_OK) == executable, f"{file}: executable is not {executable}"
        assert not checker or subprocess.run(checker + [file], capture_output=True).returncode == 0
    exec_line = re.sub(r'(["`$\\])', r"\\\\\1", prefix + "/bin/vornex-ide").replace("%", "%%")
    assert f'Exec="{exec_line}"' in read(os.path.join(prefix, ENTRY)).decode().splitlines()
    install(cmake, build, "/usr", DESTDIR=os.path.join(work, "stage"))
    assert b'Exec="/usr/bin/vornex-ide"' in read(os.path.join(work, "stage/usr", ENTRY))
    moved = os.path.join(work, "my #1 %41 prefix")
    os.rename(prefix, moved)
    return moved


# Keys through the real keyboard: Alt alone highlights the menu bar; Alt or Meta with a key types
# nothing, AltGr+Q types "ä" (the third level); Ctrl+Tab moves to the block list, which Alt+Down
# and Space open, and Tab, Shift+Tab and Ctrl+Shift+Tab leave for the editor, where the letter
# typed next lands; F10 opens File. The text as the keys left it.
def keyboard(desktop, title, text):
    desktop.step = "keyboard"
    main = desktop.key(title)
    menu_bar = lambda: desktop.x("convert", f"x:{main}", "-crop", "9999x25+0+0", "-depth", "8",
                                 "-unique-colors", "txt:-")
    plain = menu_bar()
    desktop.key(title, "alt")
    desktop.expect("the menu bar highlighted after Alt", lambda: (menu_bar() != plain, True))
    desktop.key(title, "Escape", "alt+f", "alt+b", "alt+o", "alt+h", "alt+1", "super+x")
    desktop.key(title, "ISO_Level3_Shift+q")
    windows = lambda: len(desktop.x("xdotool", "search", "--onlyvisible", "--pid",
                                    str(desktop.ide.pid)).split())
    shown = windows()
    for opener, back, letter in ("alt+Down", "Tab", "a"), ("space", "shift+Tab", "b"), (
            "alt+Down", "ctrl+shift+Tab", "c"):
        desktop.key(title, "ctrl+Tab", opener)
        desktop.expect(f"the block list opened by {opener}", lambda: (windows(), shown + 1))
        # Keys sent while the list closes may still go to its window, and be lost.
        desktop.key(title, "Escape")
        desktop.expect("the block list closed by Escape", lambda: (windows(), shown))
        desktop.key(title, back, letter)
    desktop.key(title, "F10", "Down", "Down", "Return")
    desktop.key(DIALOG, "Escape")
    return text + "\u00e4abc".encode()


def walk(desktop, cmake, build):
    prefix = check_install(cmake, build, desktop.work)
    desktop.step = "start"
    desktop.open()
    folder = os.path.join(prefix, "lib", "vornex-ide")
    mine = os.path.join(desktop.work, "a b.vornex")
    desktop.ide = desktop.start([os.path.join(prefix, "bin", "vornex-ide")], cwd=desktop.work,
                                env=desktop.env,
                                stdout=open(os.path.join(desktop.work, "ide.log"), "wb"))
    title = "VORNEX IDE - " + os.path.join(folder, "Untitled.vornex")
    main = desktop.key(title)
    reader = desktop.reader
    reader and reader.attach()
    # The editor: the window's outer height less 1400 twips (15 twips a pixel).
    reader and desktop.expect("editor height", lambda: (reader.source.get_extents(
        Atspi.CoordType.SCREEN).height, round((desktop.frame(main)[3] * 15 - 1400) / 15)), 20)

    desktop.step = "typing"
    # A screen reader reads the text and the caret and hears of every change, at offsets in
    # characters, not in the bytes of UTF-8. It writes the "\u0436" itself: xdotool can lose a
    # key it has to map first.
    desktop.x("xdotool", "type", "--delay", "20", "main ")
    reader and desktop.expect("typed", pumped(lambda: (reader.source.get_text(0, -1), "main ")))
    reader and reader.source.insert_text(5, "\u0436", 1)
    desktop.key(title, "End", "braceleft", "x", "BackSpace")
    text = "main \u0436{" if reader else "main {"
    reader and desktop.expect("what a screen reader reads", pumped(lambda: (reader.read(5), (
        text, 7, ("\u0436", 5), (text, 0), [("insert", at, data) for at, data in enumerate(
            text + "x")] + [("delete", 7, "x")]))))
    word_moves(desktop, title)
    text = keyboard(desktop, title, text.encode())

    desktop.step = "file commands"
    # The menu's keys, not the editor's: Ctrl+L opens (cuts no line), Ctrl+A saves as (selects
    # nothing). A cancelled dialog leaves the text and its file as they were.
    desktop.key(title, "ctrl+l")
    desktop.key(DIALOG, "Escape")
    desktop.key(title, "ctrl+s")
    desktop.expect("Save", lambda: (read(os.path.join(folder, "Untitled.vornex")), text))
    desktop.key(title, "ctrl+a")
    desktop.key(DIALOG, "ctrl+a")
    desktop.x("xdotool", "type", mine)
    desktop.key(DIALOG, "Return")
    title = "KELD IDE - " + mine
    desktop.key(title)
    desktop.expect("Save As", lambda: (read(mine), text))

    desktop.step = "assemble and view the report"
    # The assembler beside the IDE, given the path as one argument, writes its report there;
    # View Debug Output loads the viewer module from there, and the browser engine only then.
    maps = lambda: read(f"/proc/{desktop.ide.pid}/maps")
    assert b"WebEngine" not in maps(), "the browser engine is loaded before a viewer is needed"
    desktop.key(title, "F4")
    desktop.expect("the report names the source", lambda: (
        f"<code>{mine}</code>".encode() in read(folder + "/debugasm.html"), True))
    # It shows a report from a folder named with "#" and "%" with the report's own images, but
    # runs none of its scripts and reaches no remote address.
    remote = socket.create_server(("127.0.0.1", 0))
    subprocess.run(["convert", "-size", "40x30", "xc:#ff0000", folder + "/dot.png"], check=True)
    with open(folder + "/debugasm.html", "w") as report:
        report.write(f'<body style="background: #fff"><p>{REPORT}</p><img src="dot.png"><img '
                     f'src="http://127.0.0.1:{remote.getsockname()[1]}/remote.png"><script>'
                     f'document.body.style.background = "#00ff00"</script></body>')
    desktop.key(title, "F6")
    debug = desktop.key(DEBUG)
    module = os.path.realpath(folder + "/libvornex-webview.so").encode()
    desktop.expect("the viewer module loaded", lambda: (module in maps(), True))
    # The image is red; the script would paint the page green.
    shown = lambda seen: ("#FF0000" in seen, "#00FF00" in seen)
    desktop.expect("the report's own image and not its script", lambda: (shown(desktop.x(
        "convert", "x:" + debug, "-depth", "8", "-unique-colors", "txt:-")), (True, False)), 60)
    assert not select.select([remote], [], [], 0)[0], "the report reached a remote address"

    # Left: 100 twips; top: its own outer width + the main window's top + 100 twips, moved up just
    # enough to lie wholly on the screen where it would not; placed again by the next F6.
    for top in None, 600:
        top and desktop.x("xdotool", "windowmove", "--sync", main, "x", str(top))
        top and desktop.x("xdotool", "windowactivate", "--sync", main)
        top and desktop.key(title, "F6")
        desktop.expect("Debug Output at", lambda: (desktop.frame(debug)[:2], (round(100 / 15), min(
            round((desktop.frame(debug)[2] * 15 + desktop.frame(main)[1] * 15 + 100) / 15),
            1024 - desktop.frame(debug)[3]))), 20)

    read_viewers(desktop, main, title)
    title = text_answers(desktop, main, title)

    desktop.step = "execute and exit"
    # Execute with nothing set up warns, then shows its settings; Exit ends everything.
    desktop.x("xdotool", "windowactivate", "--sync", main)
    desktop.key(title, "F5")
    desktop.key("Project1", "Return")
    desktop.key("Execute Interperator")
    for name in ("Blocks", "Exe File Path", "Parameters", "Apply") if reader else ():
        desktop.expect(f"a control named {name!r}", pumped(lambda: (bool(reader.find(name)), True)))
    desktop.x("xdotool", "windowactivate", "--sync", main)
    desktop.key(title, "ctrl+e")
    assert desktop.ide.wait(30) == 0, f"Exit: status {desktop.ide.returncode}"


# Ctrl+Left and Ctrl+Right at the end of "main \u0436{": a screen reader hears of every move as
# it happens, and the word at the caret (WORD_START, which Orca reads) is the one it stands on.
def word_moves(desktop, title):
    reader = desktop.reader
    desktop.step = "word moves"
    moves = (("ctrl+Left", 6, "{"), ("ctrl+Left", 5, "\u0436"), ("ctrl+Left", 0, "main "),
             ("ctrl+Right", 5, "\u0436"), ("ctrl+Right", 6, "{"), ("ctrl+Right", 7, ""))
    for key, caret, word in moves if reader else ():
        pumped(reader.events.clear)()
        desktop.key(title, key)
        desktop.expect(f"the caret's moves for {key}", pumped(lambda: ([at for kind, at, _ in (
            reader.events) if kind.endswith("caret-moved")], [caret])))
        got = reader.source.get_text_at_offset(caret, Atspi.TextBoundaryType.WORD_START)
        assert (got.content, got.start_offset) == (word, caret), f"word at {caret}: {got.content!r}"


# The report and the About page are windows that a screen reader announces by their names, and
# in which it reads the page's text from the focus (About's: the maker's page or the engine's own
# error page).
def read_viewers(desktop, main, title):
    reader = desktop.reader
    desktop.step = "a screen reader in the viewers"
    for name, words in ((DEBUG, REPORT), ("About", "")) if reader else ():
        if name == "About":
            desktop.x("xdotool", "windowactivate", "--sync", main)
            desktop.key(title, "ctrl+h")
        desktop.key(name)
        window = poll(pumped(lambda: next((window for app in reader.children(Atspi.get_desktop(
            0)) for window in reader.children(app) if window.get_name() == name), None)), 30)
        assert window and window.get_role() == Atspi.Role.FRAME, f"{name}: {window}"
        text = lambda: (focus := reader.focused(window)) and "Text" in focus.get_interfaces() and \
            focus.get_text(0, -1).strip()
        desktop.expect(f"the text of {name}", pumped(lambda: (bool(text()) and words in text(),
                                                              True)), 60)


# What a screen reader asks of a text with a NUL byte and a line break at its end, opened by
# File > Load: the unit at, after and before an offset as (text, start, end).
def text_answers(desktop, main, title):
    reader = desktop.reader
    if not reader:
        return title
    desktop.step = "text answers"
    path = os.path.join(desktop.work, "nul.vornex")
    with open(path, "wb") as file:
        file.write(b"one two\0three\r\n")
    desktop.x("xdotool", "windowactivate", "--sync", main)
    desktop.key(title, "ctrl+l")
    desktop.key(DIALOG, "ctrl+a")
    desktop.x("xdotool", "type", path)
    desktop.key(DIALOG, "Return")
    desktop.key("KELD IDE - " + path)
    # The NUL, which no D-Bus string holds, reads as U+2400, and the rest is not lost.
    text = "one two\u2400three\r\n"
    desktop.expect("the text", pumped(lambda: (reader.source.get_text(0, -1), text)))
    for method, offset, unit, expected in (
            ("at", 3, "WORD_START", ("one ", 0, 4)), ("after", 0, "WORD_START", (text[4:8], 4, 8)),
            ("after", 4, "WORD_START", ("three", 8, 13)), ("before", 15, "CHAR", ("\r\n", 13, 15)),
            ("before", 15, "LINE_START", (text, 0, 15)), ("at", 15, "LINE_START", ("", 15, 15))):
        got = getattr(reader.source, f"get_text_{method}_offset")(
            offset, getattr(Atspi.TextBoundaryType, unit))
        assert (got.content, got.start_offset, got.end_offset) == expected, \
            f"{method} {offset} {unit}: {got.content!r} {got.start_offset} {got.end_offset}"
    return "KELD IDE - " + path


# The walk in a session of its own, as a desktop gives each login: a D-Bus session bus and a
# private runtime folder (XDG_RUNTIME_DIR), where the accessibility bus puts its socket. Without
# one, every session of the user shares ~/.cache/at-spi/bus, and the last bus to start or end
# takes it from the others. Its home is the work folder, whose settings (where the accessibility
# bus keeps whether a screen reader is on) start empty. The work folder goes, whatever happens.
def main(*arguments):
    work = tempfile.mkdtemp(prefix="vornex-e2e-")
    try:
        runtime = os.path.join(work, "runtime")
        os.mkdir(runtime, 0o700)
        session = ["dbus-run-session", "--"] if shutil.which("dbus-run-session") else []
        env = {name: value for name, value in os.environ.items() if not name.startswith("XDG_")}
        return subprocess.run(session + [sys.executable, __file__, "--work", work, *arguments],
                              env=dict(env, XDG_RUNTIME_DIR=runtime, HOME=work)).returncode
    finally:
        shutil.rmtree(work, ignore_errors=True)


def walk_in_session(work, *arguments):
    strict = "--no-skips" in arguments
    cmake, build = (argument for argument in arguments if argument != "--no-skips")

    def unavailable(why):
        print(("FAIL cannot run here: " if strict else "SKIPPED: ") + why)
        return 1 if strict else SKIP

    if missing := [tool for tool in TOOLS if not shutil.which(tool)]:
        return unavailable("not installed: " + " ".join(missing))
    why = NO_READER or ("DBUS_SESSION_BUS_ADDRESS" not in os.environ and "no D-Bus session")
    if why and strict:
        return unavailable("no screen reader: " + why)
    why and print("without a screen reader:", why)
    desktop = Desktop(work)
    desktop.reader = None if why else Reader()
    try:
        walk(desktop, cmake, build)
        return 0
    except Unavailable as missing:
        return unavailable(str(missing))
    except (AssertionError, subprocess.SubprocessError) as failure:
        print(f"FAIL at the step {desktop.step!r}: {failure}\n{desktop.seen()}")
        return 1
    finally:
        desktop.close()


if __name__ == "__main__":
    sys.exit(walk_in_session(*sys.argv[2:]) if sys.argv[1:2] == ["--work"] else main(*sys.argv[1:]))
