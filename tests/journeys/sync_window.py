"""The sync window: three new files on the computer; Show Details lists them,
Space in the list unchecks one, Sync copies only the two checked ones and
the result box says so."""

import os
import subprocess

from pyatspi import ROLE_LABEL, ROLE_PUSH_BUTTON, ROLE_TABLE, ROLE_TABLE_CELL, STATE_CHECKED, STATE_SELECTED

import journey

NAMES = ("alpha.txt", "beta.txt", "gamma.txt")
LEFT_OUT = "gamma.txt"


def body(j):
    j.make_drive({"eula": "<true />", "CheckUpdate": "<false />"})
    work = j.home / "Work"
    work.mkdir(parents=True)
    for name in NAMES:
        (work / name).write_text(f"the text of {name}\n")
    # The computer's sync folder, stored as the setup or the window's folder
    # chooser would; --list copies nothing.
    subprocess.run([str(j.drive / "HalvexDravane.app/Contents/Linux/dravane"), "--run-path", str(j.drive), "sync",
                    "--computer-folder", str(work), "--list"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=dict(os.environ, HALVEX_ASSUME_USB="1"), timeout=60)
    j.start()

    main = j.window(title="Halvex Dravane", containing="STICK")
    j.shot("main-window")
    j.press(j.control(main, ROLE_PUSH_BUTTON, "File Sync"))

    sync = j.window(title="File Sync")
    j.shot("sync-window")
    j.press(j.control(sync, ROLE_PUSH_BUTTON, "Show Details"))
    j.control(sync, ROLE_PUSH_BUTTON, "Hide Details")
    table = j.control(sync, ROLE_TABLE)
    for name in NAMES:
        cell = j.control(table, ROLE_TABLE_CELL, name)
        j.expect(cell.getState().contains(STATE_CHECKED), f"{name} is listed unchecked")
    j.shot("details")

    # A click on the file's name, then Space, as a person picks a row.
    j.click(sync, j.control(table, ROLE_TABLE_CELL, LEFT_OUT))
    j.wait_for(f"{LEFT_OUT} the selected row",
               lambda: j.control(table, ROLE_TABLE_CELL, LEFT_OUT).getState().contains(STATE_SELECTED), 5)
    j.keys(sync, "space")
    j.wait_for(f"{LEFT_OUT} unchecked",
               lambda: not j.control(table, ROLE_TABLE_CELL, LEFT_OUT).getState().contains(STATE_CHECKED), 5)
    j.shot("one-unchecked")

    j.press(j.control(sync, ROLE_PUSH_BUTTON, "Sync"))
    result = j.window(title="Halvex Dravane", containing="synchronized")
    message = j.control(result, ROLE_LABEL, containing="synchronized").name
    j.expect(message.startswith("2 file"), f"the result box says: {message}")
    j.shot("result")
    j.keys(result, "Return")
    j.window_gone(result)

    stick_folder = j.drive / "Sync Folder"
    copied = sorted(p.name for p in stick_folder.iterdir())
    j.expect(copied == ["alpha.txt", "beta.txt"], f"the drive's sync folder holds {copied}")
    j.expect((stick_folder / "beta.txt").read_text() == "the text of beta.txt\n", "beta.txt arrived changed")
    j.shot("after-sync")


journey.run("sync_window", body)
