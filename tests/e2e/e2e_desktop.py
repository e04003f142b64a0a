#!/usr/bin/env python3
"""Whole-program test of the VORNEX IDE on a real X server.

Copies the built IDE, the assembler and the viewer module into a temporary folder (the IDE's
program folder for the run), starts it on a private Xvfb display with openbox, and walks
through the IDE with real key presses: type, save, save as, open, cancel, assemble, view the
report, execute, About, exit. Each step checks what a user would see: window titles, which
windows are shown, the bytes of files on disk, the programs started.

With --screenshots DIR the same walk also saves the README's pictures into DIR.

Exit status: 0 passed, 1 failed, 77 skipped (no X server can run here).
"""

import argparse
import os
import shutil
import sys
import time
import traceback

# No compiled copies of the helper module in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from xdesktop import (SKIP, Desktop, Failure, Ide, Skip, make_workdir, missing_tools,  # noqa: E402
                      wait_file, wait_for)

MAIN_START = "VORNEX IDE - "
MAIN_FILE = "KELD IDE - "
FILE_DIALOG = "Vor Source File"
DEBUG_OUTPUT = "Debug Output"
SETTINGS = "Execute Interperator"
ABOUT = "About"
PROJECT = "Project1"


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_bytes(path, expected, timeout=None):
    """Waits for the file at path to hold exactly expected (it may still be being written)."""
    got = None

    def probe():
        nonlocal got
        try:
            with open(path, "rb") as f:
                got = f.read()
        except OSError:
            return False
        return got == expected

    try:
        wait_for(f"{path!r} to hold {expected!r}", probe, timeout or 10)
    except Failure:
        raise Failure(f"{path!r} holds {got!r}, expected {expected!r}") from None


def read_arguments(path):
    with open(path, "rb") as f:
        data = f.read()
    return [part.decode() for part in data.split(b"\0")[:-1]]


class Walk:
    def __init__(self, args, workdir, desktop):
        self.args = args
        self.workdir = workdir
        self.desktop = desktop
        self.app = os.path.join(workdir, "ide app")
        self.sources = os.path.join(workdir, "my sources")
        self.tools = os.path.join(workdir, "interpreter tools")
        self.record = os.path.join(workdir, "interpreter-arguments")
        self.ide = None
        self.main = None
        self.shots = args.screenshots

    def setup(self):
        os.makedirs(self.app)
        os.makedirs(self.sources)
        os.makedirs(self.tools)
        for name in ("vornex-ide", "cvornex.exe", "libvornex-webview.so"):
            source = os.path.join(self.args.bin, name)
            expect(os.path.isfile(source), f"{source} is missing: build the project first")
            shutil.copy2(source, self.app)
        recorder = os.path.join(self.args.tests, "vornex-recorder")
        expect(os.path.isfile(recorder), f"{recorder} is missing: build the project first")
        self.interpreter = os.path.join(self.tools, "run qvx")
        shutil.copy2(recorder, self.interpreter)

    def save_shot(self, name, window, settle=True):
        """Saves the window, frame included, as DIR/name.png once its content stands still."""
        if not self.shots:
            return
        os.makedirs(self.shots, exist_ok=True)
        path = os.path.join(self.shots, name + ".png")
        probe_path = os.path.join(self.workdir, "probe.png")
        previous = None

        def steady():
            nonlocal previous
            self.desktop.screenshot(probe_path, self.desktop.frame_geometry(window))
            with open(probe_path, "rb") as f:
                current = f.read()
            same = current == previous
            previous = current
            if not same:
                time.sleep(0.5)
            return same

        if settle:
            wait_for(f"the window {name} to stand still", steady, 30)
        self.desktop.screenshot(path, self.desktop.frame_geometry(window))
        print(f"  screenshot {path}")

    # -- the steps -------------------------------------------------------------------------

    def start(self):
        """The IDE starts with its main window only, named after the untitled file."""
        self.ide = Ide(self.desktop, os.path.join(self.app, "vornex-ide"), self.workdir,
                       {"VORNEX_RECORD_FILE": self.record})
        self.untitled = os.path.join(self.app, "Untitled.vornex")
        self.main = self.ide.wait_window(MAIN_START + self.untitled)
        expect(self.ide.titles() == [MAIN_START + self.untitled],
               f"other windows at start: {self.ide.titles()}")
        expect(not os.path.exists(self.untitled), "the untitled file was created at start")

    def type_and_save(self):
        """Typed text is saved with Ctrl+S to the untitled file, lines ended by CR LF."""
        self.ide.type(self.main, "start {\nmov a, 1\n}")
        self.ide.key(self.main, "ctrl+s")
        self.text = b"start {\r\nmov a, 1\r\n}"
        expect_bytes(self.untitled, self.text)
        expect(self.ide.find(MAIN_START + self.untitled) == self.main,
               f"Save changed the caption: {self.ide.titles()}")

    def cancel_dialogs(self):
        """Escape in the file dialog of Open and of Save As changes nothing."""
        caption = MAIN_START + self.untitled
        for key in ("ctrl+l", "ctrl+a"):
            self.ide.key(self.main, key)
            dialog = self.ide.wait_window(FILE_DIALOG)
            self.ide.key(dialog, "Escape")
            self.ide.wait_gone(FILE_DIALOG)
            expect(self.ide.find(caption) == self.main,
                   f"cancelled {key} changed the caption: {self.ide.titles()}")
        # The editor still holds the same text, and Save still writes the untitled file.
        os.remove(self.untitled)
        self.ide.key(self.main, "ctrl+s")
        expect_bytes(self.untitled, self.text)
        expect(sorted(os.listdir(self.sources)) == [],
               f"a cancelled dialog wrote files: {os.listdir(self.sources)}")

    def choose_file(self, path):
        """Types path into the file dialog's name field and confirms it with Return."""
        dialog = self.ide.wait_window(FILE_DIALOG)
        self.ide.key(dialog, "ctrl+a")
        self.ide.type(dialog, path)
        # Return may first only close the name completion's list; then the dialog is still
        # there, focused, and a second Return confirms it.
        for attempt in range(3):
            self.ide.key(dialog, "Return")
            try:
                wait_for("the file dialog to close", lambda: self.ide.find(FILE_DIALOG) is None,
                         2 + 3 * attempt)
                return
            except Failure:
                if self.ide.find(FILE_DIALOG) != dialog:
                    raise
        raise Failure(f"the file dialog does not take {path!r}; shown: {self.ide.titles()}")

    def save_as(self):
        """Ctrl+A saves into a folder whose name has blanks; the caption names the new file."""
        self.first = os.path.join(self.sources, "first prog.vornex")
        self.ide.key(self.main, "ctrl+a")
        self.choose_file(self.first)
        expect_bytes(self.first, self.text)
        self.ide.wait_window(MAIN_FILE + self.first)
        # Save now writes to the new file, and leaves the untitled one alone.
        self.ide.key(self.main, "ctrl+End")
        self.ide.type(self.main, "\nnext {\n}")
        self.ide.key(self.main, "ctrl+s")
        self.text += b"\r\nnext {\r\n}"
        expect_bytes(self.first, self.text)
        expect_bytes(self.untitled, b"start {\r\nmov a, 1\r\n}")

    def open_file(self):
        """Ctrl+L loads a file with LF line ends; Return then inserts LF, and Save keeps them."""
        self.second = os.path.join(self.sources, "lf lines.vornex")
        original = b"outer {\n  inner {\n  }\n}\n"
        with open(self.second, "wb") as f:
            f.write(original)
        self.ide.key(self.main, "ctrl+l")
        self.choose_file(self.second)
        self.ide.wait_window(MAIN_FILE + self.second)
        self.ide.key(self.main, "ctrl+End")
        self.ide.type(self.main, "tail {\n}")
        self.ide.key(self.main, "ctrl+s")
        self.text = original + b"tail {\n}"
        expect_bytes(self.second, self.text)
        expect_bytes(self.first, b"start {\r\nmov a, 1\r\n}\r\nnext {\r\n}")

    def assemble(self):
        """F4 saves first, then the assembler writes its report into the program folder."""
        report = os.path.join(self.app, "debugasm.html")
        expect(not os.path.exists(report), "a report exists before any assembly")
        self.ide.type(self.main, "\nlast {\n}")
        self.ide.key(self.main, "F4")
        self.text += b"\nlast {\n}"
        expect_bytes(self.second, self.text)
        html = wait_file(report).decode()
        # The report is of the file as saved just now: its last block included.
        for piece in ("Source: <code>" + self.second + "</code>", "8 lines, 41 bytes",
                      "<li><code>outer </code></li>", "</span>last {\n"):
            expect(piece in html, f"the report lacks {piece!r}:\n{html[:1500]}")
        expect(html.count("<li>") == 4, f"the report does not list 4 blocks:\n{html[:1500]}")

    def view_debug_output(self):
        """F6 shows the Debug Output window with the browser engine running for it."""
        self.ide.key(self.main, "F6")
        self.debug = self.ide.wait_window(DEBUG_OUTPUT, active=False)
        wait_for("the browser engine's process",
                 lambda: any(name.startswith("QtWebEngine") for name in self.ide.children()))
        # Placed 100 twips from the left edge of the screen, below the main window.
        x, y, _, _ = self.desktop.frame_geometry(self.debug)
        _, main_y, _, _ = self.desktop.frame_geometry(self.main)
        expect(x < 20 and y > main_y, f"the Debug Output window is at {x}, {y}")
        self.ide.activate(self.debug)
        self.save_shot("debug-output", self.debug)
        # A second F6 brings the same window to the front again.
        self.ide.key(self.main, "F6")
        again = self.ide.wait_window(DEBUG_OUTPUT)
        expect(again == self.debug and self.ide.titles().count(DEBUG_OUTPUT) == 1,
               f"a second View Debug Output: {self.ide.titles()}")

    def execute(self):
        """F5 with no settings warns, then shows the settings; filled in, F5 runs the program."""
        self.ide.key(self.main, "F5")
        box = self.ide.wait_window(PROJECT)
        self.ide.key(box, "Return")
        self.ide.wait_gone(PROJECT)
        settings = self.ide.wait_window(SETTINGS)
        expect(not os.path.exists(self.record), "Execute started a program with empty settings")
        self.ide.type(settings, self.interpreter)
        self.ide.key(settings, "Tab")
        self.ide.type(settings, '"' + self.second + '" --trace')
        self.save_shot("settings", settings)
        # Tab to Apply, and press it: the window hides and keeps what was typed.
        self.ide.key(settings, "Tab", "space")
        self.ide.wait_gone(SETTINGS)
        self.ide.key(self.main, "F5")
        wait_file(self.record)
        arguments = read_arguments(self.record)
        expect(arguments == [self.second, "--trace"],
               f"the interpreter was started with {arguments}")
        expect(PROJECT not in self.ide.titles(), f"Execute warned: {self.ide.titles()}")

    def about(self):
        """Ctrl+H opens the About window (no network here: it shows the viewer's error page)."""
        self.ide.key(self.main, "ctrl+h")
        about = self.ide.wait_window(ABOUT)
        self.save_shot("about", about)
        # Ctrl+O shows the settings again, so that three windows are open beside the main one.
        self.ide.key(self.main, "ctrl+o")
        self.ide.wait_window(SETTINGS)

    def main_window_shot(self):
        """The main window in front, its block list open."""
        if not self.shots:
            return
        self.ide.activate(self.main)
        cx, cy = self._client_origin(self.main)
        # The block list lies 120 twips below the menu bar, 1320 twips from the left.
        self.desktop.xdotool("mousemove", str(cx + 130), str(cy + 44), "click", "1")
        time.sleep(0.5)
        self.save_shot("main-window", self.main)
        self.desktop.xdotool("key", "Escape")

    def _client_origin(self, window):
        info = self.desktop.run(["xwininfo", "-id", str(window)])
        values = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
        return int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"])

    def exit_with_windows_open(self):
        """Ctrl+E ends the process at once, status 0, while the other windows are open."""
        titles = self.ide.titles()
        for title in (DEBUG_OUTPUT, SETTINGS, ABOUT):
            expect(title in titles, f"{title!r} should be open before Exit: {titles}")
        self.ide.key(self.main, "ctrl+e")
        status = self.ide.wait_exit(10)
        expect(status == 0, f"the IDE ended with status {status}")
        # The X server drops a client's windows once it has seen the connection close.
        wait_for("the IDE's windows to go", lambda: self.ide.windows() == {}, 10)

    def steps(self):
        return [self.start, self.type_and_save, self.cancel_dialogs, self.save_as,
                self.open_file, self.assemble, self.view_debug_output, self.execute,
                self.about, self.main_window_shot, self.exit_with_windows_open]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="folder with vornex-ide, cvornex.exe and "
                        "libvornex-webview.so")
    parser.add_argument("--tests", required=True, help="folder with vornex-recorder")
    parser.add_argument("--screenshots", help="save the README's pictures into this folder")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    if args.screenshots:
        args.screenshots = os.path.abspath(args.screenshots)
        missing = missing_tools(["import"])
    else:
        missing = missing_tools()
    if missing:
        print(f"SKIPPED: the whole-program test needs {', '.join(missing)}")
        return SKIP

    workdir = make_workdir("vornex-e2e-")
    walk = None
    started = time.monotonic()
    try:
        with Desktop(workdir) as desktop:
            walk = Walk(args, workdir, desktop)
            walk.setup()
            for step in walk.steps():
                t = time.monotonic()
                try:
                    step()
                except Failure as failure:
                    print(f"FAIL {step.__name__}: {step.__doc__}\n  {failure}")
                    if walk.ide:
                        print(f"--- IDE output ---\n{walk.ide.log_tail()}")
                    args.keep = True
                    return 1
                print(f"PASS {step.__name__} ({time.monotonic() - t:.1f} s)")
    except Skip as skip:
        print(f"SKIPPED: {skip}")
        return SKIP
    except Exception:
        traceback.print_exc()
        args.keep = True
        return 1
    finally:
        if walk and walk.ide:
            walk.ide.kill()
        if args.keep:
            print(f"kept {workdir}")
        else:
            shutil.rmtree(workdir, ignore_errors=True)
    print(f"all steps passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
