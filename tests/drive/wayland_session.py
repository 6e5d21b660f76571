"""Drives the suite started from a made drive under a Wayland compositor
through the accessibility tree, then ends it with SIGTERM. Exit status 0 when
all held.

  wayland_session.py DRIVE LOG no-tray   the main window carries the Menu
                                         button
  wayland_session.py DRIVE LOG tray      with a StatusNotifierItem watcher on
                                         the bus: the suite registers its icon
                                         there and hides the Menu button; the
                                         tray menu's Instant Sync, clicked as
                                         the desktop sends it, opens the sync
                                         window, which syncs and closes"""

import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pyatspi
from gi.repository import Atspi

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))
from atspi_tree import children, descendants, showing  # noqa: E402

drive, log_path, mode = sys.argv[1], sys.argv[2], sys.argv[3]
here = os.path.dirname(os.path.abspath(__file__))


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def wait_for(what, probe, process, timeout=30):
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = probe()
        except Exception:  # a control went away under the search
            found = None
        if found:
            return found
        if process.poll() is not None:
            fail(f"the program ended ({process.returncode}) while waiting for {what}")
        if time.monotonic() > deadline:
            fail(f"{what}: not there after {timeout} s")
        time.sleep(0.2)


def windows(process):
    for app in children(pyatspi.Registry.getDesktop(0)):
        try:
            if app.get_process_id() != process.pid:
                continue
        except Exception:
            continue
        app.set_cache_mask(Atspi.Cache.NONE)
        return [w for w in children(app) if showing(w)]
    return []


def window(process, title):
    return wait_for(f"window '{title}'", lambda: next((w for w in windows(process) if w.name == title), None),
                    process)


def control(process, root, role, name):
    return wait_for(f"'{name}' in '{root.name}'", lambda: next(
        (d for d in descendants(root) if d.getRole() == role and d.name == name and showing(d)), None), process)


def press(node):
    actions = node.queryAction()
    names = [actions.getName(i).lower() for i in range(actions.nActions)]
    for name in ("press", "click", "showmenu"):
        if name in names:
            actions.doAction(names.index(name))
            return
    fail(f"'{node.name}' offers no press ({names})")


def menu_items(layout):
    """(id, label) of every item in a com.canonical.dbusmenu layout."""
    item_id, properties, submenus = layout
    yield int(item_id), str(properties.get("label", ""))
    for submenu in submenus:
        yield from menu_items(submenu)


def instant_sync_from_desktop_menu(process, record):
    """What a person's click on Instant Sync in the desktop's tray menu sends."""
    import dbus
    bus = dbus.SessionBus()
    item = open(record, encoding="utf-8").readline().strip()
    service, _, path = item.partition("/")
    item_object = bus.get_object(service, "/" + (path or "StatusNotifierItem"))
    menu_path = item_object.Get("org.kde.StatusNotifierItem", "Menu",
                                dbus_interface="org.freedesktop.DBus.Properties")
    menu = dbus.Interface(bus.get_object(service, menu_path), "com.canonical.dbusmenu")
    _, layout = menu.GetLayout(0, -1, [])
    ids = [i for i, label in menu_items(layout) if label.replace("&", "") == "Instant Sync"]
    if not ids:
        fail(f"no Instant Sync in the tray menu: {[label for _, label in menu_items(layout)]}")
    menu.Event(ids[0], "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0))

    # A short sync may come and go between two looks at the tree; the
    # compositor's side of the log keeps the window's title either way.
    def opened():
        if any(w.name == "File Sync" for w in windows(process)):
            return True
        with open(log_path, encoding="utf-8", errors="replace") as log:
            return 'set_title("File Sync")' in log.read()
    wait_for("the sync window", opened, process)
    print("sync window opened")
    wait_for("the sync window to close itself",
             lambda: not any(w.name == "File Sync" for w in windows(process)), process, 60)
    print("sync window closed")


def menu_button_shown(main):
    return any(d.getRole() == pyatspi.ROLE_PUSH_BUTTON and d.name == "Menu" and showing(d) for d in descendants(main))


helpers = []
record = os.path.join(os.path.dirname(log_path), "tray-items")
if mode == "tray":
    helpers.append(subprocess.Popen(["/usr/bin/python3", os.path.join(here, "status_notifier_watcher.py"), record],
                                    stdin=subprocess.DEVNULL))
    deadline = time.monotonic() + 20
    while not os.path.exists(record):
        if time.monotonic() > deadline:
            fail("the StatusNotifierItem watcher did not start")
        time.sleep(0.1)

# The accessibility bus must be up before the program starts.
pyatspi.Registry.getDesktop(0)
env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
with open(log_path, "ab") as log:
    process = subprocess.Popen(["sh", os.path.join(drive, "HalvexDravane.sh")], env=env, stdin=subprocess.DEVNULL,
                               stdout=log, stderr=subprocess.STDOUT)
try:
    main = window(process, "Halvex Dravane")
    print("main window shown")
    if mode == "tray":
        wait_for("the suite's icon registered with the watcher",
                 lambda: os.path.getsize(record) > 0, process)
        print("icon registered as a StatusNotifierItem")
        wait_for("the Menu button hidden", lambda: not menu_button_shown(main), process, 10)
        instant_sync_from_desktop_menu(process, record)
    else:
        wait_for("the Menu button of a desktop without a notification area", lambda: menu_button_shown(main),
                 process, 10)
        print("Menu button shown")
    process.send_signal(signal.SIGTERM)
    status = process.wait(20)
    if status != 0:
        fail(f"the suite ended with {status}")
    print("suite quit")
finally:
    if process.poll() is None:
        process.kill()
        process.wait(5)
    for helper in helpers:
        helper.terminate()
        helper.wait(5)
