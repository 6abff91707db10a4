#!/usr/bin/python3
"""Starts a program and answers what a screen reader sees of it, over AT-SPI.

Run inside a private session bus (dbus-run-session) with DISPLAY set:
    atspi_observe.py PROGRAM
Each answer is one line that starts with "observer: " (the accessibility
services print lines of their own). Prints "ready" once the program's main
window is on the bus, then answers one question per line of standard input:
    entries     the texts of the input list ("Phone Numbers"), as JSON
    where NAME  "x y", the screen centre of a showing item named NAME (not a
                window) in any of the program's windows, or "none"
    quit        closes the program and ends
"""
import json
import os
import subprocess
import sys
import time

import pyatspi


def apps():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None:
            yield app


def walk(node, depth=0):
    if depth > 40:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        if child.getRoleName() != "list":
            yield from walk(child, depth + 1)


def input_list(seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        for app in apps():
            if app.name.lower() != "quillory":
                continue
            for i in range(app.childCount):
                frame = app.getChildAtIndex(i)
                if frame is None or frame.name != "Quillory":
                    continue
                for node in walk(frame):
                    if node.getRoleName() == "list" and node.name == "Phone Numbers":
                        return node
        time.sleep(0.2)
    return None


WINDOWS = ("frame", "dialog", "window", "file chooser")


def where(name):
    for app in apps():
        try:
            for node in walk(app):
                if node.name != name or node.getRoleName() in WINDOWS:
                    continue
                states = node.getState()
                if not states.contains(pyatspi.STATE_SHOWING):
                    continue
                x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                if width > 0 and height > 0:
                    return "%d %d" % (x + width // 2, y + height // 2)
        except Exception:  # a window closing meanwhile
            continue
    return "none"


def answer(text):
    print("observer: " + text, flush=True)


def main():
    pyatspi.Registry.getDesktop(0)  # starts the accessibility bus before the program
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    program = subprocess.Popen([sys.argv[1]], env=env)
    try:
        inputs = input_list()
        answer("ready" if inputs is not None else "no input list")
        if inputs is None:
            return 1
        for line in sys.stdin:
            question = line.rstrip("\n")
            if question == "entries":
                texts = [inputs.getChildAtIndex(i).name for i in range(inputs.childCount)]
                answer(json.dumps(texts))
            elif question.startswith("where "):
                answer(where(question[len("where "):]))
            elif question == "quit":
                break
    finally:
        program.terminate()
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
