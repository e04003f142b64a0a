"""What a screen reader reads of the IDE, over AT-SPI: the "Source" object's Text interface gives
the text and the caret, typing sends text-changed events at the right character offsets, and the
controls' names are readable. Run under dbus-run-session (the accessibility bus is started on
demand); skipped where AT-SPI for Python or the desktop tools are missing."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xdesktop import SKIP, Desktop, Failure, Ide, Skip, make_workdir, wait_for  # noqa: E402

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as error:
    print(f"SKIP: no AT-SPI for Python: {error}")
    sys.exit(SKIP)

events = []


def pumped(probe):
    """probe() once the AT-SPI events that have arrived are handled (100 dispatches at most)."""
    return lambda: [GLib.MainContext.default().iteration(False) for _ in range(100)] and probe()


def children(node):
    return [node.get_child_at_index(i) for i in range(node.get_child_count())] if node else []


def find(node, name, depth=0):
    if node is not None and node.get_name() == name:
        return node
    found = (find(child, name, depth + 1) for child in children(node)) if depth < 12 else ()
    return next(filter(None, found), None)


def application(pid):
    return next((a for a in children(Atspi.get_desktop(0)) if a and a.get_process_id() == pid), None)


def main(bin_dir):
    listener = Atspi.EventListener.new(lambda event: events.append(
        (event.type, event.detail1, event.any_data)))
    for kind in ("object:text-changed", "object:text-caret-moved"):
        listener.register(kind)
    workdir = make_workdir("vornex-atspi-")
    with Desktop(workdir) as desktop:
        ide = Ide(desktop, os.path.join(bin_dir, "vornex-ide"), workdir, {
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"]})
        try:
            main_window = ide.wait_window("VORNEX IDE - " + os.path.join(bin_dir, "Untitled.vornex"))
            app = wait_for("the IDE on the accessibility bus", pumped(lambda: application(ide.pid)))
            text = wait_for('the object "Source"', pumped(lambda: find(app, "Source")))
            if "Text" not in text.get_interfaces():
                raise Failure(f'"Source" has no Text interface: {text.get_interfaces()}')
            typed = "main {"
            ide.type(main_window, typed)
            inserts = lambda: [(offset, data) for kind, offset, data in events
                               if kind == "object:text-changed:insert"]
            wait_for("the text typed", pumped(lambda: text.get_text(0, -1) == typed and
                                              len(inserts()) == len(typed)))
            if inserts() != list(enumerate(typed)):
                raise Failure(f"insert events {inserts()}, expected {list(enumerate(typed))}")
            caret, count = text.get_caret_offset(), text.get_character_count()
            if (caret, count) != (len(typed), len(typed)):
                raise Failure(f"caret {caret}, {count} characters after typing {typed!r}")
            events.clear()
            ide.key(main_window, "BackSpace", "Home")
            removed = ("object:text-changed:delete", len(typed) - 1, typed[-1])
            wait_for("the deletion and the caret at the start", pumped(
                lambda: removed in events and ("object:text-caret-moved", 0, 0) in events and
                text.get_caret_offset() == 0 and text.get_text(0, -1) == typed[:-1]))
            ide.key(main_window, "ctrl+o")
            for name in ("Blocks", "Source", "Exe File Path", "Parameters", "Apply"):
                wait_for(f"a control named {name!r}", pumped(lambda: find(app, name)))
        except Failure:
            print(f"AT-SPI events: {events}\nIDE output:\n{ide.log_tail()}")
            raise
        finally:
            ide.kill()
    print("1 passed, 0 failed")


if __name__ == "__main__":
    try:
        main(sys.argv[1])
    except Skip as reason:
        print(f"SKIP: {reason}")
        sys.exit(SKIP)
