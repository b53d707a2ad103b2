"""Times the real program's answer to the pointer entering its hover region,
from outside and without screenshots: the pointer is moved with XTEST, and
the X server's DAMAGE extension reports when the panel window is first
drawn on after that. Run with Debian's python3 (python3-xlib):

    DISPLAY=:N /usr/bin/python3 bench_open_probe.py WINDOW IN_X IN_Y OUT_X OUT_Y RUNS

Prints the milliseconds of each run, one a line.
"""

import select
import sys
import time

from Xlib import X, display
from Xlib.ext import damage, xtest

QUIET_S = 0.4    # no drawing for this long: the panel has settled
TIMEOUT_S = 5.0


def move(d, x, y):
    xtest.fake_input(d, X.MotionNotify, x=x, y=y)
    d.flush()


def next_damage(d, drawable, deadline):
    """Waits for the next damage report on `drawable`; its arrival time, or
    None at the deadline."""
    while True:
        while d.pending_events():
            event = d.next_event()
            if event.type == d.extension_event.DamageNotify and getattr(
                    event.drawable, "id", event.drawable) == drawable:
                return time.perf_counter()
        left = deadline - time.perf_counter()
        if left <= 0:
            return None
        select.select([d.fileno()], [], [], left)
        d.pending_events()  # reads what arrived


def settle(d, drawable):
    """Until the window has not been drawn on for QUIET_S."""
    deadline = time.perf_counter() + TIMEOUT_S
    while next_damage(d, drawable, min(deadline, time.perf_counter() + QUIET_S)) is not None:
        if time.perf_counter() > deadline:
            raise SystemExit("the panel never stopped drawing")


def main():
    window = int(sys.argv[1], 0)
    in_x, in_y, out_x, out_y, runs = map(int, sys.argv[2:7])
    d = display.Display()
    if not d.has_extension("DAMAGE") or not d.has_extension("XTEST"):
        raise SystemExit("the X server lacks DAMAGE or XTEST")
    d.damage_query_version()
    target = d.create_resource_object("window", window)
    # Every drawing operation on the window is reported.
    target.damage_create(damage.DamageReportRawRectangles)
    d.sync()
    for _ in range(runs):
        move(d, out_x, out_y)
        settle(d, window)
        start = time.perf_counter()
        move(d, in_x, in_y)
        drawn = next_damage(d, window, start + TIMEOUT_S)
        if drawn is None:
            raise SystemExit("the panel was not drawn after the pointer entered")
        print(f"{(drawn - start) * 1000:.2f}", flush=True)
        settle(d, window)
    move(d, out_x, out_y)
    d.sync()


if __name__ == "__main__":
    main()
