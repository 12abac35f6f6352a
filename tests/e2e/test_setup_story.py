"""End to end: the device options against the virtual pedal and their
readback by a REQUEST, Upload Tuning Data, Erase Settings with the memory
check, the Note Cut window and the console's generator reached by their
shortcuts; checked against what the pedal received, what the menus and the
plot show, and log.txt."""

import os
import sys
import tempfile

import pyatspi

from atspi_driver import (FRAME, Programs, editor_windows, scan_and_link, answer_dialog, find, keys, point_at, press, wait_for)



def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def story(editor, pedal, work):
    programs = Programs(editor, pedal, work)
    try:
        app, main_window = editor_windows()
        scan_and_link(main_window)
        item = lambda name: find(main_window, "menu item", name)

        standard = item("Standard: Guitar or other instrument with similar range")
        low = item("Low: Bass Guitar, Baritone, tuned down guitar etc.")
        store = item("Store Bypass Status")
        do_not_store = item("Do Not Store Bypass Status")
        channel = item("12")
        first_preset = item("Load 1st Preset At Power ON")
        wait_for(lambda: checked(standard) and checked(do_not_store), 10, "the fresh pedal's options")

        press(low)
        answer_dialog(app, "Yes")
        wait_for(lambda: "0FBA0203040506B3" in programs.pedal_messages(), 10, "the instrument range")
        for node, message in ((store, "1001"), (channel, "070C"), (first_preset, "1101")):
            press(node)
            wait_for(lambda: message in programs.pedal_messages(), 10, message)
        with open(os.path.join(programs.app_folder, "Instrument.txt"), "rb") as f:
            assert f.read() == b"LOW"

        requests = programs.pedal_messages().count("0200")
        press(find(main_window, "push button", "Request"))
        wait_for(lambda: programs.pedal_messages().count("0200") == requests + 1, 10, "the request")
        wait_for(lambda: checked(low) and not checked(standard) and checked(store) and not checked(do_not_store)
                 and checked(channel) and checked(first_preset), 10, "the options read back")

        press(item("Upload Tuning Data"))
        answer_dialog(app, "Yes")
        wait_for(lambda: any(len(m) == 2 * 641 for m in programs.pedal_messages()), 15, "the tuning data")
        data = [m for m in programs.pedal_messages() if len(m) == 2 * 641][0]
        assert data.startswith("0E007FF5ECFF002B70") and data.endswith("00FE9D52FF8137C0"), data[:40]

        # The Note Cut window: Ctrl+Shift+N over the main window.
        point_at(find(main_window, "push button", "Request"))
        keys("Control", "Shift", "n")
        note_cut = find(app, FRAME, "Note Cut", timeout=10)
        press(find(note_cut, "check box", "C#3"))
        press(find(note_cut, "check box", "E3"))
        wait_for(lambda: not find(note_cut, "check box", "A2").getState().contains(pyatspi.STATE_ENABLED), 10,
                 "the other notes to be disabled")
        press(find(note_cut, "push button", "Save"))
        wait_for(lambda: "090407" in programs.pedal_messages(), 10, "the note filters")

        press(item("Erase Settings"))
        answer_dialog(app, "Yes")
        answer_dialog(app, "Yes", timeout=20)  # the memory check
        wait_for(lambda: "0C5000000000" in programs.pedal_messages(), 10, "the read")
        answer_dialog(app, "OK", timeout=30)
        assert "0B50000000" in programs.pedal_messages()

        # The console's hidden generator: Ctrl+Shift+P, then Ctrl+Shift+G in the console.
        point_at(find(main_window, "push button", "Request"))
        keys("Control", "Shift", "p")
        console = find(app, FRAME, "Debug Console", timeout=10)
        point_at(find(console, "push button", "Clear"))
        keys("Control", "Shift", "g")
        calc = find(console, "push button", "Calc Coeff.")
        wait_for(lambda: calc.getState().contains(pyatspi.STATE_SHOWING), 10, "the generator")
        find(console, "text", "Q").queryEditableText().setTextContents("12")
        press(calc)
        plot = find(console, None, "Magnitude response")
        wait_for(lambda: "A1_6db_cut_Q12: -6.0 dB near 55 Hz" in plot.description, 10,
                 "the plot's description (now %r)" % plot.description)

        assert programs.close_editor() == 0
        with open(os.path.join(programs.app_folder, "log.txt"), encoding="utf-8", newline="") as f:
            log = f.read()
        assert "Memory is empty" not in log  # a message, not a log line
        assert "16383: FF\r\n" in log
        assert "Set note filters: 090407\r\n" in log
        assert "num_of_bytes: 641\r\n" in log
        assert "Q: 12\r\nA1_6db_cut_Q12 : array[0..19] of string =\r\n('00', '7F', " in log
    finally:
        programs.stop()


def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        story(editor, pedal, work)
    print("end-to-end setup story: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
