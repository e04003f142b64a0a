#!/usr/bin/env python3
# Takes the README's pictures of the IDE on a private Xvfb display with openbox: the main window
# with its block list open, the debug output, the interpreter settings and About.
# Usage: scripts/screenshots.py BUILD_DIR OUT_DIR
import os
import shutil
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e_desktop import DEBUG, DIALOG, Desktop  # noqa: E402

SOURCE = b"outer {\n  inner {\n  }\n}\ntail {\n}\nlast {\n}\n"


# Saves window, frame included, as OUT_DIR/name.png once two pictures of it in a row agree.
def shoot(desktop, window, name):
    path, previous = os.path.join(sys.argv[2], name + ".png"), None
    for _ in range(60):
        x, y, width, height = desktop.frame(window)
        desktop.x("import", "-window", "root", "-crop",
                  f"{width}x{height}+{max(x, 0)}+{max(y, 0)}", "+repage", "-strip", "-define",
                  "png:compression-level=9", path)
        with open(path, "rb") as f:
            current = f.read()
        if current == previous:
            print("made", path)
            return
        previous = current
        time.sleep(0.5)
    raise SystemExit(f"{name}: the window does not stand still")


def take(desktop):
    app = os.path.join(desktop.work, "VORNEX IDE")
    source = os.path.join(desktop.work, "hello.vornex")
    os.makedirs(app)
    for name in ("vornex-ide", "cvornex.exe", "libvornex-webview.so"):
        shutil.copy2(os.path.join(sys.argv[1], "bin", name), app)
    with open(source, "wb") as f:
        f.write(SOURCE)
    desktop.open()
    desktop.ide = desktop.start([os.path.join(app, "vornex-ide")], cwd=desktop.work,
                                env=desktop.env)
    main = desktop.key("VORNEX IDE - " + os.path.join(app, "Untitled.vornex"), "ctrl+l")
    desktop.key(DIALOG, "ctrl+a")
    desktop.x("xdotool", "type", source)
    desktop.key(DIALOG, "Return")
    title = "KELD IDE - " + source
    desktop.key(title, "F4")
    desktop.expect("the report", lambda: (os.path.exists(os.path.join(app, "debugasm.html")), True))
    desktop.key(title, "F6")
    shoot(desktop, desktop.key(DEBUG), "debug-output")
    desktop.x("xdotool", "windowactivate", "--sync", main)
    desktop.key(title, "ctrl+o")
    desktop.key("Execute Interperator")
    desktop.x("xdotool", "type", "/opt/qvx/bin/qvx")
    desktop.key("Execute Interperator", "Tab")
    desktop.x("xdotool", "type", "--", '--trace "' + source.replace(".vornex", ".qvx") + '"')
    shoot(desktop, desktop.key("Execute Interperator"), "settings")
    desktop.x("xdotool", "windowactivate", "--sync", main)
    desktop.key(title, "ctrl+h")
    shoot(desktop, desktop.key("About"), "about")
    # The block list lies 1320 twips from the left and 120 twips below the menu bar.
    desktop.x("xdotool", "windowactivate", "--sync", main, "mousemove", "--window", main, "130",
              "44", "click", "1")
    shoot(desktop, main, "main-window")


if __name__ == "__main__":
    desktop = Desktop(tempfile.mkdtemp(prefix="vornex-shots-"))
    try:
        take(desktop)
    finally:
        desktop.close()
        shutil.rmtree(desktop.work)
