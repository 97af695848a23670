#!/usr/bin/python3
"""Drives the window program the way a screen reader does, over the AT-SPI bus:
each mode, trigger, view and Time/Frames control toggled by its accessible
action must switch what the program does and leave exactly one of its group
checked; every toolbar button a user can reach has a name.

Usage (under an X server and a D-Bus session):
    atspi-check.py PATH-TO-lumivark
"""
import os
import subprocess
import sys
import tempfile
import time

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402
import pyatspi  # noqa: E402

failures = []


def fail(text):
    failures.append(text)
    print("FAIL:", text, flush=True)


def nodes(node, depth=0):
    yield node
    if depth < 16:
        for child in node:
            if child is not None:
                yield from nodes(child, depth + 1)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def find(root, name, roles=None):
    for n in nodes(root):
        if n.name == name and showing(n) and (roles is None or n.getRoleName() in roles):
            return n
    return None


def wait_for(what, predicate, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            value = predicate()
        except Exception:  # the tree changes under us while the program works
            value = None
        if value:
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what)
    return None


def do_action(node, name):
    action = node.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    if name not in names:
        fail(f"'{node.name}' offers no {name} action (it has {names})")
        return
    try:
        action.doAction(names.index(name))
    except Exception:
        pass  # a modal window opened by the action holds the reply back


def check_group(root, what, keys, shows):
    """Toggles each control of an exclusive group, then the checked one again."""
    for key in keys + [keys[0]]:
        button = wait_for(f"'{key}'", lambda: find(root, key))
        if not button:
            return
        do_action(button, "toggle")

        def settled():
            boxes = [find(root, k) for k in keys]
            return all(b is not None for b in boxes) and [checked(b) for b in boxes] == [k == key for k in keys]
        if not wait_for(f"{what}: only '{key}' checked", settled):
            boxes = [find(root, k) for k in keys]
            print("   checked:", [k for k, b in zip(keys, boxes) if b is not None and checked(b)])
        # What the program does in that state can be seen: a control of its panel.
        if key in shows:
            wait_for(f"{what}: '{shows[key]}' shown after '{key}'", lambda: find(root, shows[key]))


def main():
    program = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="atspi-check-")
    movie = os.path.join(work, "clip.avi")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-t", "1",
                    "-c:v", "mjpeg", movie], check=True)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               LUMIVARK_HOME=os.path.join(work, "home"), XDG_CONFIG_HOME=os.path.join(work, "config"),
               HOME=work)
    proc = subprocess.Popen([program], env=env, cwd=work)
    Atspi.set_timeout(3000, 30000)
    try:
        app = wait_for("the program on the accessibility bus", lambda: next(
            (a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "lumivark"), None), 30)
        if not app:
            return 1
        wait_for("the main window", lambda: find(app, "Movie Capture"), 20)

        # Every control a user can reach in each mode has a name to be read out.
        def unnamed_controls():
            for n in nodes(app):
                if (n.getRoleName() in ("push button", "check box", "toggle button", "radio button", "spin button",
                                        "combo box", "text")
                        and showing(n) and n.getState().contains(pyatspi.STATE_FOCUSABLE) and not n.name.strip()):
                    parent = n.parent
                    yield f"{n.getRoleName()} in {parent.getRoleName() if parent else '?'} '{parent.name if parent else ''}'"

        for mode in ["Image Capture", "Multiple Image Capture", "Movie Capture"]:
            do_action(find(app, mode), "toggle")
            time.sleep(0.5)
            for what in unnamed_controls():
                fail(f"{mode}: a {what} without a name")

        check_group(app, "mode", ["Image Capture", "Multiple Image Capture", "Movie Capture"],
                    {"Image Capture": "Insert Time", "Multiple Image Capture": "Manual Trigger",
                     "Movie Capture": "Set AVI Filename"})
        do_action(find(app, "Multiple Image Capture"), "toggle")
        check_group(app, "trigger", ["Timer Trigger", "Motion Trigger", "Manual Trigger"],
                    {"Manual Trigger": "Shoot"})
        check_group(app, "view", ["Overlay view mode", "Preview view mode"], {})

        # The movie window: open a clip through the file dialog, as a keyboard user would.
        do_action(find(app, "Movie Viewer"), "press")
        dialog = wait_for("the Open AVI dialog", lambda: find(app, "Open AVI", ("dialog",)))
        name_field = dialog and wait_for("the file dialog's name field", lambda: find(dialog, "File name:", ("text",)))
        if name_field:
            name_field.queryEditableText().setTextContents(movie)
            do_action(wait_for("the Open button", lambda: find(dialog, "Open", ("push button",))), "press")
            if wait_for("the movie window's Time", lambda: find(app, "Time", ("radio button",)), 20):
                check_group(app, "movie display", ["Frames", "Time"], {})
    finally:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
    print("atspi-check:", "FAILED" if failures else "passed", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
