"""End to end: save a preset through the real file dialog and compare the
file byte for byte, load one written by hand and check what the pedal
received, upload the carried algorithm and read the answer in the status
label; then an upload the pedal never answers."""

import os
import re
import sys
import tempfile

from atspi_driver import (FRAME, Programs, editor_windows, scan_and_link, answer_dialog, find, labelled, labels, press, wait_for)



def file_dialog(app, title, path, button):
    dialog = find(app, FRAME, title, timeout=15)
    field = labelled(dialog, "File name:")
    field.queryEditableText().setTextContents(path)
    press(find(dialog, "push button", button))


def linked():
    app, main_window = editor_windows()
    scan_and_link(main_window, firmware=None)
    return app, main_window


def story_presets_and_upload(editor, pedal, work):
    programs = Programs(editor, pedal, os.path.join(work, "a"))
    try:
        app, main_window = linked()
        wait_for(lambda: "Device Firmware: 16" in labels(main_window), 20, "the link")
        preset_folder = os.path.join(programs.app_folder, "Preset")

        press(find(main_window, "menu item", "Save Local Preset"))
        file_dialog(app, "Save Preset File", os.path.join(preset_folder, "story"), "Save")
        answer_dialog(app, "OK")
        saved = os.path.join(preset_folder, "story.txt")
        wait_for(lambda: os.path.exists(saved), 10, "the preset file")

        hand = os.path.join(preset_folder, "hand.txt")
        with open(hand, "wb") as f:
            f.write(b"007fe000\n" + b"00000000\n" * 19)
        press(find(main_window, "menu item", "Load Local Preset"))
        file_dialog(app, "Open Preset File", hand, "Open")
        answer_dialog(app, "OK")
        wait_for(lambda: "010027007FE000" in programs.pedal_messages(), 10, "Dry from the preset")

        press(find(main_window, "push button", "Upload Audio Algorithm"))
        answer_dialog(app, "Yes")
        wait_for(lambda: any(l.startswith("Upload Complete") for l in labels(main_window)), 20, "the upload's answer")
        assert any(len(m) == 2 * 4256 and m.startswith("0010A0") for m in programs.pedal_messages())

        assert programs.close_editor() == 0
        with open(os.path.join(programs.app_folder, "log.txt"), encoding="utf-8", newline="") as f:
            log = f.read()
        # The file holds exactly what the REQUEST before the save read.
        block = log.split("********************SAVE LOCAL PRESET********************\r\n", 1)[1]
        values = [re.match(r"[^:]+(?:: )([0-9A-F]{8})", line).group(1) for line in block.split("\r\n")[:20]]
        with open(saved, "rb") as f:
            assert f.read() == b"\xef\xbb\xbf" + "\r".join(values).encode(), "preset file differs"
    finally:
        programs.stop()


def story_unanswered_upload(editor, pedal, work):
    programs = Programs(editor, pedal, os.path.join(work, "b"), pedal_args=["--silent"])
    try:
        app, main_window = linked()
        answer_dialog(app, "OK", timeout=30)  # the REQUEST got no answer
        press(find(main_window, "push button", "Upload Audio Algorithm"))
        answer_dialog(app, "Yes")
        wait_for(lambda: "Upload Failed" in labels(main_window), 20, "Upload Failed")
        # Closing the editor ends the wait and the program.
        assert programs.close_editor() == 0
    finally:
        programs.stop()


def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        story_presets_and_upload(editor, pedal, work)
        story_unanswered_upload(editor, pedal, work)
    print("end-to-end preset and upload stories: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
