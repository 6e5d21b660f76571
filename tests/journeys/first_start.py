"""First start of a new drive: the welcome, the licence, the sync folder,
the auto-run page, Finish; the drive's sync folder already holds a file,
kept (No at the set-aside question); Yes at the sync offer: each side's file
is then on both sides."""

from pyatspi import ROLE_CHECK_BOX, ROLE_PUSH_BUTTON, ROLE_RADIO_BUTTON, STATE_CHECKED

import journey


def checked(node):
    return node.getState().contains(STATE_CHECKED)


def body(j):
    j.make_drive()
    desktop = j.home / "Desktop"
    desktop.mkdir(parents=True)
    (desktop / "from-computer.txt").write_text("written on the computer\n")
    stick_folder = j.drive / "Sync Folder"
    stick_folder.mkdir()
    (stick_folder / "from-drive.txt").write_text("written on the drive\n")
    j.start()

    welcome = j.window(title="Halvex Dravane Setup", containing="Click Continue")
    j.expect(j.focused(welcome).name == "Continue", "the welcome's Continue does not hold the focus")
    j.shot("welcome")
    j.keys(welcome, "Return")

    wizard = j.window(title="Halvex Dravane Setup", containing="I accept the terms")
    next_button = j.control(wizard, ROLE_PUSH_BUTTON, "Next >")
    j.expect(not next_button.getState().contains(journey.pyatspi.STATE_SENSITIVE),
             "Next is offered before the licence is accepted")
    accept = j.control(wizard, ROLE_CHECK_BOX, "I accept the terms of the license agreement")
    j.focus(accept)
    j.keys(wizard, "space")
    j.wait_for("the licence accepted", lambda: checked(accept))
    j.shot("licence-accepted")
    j.press(next_button)

    j.control(wizard, journey.pyatspi.ROLE_LABEL, "Choose Your Sync Folder")
    j.expect(checked(j.control(wizard, ROLE_RADIO_BUTTON, "Desktop")), "the Desktop is not the offered sync folder")
    j.shot("sync-folder")
    j.press(next_button)

    j.control(wizard, journey.pyatspi.ROLE_LABEL, "Click Finish to complete the setup and start using Halvex Dravane.")
    no = j.control(wizard, ROLE_RADIO_BUTTON, "No")
    j.expect(checked(no), "auto-run is offered switched on")
    j.shot("autorun")
    j.press(j.control(wizard, ROLE_PUSH_BUTTON, "Finish"))

    # The drive's folder holds a file: keep it, so that both sides meet.
    aside = j.window(containing="already holds files")
    j.shot("set-aside-question")
    j.keys(aside, "Tab")
    j.wait_for("No focused", lambda: (j.focused(aside) or aside).name == "No", 5)
    j.keys(aside, "space")
    j.window_gone(aside)

    offer = j.window(containing="Would you like to synchronize your files now?")
    j.control(j.window(title="Halvex Dravane", containing="STICK"), ROLE_PUSH_BUTTON, "Menu")
    j.shot("sync-offer")
    j.keys(offer, "Return")
    j.window_gone(offer)

    def both_sides():
        return all((side / name).is_file() for side in (desktop, stick_folder)
                   for name in ("from-computer.txt", "from-drive.txt"))
    j.wait_for("the files on both sides", both_sides, 30)
    j.expect((desktop / "from-drive.txt").read_text() == "written on the drive\n", "the drive's file arrived changed")
    j.expect((stick_folder / "from-computer.txt").read_text() == "written on the computer\n",
             "the computer's file arrived changed")
    j.expect(not any(p.name.startswith("Sync Folder_Old") for p in j.drive.iterdir()),
             "the drive's files were set aside although No was answered")
    j.wait_for("the sync window to close itself", lambda: not any(w.name == "File Sync" for w in j.windows()), 30)
    j.shot("synced")


journey.run("first_start", body)
