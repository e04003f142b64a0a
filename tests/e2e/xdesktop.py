"""Drives the VORNEX IDE on a real X server, as a user would.

A private Xvfb server (its display picked by Xvfb itself) with the openbox window manager, so
that windows get frames and the focus; the IDE started on it with the xcb platform; key presses
and typing sent with xdotool. Every wait polls with short sleeps up to a timeout.

Standard library only.
"""

import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

# CTest shows a test that ends with this status as skipped.
SKIP = 77

# Generous: under AddressSanitizer and with other tests running beside, the browser engine can
# take many seconds to start.
TIMEOUT = float(os.environ.get("VORNEX_E2E_TIMEOUT", "60"))
POLL = 0.05


class Skip(Exception):
    """The desktop cannot run here; the test is skipped, with the reason."""


class Failure(Exception):
    """A step did not give what a user would see."""


def wait_for(what, probe, timeout=TIMEOUT):
    """Polls probe() until it returns something true, and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(POLL)


def wait_file(path, timeout=TIMEOUT):
    """Waits until the file at path exists, and returns its bytes."""
    wait_for(f"the file {path!r}", lambda: os.path.isfile(path), timeout)
    with open(path, "rb") as f:
        return f.read()


def missing_tools(extra=()):
    needed = ["Xvfb", "openbox", "xdotool", "xprop", "xwininfo", *extra]
    return [tool for tool in needed if shutil.which(tool) is None]


class Desktop:
    """A private X server with a window manager; use as a context manager."""

    def __init__(self, workdir, width=1280, height=1024):
        self.workdir = workdir
        self.size = (width, height)
        self.xvfb = None
        self.wm = None
        self.env = None

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _start(self):
        missing = missing_tools()
        if missing:
            raise Skip("not installed: " + ", ".join(missing))
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.workdir, "xvfb.log"), "wb")
        try:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                 f"{self.size[0]}x{self.size[1]}x24", "-dpi", "96", "-nolisten", "tcp",
                 "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                start_new_session=True)
        except OSError as error:
            raise Skip(f"Xvfb cannot start: {error}")
        finally:
            os.close(write_end)
            log.close()
        display = b""
        deadline = time.monotonic() + 30
        try:
            while not display.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], max(0, deadline - time.monotonic()))
                chunk = os.read(read_end, 32) if ready else b""
                if not chunk:
                    break
                display += chunk
        finally:
            os.close(read_end)
        if not display.strip().isdigit():
            with open(os.path.join(self.workdir, "xvfb.log"), "rb") as f:
                tail = f.read()[-2000:].decode(errors="replace")
            raise Skip(f"Xvfb cannot start a display:\n{tail}")

        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XAUTHORITY",
                            "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER")}
        env["DISPLAY"] = ":" + display.decode().strip()
        # Nothing the IDE's dialogs or the browser engine store reaches the user's home.
        for name in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
            env[name] = os.path.join(self.workdir, "home", name.lower())
            os.makedirs(env[name], exist_ok=True)
        env["XDG_RUNTIME_DIR"] = os.path.join(self.workdir, "home", "runtime")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        env.setdefault("LANG", "C.UTF-8")
        self.env = env

        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        wait_for("the window manager", lambda: self.wm.poll() is not None or
                 "window id" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                         check=False), 30)
        if self.wm.poll() is not None:
            raise Failure(f"openbox ended at start with status {self.wm.returncode}")

    def close(self):
        for process in (self.wm, self.xvfb):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()

    def run(self, arguments, check=True):
        result = subprocess.run(arguments, env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(arguments)} failed ({result.returncode}): "
                          f"{result.stderr.strip()}")
        return result.stdout

    def xdotool(self, *arguments, check=True):
        return self.run(["xdotool", *arguments], check=check)

    def active_window(self):
        out = self.xdotool("getactivewindow", check=False).strip()
        return int(out) if out.isdigit() else None

    def window_name(self, window):
        return self.xdotool("getwindowname", str(window), check=False).rstrip("\n")

    def frame_geometry(self, window):
        """x, y, width, height of the window with its frame, on the screen."""
        info = self.run(["xwininfo", "-id", str(window)])
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        x, y = int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"])
        w, h = int(values["Width"]), int(values["Height"])
        extents = self.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], check=False)
        if "=" in extents:
            left, right, top, bottom = (int(v) for v in extents.split("=")[1].split(","))
            x, y, w, h = x - left, y - top, w + left + right, h + top + bottom
        return x, y, w, h

    def screenshot(self, path, geometry):
        """Saves the screen area geometry (x, y, width, height) as a PNG at path."""
        x, y, w, h = geometry
        x, y = max(0, x), max(0, y)
        w, h = min(w, self.size[0] - x), min(h, self.size[1] - y)
        self.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                  "-strip", "-define", "png:compression-level=9", path])


class Ide:
    """The IDE as a running process on a Desktop, and the windows it shows."""

    def __init__(self, desktop, program, cwd, extra_env=None):
        self.desktop = desktop
        self.program = program
        env = dict(desktop.env)
        env["QT_QPA_PLATFORM"] = "xcb"
        # The IDE ends with _Exit, so a leak check at its end would only report what the
        # libraries keep for the life of the process.
        env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"),
                                                     "detect_leaks=0"]))
        # No GPU on a virtual X server: the browser engine draws in software.
        env.setdefault("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu")
        env.update(extra_env or {})
        self.log_path = os.path.join(cwd, "ide.log")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen([program], cwd=cwd, env=env,
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                            start_new_session=True)

    @property
    def pid(self):
        return self.process.pid

    def log_tail(self, size=4000):
        try:
            with open(self.log_path, "rb") as f:
                data = f.read()
        except OSError:
            return ""
        return data[-size:].decode(errors="replace")

    def alive(self):
        return self.process.poll() is None

    def check_alive(self):
        if not self.alive():
            raise Failure(f"the IDE ended unexpectedly with status {self.process.returncode}")

    def windows(self):
        """{window id: title} of the IDE's windows that are shown."""
        ids = self.desktop.xdotool("search", "--onlyvisible", "--pid", str(self.pid),
                                   check=False).split()
        found = {}
        for window in ids:
            name = self.desktop.window_name(window)
            # A window that has gone between the search and the name has no name.
            if name:
                found[int(window)] = name
        return found

    def titles(self):
        return sorted(self.windows().values())

    def find(self, title):
        for window, name in self.windows().items():
            if name == title:
                return window
        return None

    def wait_window(self, title, timeout=TIMEOUT, active=True):
        """Waits until a window with exactly this title is shown, and returns its id. With
        active, also until it has the focus; a window that the window manager leaves without
        the focus for a few seconds is then clicked on, as a user would, with a note."""

        def shown():
            self.check_alive()
            return self.find(title)

        try:
            window = wait_for(f"the window {title!r}", shown, timeout)
        except Failure as failure:
            raise Failure(f"{failure}; shown: {self.titles()}") from None
        if active:
            try:
                wait_for(f"the window {title!r} to take the focus",
                         lambda: self.desktop.active_window() == window, 5)
            except Failure:
                print(f"  note: the window {title!r} did not take the focus by itself")
                self.activate(window)
        return window

    def wait_gone(self, title, timeout=TIMEOUT):
        self.check_alive()
        try:
            wait_for(f"the window {title!r} to go", lambda: self.find(title) is None, timeout)
        except Failure as failure:
            raise Failure(f"{failure}; shown: {self.titles()}") from None

    def activate(self, window, timeout=20):
        """Brings window to the front with the focus, as a click on it would."""
        deadline = time.monotonic() + timeout
        asked = None
        while self.desktop.active_window() != window:
            self.check_alive()
            now = time.monotonic()
            if now > deadline:
                raise Failure(f"the window {self.desktop.window_name(window)!r} does not take "
                              f"the focus; shown: {self.titles()}")
            # The window manager may still be busy with another window: ask again now and then.
            if asked is None or now - asked > 1:
                self.desktop.xdotool("windowactivate", str(window), check=False)
                asked = now
            time.sleep(POLL)

    def key(self, window, *keys):
        """Presses keys (xdotool names, e.g. ctrl+s) while window has the focus."""
        self.check_alive()
        self.activate(window)
        self.desktop.xdotool("key", "--delay", "20", *keys)

    def type(self, window, text):
        """Types text, character by character; a newline is the Return key."""
        self.check_alive()
        self.activate(window)
        for line_number, line in enumerate(text.split("\n")):
            if line_number:
                self.desktop.xdotool("key", "Return")
            if line:
                self.desktop.xdotool("type", "--delay", "10", "--", line)

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the IDE still runs {timeout:.0f} s later") from None

    def kill(self):
        """Ends the IDE if it still runs, and whatever it left in its process group (the
        browser engine's helpers); the programs it started detached have their own sessions."""
        if self.alive():
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        try:
            wait_for("the IDE's helper processes to end", lambda: not self._group(), 5)
        except Failure:
            for pid in self._group():
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass

    def _group(self):
        return [pid for pid, stat in _processes() if int(stat[3]) == self.pid]

    def children(self):
        """Names (comm) of the processes whose parent is the IDE."""
        return [stat[0] for pid, stat in _processes() if int(stat[2]) == self.pid]


def _processes():
    """(pid, [comm, state, ppid, pgrp, session, ...]) of every process."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        comm = stat[stat.index("(") + 1:stat.rindex(")")]
        yield int(entry), [comm] + stat[stat.rindex(")") + 2:].split()


def make_workdir(prefix):
    return tempfile.mkdtemp(prefix=prefix)
