"""Check for Updates against the real update service on loopback, from the
main window's Menu button (Xvfb has no notification area, so the window
carries the tray's commands): the service's newer release is offered and
declined; then Exit from the same menu ends the program."""

import subprocess
import zipfile

from pyatspi import (ROLE_LABEL, ROLE_MENU, ROLE_MENU_ITEM, ROLE_POPUP_MENU, ROLE_PUSH_BUTTON,
                     STATE_FOCUSED)

import journey

OFFERED = "9.9.9"


def has_default_route():
    # The check first asks whether the computer is online at all.
    with open("/proc/net/route") as table:
        return any(f[1] == "00000000" and f[0] != "lo" for f in (line.split() for line in list(table)[1:]) if len(f) > 1)


def publish(j):
    """A release of the suite, published as a maintainer does."""
    drive = j.work / "next"
    linux = drive / "HalvexDravane.app" / "Contents" / "Linux"
    linux.mkdir(parents=True)
    (drive / "HalvexDravane.app" / "Contents" / "Resources").mkdir()
    (linux / "dravane").write_text("#!/bin/sh\n")
    releases = j.work / "releases"
    key = j.work / "publisher.key"
    subprocess.run([str(j.source / "scripts" / "make-update-key.sh"), str(key)], check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
    subprocess.run([str(j.source / "scripts" / "publish-update.sh"), "--key", str(key), str(drive), OFFERED,
                    str(releases)], check=True, stdout=subprocess.DEVNULL, timeout=60)
    package = releases / "packages" / f"HalvexDravane-{OFFERED}.zip"
    j.expect(zipfile.is_zipfile(package), "publish-update.sh made no package")
    return releases, (j.work / "publisher.key.pub").read_text().strip()


def open_menu(j, main):
    """Opens the Menu button's menu with the mouse; a screen reader finds the
    open menu under the button, its items named. A person goes on with the
    arrow keys."""
    button = j.control(main, ROLE_PUSH_BUTTON, "Menu")
    j.click(main, button)
    menu = j.wait_for("the open menu under the Menu button", lambda: next(
        (c for c in journey.children(button) if c.getRole() in (ROLE_MENU, ROLE_POPUP_MENU) and journey.showing(c)),
        None), 10)
    items = [c.name for c in journey.children(menu) if c.getRole() == ROLE_MENU_ITEM]
    for wanted in ("Hide Main Window", "File Sync", "Help", "Exit"):
        j.expect(wanted in items, f"the menu does not say '{wanted}': {items}")
    j.check_names(menu)
    return menu


def focused_item(j, menu, name):
    """Waits until the keyboard is on the named item, as a screen reader says it."""
    j.wait_for(f"the keyboard on '{name}'", lambda: next(
        (c for c in journey.children(menu) if c.name == name and journey.states(c) is not None
         and journey.states(c).contains(STATE_FOCUSED)), None), 5)


def body(j):
    if not has_default_route():
        print("SKIP: no default route, so the suite counts this computer as offline")
        raise SystemExit(77)
    releases, public_key = publish(j)
    service_log = j.work / "service.log"
    with open(service_log, "w") as log:
        service = subprocess.Popen([j.args.service, "--root", str(releases), "--listen", "127.0.0.1:0"],
                                   stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    try:
        address = j.wait_for("the update service listening", lambda: next(
            (line.split()[-1] for line in service_log.read_text().splitlines() if line.startswith("listening on")),
            None), 10)
        j.make_drive({"eula": "<true />", "CheckUpdate": "<false />"})
        # The drive lists the publisher's key; the service on loopback speaks
        # plain http, which only the test's own address variable may name.
        (j.drive / "HalvexDravane.app" / "Contents" / "Resources" / "Configuration.plist").write_text(
            '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict><key>UpdatePublicKeys</key>'
            f'<array><string>{public_key}</string></array></dict></plist>\n')
        j.start({"HALVEX_UPDATE_URL": f"http://{address}/"})

        main = j.window(title="Halvex Dravane", containing="STICK")
        j.shot("main-window-without-tray")
        menu = open_menu(j, main)
        j.shot("menu")
        # Hide Main Window, File Sync, Preferences, Help; in Help, the second.
        j.keys(main, "Down", "Down", "Down", "Down", "Right", "Down")
        j.shot("help-menu")
        j.keys(main, "Return")

        offer = j.window(containing=OFFERED, timeout=60)
        text = j.control(offer, ROLE_LABEL, containing=OFFERED).name
        j.shot("update-offered")
        j.press(j.control(offer, ROLE_PUSH_BUTTON, "No"))
        j.window_gone(offer)
        requests = service_log.read_text()
        j.expect("GET /check-update.php?id=01&ver=" in requests, f"the service was not asked: {requests}")
        j.expect(f"HalvexDravane-{OFFERED}.zip" not in requests, "the package was fetched although No was answered")
        print(f"offered: {text}")

        menu = open_menu(j, main)
        j.keys(main, "Up")
        focused_item(j, menu, "Exit")
        j.shot("exit-chosen")
        j.keys(main, "Return")
        j.expect(j.wait_exit(20) == 0, f"the program ended with status {j.process.returncode}")
        j.shot("ended")
    finally:
        service.terminate()
        service.wait(10)


journey.run("update_and_exit", body)
