"""End to end: firmware upgrades through the virtual pedal's bootloader, at
the real line rate. A pedal running firmware 15 is upgraded by the current
path; one that starts in its bootloader by the legacy path; one whose
bootloader refuses a chunk fails half-way, says so, and succeeds when the
player tries again."""

import os
import sys
import tempfile

import pyatspi

from atspi_driver import FRAME, Programs, editor_windows, scan_and_link, answer_dialog, find, labels, press, wait_for

COMPLETE = "Firmware Upgrade Complete, device will now restart"


def upgrade_and_check(app, main_window, firmware_window):
    press(find(firmware_window, "push button", "Upgrade Firmware"))
    text = answer_dialog(app, "OK", timeout=90)
    assert COMPLETE in text, text
    wait_for(lambda: "Device Firmware: 16" in labels(main_window), 20, "the new firmware's version")
    wait_for(lambda: not firmware_window.getState().contains(pyatspi.STATE_SHOWING), 10,
             "the firmware window to close")


def link_to_firmware_15(app, main_window):
    scan_and_link(main_window, firmware=None)
    # Firmware 15 is older than the latest: two messages say so.
    seen = ""
    while "legacy firmware upgrade mode" not in seen:
        seen += answer_dialog(app, "OK", timeout=20)
    assert "A firmware upgrade is required" in seen, seen
    wait_for(lambda: "Device Firmware: 15" in labels(main_window), 20, "the link")


def enter_by_current_path(app, main_window):
    press(find(main_window, "menu item", "Upgrade Mode"))
    answer_dialog(app, "Yes")  # SHIFT held
    answer_dialog(app, "OK")   # SHIFT released
    return find(app, FRAME, "Firmware Upgrade", timeout=20)


def story_current_path(editor, pedal, work):
    programs = Programs(editor, pedal, os.path.join(work, "current"), pedal_args=["--firmware", "15"])
    try:
        app, main_window = editor_windows()
        link_to_firmware_15(app, main_window)
        upgrade_and_check(app, main_window, enter_by_current_path(app, main_window))
        assert programs.close_editor() == 0
    finally:
        programs.stop()


def story_legacy_path(editor, pedal, work):
    programs = Programs(editor, pedal, os.path.join(work, "legacy"), pedal_args=["--bootloader"])
    try:
        app, main_window = editor_windows()
        press(find(main_window, "menu item", "Upgrade Mode"))  # unlinked: remembered for the link
        scan_and_link(main_window, firmware=None)
        text = answer_dialog(app, "OK", timeout=20)
        assert "Connection to bootloader succeeded" in text, text
        firmware_window = find(app, FRAME, "Firmware Upgrade", timeout=20)
        upgrade_and_check(app, main_window, firmware_window)
        assert programs.close_editor() == 0
    finally:
        programs.stop()


def story_failure_then_retry(editor, pedal, work):
    # Step 1 is the synchronisation, 2-3 the erase, then three per chunk:
    # step 63 is the data of chunk 20.
    programs = Programs(editor, pedal, os.path.join(work, "retry"), pedal_args=["--firmware", "15", "--boot-nack-at", "63"])
    try:
        app, main_window = editor_windows()
        link_to_firmware_15(app, main_window)
        firmware_window = enter_by_current_path(app, main_window)
        press(find(firmware_window, "push button", "Upgrade Firmware"))
        text = answer_dialog(app, "OK", timeout=60)
        assert "Firmware upgrade failed" in text and "the data of chunk 19" in text, text
        assert COMPLETE not in text
        upgrade_and_check(app, main_window, firmware_window)
        assert programs.close_editor() == 0
    finally:
        programs.stop()


def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        story_current_path(editor, pedal, work)
        story_legacy_path(editor, pedal, work)
        story_failure_then_retry(editor, pedal, work)
    print("end-to-end firmware stories: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
