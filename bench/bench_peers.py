"""The two programs compared, each run with a fresh home of its own on a
tests/e2e/harness.py Session's Xvfb."""

import datetime
import glob
import json
import os
import signal
import subprocess
import tempfile

from bench_procs import descendants
from bench_session import wait_until

HISTORY_KEY = "tuckshelf.history.text"


def fresh_env(session, label):
    """The session's environment with a new, empty HOME, XDG_CONFIG_HOME and
    XDG_RUNTIME_DIR, so nothing carries over between runs or programs."""
    home = tempfile.mkdtemp(prefix=f"{label}-", dir=session.tmp)
    config = os.path.join(home, "config")
    runtime = os.path.join(home, "runtime")
    os.makedirs(config)
    os.makedirs(runtime, mode=0o700)
    env = dict(session.env)
    env.update(HOME=home, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime)
    return env


def stop_process(proc, timeout=5):
    if proc.poll() is not None:
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=timeout)


class Tuckshelf:
    """The program under test, from a copy of its binary (a new copy ends
    every other running copy of the same path)."""

    name = "tuckshelf"

    def __init__(self, session, binary):
        self.session, self.binary = session, binary
        self.env = fresh_env(session, "tuckshelf")
        self.store = os.path.join(self.env["XDG_CONFIG_HOME"], "tuckshelf", "defaults.json")
        self.proc = None

    def start(self):
        log = open(os.path.join(self.env["HOME"], "program.log"), "wb")
        self.proc = subprocess.Popen([self.binary], env=self.env, stdin=subprocess.DEVNULL,
                                     stdout=log, stderr=log)
        log.close()
        self.session.procs.append(self.proc)
        return self.proc

    def wait_ready(self, timeout=15):
        """Until the panel window is mapped."""
        def mapped():
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "tuckshelf"],
                               env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            return r.returncode == 0 and r.stdout.strip()
        wait_until(mapped, timeout, 0.02, "the tuckshelf panel")

    def panel(self):
        """The panel window as a dict of WINDOW, X, Y, WIDTH and HEIGHT, or
        None: the largest mapped window of the program's class, since the
        hover bands may carry that class too and are always smaller."""
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "tuckshelf",
                            "getwindowgeometry", "--shell", "%@"],
                           env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        windows, current = [], {}
        for line in r.stdout.decode().split():
            key, _, value = line.partition("=")
            if key == "WINDOW":
                current = {}
                windows.append(current)
            if value.lstrip("-").isdigit():
                current[key] = int(value)
        windows = [w for w in windows if {"WINDOW", "WIDTH", "HEIGHT"} <= w.keys()]
        return max(windows, key=lambda w: w["WIDTH"] * w["HEIGHT"], default=None)

    def pids(self):
        return [self.proc.pid]

    def main_pid(self):
        return self.proc.pid

    def stored(self):
        """The texts of the history as stored, or None before the first write."""
        try:
            with open(self.store, encoding="utf-8") as f:
                return json.load(f).get(HISTORY_KEY)
        except (OSError, ValueError):
            return None

    def stop(self):
        if self.proc:
            stop_process(self.proc)


class CopyQ:
    """CopyQ's server (and the clipboard monitor it starts), in a session of
    its own name under a fresh home."""

    name = "CopyQ"
    _count = 0

    def __init__(self, session, debug_log=False):
        CopyQ._count += 1
        self.session = session
        self.env = fresh_env(session, "copyq")
        self.session_name = f"bench{os.getpid()}n{CopyQ._count}"
        self.proc = None
        if debug_log:
            # The log stamps each new item to the millisecond, which a
            # client (tens of ms a call) cannot.
            self.env["COPYQ_LOG_LEVEL"] = "DEBUG"

    def start(self):
        log = open(os.path.join(self.env["HOME"], "copyq-server.log"), "wb")
        self.proc = subprocess.Popen(["copyq", f"--session={self.session_name}"], env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        log.close()
        self.session.procs.append(self.proc)
        return self.proc

    def client(self, *args, timeout=20):
        """Runs a CopyQ client command; its output, or None when it fails."""
        r = subprocess.run(["copyq", f"--session={self.session_name}", *map(str, args)],
                           env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=timeout)
        return r.stdout.decode("utf-8", "replace") if r.returncode == 0 else None

    def wait_ready(self, timeout=20):
        """Until the server answers and monitors the clipboard."""
        wait_until(lambda: self.client("count") is not None, timeout, 0.05, "the CopyQ server")
        if (self.client("config", "check_clipboard") or "").strip() != "true":
            self.client("config", "check_clipboard", "true")
        self.client("enable")  # clipboard storing on, whatever the default
        wait_until(lambda: len(self.pids()) > 1, timeout, 0.05, "CopyQ's clipboard monitor")

    def first_added(self):
        """Wall-clock time at which the debug log says the first item was
        added, or None."""
        for path in glob.glob(os.path.join(self.env["HOME"], ".local", "share", "copyq*", "**", "copyq.log"),
                              recursive=True):
            with open(path, encoding="utf-8", errors="replace") as f:
                for line in f:
                    if "New item: Adding" in line:
                        stamp = line.split("[", 1)[1].split("]", 1)[0]
                        return datetime.datetime.strptime(stamp, "%Y-%m-%d %H:%M:%S.%f").timestamp()
        return None

    def count(self):
        out = self.client("count")
        return int(out) if out and out.strip().isdigit() else None

    def pids(self):
        return descendants(self.proc.pid) if self.proc and self.proc.poll() is None else []

    def main_pid(self):
        return self.proc.pid

    def stop(self):
        if not self.proc:
            return
        children = [p for p in self.pids() if p != self.proc.pid]
        if self.proc.poll() is None:
            try:
                self.client("exit", timeout=10)
            except subprocess.TimeoutExpired:
                pass
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        stop_process(self.proc)
        for pid in children:  # the monitor, should it outlive its server
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if b"copyq" in f.read():
                        os.kill(pid, signal.SIGTERM)
            except (OSError, ProcessLookupError):
                pass
