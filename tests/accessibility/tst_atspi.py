# What a screen reader reads of the IDE, over AT-SPI: the "Source" object's Text interface gives
# the text and the caret, typing sends text-changed events at the right character offsets, and the
# controls' names are readable. Run under dbus-run-session (the accessibility bus starts on
# demand); skipped where AT-SPI for Python or the X tools are missing.
# Usage: tst_atspi.py BIN_DIR. Exit status: 0 passed, 1 failed, 77 skipped.
import os
import shutil
import sys
import tempfile
import warnings

sys.dont_write_bytecode = True
warnings.simplefilter("ignore", DeprecationWarning)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_desktop import SKIP, TOOLS, Desktop, poll  # noqa: E402

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as error:
    print(f"SKIPPED: no AT-SPI for Python: {error}")
    sys.exit(SKIP)


# probe() after the events that have arrived are handled.
def pumped(probe):
    def run():
        while GLib.MainContext.default().iteration(False):
            pass
        return probe()
    return run


def find(node, name, depth=0):
    if node is None or depth > 12 or node.get_name() == name:
        return node
    children = (find(node.get_child_at_index(i), name, depth + 1)
                for i in range(node.get_child_count()))
    return next((child for child in children if child), None)


def walk(desktop, bin_dir, events):
    desktop.open()
    desktop.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    desktop.ide = desktop.start([os.path.join(bin_dir, "vornex-ide")], env=desktop.env)
    title = "VORNEX IDE - " + os.path.join(bin_dir, "Untitled.vornex")
    desktop.key(title)
    root = Atspi.get_desktop(0)
    app = poll(pumped(lambda: next((a for a in map(root.get_child_at_index, range(
        root.get_child_count())) if a and a.get_process_id() == desktop.ide.pid), None)), 30)
    source = poll(pumped(lambda: find(app, "Source")), 30)
    assert source and "Text" in source.get_interfaces(), f'"Source": {source}'

    # Offsets count characters, not the bytes of UTF-8. (Qt answers the older GetTextAtOffset.)
    typed = "main ж{"
    desktop.x("xdotool", "type", "--delay", "20", typed)
    inserts = lambda: [(at, data) for kind, at, data in events if kind.endswith(":insert")]
    unit = lambda offset, boundary: (lambda r: (r.content, r.start_offset, r.end_offset))(
        source.get_text_at_offset(offset, getattr(Atspi.TextBoundaryType, boundary)))
    desktop.expect("the text typed", pumped(lambda: (
        (source.get_text(0, -1), inserts(), source.get_caret_offset(), unit(5, "CHAR")),
        (typed, list(enumerate(typed)), len(typed), ("ж", 5, 6)))))
    mark = len(events)
    desktop.key(title, "BackSpace", "Home")
    desktop.expect("BackSpace, then Home", pumped(lambda: (
        (source.get_text(0, -1), source.get_caret_offset(), unit(2, "LINE_START"),
         ("object:text-changed:delete", len(typed) - 1, "{") in events[mark:]),
        (typed[:-1], 0, (typed[:-1], 0, len(typed) - 1), True))))
    desktop.key(title, "ctrl+o")
    for name in ("Blocks", "Exe File Path", "Parameters", "Apply"):
        desktop.expect(f"a control named {name!r}", pumped(lambda: (bool(find(app, name)), True)))


def main(bin_dir):
    if missing := [tool for tool in TOOLS if not shutil.which(tool)]:
        print("SKIPPED: not installed:", *missing)
        return SKIP
    events = []
    listener = Atspi.EventListener.new(
        lambda event: events.append((event.type, event.detail1, event.any_data)))
    listener.register("object:text-changed")
    desktop = Desktop(tempfile.mkdtemp(prefix="vornex-atspi-"))
    try:
        walk(desktop, bin_dir, events)
    except AssertionError as failure:
        desktop.failures.append(f"{failure}\nAT-SPI events: {events}")
    finally:
        desktop.close()
    print("\n".join("FAIL " + f for f in desktop.failures) or "1 passed, 0 failed")
    shutil.rmtree(desktop.work)
    return 1 if desktop.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
