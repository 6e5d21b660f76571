"""Drives the real HalvexDravane on an X server through the accessibility
tree (AT-SPI), as a person would: windows and controls are found by role and
name, buttons pressed through their action, keys typed where a person types
them, and the whole screen is saved at each step.

run_journey.sh starts each journey inside xvfb-run and a private D-Bus
session, with HOME and the XDG folders in a temporary folder of its own.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
import traceback
from pathlib import Path

import pyatspi
from gi.repository import Atspi

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))
from atspi_tree import children, descendants, showing, states  # noqa: E402

# Roles a person works with; each needs a name a screen reader can say.
INTERACTIVE_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_SLIDER, pyatspi.ROLE_LIST,
    pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_PAGE_TAB,
    pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM, pyatspi.ROLE_MENU,
    pyatspi.ROLE_LINK, pyatspi.ROLE_PROGRESS_BAR,
}
TOP_LEVEL_ROLES = {pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW, pyatspi.ROLE_ALERT,
                   pyatspi.ROLE_FILE_CHOOSER}


class JourneyFailure(Exception):
    pass


def text_of(node):
    """The name, or for a label without one its text."""
    try:
        if node.name:
            return node.name
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except Exception:
        return ""


def describe(node):
    try:
        return f"{node.getRoleName()} '{node.name}'"
    except Exception:
        return "(gone)"


class Journey:
    def __init__(self, name):
        parser = argparse.ArgumentParser()
        parser.add_argument("--build", required=True)
        parser.add_argument("--source", required=True)
        parser.add_argument("--work", required=True)
        parser.add_argument("--service")
        self.args = parser.parse_args()
        self.name = name
        self.build = Path(self.args.build)
        self.source = Path(self.args.source)
        self.work = Path(self.args.work)
        self.drive = self.work / "STICK"
        self.home = Path(os.environ["HOME"])
        self.shots = self.build / "screenshots" / "journeys" / name
        if self.shots.exists():
            shutil.rmtree(self.shots)
        self.shots.mkdir(parents=True)
        self.step = 0
        self.process = None
        self.log = self.work / "program.log"
        self.nameless = set()

    # The drive and the program.

    def make_drive(self, prefs=None):
        """A drive folder with the built bundle; prefs, when given, are the
        suite's preferences (the licence accepted, and so on)."""
        self.drive.mkdir(parents=True, exist_ok=True)
        shutil.copytree(self.build / "drive" / "HalvexDravane.app", self.drive / "HalvexDravane.app",
                        symlinks=True)
        if prefs is not None:
            entries = "".join(f"<key>{k}</key>{v}" for k, v in prefs.items())
            (self.data_folder()).mkdir(exist_ok=True)
            (self.data_folder() / "com.halvex.dravane.plist").write_text(
                '<?xml version="1.0" encoding="UTF-8" ?>\n'
                f'<plist version="1.0"><dict>{entries}</dict></plist>\n')

    def data_folder(self):
        return self.drive / "Halvex Data"

    def start(self, environment=None):
        # The accessibility bus must be up before the program starts: Qt
        # joins it only when it is already there or appears later.
        pyatspi.Registry.getDesktop(0)
        env = dict(os.environ)
        env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", HALVEX_ASSUME_USB="1", QT_QPA_PLATFORM="xcb")
        env.pop("HALVEX_UPDATE_URL", None)
        env.update(environment or {})
        program = self.drive / "HalvexDravane.app" / "Contents" / "Linux" / "HalvexDravane"
        with open(self.log, "ab") as log:
            self.process = subprocess.Popen([str(program), str(self.drive)], env=env, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)

    def wait_exit(self, timeout=20):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise JourneyFailure(f"the program did not end within {timeout} s")

    # Waiting and finding.

    def wait_for(self, what, probe, timeout=20):
        deadline = time.monotonic() + timeout
        while True:
            try:
                found = probe()
            except Exception:  # a control went away under the search: look again
                found = None
            if found:
                return found
            if self.process and self.process.poll() is not None:
                raise JourneyFailure(f"the program ended (status {self.process.returncode}) while waiting for {what}")
            if time.monotonic() > deadline:
                raise JourneyFailure(f"{what}: not there after {timeout} s")
            time.sleep(0.2)

    def application(self):
        for app in children(pyatspi.Registry.getDesktop(0)):
            try:
                if app.get_process_id() == self.process.pid:
                    # States are read as they are now: the client's cache
                    # follows only the events someone listens to.
                    app.set_cache_mask(Atspi.Cache.NONE)
                    return app
            except Exception:
                continue
        return None

    def windows(self):
        app = self.application()
        return [w for w in children(app) if showing(w)] if app else []

    def window(self, title=None, containing=None, timeout=20):
        """A shown top-level window by its title, or by a text it shows."""
        def probe():
            for w in self.windows():
                if title is not None and w.name != title:
                    continue
                if containing is not None and not any(containing in text_of(d) for d in descendants(w)):
                    continue
                return w
            return None
        what = f"window '{title or ''}'" + (f" showing '{containing}'" if containing else "")
        found = self.wait_for(what, probe, timeout)
        self.check_names(found)
        return found

    def window_gone(self, window, timeout=20):
        self.wait_for(f"{describe(window)} to close", lambda: not showing(window), timeout)

    def control(self, root, role, name=None, containing=None, timeout=10, index=0):
        """A shown control under root by role and name; index picks among
        nameless ones in reading order."""
        def probe():
            matches = [d for d in descendants(root) if d.getRole() == role and showing(d)
                       and (name is None or d.name == name)
                       and (containing is None or containing in text_of(d))]
            return matches[index] if len(matches) > index else None
        return self.wait_for(f"{Atspi.role_get_name(role)} '{name or containing or ''}' in {describe(root)}", probe,
                             timeout)

    def focused(self, root):
        for d in descendants(root):
            s = states(d)
            if s is not None and s.contains(pyatspi.STATE_FOCUSED):
                return d
        return None

    # Doing things.

    def act(self, node, *names):
        """The first of the named actions the control offers."""
        try:
            actions = node.queryAction()
            offered = [actions.getName(i).lower() for i in range(actions.nActions)]
        except NotImplementedError:
            offered = []
        for name in names:
            if name.lower() in offered:
                actions.doAction(offered.index(name.lower()))
                return
        raise JourneyFailure(f"{describe(node)} offers none of {names} (only {offered})")

    def press(self, node):
        self.act(node, "Press", "Click", "Toggle", "Check")

    def x_window(self, window):
        """The X window that shows this AT-SPI window: the program's shown
        window of the same place and size."""
        e = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.process.pid)],
                               capture_output=True, text=True, timeout=10).stdout.split()
        for wid in found:
            shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True,
                                   text=True, timeout=10).stdout
            g = dict(line.split("=", 1) for line in shape.split() if "=" in line)
            if [int(g.get(k, -1)) for k in ("X", "Y", "WIDTH", "HEIGHT")] == [e.x, e.y, e.width, e.height]:
                return wid
        return None

    def keys(self, window, *keys):
        """Keys by their X names (Return, Tab, space, Escape, alt+n), typed
        into window. There is no window manager to hand the keyboard to the
        window a program raises, so it is given to it here, as a click on
        its frame would."""
        wid = self.wait_for(f"the X window of {describe(window)}", lambda: self.x_window(window), 10)
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True, timeout=10)
        time.sleep(0.2)
        for key in keys:
            subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=True, timeout=10)
            time.sleep(0.15)

    def click(self, window, node):
        """A click in the middle of a control, as with the mouse."""
        e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        self.keys(window)
        subprocess.run(["xdotool", "mousemove", str(e.x + e.width // 2), str(e.y + e.height // 2),
                        "click", "1"], check=True, timeout=10)
        time.sleep(0.2)

    def type_text(self, window, text):
        self.keys(window)
        subprocess.run(["xdotool", "type", "--delay", "30", text], check=True, timeout=30)

    def focus(self, node):
        """Gives a control the keyboard focus, as a click or Tab would."""
        try:
            node.queryComponent().grabFocus()
        except Exception:
            self.act(node, "SetFocus")
        self.wait_for(f"focus on {describe(node)}", lambda: states(node) is not None and
                      states(node).contains(pyatspi.STATE_FOCUSED), 5)

    def shot(self, label):
        self.step += 1
        target = self.shots / f"{self.step:02d}-{label}.png"
        # Let the last change reach the screen first.
        time.sleep(0.4)
        self.check_names_now()
        subprocess.run(["import", "-window", "root", str(target)], check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(f"step {self.step:02d}: {label}", flush=True)

    # What a screen reader would meet.

    def check_names(self, window):
        """Records every shown control without a name in this window, with
        the label before it, as a person would find it on the screen."""
        title = window.name
        label = ""
        seen = {}
        for d in descendants(window):
            try:
                role = d.getRole()
                if role == pyatspi.ROLE_LABEL and text_of(d).strip():
                    label = text_of(d).strip().splitlines()[0][:50]
                if role not in INTERACTIVE_ROLES or not showing(d):
                    continue
                seen[role] = seen.get(role, 0) + 1
                if d.name.strip():
                    continue
                self.nameless.add(f"{d.getRoleName()} {seen[role]} (after the label '{label}') in '{title}'")
            except Exception:
                continue

    def check_names_now(self):
        for w in self.windows():
            self.check_names(w)

    def expect(self, condition, message):
        if not condition:
            raise JourneyFailure(message)

    def dump(self):
        """The shown windows' trees, for a failure's report."""
        lines = []
        def walk(node, depth):
            if depth > 12:
                return
            s = states(node)
            flags = ""
            if s is not None and s.contains(pyatspi.STATE_FOCUSED):
                flags = " [focused]"
            lines.append("  " * depth + f"{describe(node)}{flags}")
            for c in children(node):
                if showing(c):
                    walk(c, depth + 1)
        for w in self.windows():
            walk(w, 1)
        return "\n".join(lines)


def run(name, body):
    """Runs one journey; its exit status is ctest's verdict."""
    journey = Journey(name)
    status = 0
    try:
        body(journey)
        journey.check_names_now()
        if journey.nameless:
            print("FAIL: controls without an accessible name:")
            for where in sorted(journey.nameless):
                print(f"  {where}")
            status = 1
        else:
            print(f"{name}: passed")
    except Exception as failure:
        status = 1
        print(f"FAIL: {failure}")
        if not isinstance(failure, JourneyFailure):
            traceback.print_exc()
        try:
            journey.shot("failure")
            print(journey.dump())
        except Exception:
            pass
    finally:
        journey.stop()
        if journey.log.exists():
            print("program output:\n" + journey.log.read_text(errors="replace")[-4000:])
    sys.exit(status)
