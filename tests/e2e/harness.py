"""Runs the real program on a display server of its own and drives it like a
user: the display server's driver, and the test case each scenario runs in.

Every wait has a deadline; every process started here is stopped when the
scenario ends, whatever happened in between.
"""

import argparse, contextlib, json, os, pathlib, pwd, re, select, shutil, signal, struct, subprocess, sys
import tempfile, threading, time, unittest
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


def line_from(tool, what, timeout=30.0):
    """The next line `tool` prints (its stdout unbuffered), within the deadline."""
    if not select.select([tool.stdout], [], [], timeout)[0]:
        raise AssertionError(f"timed out after {timeout:.0f}s waiting for {what}")
    return tool.stdout.readline()


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
    (screenshot). X11 and Wayland below implement them; TEXT is the
    clipboard's name for UTF-8 text there."""

    log = ""  # the display server's own, shown when a scenario fails
    gap = GAP  # the top gap the program keeps there, from what the desktop reserves
    keeper = False  # whether the desktop itself keeps the text of a program that quits

    @property
    def band(self):
        """How many rows of the top edge, from the top, open the list."""
        return self.gap + 3

    def gap_at(self, mid):
        """The top gap on the display centred on `mid`."""
        return self.gap

    def __init__(self, owner_tool):
        self.owner_tool, self.procs = owner_tool, []
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}

    def spawn(self, argv, env=None, **kw):
        kw = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) | kw
        # Bytes go as they are (a text to copy, not its repr).
        argv = [a if isinstance(a, bytes) else str(a) for a in argv]
        self.procs.append(subprocess.Popen(argv, env=env or self.env, **kw))
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

    def copy(self, data, target=None):
        """A tool serving `data` (as text unless `target` says otherwise)
        until another program takes the clipboard."""
        tool = self.spawn(self.copy_command(target), stdin=subprocess.PIPE)
        with tool.stdin:
            tool.stdin.write(data)
        return tool

    def follow(self, argv):
        """Starts a program and returns the list of the lines it printed
        so far, which grows as it prints."""
        lines, tool = [], self.spawn(argv, stdout=subprocess.PIPE, text=True)
        threading.Thread(target=lambda: lines.extend(tool.stdout), daemon=True).start()
        return lines

    def counted(self, argv, word):
        """Starts a program and returns a function that counts the lines
        with `word` it printed so far."""
        lines = self.follow(argv)
        return lambda: sum(word in line for line in lines)

    def toolkit_copy(self, toolkit, clip):
        """A Qt or GTK program (toolkit_copier.py) that has copied `clip`;
        the function returned makes it quit and waits for its end."""
        tool = self.spawn(["/usr/bin/python3", pathlib.Path(__file__).with_name("toolkit_copier.py"), toolkit,
                           json.dumps(clip)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
        if line_from(tool, f"the {toolkit} program's copy") != b"copied\n":
            raise AssertionError(f"the {toolkit} program did not copy")
        return lambda: (tool.stdin.close(), tool.wait(30))

    def copier(self):
        """A function that puts a text, with a password manager's hint if
        given, on the clipboard, and returns once the server made the change;
        with stop, the owner never answers anyone after that; with save, it
        asks the clipboard manager to keep the text and quits. On X11 it
        offers `formats` ({target: text}) too, never answering for `hang`."""
        tool = self.spawn([self.owner_tool], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=None, bufsize=0)

        def copy(text, hint=None, stop=False, save=False, formats=None, hang=None):
            tool.stdin.write(json.dumps([text, hint, stop, save, formats or {}, hang]).encode() + b"\n")
            if line_from(tool, "the owner tool's answer") != b"owned\n":
                raise AssertionError("the owner tool could not take the clipboard")
        return copy


class X11(Driver):
    """Xvfb on a free display; xclip and the owner tool for the clipboard,
    xdotool for pointer and keys, ImageMagick's import for pictures."""

    TEXT = "UTF8_STRING"

    def start(self, width, height, monitors=()):
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
        self.outputs(*monitors)
        # A runtime folder and a session bus of the test's own, as in a
        # desktop session: without them Qt makes /tmp/runtime-USER, and
        # D-Bus starts a bus through dbus-launch that outlives the test.
        self.base = tempfile.mkdtemp(prefix="tuckshelf-x11-")
        os.mkdir(self.base + "/runtime", 0o700)
        self.env.update(XDG_RUNTIME_DIR=self.base + "/runtime", DBUS_SESSION_BUS_ADDRESS=self.bus("session"))

    def bus(self, kind):
        """A D-Bus daemon of the test's own, which starts no services; its address."""
        config, address = f"{self.base}/{kind}-bus.conf", f"unix:path={self.base}/{kind}-bus"
        pathlib.Path(config).write_text(
            f"<busconfig><type>{kind}</type><listen>{address}</listen><auth>EXTERNAL</auth>"
            "<policy context='default'><allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/>"
            "<allow own='*'/></policy></busconfig>\n")
        self.spawn(["dbus-daemon", "--nofork", "--config-file", config])
        wait_until(lambda: os.path.exists(f"{self.base}/{kind}-bus"), f"the {kind} bus")
        return address

    def stop(self):
        super().stop()
        if getattr(self, "base", None):
            shutil.rmtree(self.base, ignore_errors=True)

    def outputs(self, *rects):
        """Monitors at (x, y, width, height), the first the primary; none
        leaves one as large as the screen."""
        for line in self.run("xrandr", "--listmonitors").stdout.decode().splitlines()[1:]:
            self.run("xrandr", "--delmonitor", line.split()[1].lstrip("+*"))
        for i, (x, y, w, h) in enumerate(rects):  # at 96 dpi
            size = f"{w}/{round(w * 0.2646)}x{h}/{round(h * 0.2646)}+{x}+{y}"
            self.run("xrandr", "--setmonitor", f"M{i}", size, "none" if i else "screen")

    def copy_command(self, target):
        return ["xclip", "-quiet", "-selection", "clipboard", *["-t", target] * bool(target)]

    def clipboard(self, target="UTF8_STRING"):
        """What the clipboard gives for `target`; None when its owner does
        not answer in 10 s: xclip waits forever for an owner that quit in
        the middle of a request (one that hands its clip over, say)."""
        with contextlib.suppress(subprocess.TimeoutExpired):
            return subprocess.run(["xclip", "-selection", "clipboard", "-o", "-t", target], env=self.env,
                                  capture_output=True, timeout=10).stdout

    def move(self, x, y): self.run("xdotool", "mousemove", x, y)
    def push(self, dx, dy): self.run("xdotool", "mousemove_relative", "--", dx, dy)
    def click(self): self.run("xdotool", "click", 1)
    def key(self, *keys): self.run("xdotool", "key", *keys)

    def surfaces(self):
        """The program's windows now, for shown() to tell a new copy's from them."""
        return set(self.run("xdotool", "search", "--onlyvisible", "--classname", "tuckshelf").stdout.split())

    def shown(self, before=frozenset()):
        """A window of the program's is up that was not `before`."""
        return bool(X11.surfaces(self) - before)

    def probe(self, x, y, w, h):
        """Another program's window; the function returned counts the button
        presses it got."""
        presses = self.counted(["xev", "-geometry", f"{w}x{h}+{x}+{y}", "-event", "button"], "ButtonPress")
        wait_until(lambda: self.run("xdotool", "search", "--onlyvisible", "--name", "Event Tester").returncode == 0,
                   "the probe window")
        return presses

    def accessibility(self, folder):
        """A session bus in `folder` with the accessibility bus on it, as a
        desktop session runs them for screen readers; programs started
        afterwards show their accessible trees there."""
        runtime, config = os.path.join(folder, "runtime"), pathlib.Path(folder, "session.conf")
        os.mkdir(runtime, 0o700)
        config.write_text(f"<busconfig><type>session</type><listen>unix:path={folder}/session-bus</listen>"
                          "<auth>EXTERNAL</auth><policy context='default'><allow user='*'/><allow own='*'/>"
                          "<allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/></policy>"
                          "</busconfig>\n")
        self.spawn(["dbus-daemon", "--nofork", "--config-file", config])
        wait_until(lambda: os.path.exists(f"{folder}/session-bus"), "the session bus")
        self.env.update(DBUS_SESSION_BUS_ADDRESS=f"unix:path={folder}/session-bus", XDG_RUNTIME_DIR=runtime,
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])

    def accessible_tree(self, name):
        """The accessible objects of the program called `name`, as a screen
        reader reads them (atspi_tree.py)."""
        tool = pathlib.Path(__file__).with_name("atspi_tree.py")
        return json.loads(self.run("/usr/bin/python3", tool, name).stdout or b"[]")

    def screenshot(self):
        rgb = self.run("import", "-window", "root", "-depth", "8", "rgb:-").stdout
        return SimpleNamespace(w=self.size[0], h=self.size[1], rgb=rgb, path=None)


class Wayland(Driver):
    """What the Wayland compositors share: the Wayland owner tool and
    wl-paste for the clipboard; wev as another program. Keys cannot be
    sent to another program here."""

    TEXT = "text/plain;charset=utf-8"

    def __init__(self, owner_tool, pointer_tool, kind):
        super().__init__(owner_tool)
        self.pointer_tool, self.base = pointer_tool, tempfile.mkdtemp(prefix=f"tuckshelf-{kind}-")

    def copy(self, data, target=None):
        """Through the owner tool: wl-copy keeps what it reads from stdin in
        a folder of /tmp (whatever TMPDIR says) that outlives it when it is
        ended, and on KWin 5.27 a text given on its command line never reached
        the program."""
        tool = self.spawn([self.owner_tool, "--serve", target or self.TEXT], stdin=subprocess.PIPE)
        with tool.stdin:
            tool.stdin.write(data)
        return tool

    def clipboard(self, target=None):
        which = ["--list-types"] if target == "TARGETS" else ["--no-newline", "--type", target or self.TEXT]
        return self.run("wl-paste", *which).stdout

    def key(self, *keys):
        raise AssertionError("no keys for other programs on Wayland: the row is for X11 only")

    def stop(self):
        super().stop()
        with contextlib.suppress(OSError):
            self.log = self.log_tail()
        shutil.rmtree(self.base, ignore_errors=True)


class Sway(Wayland):
    """Headless sway (as nobody under root: sway refuses root) with an
    Xwayland that starts on its first X client; the virtual pointer tool as
    its pointer, moved and clicked with swaymsg; grim for pictures."""

    def __init__(self, owner_tool, pointer_tool):
        super().__init__(owner_tool, pointer_tool, "sway")
        self.keyboard = None  # a virtual keyboard on the seat, once keys are typed

    def start(self, width, height, monitors=()):
        self.size, server, client = (width, height), self.base + "/server", self.base + "/client"
        os.chmod(self.base, 0o755)
        os.mkdir(server, 0o700), os.mkdir(client, 0o700)
        self.as_server = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] * (os.getuid() == 0)
        if self.as_server:
            os.chown(server, 65534, 65534)
        with contextlib.suppress(FileExistsError):  # where Xwayland's sockets go; nobody cannot make it
            os.mkdir("/tmp/.X11-unix")
        os.chmod("/tmp/.X11-unix", 0o1777)
        # grim draws the compositor's cursor into its pictures: a see-through one.
        cursor = struct.pack("<4s6I9I", b"Xcur", 16, 0x10000, 1, 0xFFFD0002, 24, 28,
                             36, 0xFFFD0002, 24, 1, 1, 1, 0, 0, 0) + bytes(4)
        os.makedirs(self.base + "/icons/unseen/cursors")
        for name in ("left_ptr", "default"):
            pathlib.Path(self.base + "/icons/unseen/cursors", name).write_bytes(cursor)
        cursors = dict(XCURSOR_PATH=self.base + "/icons", XCURSOR_THEME="unseen")
        pathlib.Path(self.base + "/config").write_text(
            f"output HEADLESS-1 mode {width}x{height}\noutput * bg #bebebe solid_color\n"
            "seat seat0 xcursor_theme unseen 24\ndefault_border none\nxwayland enable\n")
        os.chmod(self.base + "/config", 0o644)
        with open(self.base + "/sway.log", "wb") as log:  # -d: it logs the layer surfaces made and gone
            self.sway_process = self.spawn(
                [*self.as_server, "sway", "-d", "-c", self.base + "/config"], stdout=log, stderr=log,
                env=cursors | dict(PATH="/usr/bin:/bin", HOME=server, XDG_RUNTIME_DIR=server, WLR_BACKENDS="headless",
                                   WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman"))
        ipc = wait_until(lambda: self.sway_process.poll() is not None or os.path.exists(server + "/wayland-1")
                         and [n for n in os.listdir(server) if n.startswith("sway-ipc.")], "sway's sockets",
                         then=lambda: pathlib.Path(self.base + "/sway.log").read_text(errors="replace")[-3000:])
        if self.sway_process.poll() is not None:
            raise RuntimeError("sway did not start: " + pathlib.Path(self.base + "/sway.log").read_text()[-3000:])
        self.env.pop("QT_QPA_PLATFORM", None)  # the program picks its backend itself
        self.env.update(cursors, WAYLAND_DISPLAY=server + "/wayland-1", SWAYSOCK=f"{server}/{ipc[0]}",
                        XDG_RUNTIME_DIR=client)  # Qt wants a runtime folder of the user's own
        pointer = self.spawn([self.pointer_tool], stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
        if line_from(pointer, "the virtual pointer") != b"ready\n":
            raise RuntimeError("the virtual pointer tool did not start")
        self.outputs(*monitors)
        self.move(width // 2, height // 2)  # where an X server starts it, clear of the band

    def xwayland(self):
        """Programs started after this run on sway's Xwayland, as X11
        programs do on a Wayland desktop."""
        ours = lambda lock: pathlib.Path("/tmp", lock).read_text().strip("\0 \n") == str(self.sway_process.pid)
        locks = lambda: [n for n in os.listdir("/tmp") if re.fullmatch(r"\.X\d+-lock", n) and ours(n)]
        display = wait_until(locks, "Xwayland's display")[0][2:-5]  # the lock file sway took for it
        self.env.update(DISPLAY=":" + display, QT_QPA_PLATFORM="xcb")
        # The first X client starts Xwayland, which lets in only sway's user.
        grant = subprocess.run([*self.as_server, "xhost", "+si:localuser:" + pwd.getpwuid(os.getuid()).pw_name],
                               env=dict(PATH="/usr/bin:/bin", DISPLAY=self.env["DISPLAY"]), capture_output=True,
                               timeout=60)
        if grant.returncode:
            raise RuntimeError(f"xhost on {self.env['DISPLAY']}: {grant.stderr.decode()}")
        # sway's window manager for it comes up after Xwayland itself; a
        # window mapped before that waits for it.
        wm = lambda: b"window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout
        wait_until(wm, "Xwayland's window manager in sway")

    def sway(self, *command):
        result = self.run("swaymsg", "--", *command)
        if result.returncode:
            raise AssertionError(f"swaymsg {' '.join(command)}: {result.stdout.decode()}{result.stderr.decode()}")

    def log_tail(self):  # less the chatter of every swaymsg
        lines = [line for line in open(self.base + "/sway.log", errors="replace") if "[sway/ipc" not in line]
        return "sway's log ends:\n" + "".join(lines[-40:])

    def outputs(self, *rects):
        """Outputs at (x, y, width, height); none leaves one as large as the
        screen. sway 1.7 cannot disable a headless output, so none go away."""
        rects = rects or [(0, 0, *self.size)]
        count = lambda: len(json.loads(self.run("swaymsg", "-r", "-t", "get_outputs").stdout))
        if count() > len(rects):
            raise AssertionError("sway 1.7 cannot take a headless output away: the row is for X11 only")
        while count() < len(rects):
            self.sway("create_output")
        for i, (x, y, w, h) in enumerate(rects):
            self.sway(f"output HEADLESS-{i + 1} pos {x} {y} mode {w}x{h}")

    def move(self, x, y): self.sway(f"seat seat0 cursor set {x} {y}")
    def push(self, dx, dy): self.sway(f"seat seat0 cursor move {dx} {dy}")

    def click(self):
        self.sway("seat seat0 cursor press button1")
        self.sway("seat seat0 cursor release button1")

    def surfaces(self):
        """How many layer surfaces the program has made, on Wayland (sway
        1.10 and later do not log their end); its windows, on Xwayland."""
        if "DISPLAY" in self.env:
            return X11.surfaces(self)
        return pathlib.Path(self.base + "/sway.log").read_text(errors="replace").count(
            "new layer surface: namespace tuckshelf ")

    def shown(self, before=0):
        """Two more layer surfaces than `before`: a new copy's panel and band."""
        if "DISPLAY" in self.env:
            return X11.shown(self, before or frozenset())
        return self.surfaces() >= before + 2

    def probe(self, x, y, w, h):
        """wev, tiled over the whole display, which holds (x, y, w, h)."""
        presses = self.counted(["stdbuf", "-oL", "wev", "-f", "wl_pointer:button"], "(pressed)")
        wait_until(lambda: re.search(rb'"app_id": *"wev"', self.run("swaymsg", "-t", "get_tree").stdout),
                   "the probe window")
        return presses

    def press(self, *keys):
        """Types `keys` (single keys, xdotool's names) through a virtual
        keyboard into whatever surface has the focus. A keyboard stays on the
        seat from the first on, as a real one does: one that goes takes the
        focus with it."""
        if not self.keyboard:
            self.keyboard = self.spawn(["wtype", "-s", "3600000"])
            # sway 1.12 names it "wlr_virtual_keyboard_v1"
            wait_until(lambda: re.search(rb"virtual[ _]keyboard", self.run("swaymsg", "-t", "get_inputs").stdout.lower())
                       or self.keyboard.poll() is not None, "the virtual keyboard")
        self.run("wtype", *[arg for key in keys for arg in ("-k", key)])

    def screenshot(self):
        ppm = self.run("grim", "-t", "ppm", "-").stdout
        if not (head := re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)):
            raise AssertionError("grim took no picture")
        return SimpleNamespace(w=int(head[1]), h=int(head[2]), rgb=ppm[head.end():], path=None)


class KWin(Wayland):
    """KWin nested on a private Xvfb, whose windowed backend draws each
    output into an X window there (its own screenshot service needs a GPU),
    on a private session bus; the backdrop tool as its grey desktop; the
    virtual pointer tool as its pointer, through KWin's fake input; KWin's
    scripting for its window list. Its outputs are fixed at start: as many
    as the scenario's monitors, all of one size, side by side."""

    def __init__(self, owner_tool, pointer_tool, backdrop_tool):
        super().__init__(owner_tool, pointer_tool, "kwin")
        self.backdrop_tool, self.scripts, self.xvfb = backdrop_tool, 0, None

    def stop(self):
        super().stop()
        if self.xvfb:  # its folder; its processes were among ours
            shutil.rmtree(self.xvfb.base, ignore_errors=True)

    def start(self, width, height, monitors=()):
        rects = monitors or [(0, 0, width, height)]
        w, h = rects[0][2:]
        if any(r != (i * w, 0, w, h) for i, r in enumerate(rects)):
            raise AssertionError(f"KWin's nested outputs are {w} x {h} side by side, not {rects}")
        self.size, server, client, home = (width, height), self.base + "/server", self.base + "/client", self.base + "/home"
        for folder in (server, client, home + "/.config/menus"):
            os.makedirs(folder, mode=0o700)
        # KDE Frameworks 6 grants fake input only where a menu is installed;
        # KWin 6 holds the pointer at the edge between outputs unless told not to.
        pathlib.Path(home, ".config/menus/applications.menu").write_text("<Menu><Name>Applications</Name></Menu>\n")
        pathlib.Path(home, ".config/kwinrc").write_text("[EdgeBarrier]\nEdgeBarrier=0\nCornerBarrier=false\n")
        screen = X11(None)
        screen.procs = self.procs  # one list of processes, stopped together
        screen.start(width, height)
        self.xvfb = screen
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                         bufsize=0)
        address = line_from(bus, "the session bus").decode().strip()
        # Started from a copy: the packaged binary has file capabilities,
        # which a program outside a real session may not use.
        shutil.copy("/usr/bin/kwin_wayland", self.base + "/kwin_wayland")
        kwin_env = dict(PATH="/usr/bin:/bin", HOME=home, XDG_RUNTIME_DIR=server, DISPLAY=screen.env["DISPLAY"],
                        DBUS_SESSION_BUS_ADDRESS=address, KWIN_WAYLAND_NO_PERMISSION_CHECKS="1",
                        QT_LOGGING_RULES="kwin_scripting.debug=true")
        with open(self.base + "/kwin.log", "wb") as log:
            self.kwin_process = self.spawn(
                [self.base + "/kwin_wayland", "--x11-display", screen.env["DISPLAY"], "--socket", "wayland-kwin",
                 "--width", w, "--height", h, "--output-count", len(rects), "--no-lockscreen",
                 "--no-global-shortcuts", "--no-kactivities"], env=kwin_env, stdout=log, stderr=log)
        wait_until(lambda: self.kwin_process.poll() is not None or os.path.exists(server + "/wayland-kwin"),
                   "KWin's socket", then=lambda: self.log_tail())
        if self.kwin_process.poll() is not None:
            raise RuntimeError("KWin did not start: " + self.log_tail())
        # Each output's window opens at the X screen's origin: lay them out.
        windows = lambda: sorted(re.findall(r"^\s*(0x[0-9a-f]+) \"KDE Wayland Compositor",
                                            self.x("xwininfo", "-root", "-children"), re.M), key=lambda w: int(w, 16))
        wait_until(lambda: len(windows()) == len(rects), "KWin's output windows")
        for window, (x, y, *_) in zip(windows(), rects):  # in the order KWin made them
            self.x("xdotool", "windowmove", window, x, y)
        self.env.update(WAYLAND_DISPLAY=server + "/wayland-kwin", XDG_RUNTIME_DIR=client,
                        DBUS_SESSION_BUS_ADDRESS=address)
        for tool, what in ((self.backdrop_tool, "the backdrop"), (self.pointer_tool, "the virtual pointer")):
            process = self.spawn([tool], stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
            if line_from(process, what) != b"ready\n":
                raise RuntimeError(f"{what} did not start: {self.log_tail()}")
        self.pointer = process
        self.move(width // 2, height // 2)  # where an X server starts it, clear of the band

    def x(self, *argv):
        return subprocess.run([str(a) for a in argv], env=self.xvfb.env, capture_output=True, timeout=60).stdout.decode()

    def log_tail(self):
        return "KWin's log ends:\n" + "".join(open(self.base + "/kwin.log", errors="replace").readlines()[-40:])

    def outputs(self, *rects):
        raise AssertionError("KWin's nested outputs are fixed at start: the row is for X11 only")

    def point(self, command):
        self.pointer.stdin.write(command.encode() + b"\n")
        if line_from(self.pointer, "the virtual pointer's answer") != b"done\n":
            raise AssertionError(f"KWin refused the pointer's {command}")

    def move(self, x, y): self.point(f"move {x} {y}")
    def push(self, dx, dy): self.point(f"by {dx} {dy}")

    def click(self):
        self.point("press")
        self.point("release")

    # evdev's codes of the keys the rows type
    KEYCODES = dict(Escape=1, Return=28, Shift_L=42, space=57, Up=103, Down=108, Delete=111)

    def press(self, *keys):
        """Types `keys` (xdotool's names) through KWin's fake input into
        whatever surface has the keyboard focus."""
        for key in keys:
            self.point(f"key {self.KEYCODES[key]}")

    def script(self, body):
        """Runs a KWin script, which sees `windows` and says lines with
        say(); the lines it said."""
        self.scripts += 1
        path, mark = f"{self.base}/script{self.scripts}.js", f"tuckshelf-script-{self.scripts}"
        pathlib.Path(path).write_text("const windows = workspace.windowList ? workspace.windowList()"
                                      f" : workspace.clientList();\nconst say = text => print('{mark} ' + text);\n"
                                      f"{body}\nsay('end');\n")
        call = lambda method, *args: self.run("dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin",
                                              "/Scripting", f"org.kde.kwin.Scripting.{method}", *args)
        call("loadScript", f"string:{path}", f"string:{mark}")
        call("start")
        said = lambda: [line.split(mark + " ", 1)[1] for line in open(self.base + "/kwin.log", errors="replace")
                        if mark + " " in line]
        lines = wait_until(lambda: (lines := said()) and lines[-1].strip() == "end" and lines, "KWin's script")
        call("unloadScript", f"string:{mark}")
        return [line.strip() for line in lines[:-1]]

    def surfaces(self):
        """The program's windows in KWin's list: its layer surfaces."""
        return set(self.script("for (const w of windows) if (w.resourceClass == 'tuckshelf') say(w.internalId);"))

    def shown(self, before=frozenset()):
        return bool(self.surfaces() - before)

    def probe(self, x, y, w, h):
        """wev, put over (x, y, w, h)."""
        presses = self.counted(["stdbuf", "-oL", "wev", "-f", "wl_pointer:button"], "(pressed)")
        placed = f"for (const w of windows) if (w.resourceClass == 'wev') {{ w.frameGeometry = " \
                 f"{{x: {x}, y: {y}, width: {w}, height: {h}}}; say('placed'); }}"
        wait_until(lambda: self.script(placed) == ["placed"], "the probe window")
        return presses

    def screenshot(self):
        return self.xvfb.screenshot()


def new_driver():
    """A driver of the kind the command line names."""
    if ARGS.driver == "sway":
        return Sway(ARGS.wl_owner, ARGS.pointer)
    if ARGS.driver == "kwin":
        return KWin(ARGS.wl_owner, ARGS.pointer, ARGS.backdrop)
    if ARGS.driver.startswith("gnome"):  # with the shelf drawn by the extension, or by the program on Xwayland
        from gnome_shell import GnomeShell  # which builds on this module
        return GnomeShell(ARGS.owner, ARGS.gnome_extension if ARGS.driver == "gnome" else ())
    return X11(ARGS.owner)


class Case(unittest.TestCase):
    """One scenario: a display server, a configuration folder, the program.
    Its steps return the case, so that a scenario reads as one sequence; the
    driver's own actions are steps too (t.move(x, y).click())."""

    size, monitors, program_log = (1920, 1080), (), ""

    def setUp(self):
        self.tmp = self.enterContext(tempfile.TemporaryDirectory(prefix="tuckshelf-e2e-"))
        self.shots = os.path.join(os.getcwd(), "shots", type(self).__name__)
        shutil.rmtree(self.shots, ignore_errors=True)
        self.d, self.program = new_driver(), None
        self.addCleanup(self.d.stop)
        self.addCleanup(self.keep_program_log)
        if ARGS.leaks:
            self.addCleanup(self.end_without_leaks)
        self.d.env.update(HOME=self.tmp, XDG_CONFIG_HOME=self.tmp + "/config")
        self.store, self.log = self.tmp + "/config/tuckshelf/defaults.json", self.tmp + "/program.log"
        self.d.start(*self.size, self.monitors)

    def run(self, result=None):
        failed = len(result.failures + result.errors)
        super().run(result)
        if len(result.failures + result.errors) > failed:  # the logs, after the driver stopped
            print(f"{self.d.log}\nthe program's log ends:\n{self.program_log}", file=sys.stderr)

    def keep_program_log(self):
        with contextlib.suppress(OSError):
            self.program_log = "".join(open(self.log, errors="replace").readlines()[-40:])

    def __getattr__(self, name):
        if name.startswith("_") or name == "d":
            raise AttributeError(name)
        action = getattr(self.d, name)
        return lambda *args: self if (result := action(*args)) is None else result

    def start(self, wait=True, umask=-1):
        env, before = self.d.env | (LEAK_CHECK if ARGS.leaks else {}), self.d.surfaces()
        with open(self.log, "ab") as log:
            self.program = self.d.spawn([ARGS.binary], env=env, stdout=log, stderr=log, umask=umask)
        if wait:  # this copy's, not those of a copy it replaces
            self.wait(lambda: self.d.shown(before), "the program's window", 60)
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
        across column `mid`, or None. The height is read 14 px in from the
        left edge: past the rounded corner, whose edge may be smoothed, and
        clear of the rows' text, through a hovered row's highlight."""
        s = shot or self.shot()
        if px(s, mid, top + 2) == BLACK:
            x0, x1 = black_to(s, mid, top + 2, -1, 0)[0], black_to(s, mid, top + 2, 1, 0)[0]
            y = top + 2
            while y < s.h and max(px(s, x0 + 15, y)) < 60:
                y += 1
            return (x0 + 1, top, x1, y)

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
            gap = self.d.gap_at(mid)
            bands = [(y, y + 30) for y in range(top + gap + 8, box[3] - 29, 33)] if rows else [(top + gap, box[3])]
            lit = all(sum(min(px(s, x, y)) > 150 for x in range(box[0] + 8, box[2] - 8) for y in range(*band)) > 5
                      for band in bands)
            return lit and (box[3] - top - gap == 13 + 33 * rows if rows else 24 <= box[3] - top - gap <= 40) and box
        self.box = self.wait(lambda: shown(self.shot()), f"the list of {rows} at x {mid}")
        return self

    def resting(self, dot=True, mid=MID, top=0):
        """Waits for the resting panel on the display centred on `mid`: no
        list there, and the dot (or none; None: either) alone on its row."""
        def at_rest(s):
            row = top + self.d.gap_at(mid) // 2  # the dot's middle
            teal = [x for x in range(s.w) if all(abs(a - b) < 30 for a, b in zip(px(s, x, row), (45, 212, 191)))]
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
    parser.add_argument("--list", action="store_true", help="print the names of the driver's scenarios")
    parser.add_argument("--leaks", action="store_true", help="run the scenarios marked for the leak check (X11)")
    parser.add_argument("--driver", choices=("x11", "sway", "kwin", "gnome", "gnome-xwayland"), default="x11")
    parser.add_argument("--gnome-extension", action="append", default=[], metavar="DIR",
                        help="a GNOME Shell extension's folder, enabled in the gnome driver's Shell (the tree's "
                             "Tuckshelf extension among them); gnome-xwayland runs the Shell without")
    parser.add_argument("--binary", help="the program")
    parser.add_argument("--owner", help="the X11 clipboard owner tool")
    parser.add_argument("--wl-owner", help="the Wayland clipboard owner tool")
    parser.add_argument("--pointer", help="the virtual pointer tool")
    parser.add_argument("--backdrop", help="the backdrop tool")
    parser.add_argument("names", nargs="*")
    ARGS = parser.parse_args()
    if ARGS.driver == "gnome" and ARGS.names and not ARGS.gnome_extension:
        parser.error("--driver gnome runs with the tree's extension: name its folder with --gnome-extension")
    rows = [row for row in table if ARGS.driver in row[5] and not (ARGS.leaks and ARGS.driver != "x11")]
    if ARGS.list:
        return print(";".join(name for name, *_ in rows))  # a CMake list
    suite = unittest.TestSuite(type(name, (Case,), dict(size=size, monitors=monitors, test=body))("test")
                               for name, body, size, monitors, leaks, drivers in rows
                               if name in ARGS.names or (ARGS.leaks and leaks))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() and suite.countTestCases() else 1)
