"""End to end: a knob turned, undone and redone from the Edit menu and its
keys, and Compare on and off; checked against what the virtual pedal
received."""

import sys
import tempfile

import pyatspi

from atspi_driver import (FRAME, Programs, editor_windows, find, keys, point_at, press, scan_and_link, showing,
                          wait_for)


def enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        programs = Programs(editor, pedal, work)
        try:
            app, main_window = editor_windows()
            scan_and_link(main_window)
            effect = find(app, FRAME, "Tharnvik MK3 0015")
            sent = programs.pedal_messages
            dry = find(effect, "dial", "Dry")
            start = dry.queryValue().currentValue

            # Dry straight up (its address in this algorithm is 0027).
            dry.queryValue().currentValue = 90
            wait_for(lambda: "010027003FC000" in sent(), 10, "the Dry write")
            before = len(sent())

            # Undo Dry: the knob goes back and the pedal hears it at once.
            press(find(main_window, "menu item", "Undo Dry"))
            wait_for(lambda: dry.queryValue().currentValue == start, 10, "Dry back where it stood")
            wait_for(lambda: len(sent()) == before + 1, 10, "the undo's write")
            undone = sent()[-1]
            assert undone.startswith("010027") and undone != "010027003FC000", undone

            # Ctrl+Y in the effect window: redone.
            point_at(dry)
            keys("Control", "y")
            wait_for(lambda: sent()[-1] == "010027003FC000", 10, "the redo's write")
            assert dry.queryValue().currentValue == 90

            # Compare: the pedal plays what was read at the link, the knobs
            # rest under the marker; off again, the edit comes back.
            press(find(main_window, "menu item", "Compare"))
            wait_for(lambda: sent()[-1] == undone, 10, "the reference's Dry")
            wait_for(lambda: not enabled(dry), 10, "the knobs to rest")
            marker = find(effect, "label", "Comparing")
            assert showing(marker)
            point_at(marker)
            keys("Control", "b")
            wait_for(lambda: sent()[-1] == "010027003FC000", 10, "the edit back")
            wait_for(lambda: enabled(dry), 10, "the knobs to move again")
            wait_for(lambda: not showing(marker), 10, "the marker to go")

            assert programs.close_editor() == 0
        finally:
            programs.stop()
    print("end-to-end history story: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
