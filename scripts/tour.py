#!/usr/bin/env python3
"""A tour for newcomers: runs Tuckshelf on a virtual display, uses it the
way a person would, and leaves a screenshot of every step in tour/."""

import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
from harness import Session, wait_until  # noqa: E402

MID_X, GAP = 960, 24
CROP = "640x300+640+0"  # the top centre of the screen


def main():
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "tuckshelf"))
    harness.BINARY = binary
    out = os.path.join(ROOT, "tour")
    os.makedirs(out, exist_ok=True)
    session = Session()
    saved = []

    def shoot(name, caption):
        shot = session.screenshot(name)
        path = os.path.join(out, f"{len(saved) + 1}-{name}.png")
        subprocess.run(["convert", shot.path, "-crop", CROP, "+repage", path], check=True)
        saved.append((path, caption))

    def push_into_top_centre():
        session.move_pointer(MID_X, 0)
        session.xdotool("mousemove_relative", "--", "1", "0")

    def stored_first(text):
        return lambda: (session.stored_history() or [None])[0] == text

    try:
        session.start_program()
        session.wait_resting()

        push_into_top_centre()
        wait_until(lambda: session.screenshot().pixel(MID_X, GAP + 4) == (0, 0, 0), what="the message")
        shoot("empty-message", "nothing copied yet: the open panel says so")
        session.move_pointer(MID_X, 600)
        session.xdotool("mousemove_relative", "--", "0", "1")

        picture = os.path.join(session.tmp, "picture.png")
        subprocess.run(["convert", "-size", "640x400", "gradient:#2dd4bf-#1e3a8a", picture], check=True)
        session.copy_file(picture, "image/png")
        wait_until(lambda: harness.is_teal(session.screenshot().pixel(1065, 12)), what="the dot")
        for text in ["git log --oneline --graph --decorate",
                     "Meeting moved to Thursday 14:30, room 4B",
                     "https://www.debian.org/releases/bookworm/",
                     "The quick brown fox jumps over the lazy dog. Pack my box with five dozen "
                     "liquor jugs. How vexingly quick daft zebras jump! \u2728"]:
            session.copy_text(text)
            wait_until(stored_first(text), what=text)
        shoot("resting-dot", "at rest: only the teal dot, the newest copy is not pasted yet")

        push_into_top_centre()
        wait_until(lambda: session.screenshot().pixel(MID_X, GAP + 4) == (0, 0, 0), what="the list")
        session.screenshot()  # let the growth finish
        shoot("open-list", "pointer in the top centre: the last five clips, newest first")

        row_y = GAP + 8 + 60 + 3 + 15  # the second row, below a two-line lead row
        session.move_pointer(MID_X, row_y)
        session.xdotool("mousemove_relative", "--", "1", "0")
        session.screenshot()
        shoot("hover-row", "hovering a row highlights it and shows its remove button")

        session.xdotool("click", "1")
        wait_until(lambda: session.clipboard_text() is not None, what="the clipboard")
        session.move_pointer(MID_X, 600)
        session.xdotool("mousemove_relative", "--", "0", "1")
        session.screenshot()
        shoot("after-click", f"clicked: \"{session.clipboard_text()}\" is back on the clipboard")
    finally:
        session.close()

    print("Tour screenshots:")
    for path, caption in saved:
        print(f"  {os.path.relpath(path, ROOT)}  {caption}")


if __name__ == "__main__":
    main()
