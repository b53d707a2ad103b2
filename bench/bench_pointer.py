"""The pointer figures: what the pointer costs each program, idle and moving,
and how soon the list opens once the pointer enters the band at the top
centre.

Each program runs on an Xvfb of its own (1920 x 1080) with a fresh home,
both at once, and each gets the same history of three texts, copied
through the clipboard. A program's CPU is the time on a CPU of all its
threads (CopyQ: its server and the clipboard monitor it starts), the first
field of /proc/PID/task/*/schedstat (ns), summed over the threads at the
start and at the end of the measuring window; the difference is given as a
share of one core. A thread that starts and ends inside the window is not
seen.

- idle: both programs at once, the pointer still at AWAY, a quarter across
  and three quarters down, far from the top centre.
- pointer moving away from the top centre: bench_pointer_motion sends
  relative XTEST motion at 1000 Hz around a circle of 20 px radius centred
  on AWAY; on one program's display at a time while the other idles.
- pointer moving in the open list: the pointer first goes to the top row
  at the centre, inside the band, and the list opens; once it has settled,
  the same circle runs inside the open panel, centred between the bottom
  of the resting panel (the band lies above it) and the bottom of the open
  one, its radius cut to keep it inside. The list must still be open
  afterwards. CopyQ, which has no such list, gets the same pointer path
  over its bare desktop.
- open latency: bench_open_probe.py moves the pointer into the top row at
  the centre with XTEST and stamps the time; the X server then reports to
  the probe's own connection (DAMAGE and ConfigureNotify on the panel
  window) the first drawing after the window has grown taller than at
  rest: the first frame of the opening panel. The server sends these
  reports as things happen, so no screenshots or geometry polls load the
  server the program shares, and the program hears nothing of them.
  Between entries the pointer goes away and the probe waits until the
  panel is back at its resting size and undrawn for 0.3 s. The 95th
  percentile is the nearest rank. CopyQ has no such panel: n/a.
"""

import math
import re
import statistics
import time

from bench_session import Session, wait_until
from bench_figures import Figure, copy_latency_figure, open_probe, say, stop_all
from bench_peers import CopyQ, Tuckshelf
from bench_procs import CpuSample, cpu_share, sleeps_between

RATE = 1000        # moves a second
RADIUS = 20        # px, of the circle the pointer runs around
TEXTS = ("https://example.org/notes/2024/plan.txt",
         "Meeting moved to Thursday, 3 pm, room 4",
         "git log --oneline --graph --decorate")


def cpu_over(programs, seconds=None, action=None):
    """Shares of a core, (utime+stime, schedstat), of each program while
    `action` runs, or while idle for `seconds`; the sleeps of each, and the
    window's length."""
    pids = {p: p.pids() for p in programs}
    start = time.monotonic()
    before = {p: CpuSample(pids[p], start) for p in programs}
    if action:
        action()
    else:
        time.sleep(seconds)
    end = time.monotonic()
    after = {p: CpuSample(pids[p], end) for p in programs}
    shares = {p: cpu_share(before[p], after[p]) for p in programs}
    sleeps = {p: sleeps_between(before[p], after[p]) for p in programs}
    return shares, sleeps, end - start


def away(session):
    return session.width // 4, session.height * 3 // 4


def copy_history(ours, peer):
    """The same three texts copied on both displays, each stored by both
    programs before the next."""
    base = peer.count() or 0
    for i, text in enumerate(TEXTS):
        ours.session.copy_text(text)
        peer.session.copy_text(text)
        wait_until(lambda: (ours.stored() or [None])[0] == text, 10, 0.01, f"tuckshelf to store text {i}")
        wait_until(lambda: peer.count() == base + i + 1, 10, 0.02, f"CopyQ to store text {i}")


class Mover:
    """bench_pointer_motion on one display."""

    def __init__(self, path, seconds):
        self.path, self.seconds = path, seconds
        self.rate = None

    def circle(self, session, centre, radius):
        out = session._run([self.path, str(RATE), str(self.seconds), str(radius), *map(str, centre)],
                           timeout=self.seconds + 30).stdout.decode()
        self.rate = float(re.search(r"rate: ([\d.]+)", out).group(1))
        gap = re.search(r"longest gap: ([\d.]+)", out).group(1)
        say(f"  pointer mover: {self.rate:.0f} moves/s for {self.seconds:.0f} s around ({centre[0]}, "
            f"{centre[1]}), radius {radius} px; longest gap {gap} ms")


def circling_cpu(program, mover, centre, radius, what):
    shares, sleeps, wall = cpu_over((program,), action=lambda: mover.circle(program.session, centre, radius))
    stat, sched = shares[program]
    say(f"CPU, pointer moving {what}, {program.name}: {sched:.4f} % of a core (schedstat), "
        f"{stat:.3f} % (utime+stime), {sleeps[program] / wall:.0f} sleeps/s")
    return sched


def idle_figure(ours, peer, seconds):
    for p in (ours, peer):
        p.session.move_pointer(*away(p.session))
    time.sleep(3)  # past the launch's and the copies' own work
    shares, sleeps, wall = cpu_over((ours, peer), seconds)
    for p in (ours, peer):
        stat, sched = shares[p]
        say(f"CPU idle over {wall:.0f} s, {p.name}: {sched:.4f} % of a core (schedstat), "
            f"{stat:.4f} % (utime+stime), {sleeps[p] / wall:.1f} sleeps/s")
    # At most CopyQ's own idle cost in the same run, and never woken.
    return [Figure(f"CPU idle, pointer still, {seconds:.0f} s", "% core", shares[ours][1], shares[peer][1],
                   max(shares[peer][1], 0.0001), "schedstat; the target is CopyQ's in the same run"),
            Figure(f"wake-ups idle, pointer still, {seconds:.0f} s", "/s", sleeps[ours] / wall, sleeps[peer] / wall, 0,
                   "voluntary context switches of all threads")]


def moving_away_figure(ours, peer, mover):
    values = [circling_cpu(p, mover, away(p.session), RADIUS, "away from the top centre") for p in (ours, peer)]
    return Figure(f"CPU, pointer {RATE}/s away from top centre, {mover.seconds:.0f} s", "% core", *values, 0.3,
                  f"schedstat; XTEST relative motion around a {RADIUS} px circle at ({away(ours.session)[0]}, "
                  f"{away(ours.session)[1]}), over the bare desktop")


def moving_in_list_figure(ours, peer, mover):
    session = ours.session
    rest = ours.panel()
    session.move_pointer(session.width // 2, 0)  # into the band: the list opens
    wait_until(lambda: (ours.panel() or rest)["HEIGHT"] > rest["HEIGHT"], 5, 0.02, "the list to open")
    time.sleep(0.5)  # past the opening animation
    panel = ours.panel()
    top, bottom = rest["Y"] + rest["HEIGHT"], panel["Y"] + panel["HEIGHT"]
    centre = (panel["X"] + panel["WIDTH"] // 2, (top + bottom) // 2)
    radius = max(1, min(RADIUS, (bottom - top) // 2 - 2, panel["WIDTH"] // 2 - 2))
    say(f"  open panel {panel['WIDTH']}x{panel['HEIGHT']} at ({panel['X']}, {panel['Y']}); resting height "
        f"{rest['HEIGHT']}")
    mine = circling_cpu(ours, mover, centre, radius, "in the open list")
    still_open = (ours.panel() or rest)["HEIGHT"] == panel["HEIGHT"]
    if not still_open:
        say("  the list was no longer open after the pointer had moved in it: the figure is void")
    peer.session.move_pointer(peer.session.width // 2, 0)  # the same path on CopyQ's display
    theirs = circling_cpu(peer, mover, centre, radius, "where tuckshelf's list is")
    return Figure(f"CPU, pointer {RATE}/s in the open list, {mover.seconds:.0f} s", "% core", mine, theirs, 3.0,
                  f"schedstat; {radius} px circle at {centre} inside the open {panel['WIDTH']}x{panel['HEIGHT']} "
                  f"panel, below the band; CopyQ: the same path over its bare desktop"
                  + ("" if still_open else "; VOID: the list closed during the run"),
                  void=not still_open)


def open_latency_figure(ours, entries):
    runs = open_probe(ours.session, ours.panel()["WINDOW"], entries)

    def p95(values):
        return values[math.ceil(0.95 * len(values)) - 1]
    for i, label in enumerate(("first drawing", "window grown", "first grown frame")):
        values = sorted(run[i] for run in runs)
        say(f"pointer into the band until the {label}, tuckshelf: median {statistics.median(values):.2f} ms, "
            f"p95 {p95(values):.2f} ms, max {values[-1]:.2f} ms ({len(values)} entries)")
    grown = sorted(run[2] for run in runs)
    return Figure(f"open latency p95, band -> first grown frame, {entries} entries", "ms", p95(grown), "n/a", 20.0,
                  "XTEST move into the band to the first XDAMAGE report after the panel window grew "
                  "(ConfigureNotify); CopyQ has no such panel")


def pointer_figures(binary, mover_path, owner_tool, idle_seconds=60.0, motion_seconds=20.0, entries=50):
    say(__doc__.strip())
    ours_session, peer_session = Session(), Session()
    ours_session.owner_tool = owner_tool  # the copies of the copy latency
    try:
        ours, peer = Tuckshelf(ours_session, binary), CopyQ(peer_session)
        ours.start()
        peer.start()
        ours.wait_ready()
        peer.wait_ready()
        copy_history(ours, peer)
        mover = Mover(mover_path, motion_seconds)
        rows = [*idle_figure(ours, peer, idle_seconds),
                moving_away_figure(ours, peer, mover),
                moving_in_list_figure(ours, peer, mover),
                open_latency_figure(ours, entries),
                copy_latency_figure("", ours)]
        stop_all(ours, peer)
        return rows
    finally:
        ours_session.close()
        peer_session.close()
