"""The Wayland figures: the program on headless sway and on KWin nested on
Xvfb (tests/e2e/harness.py's drivers, 1920 x 1080), where it picks its
native backend itself, with a fresh home and runtime folder, one compositor
after the other. Its history is five texts copied with the tests' Wayland
owner tool. CPU is taken as for X11 (schedstat of all its threads,
bench_pointer.py); CopyQ is not run under them: n/a.

- idle: the pointer still at AWAY (a quarter across, three quarters down).
- pointer moving away from the top centre: the virtual pointer tool's rate
  mode sends relative motion at 1000 Hz, to and fro between AWAY and
  (+14, +14) px, over the bare desktop; and the same inside the open list
  of five, from 88 px below the top centre, after the list has opened.
- memory: VmRSS with the five texts stored, beside the X11 backend's with
  the same five texts, taken the same way on an Xvfb in the same run.
- open latency: the same program, restarted on the same history with
  WAYLAND_DEBUG=1, logs each protocol message it sends or dispatches with a
  microsecond stamp of its own (CLOCK_REALTIME, 32 bits) to a file. Per
  entry the bench warps the pointer into the top row at the centre (over
  sway's IPC socket, or KWin's fake input), stamping the time, and reads from the log: the
  wl_pointer.enter on the band surface, then the first wl_surface.commit
  carrying a buffer on another of the program's layer surfaces whose
  damage reaches below that surface's resting height (its first set_size):
  the first frame of the opening panel. The figure is enter -> that commit:
  the program's own work, from its GUI thread dispatching the enter to
  handing the frame to the compositor. It leaves out the hop from Qt's
  reader thread to the GUI thread before the dispatch, the compositor
  putting the frame on screen, and the cost of the logging itself (tens of
  lines a frame, in the figure). The warp -> commit time, which adds sway's
  IPC command handling and the socket, is printed as a bound. Nothing polls
  the compositor; the log is the program's own. Between entries the pointer
  goes back to AWAY and the bench waits until the panel has sent no frame
  for 0.3 s. The CPU runs go without WAYLAND_DEBUG.
"""

import json
import math
import os
import re
import socket
import statistics
import struct
import subprocess
import time

from harness import KWin, Sway
from bench_session import Session, wait_until
from bench_figures import Figure, copy_latency_figure, say
from bench_peers import Tuckshelf
from bench_pointer import RATE, TEXTS, away, cpu_over
from bench_procs import rss_kib

FIVE_TEXTS = (*TEXTS, "ssh deploy@build-3.example.net", "Tuesday: dentist 8:15, bring the forms")
SWING = 14          # px on each axis, of the pointer's to and fro
QUIET_S = 0.3       # no panel frame for this long: the panel has settled
IN_LIST_Y = 88      # px from the top: inside the open list of five texts, below the band
ENTRY_TIMEOUT_S = 5.0
WRAP_US = 1 << 32   # the log's stamps are microseconds in 32 bits
DAY_US = 86400 * 10**6


class SwaySession(Sway):
    """Headless sway with the virtual pointer holding the seat's pointer;
    the pointer warped over sway's IPC socket, without a swaymsg process."""

    def __init__(self, build, width=1920, height=1080):
        super().__init__(e2e_tool(build, "wl_clip_owner"), e2e_tool(build, "virtual_pointer"))
        self.ipc = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.ipc.settimeout(10)
        start_session(self, width, height, then=lambda: self.ipc.connect(self.env["SWAYSOCK"]))

    def warp(self, x, y):
        """Moves the pointer; the moment the command went out, in the log's
        microseconds."""
        payload = f"seat seat0 cursor set {x} {y}".encode()
        sent = time.time_ns() // 1000 % WRAP_US
        self.ipc.sendall(b"i3-ipc" + struct.pack("=II", len(payload), 0) + payload)
        length, _ = struct.unpack("=II", self._read(14)[6:])
        if not all(r.get("success") for r in json.loads(self._read(length))):
            raise RuntimeError(f"sway refused to move the pointer to ({x}, {y})")
        return sent

    def _read(self, size):
        data = b""
        while len(data) < size:
            chunk = self.ipc.recv(size - len(data))
            if not chunk:
                raise RuntimeError("sway closed its IPC socket")
            data += chunk
        return data

    def copy_text(self, text):
        return self.copy(text.encode())

    def swing(self, seconds):
        """The virtual pointer tool's rate mode where the pointer is; its report."""
        argv = [self.pointer_tool, "--rate", RATE, "--seconds", seconds, "--dx", SWING, "--dy", SWING]
        return subprocess.run([str(a) for a in argv], env=self.env, capture_output=True,
                              timeout=seconds + 30).stdout.decode()

    def close(self):
        self.ipc.close()
        self.stop()


class KWinSession(KWin):
    """KWin nested on Xvfb (the tests' KWin driver), the pointer moved by
    the virtual pointer tool through KWin's fake input."""

    def __init__(self, build, width=1920, height=1080):
        super().__init__(e2e_tool(build, "wl_clip_owner"), e2e_tool(build, "virtual_pointer"), e2e_tool(build, "backdrop"))
        start_session(self, width, height)

    def warp(self, x, y):
        sent = time.time_ns() // 1000 % WRAP_US
        self.move(x, y)
        return sent

    def copy_text(self, text):
        return self.copy(text.encode())

    swing = SwaySession.swing

    def close(self):
        self.stop()


class WaylandTuckshelf(Tuckshelf):
    """The program on a SwaySession, where it has no X window to look for."""

    def wait_ready(self, timeout=15):
        """Until sway has the program's layer surfaces."""
        wait_until(self.session.shown, timeout, 0.05, "the program's layer surfaces")

    def restart(self, **env):
        """Stopped, and started again on the same home with `env` added."""
        self.stop()
        before = self.session.surfaces()
        self.env.update(env)
        self.start()
        wait_until(lambda: self.session.shown(before), 15, 0.05, "the program's new layer surfaces")


def start_session(session, width, height, then=lambda: None):
    """Starts the display server of `session` (a tests' driver with a close
    method) at `width` x `height`, then `then`; on any failure closes it
    and raises."""
    session.tmp, session.width, session.height = session.base, width, height
    try:
        session.start(width, height)
        then()
    except BaseException:
        session.close()
        raise


def e2e_tool(build, name):
    path = os.path.join(build, "tests", "e2e", name)
    if not os.path.exists(path):
        subprocess.run(["cmake", "--build", build, "--target", name], check=True)
    return path


def copy_five(session, program):
    for i, text in enumerate(FIVE_TEXTS):
        session.copy_text(text)
        wait_until(lambda: (program.stored() or [None])[0] == text, 10, 0.01, f"{program.name} to store text {i}")
    time.sleep(1.0)  # lets it settle after the last capture, as the X11 memory figures do
    return rss_kib(program.main_pid()) / 1024


class ProtocolLog:
    """The program's WAYLAND_DEBUG log, read as it grows, as (stamp, kind,
    surface, grown) events: "enter" and "leave" of the pointer, and "frame"
    for a commit carrying a buffer on a layer surface, grown when its damage
    reaches below the surface's resting height."""

    # libwayland before 1.23 stamps "[milliseconds.micro]" and names objects
    # wl_surface@32; from 1.23 on "[hh:mm:ss.micro] {queue}" and wl_surface#32.
    LINE = re.compile(r"\[\s*(?:(\d+):(\d+):)?(\d+)\.(\d+)\]\s+(?:\{[^}]*\}\s+)?(?:->\s+)?(\w+)[@#](\d+)\.(\w+)"
                      r"\((.*)\)$")

    def __init__(self, path):
        self.file, self.partial = open(path, errors="replace"), ""
        self.layers, self.rest, self.pending = {}, {}, {}

    def events(self):
        lines = (self.partial + self.file.read()).split("\n")
        self.partial, found = lines.pop(), []
        for line in lines:
            if m := self.LINE.match(line):
                stamp, interface, oid, message, args = self._stamp(m), m[5], int(m[6]), m[7], m[8]
                if event := self._take(interface, oid, message, args):
                    found.append((stamp, *event))
        return found

    @staticmethod
    def _stamp(m):
        """The line's time in the warps' terms: CLOCK_REALTIME microseconds
        in 32 bits. A time of day is taken as today's, in UTC like the
        machines here, or yesterday's just after midnight."""
        if not m[1]:
            return int(m[3]) * 1000 + int(m[4])
        now = time.time_ns() // 1000
        midnight = now - now % DAY_US
        stamp = midnight + ((int(m[1]) * 60 + int(m[2])) * 60 + int(m[3])) * 10**6 + int(m[4])
        return (stamp - DAY_US * (stamp > now + 3600 * 10**6)) % WRAP_US

    def _take(self, interface, oid, message, args):
        numbers = [int(n) for n in re.findall(r"-?\d+", args)]
        if interface == "wl_pointer" and message in ("enter", "leave"):
            return message, int(re.search(r"wl_surface[@#](\d+)", args)[1]), False
        if message == "get_layer_surface":
            layer, surface = re.search(r"zwlr_layer_surface_v1[@#](\d+), wl_surface[@#](\d+)", args).groups()
            self.layers[int(layer)] = int(surface)
            self.rest.pop(int(surface), None)
        elif interface == "zwlr_layer_surface_v1" and message == "set_size" and oid in self.layers:
            self.rest.setdefault(self.layers[oid], numbers[1])
        elif interface == "wl_surface" and message == "attach" and not args.startswith("nil"):
            self.pending.setdefault(oid, [0])[0] = 1
        elif interface == "wl_surface" and message in ("damage", "damage_buffer"):
            pending = self.pending.setdefault(oid, [0])
            pending.append(numbers[1] + numbers[3])
        elif interface == "wl_surface" and message == "commit":
            attached, *bottoms = self.pending.pop(oid, [0])
            if attached and oid in self.rest:
                return "frame", oid, max(bottoms, default=0) > self.rest[oid]
        return None

    def close(self):
        self.file.close()


def since(later, earlier):
    return (later - earlier) % WRAP_US / 1000


def p95(values):
    values = sorted(values)
    return values[math.ceil(0.95 * len(values)) - 1]


def settle(log):
    """Until the program has logged no pointer event or panel frame for QUIET_S."""
    last = time.monotonic()
    deadline = last + ENTRY_TIMEOUT_S
    while time.monotonic() - last < QUIET_S:
        if log.events():
            last = time.monotonic()
        if time.monotonic() > deadline:
            raise RuntimeError("the panel never settled after the pointer left")
        time.sleep(0.01)


def next_opening(log):
    """The stamps of the next pointer enter and of the first grown frame on
    another layer surface than the one entered."""
    band = entered = None
    deadline = time.monotonic() + ENTRY_TIMEOUT_S
    while time.monotonic() < deadline:
        for stamp, kind, surface, grown in log.events():
            if kind == "enter" and band is None:
                band, entered = surface, stamp
            elif grown and band is not None and surface != band:
                return entered, stamp
        time.sleep(0.01)
    raise RuntimeError("the panel did not open after the pointer entered the band")


def open_latencies(session, log, entries):
    """(warp -> enter, enter -> grown frame, warp -> grown frame) in ms, per entry."""
    runs = []
    for _ in range(entries):
        session.warp(*away(session))
        settle(log)
        warped = session.warp(session.width // 2, 0)
        entered, drawn = next_opening(log)
        runs.append((since(entered, warped), since(drawn, entered), since(drawn, warped)))
    session.warp(*away(session))
    return runs


def x11_memory(binary):
    session = Session()
    try:
        program = Tuckshelf(session, binary)
        program.start()
        program.wait_ready()
        mib = copy_five(session, program)
        program.stop()
        return mib
    finally:
        session.close()


def wayland_figures(binary, build, idle_seconds=60.0, motion_seconds=20.0, entries=50):
    say(__doc__.strip())
    figures = []
    for name, make in (("sway", SwaySession), ("KWin", KWinSession)):
        figures += compositor_figures(name, make(build), binary, idle_seconds, motion_seconds, entries)
    return figures


def compositor_figures(name, session, binary, idle_seconds, motion_seconds, entries):
    """The figures of one compositor's `session`, which this closes."""
    label = f"Wayland ({name})"
    try:
        program = WaylandTuckshelf(session, binary)
        program.start()
        program.wait_ready()
        wayland_mib = copy_five(session, program)
        say(f"resident memory with five texts, {label}: {wayland_mib:.1f} MiB")

        session.warp(*away(session))
        time.sleep(3)  # past the launch's and the copies' own work
        shares, sleeps, wall = cpu_over((program,), idle_seconds)
        stat, idle = shares[program]
        idle_sleeps = sleeps[program] / wall
        say(f"CPU idle over {wall:.0f} s, {label}: {idle:.4f} % of a core (schedstat), {stat:.4f} % "
            f"(utime+stime), {idle_sleeps:.1f} sleeps/s")

        out = []
        shares, sleeps, wall = cpu_over((program,), action=lambda: out.append(session.swing(motion_seconds)))
        stat, moving = shares[program]
        rate, gap = (re.search(rf"{key} ([\d.]+)", out[0]) for key in ("rate", "longest_gap_ms"))
        if not rate:
            raise RuntimeError(f"the virtual pointer tool gave no rate: {out[0]!r}")
        say(f"  pointer mover: {float(rate[1]):.0f} moves/s for {motion_seconds:.0f} s at {away(session)}, "
            f"to and fro by ({SWING}, {SWING}) px; longest gap {gap[1]} ms")
        say(f"CPU, pointer moving away from the top centre, {label}: {moving:.4f} % of a core (schedstat), "
            f"{stat:.3f} % (utime+stime), {sleeps[program] / wall:.0f} sleeps/s")

        # Into the band, then down inside the open list of five, below the band.
        session.warp(session.width // 2, 0)
        time.sleep(1)
        session.warp(session.width // 2, IN_LIST_Y)
        time.sleep(1)
        shares, sleeps, wall = cpu_over((program,), action=lambda: session.swing(motion_seconds))
        stat, in_list = shares[program]
        say(f"CPU, pointer moving in the open list, {label}: {in_list:.4f} % of a core (schedstat), "
            f"{stat:.3f} % (utime+stime), {sleeps[program] / wall:.0f} sleeps/s")
        session.warp(*away(session))
        # After the figures above, as on X11: its copies change the list the pointer swings in.
        latency = copy_latency_figure(f"{label}: ", program)

        program.restart(WAYLAND_DEBUG="1")
        log = ProtocolLog(os.path.join(program.env["HOME"], "program.log"))
        try:
            runs = open_latencies(session, log, entries)
        finally:
            log.close()
        program.stop()
    finally:
        session.close()
    for i, step in enumerate(("warp -> enter", "enter -> first grown frame", "warp -> first grown frame")):
        values = [run[i] for run in runs]
        say(f"open latency, {step}, {label}: median {statistics.median(values):.2f} ms, p95 {p95(values):.2f} ms, "
            f"max {max(values):.2f} ms ({len(values)} entries)")

    x11_mib = x11_memory(binary)
    say(f"resident memory with five texts, X11: {x11_mib:.1f} MiB; {label} - X11: {wayland_mib - x11_mib:+.1f} MiB")
    return [
        latency,
        Figure(f"{label}: CPU idle, pointer still, {idle_seconds:.0f} s", "% core", idle, "n/a", 0.01,
               f"schedstat, headless {name}"),
        Figure(f"{label}: wake-ups idle, pointer still, {idle_seconds:.0f} s", "/s", idle_sleeps, "n/a", 0,
               "voluntary context switches of all threads"),
        Figure(f"{label}: CPU, pointer {RATE}/s away from top centre, {motion_seconds:.0f} s", "% core", moving,
               "n/a", 0.3, f"schedstat; virtual-pointer relative motion to and fro by ({SWING}, {SWING}) px at "
               f"{away(session)}, over the bare desktop"),
        Figure(f"{label}: CPU, pointer {RATE}/s in the open list, {motion_seconds:.0f} s", "% core", in_list,
               "n/a", 3.0, f"schedstat; to and fro by ({SWING}, {SWING}) px from ({session.width // 2}, {IN_LIST_Y}), "
               "inside the open list of five, below the band"),
        Figure(f"{label}: open latency p95, enter -> first grown frame, {entries} entries", "ms",
               p95(run[1] for run in runs), "n/a", 20.0,
               f"WAYLAND_DEBUG stamps: wl_pointer.enter on the band to the panel's first commit with a buffer "
               f"damaged below its resting height; warp -> that commit p95 {p95(run[2] for run in runs):.2f} ms"),
        Figure(f"{label}: memory with 5 texts", "MiB", wayland_mib, "n/a", note=f"X11 backend, same texts: "
               f"{x11_mib:.1f} MiB"),
        Figure(f"{label}: memory with 5 texts, minus X11's", "MiB", wayland_mib - x11_mib, "n/a", 5.0,
               f"{label} {wayland_mib:.1f} MiB - X11 {x11_mib:.1f} MiB"),
    ]
