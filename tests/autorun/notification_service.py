#!/usr/bin/python3
# A desktop notification service of the agent's tests, run inside its own
# session bus (dbus-run-session). Prints the bus address and its own process
# id once it is ready (ending it ends the session and its bus),
# notes every Notify call as one JSON line in RECORD, and answers each with
# ANSWER: an action key, "dismiss" (closed without an action) or "absent"
# (the service never takes its name). CAPABILITIES is a comma list.
#
#   notification_service.py ANSWER RECORD CAPABILITIES

import json
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

INTERFACE = "org.freedesktop.Notifications"
answer, record, capabilities = sys.argv[1], sys.argv[2], sys.argv[3].split(",")


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.next_id = 1

    @dbus.service.method(INTERFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return [c for c in capabilities if c]

    @dbus.service.method(INTERFACE, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("halvex-test", "halvex", "1", "1.2")

    @dbus.service.method(INTERFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, expire):
        number = self.next_id
        self.next_id += 1
        with open(record, "a", encoding="utf-8") as out:
            out.write(json.dumps({"app": str(app), "summary": str(summary), "body": str(body),
                                  "actions": [str(a) for a in actions]}, ensure_ascii=False) + "\n")
        GLib.timeout_add(50, self.respond, number)
        return number

    @dbus.service.method(INTERFACE, in_signature="u", out_signature="")
    def CloseNotification(self, number):
        self.NotificationClosed(number, 3)

    @dbus.service.signal(INTERFACE, signature="us")
    def ActionInvoked(self, number, key):
        pass

    @dbus.service.signal(INTERFACE, signature="uu")
    def NotificationClosed(self, number, reason):
        pass

    def respond(self, number):
        if answer != "dismiss":
            self.ActionInvoked(number, answer)
        self.NotificationClosed(number, 2)
        return False


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
if answer != "absent":
    name = dbus.service.BusName(INTERFACE, bus)
    service = Notifications(bus)
print(os.environ["DBUS_SESSION_BUS_ADDRESS"], os.getpid(), flush=True)
GLib.MainLoop().run()
