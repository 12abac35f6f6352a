"""End to end: the editor starts from a program folder with blanks in its path
against a maker's server on the loopback address that offers a newer editor.
The Info menu and the "New Version" window tell; "Don't Show This Message
Again" writes its flag; Update Now downloads the updater (a recording
stand-in) and its signature, checks one against the other, starts it twice
and ends the editor, whose log is appended. The editor under test is
tharnvik-editor-e2e, which trusts the tests' signing key
(updater-test-signing.pub beside this story) in place of the maker's."""

import glob
import http.server
import os
import shutil
import stat
import struct
import sys
import tempfile
import threading

from atspi_driver import FRAME, Programs, editor_windows, answer_dialog, find, labels, press, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import updater_signing  # noqa: E402



def stand_in_updater(major, minor):
    """A shell script that appends "<argc>|<working folder>|<args>..." to
    record.txt beside itself, carrying a Windows fixed file-info record."""
    record = struct.pack("<13I", 0xFEEF04BD, 0x00010000, major << 16 | minor, 0, *([0] * 9))
    return (b"#!/bin/sh\n"
            b"line=\"$#|$PWD\"\n"
            b"for a in \"$@\"; do line=\"$line|$a\"; done\n"
            b"printf '%s\\n' \"$line\" >> \"$(dirname \"$0\")/record.txt\"\n"
            b"exit 0\n# " + record + b"\n")


class Server:
    """The maker's web server, on 127.0.0.1."""

    def __init__(self, routes):
        self.requests = []
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                outer.requests.append(self.path)
                body = routes.get(self.path)
                self.send_response(200 if body is not None else 404)
                body = body if body is not None else b"no such page"
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d" % self.httpd.server_address[1]

    def stop(self):
        self.httpd.shutdown()


def main(editor, pedal):
    with tempfile.TemporaryDirectory() as work:
        program_folder = os.path.join(work, "Program Files", "Tharnvik Editor")
        temp_folder = os.path.join(work, "my temp")
        os.makedirs(program_folder)
        os.makedirs(temp_folder)
        installed = os.path.join(program_folder, "tharnvik-editor")
        shutil.copy2(editor, installed)

        updater_program = stand_in_updater(1, 3)
        secret = updater_signing.read_hex_key(os.path.join(HERE, "updater-test-signing.key"),
                                              updater_signing.SECRET_KEY_SIZE)
        signature = updater_signing.sign(secret, updater_program)
        server = Server({
            "/download/tharnvik-editor-version.php": b"9.0.0.0",
            "/download/update/Tharnvik_Win_Updater_Version.php": b"1.3",
            "/download/update/Tharnvik_Win_Updater.exe": updater_program,
            "/download/update/Tharnvik_Win_Updater.exe.sig": signature,
        })
        os.environ["THARNVIK_SERVER_URL"] = server.url
        os.environ["TMPDIR"] = temp_folder
        programs = Programs(installed, pedal, os.path.join(work, "run"))
        try:
            app, main_window = editor_windows()

            # About a second after start the check answers: a newer version.
            window = find(app, FRAME, "New Version", timeout=30)
            wait_for(lambda: "Your version: 1.23.0.0     New version: 9.0.0.0" in labels(window), 10, "the versions")
            assert "A new version of the Tharnvik Editor is available" in labels(window), labels(window)
            find(main_window, "menu item", "New version available: 9.0.0.0")
            update_now = find(main_window, "menu item", "Update Now")
            assert update_now.getState().contains(__import__("pyatspi").STATE_ENABLED)

            flag = os.path.join(programs.app_folder, "ShowMessageVersionAtStartup.txt")
            assert open(flag).read() == "YES"
            press(find(window, "check box", "Don't Show This Message Again"), wait=True)
            wait_for(lambda: open(flag).read() == "NO", 10, "the flag file to hold NO")

            press(update_now)
            answer_dialog(app, "Yes")
            answer_dialog(app, "OK")  # "New updater downloaded! ..."
            assert programs.editor.wait(20) == 0

            record = os.path.join(program_folder, "record.txt")
            wait_for(lambda: os.path.exists(record) and open(record).read().count("\n") == 2, 20, "both runs")
            runs = sorted(open(record).read().splitlines())
            # The update's path is in a folder of its own that only the user
            # can enter; the download's folder has gone.
            update_folders = glob.glob(os.path.join(temp_folder, "tharnvik-update-*"))
            assert len(update_folders) == 1, os.listdir(temp_folder)
            assert stat.S_IMODE(os.stat(update_folders[0]).st_mode) == 0o700
            assert not glob.glob(os.path.join(temp_folder, "tharnvik-download-*")), os.listdir(temp_folder)
            target = os.path.join(update_folders[0], "Tharnvik_Editor_Update.exe")
            assert runs == ["0|" + program_folder, "|".join(["2", program_folder, target, installed])], runs
            updater = os.path.join(program_folder, "Tharnvik_Win_Updater.exe")
            assert os.access(updater, os.X_OK)
            with open(updater + ".sig", "rb") as f:
                assert f.read() == signature
            assert not os.path.exists(os.path.join(program_folder, "Tharnvik_Win_Updater_Update.exe"))
            assert server.requests == ["/download/tharnvik-editor-version.php",
                                       "/download/update/Tharnvik_Win_Updater_Version.php",
                                       "/download/update/Tharnvik_Win_Updater.exe",
                                       "/download/update/Tharnvik_Win_Updater.exe.sig"], server.requests

            with open(os.path.join(programs.app_folder, "log.txt"), encoding="utf-8", newline="") as f:
                log = f.read()
            for line in ("currentAppVersion: 1.23.0.0", "newAppVersion: 9.0.0.0", "updater version on server: 1.3",
                         "Local updater not found, proceed with download..."):
                assert line + "\r\n" in log, (line, log)
        finally:
            programs.stop()
            server.stop()
    print("end-to-end update story: ok")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
