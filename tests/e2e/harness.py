"""Runs the real program on a display server of its own and drives it like a
user: the display server's driver, and the test case each scenario runs in.

Every wait has a deadline; every process started here is stopped when the
scenario ends, whatever happened in between.
"""

import argparse, contextlib, json, os, pathlib, re, shutil, signal, subprocess, sys, tempfile, threading, time, unittest
from types import SimpleNamespace

# A 1920 x 1080 display whose desktop reserves nothing at the top: its
# centre line, and the top gap the panel keeps below the screen's edge.
MID, GAP = 960, 24
BLACK, GREY = (0, 0, 0), (190, 190, 190)
ARGS = None  # the command line, from main()
SUPPRESSIONS = pathlib.Path(__file__).resolve().parents[1] / "support" / "lsan.supp"
LEAK_CHECK = dict(ASAN_OPTIONS="detect_leaks=1", UBSAN_OPTIONS="print_stacktrace=1",
                  LSAN_OPTIONS=f"suppressions={SUPPRESSIONS}:exitcode=23")


def wait_until(condition, what, timeout=30.0, then=lambda: ""):
    """Polls `condition` until it returns a truthy value, and returns that;
    past the deadline, fails with what it waited for and then()."""
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f}s waiting for {what}{then()}")
        time.sleep(0.05)
    return value


def px(shot, x, y):
    return tuple(shot.rgb[(y * shot.w + x) * 3:(y * shot.w + x + 1) * 3])


def black_to(shot, x, y, dx, dy):
    """The first point from (x, y) on in steps of (dx, dy) that is not black."""
    while 0 <= x < shot.w and 0 <= y < shot.h and px(shot, x, y) == BLACK:
        x, y = x + dx, y + dy
    return x, y


class Driver:
    """What the scenarios need of a desktop. A driver starts a display server
    (start), lays out its monitors (outputs), puts things on the clipboard
    (copy; copier: many copies fast, secrets, an owner that hangs) and reads
    it (clipboard), moves the pointer (move: a warp, push: real motion),
    clicks and types (click, key), shows another program's window (probe),
    tells whether the program's window is up (shown) and pictures the screen
    (screenshot). X11 is below; a Wayland one (headless sway, wl-copy and
    wl-paste, grim, a virtual pointer) implements the same methods."""

    def __init__(self, owner_tool):
        self.owner_tool, self.procs = owner_tool, []
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}

    def spawn(self, argv, env=None, **kw):
        kw = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) | kw
        self.procs.append(subprocess.Popen([str(a) for a in argv], env=env or self.env, **kw))
        return self.procs[-1]

    def run(self, *argv):
        return subprocess.run([str(a) for a in argv], env=self.env, capture_output=True, timeout=60)

    def stop(self):
        for p in reversed(self.procs):  # the display server last
            p.send_signal(signal.SIGCONT)  # a stopped process cannot act on SIGTERM
            p.terminate()
            with contextlib.suppress(subprocess.TimeoutExpired):
                p.wait(5)
            p.kill()  # nothing once it has ended
            p.wait()


class X11(Driver):
    """Xvfb on a free display; xclip and the owner tool for the clipboard,
    xdotool for pointer and keys, ImageMagick's import for pictures."""

    def start(self, width, height):
        self.size = width, height
        # Xvfb picks a free display itself and names it once it takes clients.
        read_end, write_end = os.pipe()
        self.spawn(["Xvfb", "-displayfd", write_end, "-screen", "0", f"{width}x{height}x24",
                    "-nolisten", "tcp", "-noreset"], pass_fds=[write_end])
        os.close(write_end)
        with open(read_end) as reported:
            self.env.update(DISPLAY=":" + reported.readline().strip(), QT_QPA_PLATFORM="xcb")
        if self.env["DISPLAY"] == ":":
            raise RuntimeError("Xvfb did not start")
        self.run("xsetroot", "-solid", "grey")  # the bare root is black, like the open list

    def outputs(self, *rects):
        """Monitors at (x, y, width, height), the first the primary; none
        leaves one as large as the screen."""
        for line in self.run("xrandr", "--listmonitors").stdout.decode().splitlines()[1:]:
            self.run("xrandr", "--delmonitor", line.split()[1].lstrip("+*"))
        for i, (x, y, w, h) in enumerate(rects):  # at 96 dpi
            size = f"{w}/{round(w * 0.2646)}x{h}/{round(h * 0.2646)}+{x}+{y}"
            self.run("xrandr", "--setmonitor", f"M{i}", size, "none" if i else "screen")

    def copy(self, data, target=None):
        """xclip serving `data` (as text unless `target` says otherwise)
        until another program takes the clipboard."""
        xclip = self.spawn(["xclip", "-quiet", "-selection", "clipboard", *["-t", target] * bool(target)],
                           stdin=subprocess.PIPE)
        with xclip.stdin:
            xclip.stdin.write(data)
        return xclip

    def copier(self):
        """A function that puts a text, with a password manager's hint if
        given, on the clipboard, and returns once the server made the change;
        with stop, the owner never answers anyone after that; with save, it
        asks the clipboard manager to keep the text and quits."""
        tool = self.spawn([self.owner_tool], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=None)

        def copy(text, hint=None, stop=False, save=False):
            tool.stdin.write(json.dumps([text, hint, stop, save]).encode() + b"\n")
            tool.stdin.flush()
            if tool.stdout.readline() != b"owned\n":
                raise AssertionError("the owner tool could not take the clipboard")
        return copy

    def clipboard(self, target="UTF8_STRING"):
        return self.run("xclip", "-selection", "clipboard", "-o", "-t", target).stdout

    def move(self, x, y): self.run("xdotool", "mousemove", x, y)
    def push(self, dx, dy): self.run("xdotool", "mousemove_relative", "--", dx, dy)
    def click(self): self.run("xdotool", "click", 1)
    def key(self, *keys): self.run("xdotool", "key", *keys)

    def shown(self):
        return self.run("xdotool", "search", "--onlyvisible", "--classname", "tuckshelf").returncode == 0

    def probe(self, x, y, w, h):
        """Another program's window; the function returned counts the button
        presses it got."""
        xev = self.spawn(["xev", "-geometry", f"{w}x{h}+{x}+{y}", "-event", "button"],
                         stdout=subprocess.PIPE, text=True)
        lines = []
        threading.Thread(target=lambda: lines.extend(xev.stdout), daemon=True).start()
        wait_until(lambda: self.run("xdotool", "search", "--onlyvisible", "--name", "Event Tester").returncode == 0,
                   "the probe window")
        return lambda: sum("ButtonPress" in line for line in lines)

    def screenshot(self):
        rgb = self.run("import", "-window", "root", "-depth", "8", "rgb:-").stdout
        return SimpleNamespace(w=self.size[0], h=self.size[1], rgb=rgb, path=None)


class Case(unittest.TestCase):
    """One scenario: a display server, a configuration folder, the program.
    Its steps return the case, so that a scenario reads as one sequence; the
    driver's own actions are steps too (t.move(x, y).click())."""

    size, monitors = (1920, 1080), ()

    def setUp(self):
        self.tmp = self.enterContext(tempfile.TemporaryDirectory(prefix="tuckshelf-e2e-"))
        self.shots = os.path.join(os.getcwd(), "shots", type(self).__name__)
        shutil.rmtree(self.shots, ignore_errors=True)
        self.d, self.program = X11(ARGS.owner), None
        self.addCleanup(self.d.stop)
        if ARGS.leaks:
            self.addCleanup(self.end_without_leaks)
        self.d.env.update(HOME=self.tmp, XDG_CONFIG_HOME=self.tmp + "/config")
        self.store, self.log = self.tmp + "/config/tuckshelf/defaults.json", self.tmp + "/program.log"
        self.d.start(*self.size)
        self.d.outputs(*self.monitors)

    def __getattr__(self, name):
        if name.startswith("_") or name == "d":
            raise AttributeError(name)
        action = getattr(self.d, name)
        return lambda *args: self if (result := action(*args)) is None else result

    def start(self, wait=True, umask=-1):
        env = self.d.env | (LEAK_CHECK if ARGS.leaks else {})
        with open(self.log, "ab") as log:
            self.program = self.d.spawn([ARGS.binary], env=env, stdout=log, stderr=log, umask=umask)
        if wait:
            self.wait(self.d.shown, "the program's window", 60)
        return self

    def end_without_leaks(self):
        """LeakSanitizer reports when the program exits, so it must leave
        through its event loop on SIGTERM."""
        if self.program:
            self.program.terminate()
            code, log = self.program.wait(60), pathlib.Path(self.log).read_text(errors="replace")
            self.assertIsNone(re.search(r"Sanitizer|runtime error:", log), log[-6000:])
            self.assertEqual(code, 0, "the program did not quit cleanly on SIGTERM:\n" + log[-3000:])

    def vm(self, field):
        """A memory figure of the program's in KiB: VmRSS, or VmHWM, its peak."""
        return int(re.search(field + r":\s*(\d+)", pathlib.Path(f"/proc/{self.program.pid}/status").read_text())[1])

    # -- the clipboard and the stored history ------------------------------
    def copy(self, data, target=None):
        """Puts `data` on the clipboard; the process serving it is self.owner."""
        self.owner = self.d.copy(data.encode() if isinstance(data, str) else data, target)
        return self

    def stored(self):
        try:
            return json.loads(pathlib.Path(self.store).read_text(encoding="utf-8")).get("tuckshelf.history.text")
        except (OSError, ValueError):
            return None

    def stored_is(self, *texts):
        self.wait(lambda: self.stored() == list(texts), f"the stored history {texts!r:.200}")
        return self

    def recorded(self, text):
        """Waits until `text` is the newest stored text."""
        self.wait(lambda: (self.stored() or [None])[0] == text, f"{text[:40]!r} stored first")
        return self

    def capture(self, *texts):
        for text in texts:
            self.copy(text).recorded(text)
        return self

    # -- the screen ---------------------------------------------------------
    def shot(self, name=None):
        shot = self.d.screenshot()
        if name:  # kept in the test's build folder, to look at
            os.makedirs(self.shots, exist_ok=True)
            shot.path = os.path.join(self.shots, name + ".png")
            subprocess.run(["convert", "-size", f"{shot.w}x{shot.h}", "-depth", "8", "rgb:-", shot.path],
                           input=shot.rgb)
        return shot

    def wait(self, condition, what, timeout=30):
        return wait_until(condition, what, timeout, lambda: f"; the screen then: {self.shot('failed').path}")

    def panel(self, mid=MID, top=0, shot=None):
        """(x0, y0, x1, y1) of the black open list hanging from row `top`
        across column `mid`, or None. The height is read 10 px in from the
        left edge: inside the rounded corner, clear of the rows' text."""
        s = shot or self.shot()
        if px(s, mid, top + 2) == BLACK:
            x0, x1 = black_to(s, mid, top + 2, -1, 0)[0], black_to(s, mid, top + 2, 1, 0)[0]
            return (x0 + 1, top, x1, black_to(s, x0 + 11, top + 2, 0, 1)[1])

    def open(self, rows, mid=MID, top=0):
        """Warps into the band's middle and waits for the list."""
        return self.move(mid, top).listed(rows, mid, top)

    def listed(self, rows, mid=MID, top=0):
        """Waits for the open list of `rows` one-line texts, every row with
        text in it (0: the empty history's message) on the display centred
        on `mid`."""
        def shown(s):
            box = self.panel(mid, top, s)
            if not box or box[:3] != (mid - 110, top, mid + 110):
                return None
            bands = [(y, y + 30) for y in range(top + GAP + 8, box[3] - 29, 33)] if rows else [(top + GAP, box[3])]
            lit = all(sum(min(px(s, x, y)) > 150 for x in range(box[0] + 8, box[2] - 8) for y in range(*band)) > 5
                      for band in bands)
            return lit and (box[3] - top - GAP == 13 + 33 * rows if rows else 24 <= box[3] - top - GAP <= 40) and box
        self.box = self.wait(lambda: shown(self.shot()), f"the list of {rows} at x {mid}")
        return self

    def resting(self, dot=True, mid=MID, top=0):
        """Waits for the resting panel on the display centred on `mid`: no
        list there, and the dot (or none; None: either) alone on its row."""
        def at_rest(s):
            teal = [x for x in range(s.w) if all(abs(a - b) < 30 for a, b in zip(px(s, x, top + 12), (45, 212, 191)))]
            lit = bool(teal) and mid + 100 <= teal[0] and teal[-1] < mid + 110
            return self.panel(mid, top, s) is None and dot in (None, lit) and (lit or not teal)
        self.wait(lambda: at_rest(self.shot()), f"the resting panel at x {mid}, dot {dot}")
        return self

    def leave(self, dot=True, mid=MID, top=0):
        """Moves the pointer off the list and waits for the resting panel."""
        return self.move(mid, top + 500).resting(dot, mid, top)


def main(table):
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true", help="print the scenarios' names")
    parser.add_argument("--leaks", action="store_true", help="run the scenarios marked for the leak check")
    parser.add_argument("--binary", help="the program")
    parser.add_argument("--owner", help="the clipboard owner tool")
    parser.add_argument("names", nargs="*")
    ARGS = parser.parse_args()
    if ARGS.list:
        return print(";".join(name for name, *_ in table))  # a CMake list
    suite = unittest.TestSuite(type(name, (Case,), dict(size=size, monitors=monitors, test=body))("test")
                               for name, body, size, monitors, leaks in table
                               if name in ARGS.names or (ARGS.leaks and leaks))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() and suite.countTestCases() else 1)
