#!/usr/bin/python3
"""Asks the X11 window of the given title to close, as a window manager's close box does (WM_DELETE_WINDOW).
Exit status 1 when no window has that title."""
import sys

from Xlib import X, display, protocol


def find(window, title):
    try:
        if window.get_wm_name() == title:
            return window
        children = window.query_tree().children
    except Exception:  # a window may go while it is looked at
        return None
    for child in children:
        found = find(child, title)
        if found is not None:
            return found
    return None


def main():
    screen = display.Display()
    window = find(screen.screen().root, sys.argv[1])
    if window is None:
        return 1
    protocols = screen.intern_atom("WM_PROTOCOLS")
    delete = screen.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    screen.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
