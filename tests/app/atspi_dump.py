#!/usr/bin/env python3
"""Prints, as JSON, the accessible tree a running program shows over AT-SPI, as a screen reader
sees it: every object's role, name, description, states and value.

usage: atspi_dump.py PID [DEADLINE_SECONDS]

Waits (up to the deadline) for the program to register on the accessibility bus. Exit 2 when it
never does, so a test can tell a missing bus from a bad tree."""
import json
import sys
import time

import pyatspi


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid and app.childCount > 0:
                return app
        except Exception:  # an application that went away while we looked
            continue
    return None


def describe(obj, path, out, depth=0):
    if obj is None or depth > 64:
        return
    try:
        states = obj.getState()
        entry = {
            "path": path,
            "role": obj.getRoleName(),
            "name": obj.name or "",
            "description": obj.description or "",
            "showing": states.contains(pyatspi.STATE_SHOWING),
            "focusable": states.contains(pyatspi.STATE_FOCUSABLE),
            "checked": states.contains(pyatspi.STATE_CHECKED),
            "enabled": states.contains(pyatspi.STATE_ENABLED),
        }
        try:
            entry["value"] = obj.queryValue().currentValue
        except NotImplementedError:
            pass
        try:
            text = obj.queryText()
            entry["text"] = text.getText(0, text.characterCount)
        except NotImplementedError:
            pass
        out.append(entry)
        for i in range(obj.childCount):
            describe(obj.getChildAtIndex(i), path + [i], out, depth + 1)
    except Exception as e:  # an object that went away while we walked
        out.append({"path": path, "error": str(e)})


def main():
    pid = int(sys.argv[1])
    deadline = time.monotonic() + (float(sys.argv[2]) if len(sys.argv) > 2 else 60)
    app = find_app(pid)
    while app is None and time.monotonic() < deadline:
        time.sleep(0.2)
        app = find_app(pid)
    if app is None:
        print("no application with pid %d on the accessibility bus" % pid, file=sys.stderr)
        return 2
    out = []
    describe(app, [], out)
    json.dump(out, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
