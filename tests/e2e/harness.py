"""Runs the real program on a private Xvfb and drives it like a user.

Every wait has a deadline; every process started here is stopped when the
session ends, whatever happened in between.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BINARY = None  # set by main() from --binary


def wait_until(condition, timeout=10.0, interval=0.05, what="condition"):
    """Polls `condition` until it returns a truthy value or time runs out."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.1f}s waiting for {what}")
        time.sleep(interval)




class Screenshot:
    """A picture of the whole screen as raw RGB bytes."""

    def __init__(self, path, width, height, rgb):
        self.path, self.width, self.height, self.rgb = path, width, height, rgb

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def count(self, predicate, box):
        x0, y0, x1, y1 = box
        return sum(1 for y in range(y0, y1) for x in range(x0, x1) if predicate(self.pixel(x, y)))


def is_teal(p):
    return abs(p[0] - 45) < 30 and abs(p[1] - 212) < 30 and abs(p[2] - 191) < 30


def is_grey_background(p):
    return p == (190, 190, 190)


class Session:
    """One Xvfb, one configuration folder, and the program under test."""

    def __init__(self, width=1920, height=1080, monitors=None):
        self.procs = []
        self.program = None
        self.tmp = tempfile.mkdtemp(prefix="tuckshelf-e2e-")
        self.config_home = os.path.join(self.tmp, "config")
        os.makedirs(self.config_home)
        self.width, self.height = width, height
        self.env = dict(os.environ)
        self.env.update(XDG_CONFIG_HOME=self.config_home, QT_QPA_PLATFORM="xcb", HOME=self.tmp)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("DISPLAY", None)
        # Xvfb picks a free display number itself and reports it once it
        # accepts clients, so parallel sessions never share a server.
        read_end, write_end = os.pipe()
        self.xvfb = self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
                                pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as reported:
            number = reported.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"
        self.env["DISPLAY"] = self.display
        self._run(["xsetroot", "-solid", "grey"])
        if monitors:
            for args in monitors:
                self._run(["xrandr", "--setmonitor", *args])

    # -- processes -------------------------------------------------------
    def _spawn(self, argv, **kw):
        p = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL,
                             stdout=kw.pop("stdout", subprocess.DEVNULL),
                             stderr=kw.pop("stderr", subprocess.DEVNULL), **kw)
        self.procs.append(p)
        return p

    def _run(self, argv, check=True, timeout=20, input=None):
        return subprocess.run(argv, env=self.env, check=check, timeout=timeout, input=input,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def start_program(self, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        with open(os.path.join(self.tmp, f"program-{len(self.procs)}.log"), "wb") as log:
            p = subprocess.Popen([BINARY], env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        self.procs.append(p)
        self.program = p
        return p

    def wait_resting(self, timeout=15):
        """Waits until the program's window is mapped."""
        def mapped():
            r = self._run(["xdotool", "search", "--classname", "tuckshelf"], check=False)
            return r.returncode == 0 and r.stdout.strip()
        return wait_until(mapped, timeout, what="the panel window")

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    p.send_signal(signal.SIGCONT)
                    p.terminate()
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait(timeout=5)
        shutil.rmtree(self.tmp, ignore_errors=True)

    # -- clipboard -------------------------------------------------------
    def copy_text(self, text):
        """Puts `text` on the CLIPBOARD through xclip, which keeps serving it."""
        p = subprocess.Popen(["xclip", "-selection", "clipboard", "-i"], env=self.env,
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.procs.append(p)
        p.stdin.write(text.encode("utf-8") if isinstance(text, str) else text)
        p.stdin.close()
        return p

    def copy_file(self, path, mime):
        p = self._spawn(["xclip", "-selection", "clipboard", "-t", mime, "-i", path])
        return p

    def clipboard_text(self):
        r = self._run(["xclip", "-selection", "clipboard", "-o"], check=False, timeout=10)
        return r.stdout.decode("utf-8", "replace") if r.returncode == 0 else None

    def clipboard_targets(self):
        r = self._run(["xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"], check=False)
        return r.stdout.decode().split() if r.returncode == 0 else []

    # -- input -----------------------------------------------------------
    def xdotool(self, *args):
        self._run(["xdotool", *map(str, args)])

    def move_pointer(self, x, y):
        self.xdotool("mousemove", x, y)

    # -- output ----------------------------------------------------------
    def screenshot(self, name="shot"):
        path = os.path.join(self.tmp, f"{name}.png")
        self._run(["import", "-window", "root", path])
        rgb = self._run(["convert", path, "-depth", "8", "rgb:-"]).stdout
        return Screenshot(path, self.width, self.height, rgb)

    def stored_history(self):
        path = os.path.join(self.config_home, "tuckshelf", "defaults.json")
        try:
            with open(path, encoding="utf-8") as f:
                return json.load(f).get("tuckshelf.history.text")
        except (OSError, ValueError):
            return None

    def store_path(self):
        return os.path.join(self.config_home, "tuckshelf", "defaults.json")


class SessionTest(unittest.TestCase):
    """A test case with a fresh Session in self.s."""

    session_args = {}

    def setUp(self):
        self.s = Session(**self.session_args)
        self.addCleanup(self.s.close)


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    args, rest = parser.parse_known_args()
    BINARY = os.path.abspath(args.binary)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
