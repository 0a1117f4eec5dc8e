#!/usr/bin/python3
"""The X11 window of a process by its title: "x11_window.py shown PID TITLE" prints its WM_CLASS when the process
has shown it; "x11_window.py close PID TITLE" asks it to close, as a window manager's close box does
(WM_DELETE_WINDOW). Exit status 1 when the process has no window of that title. Other processes' windows of the
same title (tests that run at the same time) are left alone."""
import sys

from Xlib import X, display, protocol


def find(screen, window, pid, title):
    try:
        if window.get_wm_name() == title:
            owner = window.get_full_property(screen.intern_atom("_NET_WM_PID"), X.AnyPropertyType)
            if owner is not None and owner.value and owner.value[0] == pid:
                return window
        children = window.query_tree().children
    except Exception:  # a window may go while it is looked at
        return None
    for child in children:
        found = find(screen, child, pid, title)
        if found is not None:
            return found
    return None


def main():
    action, pid, title = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    screen = display.Display()
    window = find(screen, screen.screen().root, pid, title)
    if window is None:
        return 1
    if action == "shown":
        print(" ".join(window.get_wm_class() or ()))
        return 0
    protocols = screen.intern_atom("WM_PROTOCOLS")
    delete = screen.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    screen.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
