#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Runs a test program against private system and session buses, with
# python-dbusmock's logind and a desktop portal whose Inhibit returns a request
# object; afterwards checks that every portal inhibitor taken was closed.
#
#   session_mocks.py PROGRAM [ARG]...
import os
import subprocess
import sys

import dbus
import dbusmock
from dbusmock import DBusTestCase

REQUEST = "/org/freedesktop/portal/desktop/request/1_0/ventaro"

DBusTestCase.start_system_bus()
DBusTestCase.start_session_bus()
logind, _ = DBusTestCase.spawn_server_template("logind", {}, stdout=subprocess.DEVNULL)
portal = DBusTestCase.spawn_server("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                                   "org.freedesktop.portal.Inhibit", system_bus=False, stdout=subprocess.DEVNULL)
bus = DBusTestCase.get_dbus(system_bus=False)
desktop = dbus.Interface(bus.get_object("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop"),
                         dbusmock.MOCK_IFACE)
desktop.AddMethod("org.freedesktop.portal.Inhibit", "Inhibit", "sua{sv}", "o",
                  f"ret = dbus.ObjectPath('{REQUEST}')")
desktop.AddObject(REQUEST, "org.freedesktop.portal.Request", {}, [("Close", "", "", "")])

status = subprocess.call(sys.argv[1:], env=os.environ)

request = dbus.Interface(bus.get_object("org.freedesktop.portal.Desktop", REQUEST), dbusmock.MOCK_IFACE)
taken = [call for call in desktop.GetCalls() if call[1] == "Inhibit"]
closed = [call for call in request.GetCalls() if call[1] == "Close"]
if status == 0 and (not taken or len(taken) != len(closed)):
    print(f"session_mocks.py: the portal's inhibitor was taken {len(taken)} times and closed {len(closed)} times")
    status = 1
for process in (portal, logind):
    process.terminate()
    process.wait()
DBusTestCase.tearDownClass()
sys.exit(status)
