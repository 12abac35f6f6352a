"""End to end: turn a knob, assign a parameter and answer the question,
Save Parameters, the defaults shortcut, and a REQUEST that moves the knobs
to the pedal's values; checked against what the virtual pedal received."""

import sys
import tempfile

import pyatspi

from atspi_driver import (FRAME, Programs, editor_windows, scan_and_link, answer_dialog, choose, find, keys, labelled, point_at, press,
                          wait_for)



def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        programs = Programs(editor, pedal, work)
        try:
            app, main_window = editor_windows()
            scan_and_link(main_window)
            effect = find(app, FRAME, "Tharnvik MK3 0015")
            sent = programs.pedal_messages

            # Dry describes the level the pedal holds (0x600000 of 0x800000,
            # three quarters of the travel) as a screen reader says it.
            dry = find(effect, "dial", "Dry")
            wait_for(lambda: dry.description == "75 %", 10, "Dry to describe 75 %")

            # Turn Dry straight up: its address in this algorithm is 0027.
            dry.queryValue().currentValue = 90
            wait_for(lambda: "010027003FC000" in sent(), 10, "the Dry write")
            wait_for(lambda: dry.description == "50 %", 10, "Dry to describe 50 %")

            # Put Wave Clip on Control I and upload the assignment.
            control1 = labelled(effect, "Control I")
            choose(control1, "Wave Clip")
            wait_for(lambda: control1.name == "Wave Clip", 10, "Control I to show Wave Clip")
            press(find(main_window, "push button", "Assign"))
            answer_dialog(app, "Yes")
            wait_for(lambda: any(m.startswith("0401000000") for m in sent()), 10, "the assign message")

            # Save Parameters reads the pedal first, then stores 41 bytes.
            requests = sent().count("0200")
            press(find(main_window, "push button", "Save Parameters"))
            answer_dialog(app, "Yes")
            wait_for(lambda: any(m.startswith("03") and len(m) == 82 for m in sent()), 10, "the store message")
            assert sent().count("0200") == requests + 1, sent()

            # Ctrl+Shift+Z in the main window: the defaults, Input Level at its maximum.
            request = find(main_window, "push button", "Request")
            point_at(request)
            request.queryComponent().grabFocus()
            keys("Control", "Shift", "z")
            wait_for(lambda: any(m.endswith("00800000") for m in sent()), 10, "the defaults")

            # The REQUEST shows the pedal's Dry value through the readout's
            # mapping: 0x3FC000 comes back one degree short of straight up.
            press(find(main_window, "push button", "Request"))
            wait_for(lambda: sent().count("0200") == requests + 2, 10, "the request")
            wait_for(lambda: dry.queryValue().currentValue == 91, 10, "Dry at the pedal's value")
            wait_for(lambda: dry.description == "49 %", 10, "Dry to describe the pedal's 49 %")

            assert programs.close_editor() == 0
        finally:
            programs.stop()
    print("end-to-end effect story: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
