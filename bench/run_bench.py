#!/usr/bin/env python3
"""`make bench`: figures of the real program beside CopyQ's, then a table.

Each real-program figure runs on an Xvfb of its own, with a fresh home for
each program; the program runs from a copy of its binary, since a new copy
of Tuckshelf ends every other running copy of the same path. The in-process
benchmarks (bench_*) are run for the figures no outside observer can take.
How the pointer figures are taken is in bench_pointer.py, and printed
before them; the same figures of the native Wayland backend, on headless
sway, and its memory beside the X11 backend's, in bench_wayland.py; the
GNOME Shell extension's cost to the Shell and its open latency, and the
program's idle CPU under GNOME, in bench_gnome.py.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, HERE)

from bench_session import Session  # noqa: E402
from bench_figures import Figure, memory, open_list_real, rich_memory, say, startup  # noqa: E402
from bench_pointer import pointer_figures  # noqa: E402
from bench_wayland import e2e_tool, wayland_figures  # noqa: E402
from bench_gnome import gnome_figures  # noqa: E402

FIGURES = ("pointer", "wayland", "gnome", "memory", "open", "stall", "rich", "startup")
IMAGE_COUNT = 5


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return f"{os.cpu_count()} CPUs, {model}"


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def make_images(folder):
    """Five different 3840x2160 PNGs of about 4 MB: a small plasma fractal
    (one seed each) scaled up, which compresses to about that size. Made
    once and kept in `folder`."""
    os.makedirs(folder, exist_ok=True)
    paths = []
    for seed in range(1, IMAGE_COUNT + 1):
        path = os.path.join(folder, f"plasma-3840x2160-seed{seed}.png")
        if not os.path.exists(path):
            partial = path + ".part.png"
            subprocess.run(["convert", "-seed", str(seed), "-size", "240x135", "plasma:",
                            "-filter", "Triangle", "-resize", "3840x2160!", "-depth", "8",
                            "-define", "png:color-type=2", partial], check=True)
            os.replace(partial, path)
        paths.append(path)
    for p in paths:
        say(f"image {os.path.basename(p)}: {os.path.getsize(p) / 1e6:.2f} MB")
    return paths


def run_capture_stall(bench_dir, images):
    """bench_capture_stall on an Xvfb of its own."""
    session = Session()
    try:
        env = dict(session.env)
        env["XDG_RUNTIME_DIR"] = tempfile.mkdtemp(prefix="runtime-", dir=session.tmp)
        out = subprocess.run([os.path.join(bench_dir, "bench_capture_stall"), *images[:3]],
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=120).stdout.decode()
    finally:
        session.close()
    print(out, end="", flush=True)
    stall = re.search(r"longest event-loop stall while capturing .*: ([\d.]+) ms", out)
    if not stall:
        raise RuntimeError("bench_capture_stall gave no figure")
    return [Figure("event-loop stall, 4K image capture", "ms", float(stall.group(1)), target=50.0,
                   note="in-process, real X11Clipboard and delegate on Xvfb")]


def run_rich_capture(bench_dir):
    """bench_rich_capture on an Xvfb of its own."""
    session = Session()
    try:
        env = dict(session.env, XDG_RUNTIME_DIR=tempfile.mkdtemp(prefix="runtime-", dir=session.tmp))
        out = subprocess.run([os.path.join(bench_dir, "bench_rich_capture")], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, timeout=120).stdout.decode()
    finally:
        session.close()
    print(out, end="", flush=True)
    took = re.search(r"rich clip capture .*: ([\d.]+) ms median", out)
    if not took:
        raise RuntimeError("bench_rich_capture gave no figure")
    return [Figure("rich clip capture, 5 formats", "ms", float(took.group(1)), note="in-process, X11Clipboard on Xvfb")]


def run_open_list(bench_dir):
    out = subprocess.run([os.path.join(bench_dir, "bench_open_list")], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, timeout=300).stdout.decode()
    print(out, end="", flush=True)
    rows = []
    for label, pattern in (("open list, 5 short texts", r"five short texts: ([\d.]+) ms"),
                           ("open list, 5 x 1 MB texts", r"five 1 MB texts: ([\d.]+) ms")):
        m = re.search(pattern, out)
        if not m:
            raise RuntimeError("bench_open_list gave no figure")
        rows.append(Figure(label, "ms", float(m.group(1)), target=16.7,
                           note="in-process, real panel offscreen"))
    return rows


def pointer_mover(build):
    """bench_pointer_motion, built now should the build have been configured
    before its xcb-xtest package was installed."""
    path = os.path.join(build, "bench", "bench_pointer_motion")
    if not os.path.exists(path):
        subprocess.run(["cmake", "-S", os.path.join(HERE, ".."), "-B", build], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build, "--target", "bench_pointer_motion"], check=True)
    return path


def fmt(value):
    if isinstance(value, str):
        return value
    if value is None:
        return "-"
    if value == 0:
        return "0"
    return f"{value:.4f}" if abs(value) < 0.1 else f"{value:.3g}" if abs(value) < 10 else f"{value:.1f}"


def table(rows):
    head = ("figure", "tuckshelf", "CopyQ", "ratio", "target", "result")
    lines = []
    for r in rows:
        ratio = "-"
        if isinstance(r.peer, str):
            ratio = r.peer
        elif r.peer is not None and r.peer > 0:
            ratio = r.ours / r.peer
            ratio = f"{ratio:.2f}x" if ratio < 100 else f"{ratio:.0f}x"
        elif r.peer == 0 and r.ours > 0:
            ratio = "n/a (CopyQ 0)"
        target, result = "-", "-"
        if r.target is not None:
            target = f"<= {r.target:g}"
            result = "FAIL (void)" if r.void else "PASS" if r.ours <= r.target else "FAIL"
        lines.append((f"{r.label} ({r.unit})", fmt(r.ours), fmt(r.peer), ratio, target, result))
    widths = [max(len(x[i]) for x in [head, *lines]) for i in range(len(head))]
    out = [" | ".join(h.ljust(w) for h, w in zip(head, widths)),
           "-+-".join("-" * w for w in widths)]
    out += [" | ".join(c.ljust(w) for c, w in zip(line, widths)) for line in lines]
    notes = [f"  {r.label}: {r.note}" for r in rows if r.note]
    return "\n".join(out) + ("\nnotes (ratio is tuckshelf / CopyQ; lower is better):\n" + "\n".join(notes)
                             if notes else "")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"),
                        help="the build folder holding tuckshelf and bench/")
    parser.add_argument("--only", default=",".join(FIGURES),
                        help="comma-separated figures among " + ", ".join(FIGURES))
    parser.add_argument("--idle-seconds", type=float, default=60.0)
    parser.add_argument("--motion-seconds", type=float, default=20.0,
                        help="how long the pointer moves for each pointer figure")
    parser.add_argument("--entries", type=int, default=50,
                        help="how often the pointer enters the band (or pushes into the top edge, on GNOME) "
                             "for the open latency")
    args = parser.parse_args()
    wanted = args.only.split(",")
    build = os.path.abspath(args.build)
    bench_dir = os.path.join(build, "bench")

    started = time.monotonic()
    say(f"machine: {machine()}; load average at start: {load()}")
    say(f"CopyQ: {subprocess.run(['copyq', '--version'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode().splitlines()[0]}")
    work = tempfile.mkdtemp(prefix="tuckshelf-bench-")
    try:
        binary = os.path.join(work, "tuckshelf")
        shutil.copy2(os.path.join(build, "tuckshelf"), binary)
        images = make_images(os.path.join(build, "bench-data")) if {"memory", "stall"} & set(wanted) else []

        rows = []
        steps = {
            "pointer": lambda: pointer_figures(binary, pointer_mover(build), e2e_tool(build, "clip_owner"),
                                               args.idle_seconds, args.motion_seconds, args.entries),
            "wayland": lambda: wayland_figures(binary, build, args.idle_seconds, args.motion_seconds,
                                               args.entries),
            "gnome": lambda: gnome_figures(binary, build, args.idle_seconds, args.motion_seconds, args.entries),
            "memory": lambda: memory(binary, images),
            "open": lambda: run_open_list(bench_dir) + open_list_real(binary),
            "stall": lambda: run_capture_stall(bench_dir, images),
            "rich": lambda: run_rich_capture(bench_dir) + rich_memory(binary, e2e_tool(build, "clip_owner")),
            "startup": lambda: startup(binary),
        }
        for name in FIGURES:
            if name in wanted:
                say(f"== {name}")
                rows += steps[name]()
    finally:
        shutil.rmtree(work, ignore_errors=True)

    say(f"\nload average at the end: {load()}; the whole run took {time.monotonic() - started:.0f} s")
    say(table(rows))


if __name__ == "__main__":
    main()
