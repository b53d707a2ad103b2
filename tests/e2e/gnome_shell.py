"""The GNOME driver: a headless GNOME Shell of the test's own (43 or 50).
GNOME offers no layer shell, so the program runs its X11 backend on the
Shell's Xwayland there, and so do the tools: xclip and the owner tool (Mutter
bridges that clipboard and the Wayland one both ways), xev and xdotool. With
the tree's Tuckshelf extension enabled the Shell draws the shelf and the
program none; without it the program draws its own, as an X11 program.

The Shell lives on private session and system buses, which start no
services, takes its settings from a keyfile, and keeps its runtime, home,
configuration, data, cache and temporary folders in one folder of the
driver's. It runs in unsafe mode, which opens its Eval and Screenshot
services: the pointer and the keyboard are Clutter virtual devices made and
driven through Eval, and pictures come from Screenshot. Extensions from the
tree (--gnome-extension DIR) go in, enabled.
"""

import ast, contextlib, json, os, pathlib, re, shutil, subprocess, tempfile, time, unittest
from types import SimpleNamespace

from harness import GAP, X11, wait_until

SHELF = "tuckshelf@tuckshelf.github.io"  # the extension that draws the shelf
BUS_NAME = "io.github.tuckshelf.Tuckshelf"
ENABLED = 1  # the Shell's ExtensionState for a running extension
MODIFIERS = dict(ctrl="Control_L", shift="Shift_L", alt="Alt_L", super="Super_L")


class GnomeShell(X11):
    """The X11 driver's clipboard and window tools, on the Shell's Xwayland;
    the Shell's own pointer, keyboard and pictures."""

    keeper = True  # Mutter's clipboard manager

    def __init__(self, owner_tool, extensions=()):
        super().__init__(owner_tool)
        self.extensions, self.base = list(map(pathlib.Path, extensions)), tempfile.mkdtemp(prefix="tuckshelf-gnome-")
        self.shell_draws = SHELF in (json.loads((e / "metadata.json").read_text())["uuid"] for e in self.extensions)
        self.typed = None  # the X window keys are typed into, once there is one

    @property
    def band(self):
        """The top rows that open the list: the program's top two on
        Xwayland, so that the top bar beneath keeps its clicks; with the
        extension the edge itself, pushed into (see move)."""
        return 1 if self.shell_draws else 2

    def start(self, width, height, monitors=()):
        rects = monitors or [(0, 0, width, height)]
        w, h = rects[0][2:]
        if any(r != (i * w, 0, w, h) for i, r in enumerate(rects)):
            raise AssertionError(f"GNOME Shell's headless monitors are {w} x {h} side by side, not {rects}")
        self.size, folders = (width, height), {k: f"{self.base}/{k}" for k in
                                               ("runtime", "home", "config", "data", "cache", "tmp")}
        for folder in folders.values():
            os.makedirs(folder, mode=0o700)
        self.settings(folders["config"], self.install_extensions(folders["data"] + "/gnome-shell"))
        buses = {kind: self.bus(kind) for kind in ("session", "system")}
        shell_env = dict(PATH="/usr/bin:/bin", HOME=folders["home"], XDG_RUNTIME_DIR=folders["runtime"],
                         XDG_CONFIG_HOME=folders["config"], XDG_DATA_HOME=folders["data"],
                         XDG_CACHE_HOME=folders["cache"], TMPDIR=folders["tmp"], GSETTINGS_BACKEND="keyfile",
                         DBUS_SESSION_BUS_ADDRESS=buses["session"], DBUS_SYSTEM_BUS_ADDRESS=buses["system"])
        with open(self.base + "/shell.log", "wb") as log:
            self.shell = self.spawn(["gnome-shell", "--wayland", "--headless", "--wayland-display", "wayland-gnome",
                                     "--unsafe-mode", *[f"--virtual-monitor={w}x{h}" for _ in rects]],
                                    env=shell_env, stdout=log, stderr=log)
        # Programs run as in the Shell's session, where the program finds no
        # layer shell on Wayland and takes the X11 backend.
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.update({k: shell_env[k] for k in ("XDG_RUNTIME_DIR", "TMPDIR", "DBUS_SESSION_BUS_ADDRESS")},
                        WAYLAND_DISPLAY="wayland-gnome", XDG_CURRENT_DESKTOP="GNOME", XDG_SESSION_TYPE="wayland")
        wait_until(lambda: self.shell.poll() is not None or self.answers(), "the Shell's Eval", 60, self.log_tail)
        if self.shell.poll() is not None:
            raise RuntimeError("GNOME Shell did not start: " + self.log_tail())
        for uuid in self.uuids:
            wait_until(lambda: self.extension_state(uuid), f"the extension {uuid} enabled", then=self.log_tail)
        display, xauthority = self.prepare()
        self.env.update(DISPLAY=display, XAUTHORITY=xauthority)
        self.gap = self.reserved_at_top() if len(rects) == 1 else GAP
        # The extension's band covers the top bar, on the primary monitor only.
        self.gaps = [self.eval("Main.panel.height") if self.shell_draws and not i else self.gap for i in range(len(rects))]
        self.monitor_width = w
        self.move(width // 2, height // 2)  # where an X server starts it, clear of the band

    def gap_at(self, mid):
        return self.gaps[mid // self.monitor_width]

    # -- the session -----------------------------------------------------------
    def install_extensions(self, shell_data):
        """Copies each extension folder to where the Shell looks for the
        user's extensions; their uuids."""
        pathlib.Path(shell_data).mkdir()
        # Else the Shell says in a banner at the top centre that the screen
        # does not lock.
        pathlib.Path(shell_data, "lock-warning-shown").touch()
        self.uuids = []
        for folder in self.extensions:
            uuid = json.loads((folder / "metadata.json").read_text())["uuid"]
            shutil.copytree(folder, f"{shell_data}/extensions/{uuid}")
            self.uuids.append(uuid)
        return self.uuids

    def settings(self, config, uuids):
        """The keyfile the Shell reads its settings from: no welcome tour,
        animations, screen lock, hot corner or banners; a plain grey desktop,
        as on the other drivers."""
        os.makedirs(config + "/glib-2.0/settings")
        pathlib.Path(config, "glib-2.0/settings/keyfile").write_text(
            f"[org/gnome/shell]\nwelcome-dialog-last-shown-version='999'\nenabled-extensions={uuids!r}\n"
            "[org/gnome/desktop/interface]\nenable-animations=false\nenable-hot-corners=false\n"
            "[org/gnome/desktop/screensaver]\nlock-enabled=false\nidle-activation-enabled=false\n"
            "[org/gnome/desktop/session]\nidle-delay=uint32 0\n"
            "[org/gnome/desktop/notifications]\nshow-banners=false\n"
            "[org/gnome/desktop/background]\npicture-uri=''\npicture-uri-dark=''\npicture-options='none'\n"
            "color-shading-type='solid'\nprimary-color='#bebebe'\n")

    def prepare(self):
        """Readies the desktop a user would see, makes the virtual devices and
        says where the Shell's Xwayland is. The top bar stays, as reactive and
        as tall as ever, but see-through: it is as black as the open list."""
        display, xauthority = self.eval(
            "const C = imports.gi.Clutter, seat = C.get_default_backend().get_default_seat();"
            "globalThis.tuckshelfPointer = seat.create_virtual_device(C.InputDeviceType.POINTER_DEVICE);"
            "globalThis.tuckshelfKeyboard = seat.create_virtual_device(C.InputDeviceType.KEYBOARD_DEVICE);"
            "Main.panel.opacity = 0; [GLib.getenv('DISPLAY'), GLib.getenv('XAUTHORITY')]")
        # The Shell opens its overview once it has started up.
        wait_until(lambda: self.eval("const o = Main.overview, starting = Main.layoutManager._startingUp;"
                                     "if (!starting && o.visible && !o.animationInProgress) o.hide();"
                                     "!starting && !o.visible && !o.animationInProgress"), "the overview closed")
        return display, xauthority

    def reserved_at_top(self):
        """What the work area leaves out at the top (the top bar), once the X
        screen says so too: the program reads it there, through Qt, which
        takes it only where there is one monitor."""
        def agreed():
            # Both are 0 until the Shell has laid out its top bar.
            top = self.eval("Main.layoutManager.getWorkAreaForMonitor(Main.layoutManager.primaryIndex).y")
            x_top = re.findall(r"\d+", self.run("xprop", "-root", "-notype", "_NET_WORKAREA").stdout.decode())[1:2]
            return top > 0 and x_top == [str(top)] and top
        return wait_until(agreed, "the Shell's and the X screen's work areas to leave out the top bar")

    # -- the Shell's services ---------------------------------------------------
    def call(self, path, method, *args):
        return self.run("gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path", path,
                        "--method", method, *args)

    def answers(self):
        return self.call("/org/gnome/Shell", "org.gnome.Shell.Eval", "true").stdout.startswith(b"(true,")

    def eval(self, code):
        """What the JavaScript `code` comes to inside the Shell, through JSON."""
        reply = self.call("/org/gnome/Shell", "org.gnome.Shell.Eval", code)
        said = re.fullmatch(r"\((true|false), (.*)\)\n", reply.stdout.decode())
        if not said or said[1] != "true":
            raise AssertionError(f"the Shell's Eval of {code!r:.300}: {reply.stdout.decode()}{reply.stderr.decode()}")
        return json.loads(ast.literal_eval(said[2]) or "null")

    def extension_state(self, uuid):
        """True once the Shell runs the extension; its error if it failed."""
        state, error = self.eval(f"const e = Main.extensionManager.lookup('{uuid}'); e ? [e.state, e.error] : [0, '']")
        if error:
            raise AssertionError(f"the extension {uuid} failed: {error}")
        return state == ENABLED

    def log_tail(self):  # less the complaints of every later callback left when it stops
        lines = [line for line in open(self.base + "/shell.log", errors="replace")
                 if line.strip() and "meta_later_add: assertion" not in line]
        return "GNOME Shell's log ends:\n" + "".join(lines[-40:])

    def outputs(self, *rects):
        raise AssertionError("GNOME Shell's headless monitors are fixed at start: the row is for X11 only")

    # -- pointer and keys --------------------------------------------------------
    @staticmethod
    def shell_major():
        out = subprocess.run(["gnome-shell", "--version"], capture_output=True, timeout=30).stdout.decode()
        return int(out.split()[-1].split(".")[0])

    def pointer(self):
        return tuple(self.eval("global.get_pointer().slice(0, 2)"))

    def point(self, call, to, times=1):
        """Sends a pointer event `times` and waits until the Shell's pointer
        is at `to`: Mutter applies it on its input thread, after Eval returned."""
        self.eval(f"for (let i = 0; i < {times}; i++) tuckshelfPointer.{call}; true")
        wait_until(lambda: self.pointer() == to, f"the pointer at {to}")

    def move(self, x, y):
        """A warp; with the extension, one to the top edge pushes into it
        from a little below, as a hand does: the extension opens the list on
        a push, and a warp across its barrier is one push as long as the warp.
        It starts below the two rows in which Mutter holds a pointer that
        pushed already, so that this push counts anew."""
        if self.shell_draws and y == 0:
            self.move(x, 3)
            # 120 px up in steps of 15, the most one step counts towards the 100 it takes.
            self.point("notify_relative_motion(GLib.get_monotonic_time(), 0, -15)", (x, 0), 8)
        else:
            self.point(f"notify_absolute_motion(GLib.get_monotonic_time(), {x}, {y})", (x, y))

    def push(self, dx, dy):
        (x, y), (w, h) = self.pointer(), self.size
        self.point(f"notify_relative_motion(GLib.get_monotonic_time(), {dx}, {dy})",
                   (min(max(x + dx, 0), w - 1), min(max(y + dy, 0), h - 1)))

    def click(self):
        self.eval("const C = imports.gi.Clutter, t = GLib.get_monotonic_time();"
                  "tuckshelfPointer.notify_button(t, C.BUTTON_PRIMARY, C.ButtonState.PRESSED);"
                  "tuckshelfPointer.notify_button(t, C.BUTTON_PRIMARY, C.ButtonState.RELEASED); true")

    def press(self, *keys):
        """Types `keys` (single keys, xdotool's names) on the virtual keyboard
        into whatever holds it: the Shell's own shelf, say."""
        self.eval(f"const C = imports.gi.Clutter, t = GLib.get_monotonic_time(), names = {list(keys)!r};"
                  "for (const n of names) { if (C['KEY_' + n] === undefined) throw new Error(n);"
                  "tuckshelfKeyboard.notify_keyval(t, C['KEY_' + n], C.KeyState.PRESSED);"
                  "tuckshelfKeyboard.notify_keyval(t, C['KEY_' + n], C.KeyState.RELEASED); } true")

    def key(self, *keys):
        """Types `keys` (xdotool's names: ctrl+v) on the virtual keyboard into
        an X window that has the focus, as a user types into an X11 program:
        Xwayland hears the keyboard only then, and so does the program."""
        if not self.typed:
            self.typed = self.counted(["xev", "-geometry", "200x100+40+700", "-name", "typed into", "-event",
                                       "keyboard"], "KeyRelease")
            wait_until(lambda: self.eval("global.display.focus_window?.title === 'typed into'"),
                       "the window typed into to take the focus")
        for combo in keys:
            names = [MODIFIERS.get(name, name) for name in combo.split("+")]
            before = self.typed()
            self.eval(f"const C = imports.gi.Clutter, t = GLib.get_monotonic_time(), names = {names!r};"
                      "const keys = names.map(n => { if (C['KEY_' + n] === undefined) throw new Error(n); "
                      "return C['KEY_' + n]; });"
                      "for (const k of keys) tuckshelfKeyboard.notify_keyval(t, k, C.KeyState.PRESSED);"
                      "for (const k of keys.reverse()) tuckshelfKeyboard.notify_keyval(t, k, C.KeyState.RELEASED);"
                      "true")
            wait_until(lambda: self.typed() >= before + len(names), f"{combo} typed into the X window")

    def probe(self, x, y, w, h):
        """xev, taken from Mutter's care (override-redirect, as X11 docks and
        menus are) so that it lies at (x, y, w, h) unframed, over the top bar
        too: Mutter keeps the windows it manages below its top bar."""
        if self.shell_major() >= 44:
            raise unittest.SkipTest("from GNOME 44 Mutter's frames client keeps an X window it has framed in its "
                                    "frame: no X window lies over the top bar (the clock's row tries clicks there)")
        presses = self.counted(["xev", "-geometry", f"{w}x{h}+{x}+{y}", "-event", "button"], "ButtonPress")
        window = wait_until(lambda: self.run("xdotool", "search", "--onlyvisible", "--name", "Event Tester").stdout
                            .decode().split(), "the probe window")[0]
        def shows(js):
            return f"global.get_window_actors().some(a => a.meta_window.title === 'Event Tester'{js})"

        def placed():
            # Mutter may still be taking the window into its care when it is
            # first unmapped, and map it back framed: then again.
            for step in (["windowunmap", "--sync"], ["set_window", "--overrideredirect", "1"],
                         ["windowmap", "--sync"], ["windowmove", "--sync"]):
                self.run("xdotool", *step, window, *[x, y] * (step[0] == "windowmove"))
            deadline = time.monotonic() + 3
            while time.monotonic() < deadline:
                if self.eval(shows(f" && a.get_parent() === global.top_window_group && a.x === {x} && a.y === {y}")):
                    return True
                time.sleep(0.05)
            return False
        wait_until(placed, "the probe window over the top bar")
        return presses

    def native(self, x, y, w, h):
        """wev, a Wayland client of the Shell's, at (x, y, w, h); the
        function returned counts the button presses it got."""
        presses = self.counted(["stdbuf", "-oL", "wev", "-f", "wl_pointer:button"], "(pressed)")
        place = ("const win = global.get_window_actors().map(a => a.meta_window).find(m => m.get_wm_class() === 'wev');"
                 f"win?.move_resize_frame(false, {x}, {y}, {w}, {h}); const r = win?.get_frame_rect();"
                 "r ? [r.x, r.y, r.width, r.height] : null")
        wait_until(lambda: self.eval(place) == [x, y, w, h], "the native window in place")
        return presses

    # -- the program -----------------------------------------------------------------
    def surfaces(self):
        """Without the extension the program's windows; with it who holds
        the program's bus name, which each copy takes anew."""
        if not self.shell_draws:
            return super().surfaces()
        reply = self.run("gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                         "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.GetNameOwner", BUS_NAME)
        return set(re.findall(r"'(:[\d.]+)'", reply.stdout.decode()))

    def shown(self, before=frozenset()):
        """With the extension: a copy not `before` holds the bus name, the
        extension has its clips (so it attached first), and the program
        shows no window of its own."""
        if not self.shell_draws:
            return super().shown(before)
        owner = next(iter(self.surfaces() - before), None)
        return owner and not X11.surfaces(self) and self.eval(
            f"const e = Main.extensionManager.lookup('{SHELF}').stateObj;"
            f"e._program._proxy?.g_name_owner === '{owner}' && e._shelf._content !== null")

    # -- pictures and the end ------------------------------------------------------
    def screenshot(self):
        path = self.base + "/shot.png"
        reply = self.call("/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot.Screenshot", "false", "false",
                          path)
        if not reply.stdout.startswith(b"(true,"):
            raise AssertionError(f"the Shell took no picture: {reply.stdout.decode()}{reply.stderr.decode()}")
        rgb = subprocess.run(["convert", path, "-alpha", "off", "-depth", "8", "rgb:-"], capture_output=True).stdout
        os.unlink(path)
        return SimpleNamespace(w=self.size[0], h=self.size[1], rgb=rgb, path=None)

    def stop(self):
        super().stop()  # the Shell ends its Xwayland as it goes
        with contextlib.suppress(OSError):
            self.log = self.log_tail()
        shutil.rmtree(self.base, ignore_errors=True)
