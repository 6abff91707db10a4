#!/usr/bin/python3
"""Walks the running program's accessibility tree over AT-SPI.

Run inside a private session bus (dbus-run-session) with DISPLAY set:
    atspi_walk.py PROGRAM
Starts PROGRAM, checks what a screen reader sees, closes it. Exit status 0
when every check held; each failed check is printed.
"""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

failures = []
checks = []


def check(condition, what):
    checks.append(what)
    if not condition:
        failures.append(what)
        print("FAIL: " + what, file=sys.stderr)


def find_app(name, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name.lower() == name and app.childCount > 0:
                return app
        time.sleep(0.2)
    return None


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        if child.getRoleName() not in ("list", "list item"):
            yield from descendants(child)


def wait_for(predicate, seconds=10):
    context = GLib.MainContext.default()
    deadline = time.time() + seconds
    while time.time() < deadline:
        while context.iteration(False):
            pass
        if predicate():
            return True
        time.sleep(0.05)
    return False


events = []


def on_event(event):
    try:
        role = event.source.getRoleName()
        name = event.source.name
    except Exception:  # the row may be gone already
        role, name = "", ""
    events.append((event.type, role, name, event.detail1))


def main():
    # Starts the accessibility bus before the program, so that it finds one.
    pyatspi.Registry.getDesktop(0)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    program = subprocess.Popen([sys.argv[1]], env=env)
    try:
        app = find_app("quillory")
        check(app is not None, "the program shows up on the accessibility bus")
        if app is None:
            return 1
        frames = [app.getChildAtIndex(i) for i in range(app.childCount)]
        frame = next((f for f in frames if f.name == "Quillory"), None)
        check(frame is not None and frame.getRoleName() == "frame",
              "a frame named Quillory: %s" % [(f.name, f.getRoleName()) for f in frames])
        if frame is None:
            return 1
        nodes = list(descendants(frame))
        lists = {n.name: n for n in nodes if n.getRoleName() == "list"}
        check(sorted(lists) == sorted(["Phone Numbers", " Valid Numbers", "Invalid Numbers"]),
              "three lists named by their columns: %s" % sorted(lists))
        buttons = [n for n in nodes if n.getRoleName() == "push button"]
        check(len(buttons) == 14, "fourteen buttons: %d" % len(buttons))
        by_name = {}
        for b in buttons:
            by_name.setdefault(b.name, []).append(b.description)
        for caption in ("Save Results As Text File", "Save Results As Excel File",
                        "Copy Results To Clipboard", "Clear Results"):
            descriptions = sorted(by_name.get(caption, []))
            check(len(descriptions) == 2 and "Invalid Numbers" in descriptions[0]
                  and "Valid Numbers" in descriptions[1] and "Invalid" not in descriptions[1],
                  "%s: descriptions name their lists: %s" % (caption, descriptions))

        # Load the samples as a user of the screen reader would: press the button.
        inputs = lists.get("Phone Numbers")
        sample = next((b for b in buttons if b.name == "Load Sample/Example Numbers"), None)
        if inputs is not None and sample is not None:
            check(inputs.childCount == 0, "the input list starts empty")
            action = sample.queryAction()
            names = [action.getName(i) for i in range(action.nActions)]
            check("Press" in names, "the button can be pressed: %s" % names)
            if "Press" in names:
                action.doAction(names.index("Press"))
            check(wait_for(lambda: inputs.childCount > 0), "the samples arrive in the list")
            if inputs.childCount > 0:
                row = inputs.getChildAtIndex(0)
                check(row is not None and row.getRoleName() == "list item" and row.name != "",
                      "rows are list items with their text")
                last = inputs.getChildAtIndex(inputs.childCount - 1)
                check(last is not None and last.name != "", "the last row reads too")

                # One entry down by keyboard: the reader hears which entry is
                # now selected. (Without a window manager the window never
                # becomes active, so the focus events are not seen here.)
                pyatspi.Registry.registerEventListener(on_event, "object:state-changed:selected")
                inputs.queryComponent().grabFocus()
                wait_for(lambda: False, 1)  # let the registration reach the program
                del events[:]
                pyatspi.Registry.generateKeyboardEvent(0xff54, None, pyatspi.KEY_SYM)  # Down
                first = inputs.getChildAtIndex(0).name
                check(wait_for(lambda: any(e[1] == "list item" and e[2] == first and e[3] == 1
                                           for e in events)),
                      "the entry the key selected is announced: %s" % events)
                check(inputs.getChildAtIndex(0).getState().contains(pyatspi.STATE_SELECTED),
                      "the entry reads as selected")
                check(not inputs.getChildAtIndex(1).getState().contains(pyatspi.STATE_SELECTED),
                      "the next one does not")
    finally:
        program.terminate()
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
    print("%d of %d checks held" % (len(checks) - len(failures), len(checks)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
