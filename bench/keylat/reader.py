#!/usr/bin/python3
# A stand-in for Orca in the benchmarks (Debian's Python, where AT-SPI for Python is): it says
# on the session bus that a screen reader is on, as Orca does when it starts, registers for the
# events Orca 43 registers for and for every key through the registry (Orca's keyboard handling),
# and on every caret move asks what Orca asks then: the caret and the line there. It speaks
# nothing and answers every key at once, so it measures what a program does for a screen reader,
# not the screen reader's own time.
#   usage: reader.py [READY_FILE]    (the file is written once it listens; it runs until killed)
import sys

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib

EVENTS = """document:load-complete document:load-stopped document:reload focus: mouse:button
    object:active-descendant-changed object:children-changed:add object:children-changed:remove
    object:column-reordered object:property-change:accessible-description
    object:property-change:accessible-name object:property-change:accessible-value
    object:row-reordered object:selection-changed object:state-changed:active
    object:state-changed:busy object:state-changed:checked object:state-changed:expanded
    object:state-changed:focused object:state-changed:indeterminate object:state-changed:pressed
    object:state-changed:selected object:state-changed:sensitive object:state-changed:showing
    object:text-attributes-changed object:text-caret-moved object:text-changed:delete
    object:text-changed:insert object:text-selection-changed object:value-changed
    window:activate window:create window:deactivate window:destroy""".split()


def on_event(event):
    if event.type == "object:text-caret-moved":
        try:
            event.source.get_text_at_offset(event.source.get_caret_offset(),
                                            Atspi.TextBoundaryType.LINE_START)
        except GLib.Error:
            pass


listener = Atspi.EventListener.new(on_event)
for kind in EVENTS:
    listener.register(kind)
keys = Atspi.DeviceListener.new(lambda event: False)
for mask in (0, 1, 4, 5):  # none, Shift, Ctrl, Ctrl+Shift
    Atspi.register_keystroke_listener(
        keys, None, mask, (1 << Atspi.EventType.KEY_PRESSED_EVENT) |
        (1 << Atspi.EventType.KEY_RELEASED_EVENT),
        Atspi.KeyListenerSyncType.SYNCHRONOUS | Atspi.KeyListenerSyncType.CANCONSUME)
Gio.bus_get_sync(Gio.BusType.SESSION).call_sync(
    "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
    GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))), None, 0,
    30000)
if sys.argv[1:]:
    open(sys.argv[1], "w").close()
Atspi.event_main()
