"""End to end: with preset files in the folder, open File > Preset Library,
see the entries (a file that is not a preset marked so), load presets from
the library, and check that the virtual pedal received what Load Local
Preset sends for the same files."""

import os
import sys
import tempfile
import time

import pyatspi

from atspi_driver import (FRAME, Programs, answer_dialog, editor_windows, find, labelled, labels, press,
                          scan_and_link, wait_for, walk)


def preset(first):
    """Twenty distinct values, as a hand-made file: lower case, LF."""
    return b"".join(b"%08x\n" % (first + k * 0x010101) for k in range(20))


def entries(listing):
    # The list's rows change under the bus's cache when the folder does.
    try:
        listing.clear_cache()
    except Exception:
        pass
    names = []
    for node in walk(listing):
        try:
            if node.getRoleName() in ("list item", "table cell"):
                names.append(node.name)
        except Exception:
            pass
    return names


def settled(programs):
    """The pedal's messages once no new one has come for a second."""
    seen, since = None, time.monotonic()
    while True:
        now = programs.pedal_messages()
        if now != seen:
            seen, since = now, time.monotonic()
        elif time.monotonic() - since > 1.0:
            return now
        time.sleep(0.1)


def library_load(programs, window, listing, name):
    row = [n.split(" (")[0] for n in entries(listing)].index(name)
    listing.queryTable().addRowSelection(row)
    load = find(window, "push button", "Load")
    wait_for(lambda: load.getState().contains(pyatspi.STATE_ENABLED), 10, "Load to be enabled")
    before = len(settled(programs))
    press(load)
    wait_for(lambda: (name + " (current)") in entries(listing), 10, name + " marked as loaded")
    return settled(programs)[before:]


def menu_load(programs, app, main_window, path):
    before = len(settled(programs))
    press(find(main_window, "menu item", "Load Local Preset"))
    dialog = find(app, FRAME, "Open Preset File", timeout=15)
    labelled(dialog, "File name:").queryEditableText().setTextContents(path)
    press(find(dialog, "push button", "Open"))
    answer_dialog(app, "OK")
    return settled(programs)[before:]


def story_library(editor, pedal, work):
    folder = os.path.join(work, "home", "Documents", "VORMA", "Tharnvik MK3", "Preset")
    os.makedirs(folder)
    files = {"Lead": preset(0x00300000), "clean": preset(0x00100000), "broken": b"not a preset\n"}
    for name, data in files.items():
        with open(os.path.join(folder, name + ".txt"), "wb") as f:
            f.write(data)

    programs = Programs(editor, pedal, work)
    try:
        app, main_window = editor_windows()
        scan_and_link(main_window, firmware=None)
        wait_for(lambda: "Device Firmware: 16" in labels(main_window), 20, "the link")

        press(find(main_window, "menu item", "Preset Library"))
        window = find(app, FRAME, "Preset Library", timeout=15)
        listing = find(window, ("list", "table", "tree table"), "Presets")
        wait_for(lambda: entries(listing) == ["broken (not a preset)", "clean", "Lead"], 10,
                 "the entries, sorted without regard to case")

        # A file another program adds appears by itself.
        with open(os.path.join(folder, "Added.txt"), "wb") as f:
            f.write(preset(0x00200000))
        wait_for(lambda: "Added" in entries(listing), 20, "the added file listed")

        library_load(programs, window, listing, "clean")
        from_library = library_load(programs, window, listing, "Lead")
        assert from_library, "the library's load sent nothing"

        menu_load(programs, app, main_window, os.path.join(folder, "clean.txt"))
        from_menu = menu_load(programs, app, main_window, os.path.join(folder, "Lead.txt"))
        assert from_library == from_menu, "library load %r differs from Load Local Preset %r" % (from_library, from_menu)

        assert programs.close_editor() == 0
    finally:
        programs.stop()


def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        story_library(editor, pedal, work)
    print("end-to-end preset library story: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
