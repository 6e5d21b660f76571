"""Backup: a profile made in the window (a name and a folder typed, a
category clicked), backed up, restored to the desktop; then Delete profile:
Return at the question keeps the profile and its set, Yes removes both."""

from pyatspi import (ROLE_LIST, ROLE_LIST_ITEM, ROLE_PUSH_BUTTON, ROLE_RADIO_BUTTON, ROLE_TABLE_CELL, ROLE_TEXT,
                     STATE_CHECKED)

import journey


def body(j):
    j.make_drive({"eula": "<true />", "CheckUpdate": "<false />"})
    documents = j.home / "Documents"
    documents.mkdir(parents=True)
    (documents / "report.txt").write_text("the quarterly report\n")
    j.start()

    main = j.window(title="Halvex Dravane", containing="STICK")
    j.press(j.control(main, ROLE_PUSH_BUTTON, "Backup"))
    backup = j.window(title="Backup", containing="Select profile")
    j.shot("backup-window")

    j.press(j.control(backup, ROLE_PUSH_BUTTON, "Create profile"))
    profile = j.window(title="New Backup Profile")
    # The name field holds the focus; the folder's field comes next.
    name_field = j.control(profile, ROLE_TEXT, index=0)
    j.expect(name_field.getState().contains(journey.pyatspi.STATE_FOCUSED), "the profile's name does not hold the focus")
    j.type_text(profile, "Work")
    j.keys(profile, "Tab")
    j.type_text(profile, str(documents))
    j.click(profile, j.control(profile, ROLE_LIST_ITEM, "Documents"))
    j.shot("new-profile")
    j.press(j.control(profile, ROLE_PUSH_BUTTON, "Save"))
    j.window_gone(profile)
    j.control(j.control(backup, ROLE_LIST), ROLE_LIST_ITEM, "Work")
    j.shot("profile-made")

    j.press(j.control(backup, ROLE_PUSH_BUTTON, "Backup"))
    sure = j.window(title="Halvex Dravane", containing="Are you sure?")
    j.shot("backup-question")
    j.keys(sure, "Return")
    done = j.window(containing="Backup procedure completed.", timeout=60)
    j.shot("backed-up")
    j.keys(done, "Return")
    j.window_gone(done)
    stored = j.drive / "Backup" / "Work" / "Current Backup" / "report.txt.zip"
    j.expect(stored.is_file(), "the backup set holds no report.txt.zip")

    j.press(j.control(backup, ROLE_PUSH_BUTTON, "Restore"))
    restore = j.window(title="Restore")
    # The set's folders open with the arrow keys, as in a file manager.
    j.click(restore, j.control(restore, ROLE_TABLE_CELL, "Work"))
    j.keys(restore, "Right", "Down")
    j.click(restore, j.control(restore, ROLE_TABLE_CELL, "report.txt"))
    desktop_choice = j.control(restore, ROLE_RADIO_BUTTON, "Desktop")
    if not desktop_choice.getState().contains(STATE_CHECKED):
        j.press(desktop_choice)
    j.shot("restore-window")
    j.press(j.control(restore, ROLE_PUSH_BUTTON, "Restore"))
    restored = j.window(containing="Restore procedure completed", timeout=60)
    j.shot("restored")
    j.keys(restored, "Return")
    j.window_gone(restored)
    copy = j.home / "Desktop" / "HalvexRestoreFiles" / "report.txt"
    j.expect(copy.is_file() and copy.read_text() == "the quarterly report\n",
             f"the restored copy on the desktop: {sorted(str(p) for p in (j.home / 'Desktop').rglob('*'))}")
    # The restore window closes by itself once the restore is done.
    j.window_gone(restore)

    # Return at the question must keep the profile and every backed-up file.
    profiles = j.control(backup, ROLE_LIST)
    j.click(backup, j.control(profiles, ROLE_LIST_ITEM, "Work"))
    j.press(j.control(backup, ROLE_PUSH_BUTTON, "Delete profile"))
    question = j.window(containing="Do you want to delete the backup profile")
    j.shot("delete-question")
    j.keys(question, "Return")
    j.window_gone(question)
    j.shot("after-return")
    j.expect(stored.is_file(), "Return at the question deleted the backup set")
    j.control(profiles, ROLE_LIST_ITEM, "Work", timeout=2)

    j.press(j.control(backup, ROLE_PUSH_BUTTON, "Delete profile"))
    question = j.window(containing="Do you want to delete the backup profile")
    j.press(j.control(question, ROLE_PUSH_BUTTON, "Yes"))
    j.window_gone(question)
    j.wait_for("the backup set removed", lambda: not (j.drive / "Backup" / "Work").exists(), 20)
    j.wait_for("the profile gone from the list",
               lambda: not any(item.name == "Work" for item in journey.children(profiles)), 10)
    j.shot("after-yes")


journey.run("backup", body)
