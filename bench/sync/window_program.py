"""The real HalvexDravane's sync window with a long list, on an X server.

Run by bench/run.py inside xvfb-run and a private D-Bus session, with HOME
and the XDG folders in a folder of its own:

  window_program.py DRIVE FILES

DRIVE holds the bundle, the suite's preferences and the computer folder
already stored (the sync folder on one side holds FILES files). The program
is started on the drive as a person starts it; File Sync and Show Details
are clicked where they are on the screen (found through the accessibility
tree, as the journeys find them), and once the scan's wait window has gone
and the list holds FILES rows the program's memory is read from /proc.
Prints one "key value" a line: rows, fill_s, before_window_kb (resident
with the main window shown), rss_kb, peak_kb; the program's
output goes to program.log beside DRIVE.
"""

import os
import subprocess
import sys
import time
from pathlib import Path

import pyatspi
from gi.repository import Atspi

sys.path.insert(0, str(Path(__file__).resolve().parent.parent.parent / "tests" / "support"))
from atspi_tree import children, descendants, showing  # noqa: E402

# The scan of 100 000 files on a loaded machine takes well under this.
FILL_LIMIT_S = 240


def wait_for(what, probe, process, timeout):
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = probe()
        except Exception:  # a node went away under the search: look again
            found = None
        if found:
            return found
        if process.poll() is not None:
            sys.exit(f"the program ended (status {process.returncode}) while waiting for {what}")
        if time.monotonic() > deadline:
            sys.exit(f"{what}: not there after {timeout} s")
        time.sleep(0.2)


def status_kb(pid, key):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return -1


def main():
    drive, files = sys.argv[1], int(sys.argv[2])
    pyatspi.Registry.getDesktop(0)  # the accessibility bus is up before the program
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", HALVEX_ASSUME_USB="1", QT_QPA_PLATFORM="xcb")
    program = os.path.join(drive, "HalvexDravane.app", "Contents", "Linux", "HalvexDravane")
    log = open(os.path.join(os.path.dirname(os.path.abspath(drive)), "program.log"), "ab")
    process = subprocess.Popen([program, drive], env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    try:
        def application():
            for app in children(pyatspi.Registry.getDesktop(0)):
                if app.get_process_id() == process.pid:
                    app.set_cache_mask(Atspi.Cache.NONE)
                    return app
            return None

        def window(title):
            return wait_for(f"window '{title}'", lambda: next(
                (w for w in children(application()) if showing(w) and w.name == title), None), process, 30)

        def button(root, name):
            return wait_for(f"button '{name}'", lambda: next(
                (d for d in descendants(root) if d.getRole() == pyatspi.ROLE_PUSH_BUTTON and d.name == name
                 and showing(d)), None), process, 30)

        def click(node):
            # A click, not the accessible action: the action's call would
            # wait for the whole scan, which runs inside the click.
            e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            subprocess.run(["xdotool", "mousemove", str(e.x + e.width // 2), str(e.y + e.height // 2), "click", "1"],
                           check=True, timeout=10)

        main_window = window("Halvex Dravane")
        before = status_kb(process.pid, "VmRSS")
        click(button(main_window, "File Sync"))
        sync = window("File Sync")
        details = button(sync, "Show Details")
        start = time.monotonic()
        click(details)
        table = wait_for("the list", lambda: next(
            (d for d in descendants(sync) if d.getRole() == pyatspi.ROLE_TABLE), None), process, 30)

        def filled():
            # The wait window of the scan is gone and every row is listed.
            others = [w for w in children(application()) if showing(w) and w.name not in ("Halvex Dravane",
                                                                                          "File Sync")]
            return not others and table.queryTable().nRows >= files
        wait_for(f"{files} rows", filled, process, FILL_LIMIT_S)
        fill = time.monotonic() - start
        print("rows %d" % table.queryTable().nRows)
        print("fill_s %.2f" % fill)
        print("before_window_kb %d" % before)
        print("rss_kb %d" % status_kb(process.pid, "VmRSS"))
        print("peak_kb %d" % status_kb(process.pid, "VmHWM"), flush=True)
    finally:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(5)


if __name__ == "__main__":
    main()
