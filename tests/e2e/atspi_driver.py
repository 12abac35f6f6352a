"""Drives the real editor through its accessibility interface (AT-SPI), as a
screen reader user would: find controls by role and name, press them, read
labels. Runs with Debian's system python (python3-pyatspi)."""

import os
import signal
import subprocess
import threading
import time

import pyatspi


class Timeout(Exception):
    pass


def wait_for(predicate, timeout=20.0, what="condition"):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise Timeout("timed out waiting for " + what)


# The roles a top-level window of the editor can have.
FRAME = ("frame", "window", "dialog")


def find_application(name, timeout=45.0):
    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        return None

    return wait_for(look, timeout, "application " + name)


def walk(node, depth=0, limit=12):
    if node is None or depth > limit:
        return
    yield node
    try:
        children = list(node)
    except Exception:
        return
    for child in children:
        yield from walk(child, depth + 1, limit)


def find(root, role=None, name=None, timeout=10.0):
    """The first node below root with that role (a role name, or a tuple of
    them) and accessible name."""
    roles = (role,) if isinstance(role, str) else role

    def look():
        for node in walk(root):
            if node == root:
                continue
            try:
                if roles is not None and node.getRoleName() not in roles:
                    continue
                if name is not None and node.name != name:
                    continue
                return node
            except Exception:
                continue
        return None

    return wait_for(look, timeout, "%s %r" % (role, name))


def labelled(root, label_text, timeout=10.0):
    """The control a label with this text names (Qt on Linux names combo
    boxes by their value and links the label to them)."""
    def look():
        for node in walk(root):
            try:
                if node.getRoleName() != "label" or node.name != label_text:
                    continue
                for relation in node.getRelationSet():
                    if relation.getRelationType() == pyatspi.RELATION_LABEL_FOR:
                        return relation.getTarget(0)
            except Exception:
                continue
        return None

    return wait_for(look, timeout, "the control labelled %r" % label_text)


def choose(combo, item_text):
    """Selects an item of a combo box as a screen reader does: through the
    item's own action in the box's list."""
    for node in walk(combo):
        try:
            match = node.getRoleName() == "list item" and node.name == item_text
        except Exception:
            continue
        if not match:
            continue
        node.queryAction().doAction(0)
        wait_for(lambda: combo.name == item_text, 10, "the combo box to show " + item_text)
        return
    raise AssertionError("no item %r" % item_text)


def answer_dialog(app, button, timeout=15.0):
    """Presses a button of the message box that is showing; returns the
    box's text (its labels, joined by line breaks)."""
    def look():
        for node in walk(app):
            try:
                if node.getRoleName() in ("dialog", "alert") and node.getState().contains(pyatspi.STATE_SHOWING):
                    for child in walk(node):
                        if child.getRoleName() == "push button" and child.name.replace("&", "") == button:
                            return child, node
            except Exception:
                continue
        return None

    button_node, dialog = wait_for(look, timeout, "a dialog with " + button)
    text = "\n".join(labels(dialog))
    press(button_node, wait=True)
    # A pressed button clicks a moment later (Qt animates the click), so the
    # box can still be showing, and what opened it still running, when the
    # press returns: wait until it has gone, or the next step would act on
    # a window the box still blocks, or read this box again.
    wait_for(lambda: not showing(dialog), 10, "the dialog with " + button + " to close")
    return text


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False  # gone from the tree


def point_at(node):
    """Moves the pointer over a control: without a window manager the X server
    sends key presses to the window under the pointer."""
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, "abs")
    time.sleep(0.1)


def keys(*names):
    """Presses keys together, the first ones held down (X keycodes of the
    default keymap of Xvfb)."""
    codes = [KEYCODES[n] for n in names]
    for c in codes[:-1]:
        pyatspi.Registry.generateKeyboardEvent(c, None, pyatspi.KEY_PRESS)
    pyatspi.Registry.generateKeyboardEvent(codes[-1], None, pyatspi.KEY_PRESSRELEASE)
    for c in reversed(codes[:-1]):
        pyatspi.Registry.generateKeyboardEvent(c, None, pyatspi.KEY_RELEASE)


KEYCODES = {"Control": 37, "Shift": 50, "z": 52, "y": 29, "b": 56, "p": 33, "n": 57, "g": 42, "Up": 111, "Down": 116}


def labels(root):
    out = []
    for node in walk(root):
        try:
            if node.getRoleName() == "label":
                out.append(node.name)
        except Exception:
            pass
    return out


def press(node, wait=False):
    """Runs the node's first action ("Press"). An action that opens a modal
    dialog holds the accessibility answer back until the dialog closes, so by
    default the action is fired from a thread and not waited for."""
    action = node.queryAction()

    def run():
        try:
            action.doAction(0)
        except Exception:
            pass

    if wait:
        run()
    else:
        threading.Thread(target=run, daemon=True).start()


class Programs:
    """The virtual pedal and the editor, with a private home and bridges folder."""

    def __init__(self, editor, pedal, workdir, pedal_args=()):
        self.workdir = workdir
        self.home = os.path.join(workdir, "home")
        self.bridges = os.path.join(workdir, "bridges")
        self.pedal_log = os.path.join(workdir, "pedal.log")
        os.makedirs(self.home, exist_ok=True)
        os.makedirs(self.bridges, mode=0o700, exist_ok=True)
        # Only a private folder is read (the mode above is subject to the umask).
        os.chmod(self.bridges, 0o700)
        env = dict(os.environ)
        env.update(
            HOME=self.home,
            THARNVIK_BRIDGES_DIR=self.bridges,
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
            QT_QPA_PLATFORM="xcb",
            THARNVIK_QT_FILE_DIALOGS="1",
            XDG_RUNTIME_DIR=workdir,
        )
        env.pop("XDG_DOCUMENTS_DIR", None)
        self.env = env
        self.pedal = subprocess.Popen([pedal, "--paced", "--log", self.pedal_log] + list(pedal_args), env=env)
        wait_for(lambda: any(f.endswith(".bridge") for f in os.listdir(self.bridges)), 10, "the pedal's announcement")
        self.editor = subprocess.Popen([editor], env=env)

    @property
    def app_folder(self):
        return os.path.join(self.home, "Documents", "VORMA", "Tharnvik MK3")

    def pedal_messages(self):
        try:
            with open(self.pedal_log) as f:
                return [line.strip() for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def close_editor(self):
        """Ends the editor as the desktop does at logout: its main window closes."""
        self.editor.send_signal(signal.SIGTERM)
        return self.editor.wait(20)

    def stop(self):
        for p in (self.editor, self.pedal):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()


def editor_windows():
    """The running editor and its main window."""
    app = find_application("Tharnvik Editor")
    return app, find(app, FRAME, "Tharnvik Editor")


def scan_and_link(main_window, firmware="16"):
    """Links the editor to the pedal and waits until it shows the pedal's
    firmware (no wait when firmware is None)."""
    press(find(main_window, "menu item", "Scan And Link"))
    if firmware is not None:
        wait_for(lambda: "Device Firmware: " + firmware in labels(main_window), 20, "the link")
