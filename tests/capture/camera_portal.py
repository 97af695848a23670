#!/usr/bin/python3
"""A stand-in for the desktop portal's camera interface on the session bus.

camera_portal.py MODE [DELAY_MS], MODE one of:
  grant     access granted; OpenPipeWireRemote hands out a connection to
            $XDG_RUNTIME_DIR/pipewire-0
  refuse    the user says no
  nocamera  IsCameraPresent is false
  silent    the access request is never answered
The access request is answered DELAY_MS (default 50) after it is made.
Prints "ready" once the name is owned.
"""
import os
import socket
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

MODE = sys.argv[1]
DELAY_MS = int(sys.argv[2]) if len(sys.argv) > 2 else 50
CAMERA = "org.freedesktop.portal.Camera"

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
requests = []


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Portal(dbus.service.Object):
    @dbus.service.method(CAMERA, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def AccessCamera(self, options, sender=None):
        token = str(options.get("handle_token", "t"))
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)
        req = Request(bus, path)
        requests.append(req)
        if MODE != "silent":
            code = 0 if MODE == "grant" else 1

            def answer():
                req.Response(dbus.UInt32(code), dbus.Dictionary({}, signature="sv"))
                return False

            GLib.timeout_add(DELAY_MS, answer)
        return dbus.ObjectPath(path)

    @dbus.service.method(CAMERA, in_signature="a{sv}", out_signature="h")
    def OpenPipeWireRemote(self, options):
        if MODE != "grant":
            raise dbus.exceptions.DBusException("not allowed", name="org.freedesktop.portal.Error.NotAllowed")
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
        fd = dbus.types.UnixFd(s.fileno())
        s.close()
        return fd

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == CAMERA and name == "IsCameraPresent":
            return dbus.Boolean(MODE != "nocamera", variant_level=1)
        raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.UnknownProperty")


name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
Portal(bus, "/org/freedesktop/portal/desktop")
print("ready", flush=True)
GLib.MainLoop().run()
