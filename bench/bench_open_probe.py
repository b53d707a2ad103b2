"""Times the real program's answer to the pointer entering its hover band,
from outside and without screenshots or polling. The pointer is moved with
XTEST; the X server itself then reports, to this probe's own connection,
each drawing on the panel window (DAMAGE) and each change of its geometry
(ConfigureNotify). Nothing here talks to the program or polls the server:
the server's only extra work is to send these reports, and the program
hears nothing of them.
Run with Debian's python3 (python3-xlib):

    DISPLAY=:N /usr/bin/python3 bench_open_probe.py WINDOW IN_X IN_Y OUT_X OUT_Y RUNS

Before each run the pointer goes to OUT, and the probe waits until the
panel is back at its resting size (the size it had when the probe started)
and has not been drawn on for QUIET_S. Then it moves the pointer to IN and
prints three times in milliseconds, one run a line:

    DRAWN RESIZED GROWN

DRAWN: until the first drawing on the panel window; RESIZED: until the
server reports it taller than at rest; GROWN: until the first drawing after
that, which is the first frame of the opening panel.
"""

import select
import sys
import time

from Xlib import X, display
from Xlib.ext import damage, xtest

QUIET_S = 0.3    # no drawing for this long: the panel has settled
TIMEOUT_S = 5.0


class Panel:
    """The events of one window: its drawings and its size."""

    def __init__(self, d, window):
        self.d, self.id = d, window
        target = d.create_resource_object("window", window)
        geometry = target.get_geometry()
        self.rest = (geometry.width, geometry.height)
        self.size = self.rest
        self.resized = None  # when it first grew taller since the last reset
        target.change_attributes(event_mask=X.StructureNotifyMask)
        # Every drawing operation on the window is reported.
        target.damage_create(damage.DamageReportRawRectangles)
        d.sync()

    def grown(self):
        """Whether the panel hangs lower than at rest: it opens downwards."""
        return self.size[1] > self.rest[1]

    def next_drawing(self, deadline):
        """Waits for the next drawing on the window, keeping up with its
        size meanwhile; its arrival time, or None at the deadline."""
        d = self.d
        while True:
            while d.pending_events():
                event = d.next_event()
                if event.type == X.ConfigureNotify and event.window.id == self.id:
                    self.size = (event.width, event.height)
                    if self.resized is None and self.grown():
                        self.resized = time.perf_counter()
                elif event.type == d.extension_event.DamageNotify and getattr(
                        event.drawable, "id", event.drawable) == self.id:
                    return time.perf_counter()
            left = deadline - time.perf_counter()
            if left <= 0:
                return None
            select.select([d.fileno()], [], [], left)
            d.pending_events()  # reads what arrived

    def settle(self, resting):
        """Until the window has not been drawn on for QUIET_S, and, when
        `resting`, is back at its resting size."""
        deadline = time.perf_counter() + TIMEOUT_S
        while True:
            quiet = self.next_drawing(min(deadline, time.perf_counter() + QUIET_S)) is None
            if quiet and (not resting or self.size == self.rest):
                return
            if time.perf_counter() > deadline:
                raise SystemExit("the panel never settled")


def move(d, x, y):
    xtest.fake_input(d, X.MotionNotify, x=x, y=y)
    d.flush()


def main():
    window = int(sys.argv[1], 0)
    in_x, in_y, out_x, out_y, runs = map(int, sys.argv[2:7])
    d = display.Display()
    if not d.has_extension("DAMAGE") or not d.has_extension("XTEST"):
        raise SystemExit("the X server lacks DAMAGE or XTEST")
    d.damage_query_version()
    move(d, out_x, out_y)
    d.sync()
    time.sleep(QUIET_S)  # the pointer is away: the window has its resting size
    panel = Panel(d, window)
    for _ in range(runs):
        move(d, out_x, out_y)
        panel.settle(resting=True)
        panel.resized = None
        start = time.perf_counter()
        move(d, in_x, in_y)
        deadline = start + TIMEOUT_S
        drawn = grown = panel.next_drawing(deadline)
        while grown is not None and not panel.grown():
            grown = panel.next_drawing(deadline)
        if grown is None:
            raise SystemExit("the panel did not open after the pointer entered the band")
        print(" ".join(f"{(t - start) * 1000:.2f}" for t in (drawn, panel.resized, grown)), flush=True)
        panel.settle(resting=False)
    move(d, out_x, out_y)
    d.sync()


if __name__ == "__main__":
    main()
