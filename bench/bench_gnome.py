"""The GNOME figures: the program on a headless GNOME Shell (the tests'
driver, tests/e2e/gnome_shell.py, one 1920 x 1080 monitor), where it runs
its X11 backend on the Shell's Xwayland and the extension (the build's
gnome-extension/) draws the shelf inside the Shell. One Shell serves every
figure: "without the extension" is that Shell after its extension manager
has disabled the extension, the program then back on its own X11 window,
and "with" is the same after enabling it again, the program attached.
Each switch is followed by SWITCH_SETTLE_S of rest, and each pointer run
by SETTLE_S.
The history is five texts copied with xclip. CPU is taken as for X11
(schedstat of all threads, bench_pointer.py); the Shell's is that of every
thread of the gnome-shell process, its renderer's among them, not its
Xwayland's. CopyQ is not run here: n/a.

- the extension's idle cost: the Shell's CPU over the idle window with the
  extension enabled and the program attached, minus the same window with
  the extension disabled; the pointer still at AWAY (a quarter across,
  three quarters down).
- the extension's cost while the pointer moves: one Eval starts a GLib
  timeout inside the Shell that moves the Shell's virtual pointer by
  relative motion at 1000 Hz (catching up on late ticks), to and fro
  between AWAY and (+14, +14) px over the bare desktop, for the motion
  window; the Shell's CPU is taken over that window. The mover's own cost
  is the same with and without the extension. The runs go with, without,
  without, with, so that a steady drift cancels; the figure is the mean
  with minus the mean without, and the noise is the larger gap between the
  two runs of the same kind. "Nothing measurable" is the difference within
  that noise, which is the figure's target in the table. The headless
  Shell draws with llvmpipe (no GPU), whose threads paint the pointer at
  each frame and take most of that CPU; the same comparison without them
  is printed too, since the extension's own work (the barrier check on
  each motion, picking) runs on the Shell's other threads.
- open latency: a probe installed through Eval wraps the trigger of the
  extension's pressure barrier (Layout.PressureBarrier._trigger, called on
  the Shell's main thread for the barrier hit that crosses the 100 px
  threshold) and stamps it with GLib.get_monotonic_time(), and again once
  the extension's handler has returned (the list filled and set to grow);
  stage paint handlers stamp the start (before-paint, after the layout)
  and the end (after-paint, once the frame has been handed on for
  display) of the first paint after the trigger in which the list's actor
  is taller than its resting frame. The figure is trigger -> that
  after-paint: the extension opening the list (its rows are built while it
  rests, so opening only shows them), the frame clock's wait, and the paint
  of the grown frame; the Shell turns animations off headless without a
  GPU, and the list then opens in the first frame after the push. The
  parts are printed. Mutter repaints the whole monitor at every frame here
  (its headless views offer no buffer age), so the paint is that of the
  whole 1920 x 1080 frame, and llvmpipe rasterises it on its own threads,
  which a later paint may have to wait for. It leaves out the motion's hop
  from the input thread to the main thread (the last push sent -> trigger
  is printed as a bound), whatever llvmpipe still rasterises after the
  after-paint, and a display showing the frame. Per push the pointer goes to the top centre, 10 px
  down, and moves up by 20 px each 8 ms until the trigger (each hit counts
  at most 15 px: 7 hits); between pushes it goes back to AWAY and the list
  rests; the Eval calls run between pushes.
- the program's idle CPU with the extension attached: the program's CPU
  over the first figure's window with the extension; its X11 idle target.
  Its CPU on its own X11 fallback, over the window without, is printed.
"""

import glob
import os
import shutil
import statistics
import time

from gnome_shell import ENABLED, GnomeShell
from bench_session import wait_until
from bench_figures import Figure, say
from bench_peers import Tuckshelf
from bench_pointer import RATE, away, cpu_over
from bench_wayland import SWING, copy_five, p95, start_session

UUID = "tuckshelf@tuckshelf.github.io"
EXTENSION = f"Main.extensionManager.lookup('{UUID}')"
SETTLE_S = 5.0                      # past a pointer run's own work
SWITCH_SETTLE_S = 12.0              # past a switch's, and the garbage collection after it (GJS's timer: 10 s)
PUSH_STEP, PUSH_EVERY_MS = 20, 8    # px up, and how often, of each push
TARGET_IDLE_SHELL = 0.05            # % of a core
TARGET_IDLE_PROGRAM = 0.03          # % of a core, as on X11
TARGET_OPEN_MS = 20.0

# The probe: per push, the last push sent, the trigger, the extension's
# handler done, and the start and end of the first grown paint, kept in the
# Shell until read back.
PROBE = f"""
const ext = {EXTENSION}.stateObj, shelf = ext._shelf, pressure = ext._push._edges[0].pressure;
const probe = globalThis.tuckshelfProbe = {{sent: 0, triggered: 0, opened: 0, painting: 0, drawn: true, runs: []}};
const grown = () => shelf.isOpen && shelf._panel.height > shelf._placement.restingFrame.height;
pressure._trigger = function () {{
    probe.triggered = GLib.get_monotonic_time();
    Object.getPrototypeOf(this)._trigger.call(this);
    probe.opened = GLib.get_monotonic_time();
}};
global.stage.connect('before-paint', () => {{
    if (!probe.drawn && probe.triggered && !probe.painting && grown())
        probe.painting = GLib.get_monotonic_time();
}});
global.stage.connect('after-paint', () => {{
    if (!probe.drawn && probe.painting) {{
        probe.drawn = true;
        probe.runs.push([probe.sent, probe.triggered, probe.opened, probe.painting, GLib.get_monotonic_time()]);
    }}
}});
true"""

PUSH = f"""
const probe = tuckshelfProbe, pointer = tuckshelfPointer;
Object.assign(probe, {{triggered: 0, painting: 0, drawn: false}});
pointer.notify_absolute_motion(GLib.get_monotonic_time(), %d, 10);
let pushes = 0;
GLib.timeout_add(GLib.PRIORITY_DEFAULT, {PUSH_EVERY_MS}, () => {{
    if (probe.triggered || pushes++ >= 30)
        return false;
    probe.sent = GLib.get_monotonic_time();
    pointer.notify_relative_motion(probe.sent, 0, -{PUSH_STEP});
    return true;
}});
true"""

SWING_JS = f"""
const pointer = tuckshelfPointer, start = GLib.get_monotonic_time(), end = start + %f * 1e6;
const swing = globalThis.tuckshelfSwing = {{moves: 0, gap: 0, done: false}};
let last = start;
GLib.timeout_add(GLib.PRIORITY_DEFAULT, 1, () => {{
    const now = GLib.get_monotonic_time();
    swing.gap = Math.max(swing.gap, now - last);
    last = now;
    for (const due = Math.floor((Math.min(now, end) - start) * {RATE} / 1e6); swing.moves < due; swing.moves++) {{
        const sign = swing.moves %% 2 ? -1 : 1;
        pointer.notify_relative_motion(now, sign * {SWING}, sign * {SWING});
    }}
    swing.done = now >= end;
    return !swing.done;
}});
true"""


def renderer_ns(pid):
    """Time on a CPU of the llvmpipe threads of `pid`, in nanoseconds."""
    total = 0
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(task + "/comm") as comm, open(task + "/schedstat") as stat:
                total += int(stat.read().split()[0]) if comm.read().startswith("llvmpipe") else 0
        except OSError:
            pass  # a thread that ended in between
    return total


class BenchShell(GnomeShell):
    """The tests' headless Shell with the build's extension enabled, as a
    thing whose CPU cpu_over takes."""

    name = "GNOME Shell"

    def __init__(self, extension, width=1920, height=1080):
        super().__init__(None, [extension])
        start_session(self, width, height)

    def close(self):
        self.stop()

    def pids(self):
        return [self.shell.pid]

    def copy_text(self, text):
        return self.copy(text.encode())

    def shelf(self, js):
        """`js` about the extension's shelf, `shelf`, or None while the
        extension is not running."""
        return self.eval(f"const e = {EXTENSION}, shelf = e.state === {ENABLED} && e.stateObj._shelf;"
                         f"shelf ? ({js}) : null")

    def attach(self, on, program):
        """The extension enabled and showing the program's five clips, or
        disabled and the program's own window up; then at rest."""
        self.eval(f"Main.extensionManager.{'enable' if on else 'disable'}Extension('{UUID}')")
        if on:
            wait_until(lambda: self.shelf("shelf._content?.clips.length") == 5, 15, 0.1, "the extension's list")
        else:
            program.wait_ready()
        self.move(*away(self))
        time.sleep(SWITCH_SETTLE_S)

    def swing(self, seconds):
        """The pointer to and fro at AWAY for `seconds`, from inside the
        Shell; the mover's report, and the renderer's CPU meanwhile (ns)."""
        renderer = renderer_ns(self.shell.pid)
        self.eval(SWING_JS % seconds)
        time.sleep(seconds)
        report = wait_until(lambda: (s := self.eval("tuckshelfSwing")) and s["done"] and s, 10, 0.1, "the mover")
        return report, renderer_ns(self.shell.pid) - renderer


def idle_cpu(session, program, seconds, what):
    """The Shell's and the program's shares of a core over `seconds` of idle."""
    shares, _, wall = cpu_over((session, program), seconds)
    for p in (session, program):
        say(f"CPU idle over {wall:.0f} s, {what}, {p.name}: {shares[p][1]:.4f} % of a core (schedstat)")
    return shares[session][1], shares[program][1]


def moving_cpu(session, seconds, what):
    """The Shell's share of a core while the pointer swings, and that share
    less its renderer's threads."""
    runs = []
    shares, _, wall = cpu_over((session,), action=lambda: runs.append(session.swing(seconds)))
    (report, renderer), total = runs[0], shares[session][1]
    rest = total - 100 * renderer / 1e9 / wall
    say(f"  pointer mover in the Shell: {report['moves'] / wall:.0f} moves/s over {wall:.1f} s at {away(session)}, "
        f"to and fro by ({SWING}, {SWING}) px; longest gap {report['gap'] / 1000:.1f} ms")
    say(f"CPU while the pointer moves over {wall:.0f} s, {what}, GNOME Shell: {total:.4f} % of a core (schedstat); "
        f"{rest:.4f} % without its renderer's threads")
    time.sleep(SETTLE_S)
    return total, rest


def open_latencies(session, pushes):
    """(last push sent -> trigger, the extension's handler, trigger ->
    grown paint's start, that paint, trigger -> its end) in ms, per push."""
    session.eval(PROBE)
    for i in range(pushes):
        session.move(*away(session))
        wait_until(lambda: session.shelf("!shelf.isOpen"), 5, 0.02, "the list to rest")
        time.sleep(0.3)  # the list's rest painted, and the stage idle
        session.eval(PUSH % (session.width // 2))
        wait_until(lambda: session.eval("tuckshelfProbe.runs.length") > i, 5, 0.02, f"push {i} to open the list")
    session.move(*away(session))
    return [((t - s) / 1000, (o - t) / 1000, (b - t) / 1000, (a - b) / 1000, (a - t) / 1000)
            for s, t, o, b, a in session.eval("tuckshelfProbe.runs")]


def compare(label, what, runs):
    """Mean with minus mean without, the noise, and the verdict, of `runs`
    ({True: with, False: without}), printed."""
    means = {k: statistics.mean(v) for k, v in runs.items()}
    cost, noise = means[True] - means[False], max(abs(a - b) for a, b in runs.values())
    verdict = "nothing measurable" if abs(cost) <= noise else "measurable"
    listed = {k: ", ".join(f"{v:.4f}" for v in runs[k]) for k in runs}
    say(f"the extension's cost to the Shell while the pointer moves, {what}, {label}: with {means[True]:.4f} "
        f"({listed[True]}), without {means[False]:.4f} ({listed[False]}), difference {cost:+.4f} % of a core; "
        f"noise {noise:.4f}: {verdict}")
    return means, cost, noise, verdict


def gnome_figures(binary, build, idle_seconds=60.0, motion_seconds=20.0, pushes=50):
    say(__doc__.strip())
    extension = os.path.join(build, "gnome-extension", UUID)
    if not shutil.which("gnome-shell") or not os.path.isdir(extension):
        say(f"GNOME figures skipped: {'no gnome-shell here' if os.path.isdir(extension) else 'no ' + extension}")
        return []
    label = f"GNOME Shell {GnomeShell.shell_major()}"
    session = BenchShell(extension)
    try:
        program = Tuckshelf(session, binary)
        # The Shell's runtime folder, where the program finds its Wayland socket, as in a real session.
        program.env["XDG_RUNTIME_DIR"] = session.env["XDG_RUNTIME_DIR"]
        program.start()
        wait_until(lambda: session.shelf("shelf._content !== null"), 15, 0.1, "the program attached")
        copy_five(session, program)

        session.attach(False, program)
        shell_without, program_alone = idle_cpu(session, program, idle_seconds, "extension disabled")
        session.attach(True, program)
        shell_with, program_attached = idle_cpu(session, program, idle_seconds, "extension enabled")
        moving = {True: [moving_cpu(session, motion_seconds, "extension enabled")], False: []}
        session.attach(False, program)
        moving[False] += [moving_cpu(session, motion_seconds, "extension disabled") for _ in range(2)]
        session.attach(True, program)
        moving[True].append(moving_cpu(session, motion_seconds, "extension enabled"))

        runs = open_latencies(session, pushes)
        program.stop()
    finally:
        session.stop()

    idle_cost = shell_with - shell_without
    say(f"the extension's idle cost to the Shell, {label}: {shell_with:.4f} - {shell_without:.4f} = "
        f"{idle_cost:+.4f} % of a core")
    means, moving_cost, noise, verdict = compare(label, "all threads", {k: [t for t, _ in v] for k, v in moving.items()})
    compare(label, "less the renderer's threads", {k: [r for _, r in v] for k, v in moving.items()})
    for i, step in enumerate(("last push sent -> trigger", "the extension's trigger handler (opens the list)",
                              "trigger -> grown paint's start", "the grown paint", "trigger -> grown paint's end")):
        values = [run[i] for run in runs]
        say(f"open latency, {step}, {label}: median {statistics.median(values):.2f} ms, p95 {p95(values):.2f} ms, "
            f"max {max(values):.2f} ms ({len(values)} pushes)")
    return [
        Figure(f"{label}: extension's Shell CPU, idle, {idle_seconds:.0f} s", "% core", idle_cost, "n/a",
               TARGET_IDLE_SHELL, f"schedstat of gnome-shell, extension enabled {shell_with:.4f} - disabled "
               f"{shell_without:.4f}; the program running in both"),
        Figure(f"{label}: extension's Shell CPU, pointer {RATE}/s away, {motion_seconds:.0f} s", "% core",
               moving_cost, "n/a", noise, f"{verdict}: the target is the run-to-run noise; with {means[True]:.4f}, "
               f"without {means[False]:.4f} (2 runs each), most of it llvmpipe drawing the pointer"),
        Figure(f"{label}: open latency p95, push -> first grown paint, {pushes} pushes", "ms",
               p95(run[4] for run in runs), "n/a", TARGET_OPEN_MS,
               "pressure-barrier trigger to the end of the stage's first paint with the list grown, llvmpipe; "
               f"p95 of the paint alone {p95(run[3] for run in runs):.2f} ms"),
        Figure(f"{label}: CPU idle, extension attached, {idle_seconds:.0f} s", "% core", program_attached, "n/a",
               TARGET_IDLE_PROGRAM, f"schedstat; on its own X11 fallback {program_alone:.4f}"),
    ]
