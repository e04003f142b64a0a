#!/usr/bin/python3
# Opening a large text with and without a listening screen reader, on a private Xvfb: seconds
# from Enter in the file dialog to the caption that names the file (the IDE has read and shown
# it) and, with the screen reader, to the IDE's answer to its question for the text's length
# (the IDE has told it of the new text and is free again). Every run is a fresh IDE in a fresh
# session; editors and variants alternate within each repetition.
#   usage: run_open.py REPS "EDITORS" "VARIANTS" [FILE]
#     EDITORS from: ide ide0 (KEYLAT_IDE, KEYLAT_IDE0), VARIANTS from: plain a11y
#     (a11y as run_keylat.sh: the accessibility bus and reader.py, Orca's stand-in)
#     FILE: the text to open; 16 MiB of line breaks (the largest text Open takes) by default
#   prints one line per run and the medians per editor and variant
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def x(*arguments):
    return subprocess.run(arguments, capture_output=True, text=True, timeout=60).stdout.strip()


def wait(probe, timeout=60):
    deadline = time.monotonic() + timeout
    while not (result := probe()) and time.monotonic() < deadline:
        time.sleep(0.01)
    return result


# One run inside its own D-Bus session: prints the seconds to the caption and to the answer.
def inner(ide, variant, path):
    home = os.environ["HOME"]
    if variant == "a11y":
        for program in ("/usr/libexec/dconf-service",
                        "/usr/libexec/at-spi-bus-launcher --launch-immediately"):
            subprocess.Popen(program.split())
        time.sleep(1)
        subprocess.Popen([HERE + "/reader.py", home + "/ready"])
        wait(lambda: os.path.exists(home + "/ready"), 10)
    process = subprocess.Popen([ide], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = x("xdotool", "search", "--sync", "--onlyvisible", "--pid", str(process.pid))
    window = window.split()[0]
    x("xdotool", "windowfocus", "--sync", window)
    x("xdotool", "key", "ctrl+l")
    wait(lambda: x("xdotool", "getwindowfocus", "getwindowname") == "Vor Source File")
    x("xdotool", "key", "ctrl+a")
    x("xdotool", "type", "--delay", "3", path)
    source = None
    if variant == "a11y":
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        # One question waits for the answer however long the IDE is busy.
        Atspi.set_timeout(120000, 120000)

        def find(node, depth=0):
            if node.get_name() == "Source" or depth > 8:
                return node if node.get_name() == "Source" else None
            return next(filter(None, (find(node.get_child_at_index(i), depth + 1)
                                      for i in range(node.get_child_count()))), None)
        source = wait(lambda: find(Atspi.get_desktop(0)), 30)
    size = os.path.getsize(path)
    start = time.monotonic()
    x("xdotool", "key", "Return")
    wait(lambda: x("xdotool", "getwindowname", window).endswith(path), 120)
    shown = time.monotonic() - start

    def answered():
        try:
            return source.get_character_count() == size
        except Exception:  # the IDE did not answer within the call's timeout
            return False
    answer = wait(answered, 120) and time.monotonic() - start if source else float("nan")
    print(f"{shown:.3f} {answer:.3f}", flush=True)
    os.killpg(0, signal.SIGKILL)


def main(reps, editors, variants, path=None):
    work = tempfile.mkdtemp(prefix="open-")
    if not path:
        path = os.path.join(work, "breaks.vornex")
        with open(path, "wb") as file:
            file.write(b"\n" * (16 << 20))
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1600x1200x24",
                             "-dpi", "96", "-nolisten", "tcp"], pass_fds=(write,),
                            stderr=subprocess.DEVNULL)
    display = ":" + os.read(read, 16).decode().strip()
    binaries = {"ide": os.environ.get("KEYLAT_IDE", os.getcwd() + "/build/bin/vornex-ide"),
                "ide0": os.environ.get("KEYLAT_IDE0", "")}
    results = {}
    try:
        for rep in range(int(reps)):
            for editor in editors.split():
                for variant in variants.split():
                    home = tempfile.mkdtemp(dir=work)
                    os.mkdir(home + "/run", 0o700)
                    env = {name: value for name, value in os.environ.items()
                           if not name.startswith(("XDG_", "DBUS_", "QT_"))}
                    env.update(HOME=home, XDG_RUNTIME_DIR=home + "/run", DISPLAY=display,
                               LANG="C.UTF-8", NO_AT_BRIDGE="1")
                    out = subprocess.run(
                        ["setsid", "dbus-run-session", "--config-file=" + HERE +
                         "/session-noact.conf", "--", "/usr/bin/python3", __file__, "--inner",
                         binaries[editor], variant, path], env=env, capture_output=True,
                        text=True, timeout=600).stdout.split()
                    shown, answer = map(float, out[-2:]) if len(out) >= 2 else (-1, -1)
                    results.setdefault((editor, variant), []).append((shown, answer))
                    print(f"{editor} {variant} rep{rep + 1}: shown {shown:.3f} s, "
                          f"answered {answer:.3f} s", flush=True)
    finally:
        xvfb.kill()
        shutil.rmtree(work, ignore_errors=True)
    for (editor, variant), runs in sorted(results.items()):
        print(f"{editor} {variant}: median shown {statistics.median(r[0] for r in runs):.3f} s, "
              f"answered {statistics.median(r[1] for r in runs):.3f} s ({len(runs)} runs)")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--inner"]:
        inner(*sys.argv[2:5])
    else:
        main(*sys.argv[1:])
