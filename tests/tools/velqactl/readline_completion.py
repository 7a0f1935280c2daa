#!/usr/bin/env python3
"""Completes command lines in a real interactive bash, as a user pressing Tab does: readline
splits the line at its word breaks, the completion script runs, and readline inserts the result.
   readline_completion.py SCRIPT 'TYPED=>EXPECTED' ...
Each TYPED line is followed by a Tab; the line must then read EXPECTED. Waits on the terminal's
output with a deadline, never on a fixed pause. Exit code 1 when any line differs."""
import os
import pty
import select
import sys
import tempfile
import time


def read_until(fd, want, seconds=10.0):
    text = ""
    deadline = time.monotonic() + seconds
    while want not in text and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                text += os.read(fd, 4096).decode(errors="replace")
            except OSError:
                break
    return text


def main():
    script, cases = sys.argv[1], sys.argv[2:]
    # Without bracketed paste the prompt follows the output directly, with nothing between.
    inputrc = tempfile.NamedTemporaryFile("w", suffix=".inputrc")
    inputrc.write("set enable-bracketed-paste off\nset bell-style none\n")
    inputrc.flush()
    pid, fd = pty.fork()
    if pid == 0:
        os.environ["PS1"] = "READY$ "
        os.environ["INPUTRC"] = inputrc.name
        os.execvp("bash", ["bash", "--norc", "--noprofile", "-i"])
    failures = 0
    try:
        read_until(fd, "READY$ ")
        os.write(fd, f"source '{script}'; echo SOURCED\n".encode())
        read_until(fd, "SOURCED\r\nREADY$ ")
        for case in cases:
            typed, expected = case.split("=>", 1)
            os.write(fd, typed.encode() + b"\t")
            shown = read_until(fd, expected)
            if expected not in shown:
                print(f"FAIL: bash: '{typed}<TAB>' gave {shown!r}, want '{expected}'")
                failures += 1
            # Ctrl-U empties the line; the marker says the next prompt is ready.
            os.write(fd, b"\x15echo NEXT\n")
            read_until(fd, "NEXT\r\nREADY$ ")
    finally:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
