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


def is_black(p):
    return p == (0, 0, 0)


def black_panel_box(shot, mid_x, top=0, reach=400):
    """The bounding box (x0, y0, x1, y1) of a black panel hanging from row
    `top` across column mid_x, or None. Its height is read 10 px in from the
    left edge: inside the rounded corner, clear of the rows' text."""
    xs = [x for x in range(max(0, mid_x - reach), min(shot.width, mid_x + reach))
          if is_black(shot.pixel(x, top + 2))]
    if not xs or not min(xs) <= mid_x < max(xs) + 1:
        return None
    x0, x1 = min(xs), max(xs) + 1
    y = top
    while y < shot.height and is_black(shot.pixel(x0 + 10, y)):
        y += 1
    return (x0, top, x1, y)


def write_png(path, width, height, rgb=(200, 40, 40)):
    """Writes a plain RGB PNG of one colour, for copying an image."""
    import struct
    import zlib

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))
    rows = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))
    with open(path, "wb") as f:
        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
    return path


def is_sanitizer_build(binary):
    """Whether `binary` was built with AddressSanitizer (it then calls
    __asan_init, whether libasan is linked statically or not)."""
    with open(binary, "rb") as f:
        return b"__asan_init" in f.read()


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
        p = subprocess.Popen(argv, env=self.env, stdin=kw.pop("stdin", subprocess.DEVNULL),
                             stdout=kw.pop("stdout", subprocess.DEVNULL),
                             stderr=kw.pop("stderr", subprocess.DEVNULL), **kw)
        self.procs.append(p)
        return p

    def _run(self, argv, check=True, timeout=20, input=None):
        return subprocess.run(argv, env=self.env, check=check, timeout=timeout, input=input,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def start_program(self, extra_env=None, binary=None, umask=-1):
        """Starts the program (BINARY unless `binary` is given); its output
        goes to self.program_log. `umask` applies to the program only."""
        env = dict(self.env)
        env.update(extra_env or {})
        self.program_log = os.path.join(self.tmp, f"program-{len(self.procs)}.log")
        with open(self.program_log, "wb") as log:
            p = subprocess.Popen([binary or BINARY], env=env, stdin=subprocess.DEVNULL,
                                 stdout=log, stderr=log, umask=umask)
        self.procs.append(p)
        self.program = p
        return p

    def kill_program(self):
        """Ends the program at once with SIGKILL, as a crash would."""
        if self.program and self.program.poll() is None:
            self.program.kill()
        if self.program:
            self.program.wait(timeout=10)

    def program_rss_kib(self):
        """The program's resident memory (VmRSS) in KiB."""
        with open(f"/proc/{self.program.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise AssertionError("no VmRSS for the program")

    def window_geometry(self):
        """(x, y, width, height) of the program's window, or None."""
        r = self._run(["xdotool", "search", "--classname", "tuckshelf", "getwindowgeometry",
                       "--shell"], check=False)
        if r.returncode != 0:
            return None
        fields = dict(line.split("=", 1) for line in r.stdout.decode().split() if "=" in line)
        try:
            return tuple(int(fields[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        except (KeyError, ValueError):
            return None

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
            for stream in (p.stdin, p.stdout, p.stderr):
                if stream:
                    try:
                        stream.close()
                    except OSError:  # a pipe whose reader is gone
                        pass
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

    def clipboard_bytes(self, target):
        """The clipboard's contents as `target` (a MIME type), or None."""
        r = self._run(["xclip", "-selection", "clipboard", "-o", "-t", target], check=False,
                      timeout=10)
        return r.stdout if r.returncode == 0 else None

    def clipboard_targets(self):
        r = self._run(["xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"], check=False)
        return r.stdout.decode().split() if r.returncode == 0 else []

    # -- input -----------------------------------------------------------
    def xdotool(self, *args):
        self._run(["xdotool", *map(str, args)])

    def move_pointer(self, x, y):
        self.xdotool("mousemove", x, y)

    def push_pointer(self, x, y):
        """Moves the pointer to (x, y) with real motion: a warp alone makes
        no raw motion event, so a one-pixel step back and forth follows it."""
        self.xdotool("mousemove", x, y)
        self.xdotool("mousemove_relative", "--", "1", "0")
        self.xdotool("mousemove_relative", "--", "-1", "0")

    # -- displays --------------------------------------------------------
    def xrandr(self, *args):
        return self._run(["xrandr", *map(str, args)]).stdout.decode()

    def monitors(self):
        """The names of the xrandr monitors, in order."""
        lines = self.xrandr("--listmonitors").splitlines()[1:]
        return [line.split()[1].lstrip("+*") for line in lines if line.split()]

    def set_monitors(self, monitors):
        """Replaces every xrandr monitor with `monitors`, a list of
        (name, "WxH+X+Y") pairs; the first one is the primary."""
        for name in self.monitors():
            self._run(["xrandr", "--delmonitor", name], check=False)
        for i, (name, geometry) in enumerate(monitors):
            size, x, y = geometry.replace("+", " ").split()
            w, h = size.split("x")
            # 0.2646 mm per pixel, as 1920 px / 508 mm in the platform notes.
            self.xrandr("--setmonitor", name, f"{w}/{round(int(w) * 0.2646)}x{h}/"
                        f"{round(int(h) * 0.2646)}+{x}+{y}", "screen" if i == 0 else "none")

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


# -- a fast clipboard owner -------------------------------------------------
# xclip costs a process per copy. ClipboardOwner runs this file as a helper
# process (see _owner_main) that owns CLIPBOARD from one X connection and
# changes it as often as asked, serving each text until the next change.

SNIPPETS = ["plain words", 'a "quoted" \\ back\\slash', "tab\there", "ünïcödé ✓ 日本語",
            "emoji 🎉 pair", "ctrl \x01 char", "{\"json\": [1, 2]}", "</script> & <b>",
            # Long enough (26 KB) that writing the store takes a moment.
            "long" + " lorem ipsum dolor" * 1500]


def storm_text(prefix, i, varied=False):
    """The i-th text of a storm: the prefix and number come first, so that
    storm_index() can tell which copy a stored text was."""
    return f"{prefix}{i}" + (f" {SNIPPETS[i % len(SNIPPETS)]}" if varied else "")


def storm_index(prefix, text):
    """The copy number of a storm text, or None for any other text."""
    if not isinstance(text, str) or not text.startswith(prefix):
        return None
    head = text[len(prefix):].split(" ", 1)[0]
    return int(head) if head.isdigit() else None


class ClipboardOwner:
    """Drives CLIPBOARD through the helper process; its replies are JSON lines."""

    def __init__(self, session):
        self.session = session
        self.proc = session._spawn([sys.executable, os.path.abspath(__file__), "--clipboard-owner"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=None)
        self._buffer = b""
        self._replies = []  # read but not yet asked for
        self._expect("ready", 10)

    def _send(self, **command):
        self.proc.stdin.write((json.dumps(command) + "\n").encode())
        self.proc.stdin.flush()

    def _expect(self, event, timeout):
        reply = self._next(event, timeout)
        if reply is None:
            raise AssertionError(f"the clipboard owner did not report {event!r} in {timeout}s")
        return reply

    def _next(self, event, timeout):
        """The next reply of kind `event`, or None after `timeout` seconds."""
        import select
        deadline = time.monotonic() + timeout
        while True:
            while b"\n" in self._buffer:
                line, self._buffer = self._buffer.split(b"\n", 1)
                self._replies.append(json.loads(line))
            for reply in self._replies:
                if reply.get("event") == event:
                    self._replies.remove(reply)
                    return reply
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.proc.stdout], [], [], max(0.0, left))
            if ready:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise AssertionError("the clipboard owner ended")
                self._buffer += chunk
            elif left <= 0:
                return None

    def set_text(self, text):
        """Puts `text` on CLIPBOARD; returns once the server has it."""
        self._send(cmd="text", text=text)
        self._expect("set", 10)

    def storm(self, prefix, count, rate, start=0, varied=False):
        """Starts copying storm_text(prefix, start .. start+count-1) at `rate`
        copies a second; returns at once (see wait_storm, pause)."""
        self._send(cmd="storm", prefix=prefix, start=start, count=count, rate=rate, varied=varied)
        # Copy start+k is made at time.monotonic() == storm_t0 + k / rate
        # (the clock is shared by all processes) unless the owner falls behind.
        self.storm_t0 = self._expect("storming", 10)["t0"]
        # An earlier storm's end, reported before this one began, is stale.
        self._replies = [r for r in self._replies if r.get("event") != "done"]

    def wait_storm(self, timeout):
        """Waits for the storm's end: {"last": index, "copies": n, "seconds": s}."""
        return self._expect("done", timeout)

    def storm_finished(self):
        """The storm's end report if it has ended, else None; never waits."""
        return self._next("done", 0)

    def last_copied(self):
        """The index of the storm copy on CLIPBOARD now (None before any)."""
        self._send(cmd="where")
        return self._expect("at", 10)["last"]

    def pause(self):
        """Stops a storm at once; the last text stays on CLIPBOARD.
        Returns the index of that text (None before any storm copy)."""
        self._send(cmd="pause")
        return self._expect("paused", 10)["last"]


def _owner_main():
    import ctypes
    import select
    from ctypes import Structure, Union, c_char_p, c_int, c_long, c_ulong, c_void_p

    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = c_void_p
    x11.XOpenDisplay.argtypes = [c_char_p]
    x11.XDefaultRootWindow.restype = c_ulong
    x11.XDefaultRootWindow.argtypes = [c_void_p]
    x11.XCreateSimpleWindow.restype = c_ulong
    x11.XCreateSimpleWindow.argtypes = [c_void_p, c_ulong, c_int, c_int, c_int, c_int, c_int,
                                        c_ulong, c_ulong]
    x11.XInternAtom.restype = c_ulong
    x11.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]
    x11.XSetSelectionOwner.argtypes = [c_void_p, c_ulong, c_ulong, c_ulong]
    x11.XGetSelectionOwner.restype = c_ulong
    x11.XGetSelectionOwner.argtypes = [c_void_p, c_ulong]
    x11.XChangeProperty.argtypes = [c_void_p, c_ulong, c_ulong, c_ulong, c_int, c_int, c_void_p,
                                    c_int]
    x11.XSendEvent.argtypes = [c_void_p, c_ulong, c_int, c_long, c_void_p]
    x11.XFlush.argtypes = [c_void_p]
    x11.XPending.argtypes = [c_void_p]
    x11.XNextEvent.argtypes = [c_void_p, c_void_p]
    x11.XConnectionNumber.argtypes = [c_void_p]

    class SelectionRequest(Structure):
        _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                    ("display", c_void_p), ("owner", c_ulong), ("requestor", c_ulong),
                    ("selection", c_ulong), ("target", c_ulong), ("property", c_ulong),
                    ("time", c_ulong)]

    class SelectionNotify(Structure):
        _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                    ("display", c_void_p), ("requestor", c_ulong), ("selection", c_ulong),
                    ("target", c_ulong), ("property", c_ulong), ("time", c_ulong)]

    class XEvent(Union):
        _fields_ = [("type", c_int), ("request", SelectionRequest), ("pad", c_long * 24)]

    # A requestor may destroy its window before the answer arrives (the
    # program drops a read when a newer change comes): ignore X errors.
    handler_type = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)
    ignore_errors = handler_type(lambda display, error: 0)
    x11.XSetErrorHandler(ignore_errors)

    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("clipboard owner: no display")
    window = x11.XCreateSimpleWindow(display, x11.XDefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)

    def atom(name):
        return x11.XInternAtom(display, name.encode(), 0)

    clipboard, targets_atom, utf8 = atom("CLIPBOARD"), atom("TARGETS"), atom("UTF8_STRING")
    text_atom = atom("TEXT")
    text_targets = {utf8, 31, atom("text/plain;charset=utf-8"), atom("text/plain"), text_atom}
    offered = (c_ulong * (len(text_targets) + 1))(targets_atom, *sorted(text_targets))
    state = {"text": b""}

    def answer(request):
        # The server sends requests to the owner of the moment only, so one
        # that comes is answered with the current text.
        prop = request.property or request.target  # an obsolete requestor names no property
        if request.selection != clipboard:
            prop = 0
        elif request.target == targets_atom:
            x11.XChangeProperty(display, request.requestor, prop, 4, 32, 0, offered, len(offered))
        elif request.target in text_targets:
            data = state["text"]
            kind = utf8 if request.target == text_atom else request.target
            x11.XChangeProperty(display, request.requestor, prop, kind, 8, 0, data, len(data))
        else:
            prop = 0
        notify = SelectionNotify(type=31, send_event=1, display=display,
                                 requestor=request.requestor, selection=request.selection,
                                 target=request.target, property=prop, time=request.time)
        x11.XSendEvent(display, request.requestor, 0, 0, ctypes.byref(notify))

    def pump():
        # XPending flushes the answers, then reads; it returns 0 only once
        # Xlib's queue is empty. (XFlush reads events into that queue too, so
        # no XFlush may come between this and select().)
        event = XEvent()
        while x11.XPending(display):
            x11.XNextEvent(display, ctypes.byref(event))
            if event.type == 30:      # SelectionRequest
                answer(event.request)

    def own(text):
        state["text"] = text.encode("utf-8", "surrogatepass")
        x11.XSetSelectionOwner(display, clipboard, window, 0)
        x11.XFlush(display)

    def report(**reply):
        os.write(1, (json.dumps(reply) + "\n").encode())

    storm = None
    last = None
    stdin_buffer = b""
    report(event="ready")
    while True:
        # Round trips and flushes queue events inside Xlib, where select()
        # cannot see them: empty the queue right before waiting.
        pump()
        timeout = None
        if storm:
            timeout = max(0.0, storm["t0"] + storm["n"] / storm["rate"] - time.monotonic())
        ready, _, _ = select.select([0, x11.XConnectionNumber(display)], [], [], timeout)
        pump()
        if 0 in ready:
            chunk = os.read(0, 65536)
            if not chunk:
                return
            stdin_buffer += chunk
            while b"\n" in stdin_buffer:
                line, stdin_buffer = stdin_buffer.split(b"\n", 1)
                command = json.loads(line)
                if command["cmd"] == "text":
                    storm = None
                    own(command["text"])
                    x11.XGetSelectionOwner(display, clipboard)  # a round trip
                    report(event="set")
                elif command["cmd"] == "storm":
                    storm = dict(command, n=0, t0=time.monotonic())
                    report(event="storming", t0=storm["t0"])
                elif command["cmd"] == "where":
                    report(event="at", last=last)
                elif command["cmd"] == "pause":
                    storm = None
                    x11.XGetSelectionOwner(display, clipboard)
                    report(event="paused", last=last)
        if storm and time.monotonic() >= storm["t0"] + storm["n"] / storm["rate"]:
            last = storm["start"] + storm["n"]
            own(storm_text(storm["prefix"], last, storm["varied"]))
            storm["n"] += 1
            if storm["n"] == storm["count"]:
                x11.XGetSelectionOwner(display, clipboard)
                report(event="done", last=last, copies=storm["n"],
                       seconds=time.monotonic() - storm["t0"])
                storm = None


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


if __name__ == "__main__" and sys.argv[1:] == ["--clipboard-owner"]:
    _owner_main()
