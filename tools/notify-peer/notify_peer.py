#!/usr/bin/python3
"""A stand-in for the desktop's notification service, for tests.

Owns org.freedesktop.Notifications on the session bus that DBUS_SESSION_BUS_ADDRESS names (a private bus the test
started), writes each Notify call as one JSON line to --record, and answers the default action like a user's click:
right after Notify with --invoke-default, or for the last notification once the file --invoke-when appears. Writes
--ready-file once it owns the name; ends by itself after --max-seconds, on SIGTERM, or when the bus goes.
"""

import argparse
import json
import os
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, args):
        super().__init__(bus, PATH)
        self.args = args
        self.last_id = 0

    def record(self, entry):
        with open(self.args.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry) + "\n")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
        self.last_id += 1
        self.record({"id": self.last_id, "app_name": str(app_name), "summary": str(summary), "body": str(body),
                     "actions": [str(a) for a in actions], "expire_timeout": int(expire_timeout)})
        if self.args.invoke_default:
            notification = self.last_id
            # After the reply has gone, as a real click comes later.
            GLib.timeout_add(50, lambda: self.invoke(notification))
        return dbus.UInt32(self.last_id)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return [c for c in self.args.capabilities.split(",") if c]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("notify-peer", "Quillobrand tests", "1.0", "1.2")

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, notification):
        self.NotificationClosed(notification, 3)

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, notification, action_key):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, notification, reason):
        pass

    def invoke(self, notification):
        # Another program's notification first: the program must answer only its own.
        self.ActionInvoked(dbus.UInt32(notification + 1000), "default")
        self.ActionInvoked(dbus.UInt32(notification), "default")
        self.NotificationClosed(dbus.UInt32(notification), 2)
        return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--ready-file", required=True)
    parser.add_argument("--invoke-default", action="store_true")
    parser.add_argument("--invoke-when")
    parser.add_argument("--capabilities", default="actions,body")
    parser.add_argument("--max-seconds", type=int, default=60)
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()
    service = Notifications(bus, args)
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)

    if args.invoke_when:
        def watch_for_file():
            if os.path.exists(args.invoke_when) and service.last_id:
                service.invoke(service.last_id)
                return False
            return True
        GLib.timeout_add(50, watch_for_file)

    GLib.timeout_add_seconds(args.max_seconds, loop.quit)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    bus.call_on_disconnection(lambda connection: loop.quit())

    ready = args.ready_file + ".part"
    with open(ready, "w", encoding="utf-8") as out:
        out.write(str(os.getpid()))
    os.rename(ready, args.ready_file)
    loop.run()
    del name
    return 0


if __name__ == "__main__":
    sys.exit(main())
