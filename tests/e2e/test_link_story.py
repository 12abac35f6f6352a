"""End to end: the real editor and the real virtual pedal on a pseudo-terminal.
Link, read the versions, Request, close; then check what the pedal received
and the block appended to log.txt."""

import os
import re
import sys
import tempfile

from atspi_driver import Programs, editor_windows, scan_and_link, find, labels, press, wait_for


def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        programs = Programs(editor, pedal, work)
        try:
            app, main_window = editor_windows()
            assert "No device found" not in labels(main_window), labels(main_window)

            scan_and_link(main_window)
            shown = labels(main_window)
            assert "Device Algorithm: 0015" in shown, shown
            assert "Tharnvik MK3 linked" in shown, shown
            received = programs.pedal_messages()
            assert received[0] == "0200", received
            # The readout echoes the Wave and Split switches back, as they always send.
            assert all(m.startswith("01") for m in received[1:]), received

            request = find(main_window, "push button", "Request")
            assert request.getState().contains(__import__("pyatspi").STATE_ENABLED)
            press(request)
            wait_for(lambda: programs.pedal_messages().count("0200") == 2, 20, "the second request")

            # The effect window opened beside the main window with the effect's name.
            find(app, ("frame", "window", "dialog"), "Tharnvik MK3 0015")

            assert programs.close_editor() == 0
            with open(os.path.join(programs.app_folder, "log.txt"), encoding="utf-8", newline="") as f:
                log = f.read()
            assert re.match(r"\n\n\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\n", log), log[:80]
            assert log.count("********************REQUEST********************\r\n") == 2, log
            assert "Firmware Version: 16\r\n" in log
            assert "FT device count: 1\r\n" in log
        finally:
            programs.stop()
        assert not [f for f in os.listdir(programs.bridges) if f.endswith(".bridge")], "announcement left behind"
    print("end-to-end link story: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
