#!/usr/bin/python3
"""A desktop notification service for tests: owns
org.freedesktop.Notifications on the session bus, records every Notify
call as one JSON line, then runs the given command and ends with its exit
code. Meant to run inside a private `dbus-run-session`.

usage: fake_notifications.py LOG PIDFILE -- COMMAND ARGS...
PIDFILE receives the command's process id once it runs.
"""
import json
import os
import signal
import subprocess
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

INTERFACE = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.next_id = 0

    @dbus.service.method(INTERFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, icon, summary, body, actions, hints, timeout):
        self.next_id += 1
        with open(self.log, "a", encoding="utf-8") as f:
            f.write(json.dumps({"app": str(app_name), "icon": str(icon),
                                "summary": str(summary), "body": str(body),
                                "category": str(hints.get("category", ""))},
                               ensure_ascii=False) + "\n")
        return self.next_id

    @dbus.service.method(INTERFACE, out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(INTERFACE, out_signature="ssss")
    def GetServerInformation(self):
        return ("fake", "tarnu tests", "1.0", "1.2")

    @dbus.service.method(INTERFACE, in_signature="u")
    def CloseNotification(self, notification_id):
        pass


def main(argv):
    if len(argv) < 5 or argv[3] != "--":
        sys.exit(__doc__)
    log, pidfile, command = argv[1], argv[2], argv[4:]
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(INTERFACE, bus, do_not_queue=True)  # noqa: F841
    service = Notifications(bus, log)  # noqa: F841
    loop = GLib.MainLoop()
    child = subprocess.Popen(command)
    with open(pidfile + ".tmp", "w") as f:
        f.write("%d\n" % child.pid)
    os.rename(pidfile + ".tmp", pidfile)
    result = {}

    def reap():
        code = child.poll()
        if code is None:
            return True
        result["code"] = code
        loop.quit()
        return False

    GLib.timeout_add(50, reap)
    # Signals meant for the watch go to it, not to this service.
    signal.signal(signal.SIGTERM, lambda *_: child.send_signal(signal.SIGTERM))
    loop.run()
    code = result.get("code", 1)
    return code if code >= 0 else 128 - code


if __name__ == "__main__":
    sys.exit(main(sys.argv))
