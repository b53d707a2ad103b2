#!/usr/bin/env python3
"""A tour for newcomers: runs Tuckshelf on a virtual X display, uses it the
way a person would, and leaves a screenshot of every step in tour/."""

import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import GAP, MID, X11, px, wait_until  # noqa: E402

CROP = "640x300+640+0"  # the top centre of the screen
TEXTS = ["git log --oneline --graph --decorate",
         "Meeting moved to Thursday 14:30, room 4B",
         "https://www.debian.org/releases/bookworm/",
         "The quick brown fox jumps over the lazy dog. Pack my box with five dozen "
         "liquor jugs. How vexingly quick daft zebras jump! \u2728"]


def main():
    binary = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "tuckshelf"))
    out = os.path.join(ROOT, "tour")
    os.makedirs(out, exist_ok=True)
    home = tempfile.mkdtemp(prefix="tuckshelf-tour-")
    store = os.path.join(home, "config", "tuckshelf", "defaults.json")
    display = X11(owner_tool=None)
    display.env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                       XDG_RUNTIME_DIR=tempfile.mkdtemp(dir=home))
    saved = []

    def shoot(name, caption):
        path = os.path.join(out, f"{len(saved) + 1}-{name}.png")
        display.run("import", "-window", "root", "-crop", CROP, "+repage", path)
        saved.append((path, caption))

    def black_below_top():
        return px(display.screenshot(), MID, GAP + 4) == (0, 0, 0)

    def stored_first():
        try:
            with open(store) as f:
                return (json.load(f).get("tuckshelf.history.text") or [None])[0]
        except (OSError, ValueError):
            return None

    def away():
        display.move(MID, 600)
        display.push(0, 1)

    try:
        display.start(1920, 1080)
        display.spawn([binary])
        wait_until(display.shown, "the program")
        display.move(MID, 0)
        display.push(1, 0)
        wait_until(black_below_top, "the message")
        shoot("empty-message", "nothing copied yet: the open panel says so")
        away()

        picture = os.path.join(home, "picture.png")
        subprocess.run(["convert", "-size", "640x400", "gradient:#2dd4bf-#1e3a8a", picture], check=True)
        with open(picture, "rb") as f:
            display.copy(f.read(), "image/png")
        teal = lambda rgb: all(abs(a - b) < 30 for a, b in zip(rgb, (45, 212, 191)))
        wait_until(lambda: teal(px(display.screenshot(), MID + 105, 12)), "the dot")
        for text in TEXTS:
            display.copy(text.encode())
            wait_until(lambda: stored_first() == text, text)
        shoot("resting-dot", "at rest: only the teal dot, the newest copy is not pasted yet")

        display.move(MID, 0)
        display.push(1, 0)
        wait_until(black_below_top, "the list")
        shoot("open-list", "pointer in the top centre: the last five clips, newest first")

        display.move(MID, GAP + 100)  # a row below the two-line lead row
        display.push(1, 0)
        shoot("hover-row", "hovering a row highlights it and shows its remove button")

        display.click()
        wait_until(lambda: stored_first() != TEXTS[-1], "the clip chosen")
        clicked = wait_until(lambda: display.clipboard().decode(), "the clip back on the clipboard")
        away()
        shoot("after-click", f"clicked: \"{clicked}\" is back on the clipboard")
    finally:
        display.stop()

    print("Tour screenshots:")
    for path, caption in saved:
        print(f"  {os.path.relpath(path, ROOT)}  {caption}")


if __name__ == "__main__":
    main()
