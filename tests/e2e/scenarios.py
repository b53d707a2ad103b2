"""The end-to-end scenarios: the real program on a display server of its own,
driven like a user. TABLE holds one row per scenario; ctest runs each row on
its own under each driver it names (see CMakeLists.txt), and the leak check
the rows marked for it on X11. Rows that need keys typed into the program
are for X11 and GNOME, where it is an X client: nothing here can type into
another program on Wayland.

On a 1920 x 1080 display whose desktop reserves nothing at the top, the band
that opens the list spans x 836..1050 and y 0..26; the resting panel is
250 x 32 at x 835, its dot at x 1061..1068, y 8..15; the open list of
one-line texts is 220 wide at x 850, its rows 30 high and 3 apart, the first
8 below the top gap. Where the desktop reserves more (GNOME's top bar), the
driver's gap and band say how much.
"""

import os, pathlib, random, re, stat, struct, subprocess, sys, time, zlib

import harness
from harness import MID, px

LEFT, RIGHT = (0, 0, 1920, 1080), (1920, 0, 1920, 1080)
TABLE = []  # (name, body, screen size, monitors, in the leak check, drivers)
ALL, X11, WAYLAND = ("x11", "sway", "kwin", "gnome"), ("x11",), ("sway", "kwin")
X_CLIENTS = ("x11", "gnome")  # where the program and the tools are X clients
# GNOME without the extension, where the program draws on Xwayland: only
# the rows that try how it gets by there.
FALLBACK = ("gnome-xwayland",)


def scenario(size=(1920, 1080), monitors=(), leaks=False, name=None, drivers=ALL):
    return lambda body: TABLE.append((name or body.__name__, body, size, monitors, leaks, drivers))


def row(t, n):
    """The middle of the open list's row `n` (from 0) of one-line texts."""
    return t.d.gap + 23 + 33 * n


def chunk(tag, body):
    return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body))


def pixels(data):
    return subprocess.run(["convert", "png:-", "rgb:-"], input=data, capture_output=True).stdout or None


def png(width, height, kind="red"):
    """A PNG of one colour, compressed row by row: even 400 MB of pixels
    make a file of ~400 KB and take little memory here."""
    depth, colour, row = {"red": (8, 2, b"\xc8\x28\x28" * width), "bit": (1, 0, bytes((width + 7) // 8)),
                          "rgba": (8, 6, bytes(4 * width))}[kind]
    z = zlib.compressobj(9)
    pixels = b"".join(z.compress(b"\0" + row) for _ in range(height)) + z.flush()
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", pixels) + chunk(b"IEND", b"")


# -- at rest ------------------------------------------------------------------
@scenario(drivers=ALL + FALLBACK)
def capture_shows_only_the_dot(t):
    t.start().copy("a\r\nb\rc").recorded("a b c")  # Windows line ends, one space each
    t.copy("  hello\nworld \n").recorded("hello world").resting(dot=True)
    s = t.shot("resting")
    dot = t.d.gap // 2  # the dot's middle row
    stray = [(x, y) for x in range(MID - 130, MID + 130) for y in range(t.d.gap + 12)
             if px(s, x, y) != harness.GREY and not (MID + 100 <= x < MID + 110 and dot - 5 <= y < dot + 5)]
    t.assertEqual(stray[:5], [], "only the dot is drawn at rest")
    # White space alone is nothing: the dot goes out, the store stays.
    t.copy(" \n\t \n").resting(dot=False).stored_is("hello world", "a b c")


@scenario(drivers=X_CLIENTS + FALLBACK)
def paste_key_clears_the_dot(t):
    # The list, opened and closed after other keys, shows the resting panel
    # anew: the keys were handled by then and must have left the dot lit.
    t.start().capture("paste me").key("v", "shift+v", "alt+v", "ctrl+c", "Insert").open(1).leave(dot=True)
    for keys in ("ctrl+v", "ctrl+shift+v", "shift+Insert"):
        t.key(keys).resting(dot=False).capture(keys)


# Not with GNOME's extension, whose shelf lies below X windows over the top
# bar: there the clock row below clicks through the resting shelf.
@scenario(drivers=X11 + WAYLAND + FALLBACK)
def clicks_beside_the_band_reach_the_window_beneath(t):
    presses = t.probe(MID - 130, 0, 400, 60)  # its black edge clear of the list's
    t.start().capture("over a window")
    # On the dot, right of the band, below it: all on the resting panel.
    beside = lambda: t.move(MID + 105, t.d.gap // 2).click().move(MID + 95, 3).click().move(MID - 60, t.d.gap + 5)
    beside().click().wait(lambda: presses() == 3, "three presses at the window beneath")
    # Again once the list has opened and closed: its larger input region
    # must not stay behind (Mutter 43 kept one).
    t.resting(dot=True).open(1).leave()
    beside().click().wait(lambda: presses() == 6, "three more presses at the window beneath")


@scenario()
def starting_again_replaces_the_copy_and_keeps_the_texts(t):
    other = harness.new_driver()  # another display, with a copy of its own
    t.addCleanup(other.stop), other.start(800, 600)
    elsewhere = other.spawn([harness.ARGS.binary], env=other.env | {"XDG_CONFIG_HOME": t.tmp + "/other"})
    first = t.start().capture("one", "two", "three").program
    t.start().wait(lambda: first.poll() is not None, "the first copy to end")
    t.assertEqual(first.returncode, 0, "asked to quit, it quits cleanly")
    t.open(3).stored_is("three", "two", "one").shot("restarted")
    t.assertIsNone(elsewhere.poll(), "the copy on the other display runs on")
    t.assertEqual(t.clipboard(), b"three")  # its owner still serves it


# On GNOME Mutter keeps a clip whose owner quit and serves its pastes itself.
@scenario(drivers=X11 + WAYLAND)
def the_clipboard_outlives_its_owner(t):
    served = lambda kind: t.wait(lambda: kind in (t.clipboard("TARGETS") or b""), "the clip taken over")  # no paste
    t.start().capture("keep me").owner.terminate()
    served(t.d.TEXT.encode())
    t.resting(dot=True).stored_is("keep me")  # no new copy: the same history, the dot still lit
    t.assertEqual(t.clipboard(), b"keep me")
    picture = png(40, 30)
    t.resting(dot=False).copy(picture, "image/png").resting(dot=True).owner.terminate()
    served(b"image/png")
    t.assertEqual(pixels(t.clipboard("image/png")), pixels(picture))


@scenario(drivers=X_CLIENTS)  # Wayland has no clipboard manager to hand a clip to
def a_quitting_program_hands_its_clip_over(t):
    t.start().capture("keep me").d.copier()("handed over", save=True)
    t.wait(lambda: t.clipboard() == b"handed over", "the handed-over text")
    t.stored_is("handed over", "keep me")


@scenario()
def the_command_line(t):
    run = lambda *args: t.d.run(harness.ARGS.binary, *args)
    t.start().capture("one", "two")
    for args, code, says in ((["--help"], 0, b"--quit"), (["--version"], 0, b"tuckshelf "),
                             (["--bogus"], 2, b"'bogus'"), (["-platform", "xcb", "--version"], 0, b"tuckshelf ")):
        r = run(*args)
        t.assertEqual((r.returncode, says in r.stdout + r.stderr), (code, True), args)
    t.assertIsNone(t.program.poll(), "a running copy is left alone")
    t.assertEqual(run("--clear").returncode, 0)
    t.stored_is().move(MID, 0).listed(0).leave(dot=None)  # cleared through the running copy
    t.capture("three").assertEqual(run("--quit").returncode, 0)
    t.assertEqual(t.program.wait(5), 0)
    t.assertEqual(t.clipboard(), b"three")
    t.assertEqual(run("--quit").returncode, 1)  # none running now
    t.assertEqual(run("--clear").returncode, 0)
    t.stored_is()  # the stored file rewritten


@scenario()
def damaged_store_is_set_aside(t):
    store = pathlib.Path(t.store)
    store.parent.mkdir(mode=0o700, parents=True)
    store.write_text('{"tuckshelf.history.text": ["cut off')
    t.start().open(0).capture("fresh").stored_is("fresh")
    t.assertEqual(pathlib.Path(t.store + ".bad").read_text(), '{"tuckshelf.history.text": ["cut off')


# -- every format of a clip ---------------------------------------------------
FILES = ["/tmp/a.pdf", "/tmp/notes.txt"]  # named, never opened


def formats(t, names):
    return {name: t.clipboard(name) for name in names}


# Real toolkits copy HTML, text and files; every format is still served,
# byte for byte, once the program has quit (handed over or taken over) and
# again when its row is chosen. A format over the cap (33 MiB from Qt, on
# X11: Qt 6.4 on Wayland then hangs at its quit) is left out, the others kept.
# On GNOME the Shell's own keeper takes the clip over first, its text alone:
# the history keeps the one entry, whose row gives every format back.
@scenario(leaks=True, drivers=X11 + WAYLAND + ("gnome",))
def every_format_outlives_its_program_and_comes_back(t):
    t.start()
    for rows, toolkit in ((2, "qt"), (4, "gtk")):
        text, big = f"from {toolkit}", toolkit == "qt"
        quit = t.d.toolkit_copy(toolkit, {"formats": {"text/plain": text, "text/html": f"<p>{text} <b>in bold</b>"},
                                          "files": FILES, "big": (33 << 20) * big})
        names = ["text/html", "text/uri-list", "text/plain"]
        copied = t.recorded(text).wait(lambda: all((c := formats(t, names)).values()) and c, "the copy's formats")
        quit()
        if t.d.keeper:
            t.wait(lambda: b"text/html" not in (t.clipboard("TARGETS") or b"text/html"), "the Shell's keeper")
        else:
            t.wait(lambda: formats(t, names) == copied, "every format served after the program quit")
        t.assertNotIn(b"application/x-big", t.clipboard("TARGETS"))
        t.capture(f"plain after {toolkit}").open(rows).move(MID, row(t, 1)).click().resting(dot=True)
        t.wait(lambda: formats(t, names) == copied, "every format served from the chosen row")


@scenario(drivers=X11)  # Wayland has no clipboard manager to hand a clip to
def gtk_hands_every_format_to_the_manager(t):
    quit = t.start().d.toolkit_copy("gtk", {"formats": {"text/plain": "richly"}, "store": True})
    names = [n for n in t.recorded("richly").clipboard("TARGETS").decode().split()
             if n not in ("TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS")]
    copied = formats(t, names)
    t.assertIn("application/x-gtk-text-buffer-rich-text", names)
    quit()
    t.wait(lambda: formats(t, names) == copied, "every format GTK stored")


# One format whose owner never answers is left out at its deadline, the
# others kept: the owner hands its clip over once it has been read.
@scenario(drivers=X11)
def a_format_whose_owner_hangs_is_left_out(t):
    t.start().d.copier()("hangs", formats={"text/html": "<b>kept</b>", "application/x-hangs": "never"},
                         hang="application/x-hangs", save=True)
    served = lambda: t.clipboard("TARGETS") or b"application/x-hangs"  # the owner's list has it
    t.wait(lambda: b"application/x-hangs" not in served(), "the clip handed over")
    t.assertEqual((t.clipboard("text/html"), t.clipboard()), (b"<b>kept</b>", b"hangs"))
    t.stored_is("hangs")


# A picture with HTML shows as its picture, files by their names, HTML
# alone as the text it reads as.
@scenario(drivers=X11)
def rich_clips_show_as_a_picture_and_as_files(t):
    t.d.accessibility(t.tmp)
    t.start().d.toolkit_copy("qt", {"formats": {"text/html": "<img src='https://example.org/a.png'>"},
                                    "png": png(40, 30).hex()})
    # Neither is stored: the dot tells each taken up (white space puts it out).
    t.resting(dot=True).copy(" ").resting(dot=False).d.toolkit_copy("qt", {"files": FILES})
    t.resting(dot=True).d.toolkit_copy("gtk", {"formats": {"text/html": "<p>a <b>web</b> page</p>"}})
    t.wait(lambda: t.stored()[:1] == ["a web page"], "the page's text stored")
    t.assertEqual(t.d.run(harness.ARGS.binary, "--open").returncode, 0)
    rows = lambda: [o["name"] for o in t.d.accessible_tree("tuckshelf") if o["role"] == "list item"]
    names = ["Clip 1 of 3: a web page", "Clip 2 of 3: Files, a.pdf and 1 more", "Clip 3 of 3: Picture, 40 by 30"]
    t.listed(3).shot("files-and-picture")
    t.wait(lambda: rows() == names, "the rows read as files and a picture")


# -- the open list ------------------------------------------------------------
@scenario(drivers=ALL + FALLBACK)
def warp_into_the_band_opens_the_list(t):
    # A warp makes no motion at all, only the band's entry.
    t.start().capture("alpha", "bravo", "charlie", "delta", "echo").open(5).shot("open-five")
    for x, y in ((MID + 90, t.d.band - 1), (MID + 90, 0)):  # its last column and row; its first column below
        t.leave().move(x, y).listed(5)
    # Just outside nothing opens: a copy of white space, seen after the
    # warp, puts the dot out only at rest.
    for x, y in ((MID - 125, 0), (MID + 91, 0), (MID, t.d.band)):
        t.leave().move(x, y).copy(" ").resting(dot=False).capture(f"echo {x},{y}")
    t.leave().move(MID - 124, 0).listed(5)


@scenario(drivers=ALL + FALLBACK)
def pushing_up_into_the_edge_opens_the_list(t):
    t.start().capture("pushed").move(MID, 300).push(0, -400).listed(1).push(0, 300).resting()


# GNOME's extension opens the list on a push into the edge alone, as the
# hot corner does: a slide along it is none.
@scenario(drivers=X11 + WAYLAND + FALLBACK)
def sliding_along_the_top_edge(t):
    t.start().capture("slid").move(MID - 400, 0).push(200, 0).copy(" ").resting(dot=False)
    t.push(100, 0).listed(1).push(190, 0).listed(1)  # into the band, along it to its right end
    t.push(200, 0).resting(dot=False)  # past the list


# On GNOME also: Mutter's clipboard manager reads every new owner once by
# itself, which is no paste.
@scenario(leaks=True, drivers=ALL + FALLBACK)
def choosing_a_row_puts_it_back(t):
    t.start().capture("one", "two", "three", "four").copy(" ").resting(dot=False)
    # A picture takes a row but is never stored.
    t.copy(png(64, 48), "image/png").resting(dot=True).open(5).shot("picture-and-four-texts")
    t.move(MID, row(t, 2)).click().stored_is("three", "four", "two", "one").resting(dot=True)
    t.clipboard("TARGETS")  # a probe of the types is no paste
    t.resting(dot=True).assertEqual(t.clipboard(), b"three")  # a paste of what it put back: the dot goes out
    t.resting(dot=False).open(5).move(MID, row(t, 1)).click().resting(dot=True)  # the picture, second now
    t.wait(lambda: (t.clipboard("image/png") or b"").startswith(b"\x89PNG"), "the picture served")
    t.resting(dot=False).stored_is("three", "four", "two", "one")


@scenario(leaks=True)
def removing_a_row(t):
    t.start().capture("keep one", "remove me", "keep two").open(3)
    # The hovered row shows its remove button, 10 in from the list's right.
    t.move(MID, row(t, 1)).move(t.box[2] - 27, row(t, 1) - 1).shot("hovered-row")
    t.click().stored_is("keep two", "keep one").listed(2)


@scenario(leaks=True)
def copy_while_the_pointer_rests_on_a_lower_row(t):
    t.start().capture("a", "b", "c").open(3).move(MID, row(t, 2)).capture("new while open").resting()
    # Where the pointer is now nothing may open the list again.
    t.capture("and another").resting()


@scenario()
def empty_history_shows_the_message(t):
    # Also to a pointer already in the band when the program starts, at its
    # first move there at the latest: sway 1.10 and later tell a surface
    # that appears under a still pointer nothing until the pointer moves.
    t.move(MID, 0).start().move(MID + 1, 0).listed(0).leave(dot=False).open(0).shot("empty-message")


# KWin has what the native backend needs: the X11 backend under Xwayland is
# what desktops without it (GNOME) run, tried here on sway's Xwayland.
@scenario(drivers=("sway",))
def x11_backend_under_xwayland(t):
    # How GNOME runs it: the X11 backend, on the Wayland desktop's Xwayland,
    # which hears the pointer only over X windows. The list opens from the
    # band, drawn on a clear background (Xwayland shows what a shape cuts).
    # Xwayland 22 passes on neither the pointer leaving an X window for a
    # Wayland one nor a window's input shape, so neither is asked for here.
    t.d.xwayland()
    t.start().open(0)


# -- from the keyboard ---------------------------------------------------------
# The shortcut's command opens the list on the pointer's display, holding the
# keyboard: the keys move, remove and choose, Escape or the command again
# closes, and the window that had the focus has it back. Keys reach the
# program only as an X client here (see the module's note).
@scenario(size=(3840, 1080), monitors=(LEFT, RIGHT), drivers=X11)
def the_keyboard_opens_chooses_and_gives_the_focus_back(t):
    command = lambda: t.d.run(harness.ARGS.binary, "--open").returncode
    t.assertEqual(command(), 1, "none runs yet")
    t.probe(100, 300, 300, 200)
    window = t.d.run("xdotool", "search", "--onlyvisible", "--name", "Event Tester").stdout.decode().split()[0]
    focus = lambda: t.d.run("xdotool", "getwindowfocus").stdout.decode().strip()
    t.d.run("xdotool", "windowfocus", "--sync", window)
    t.move(2880, 600).start().capture("one", "two", "three").open(3, 2880)
    t.assertEqual(focus(), window, "opened by the pointer, the list takes no focus")
    t.leave(mid=2880).assertEqual(command(), 0)
    t.listed(3, 2880).wait(lambda: focus() != window, "the list to hold the keyboard")
    t.move(2880, 700).listed(3, 2880)  # the pointer away: it stays open
    t.key("Down", "Down", "Down", "Up", "Delete").stored_is("three", "one").listed(2, 2880)
    t.key("Return").stored_is("one", "three").resting(mid=2880)
    t.wait(lambda: focus() == window, "the focus back where it was")
    t.assertEqual(t.clipboard(), b"one")
    for close in (lambda: t.key("Escape"), command):
        t.assertEqual(command(), 0)
        t.listed(2, 2880).wait(lambda: focus() != window, "the list to hold the keyboard")
        close()
        t.resting(dot=None, mid=2880).wait(lambda: focus() == window, "the focus back where it was")


# What Orca reads, over AT-SPI: the rows as a list, the highlighted one
# focused, a picture by its size, each remove button, the dot's state.
@scenario(drivers=X11)
def a_screen_reader_finds_the_rows(t):
    t.d.accessibility(t.tmp)
    t.start().capture("Meeting moved to Thursday", "two").copy(png(64, 48), "image/png").resting(dot=True)
    t.assertEqual(t.d.run(harness.ARGS.binary, "--open").returncode, 0)
    t.listed(3)
    names = ["Clip 1 of 3: Picture, 64 by 48", "Clip 2 of 3: two", "Clip 3 of 3: Meeting moved to Thursday"]
    items = lambda tree: [(o["name"], o["focused"]) for o in tree if o["role"] == "list item"]
    tree = t.wait(lambda: (tree := t.d.accessible_tree("tuckshelf")) and items(tree) and tree, "the rows over AT-SPI")
    t.assertEqual(items(tree), [(n, n == names[0]) for n in names])
    t.assertEqual([o["name"] for o in tree if o["role"] == "list"], ["Clipboard history"])
    # at-spi2-core 2.5x calls a push button a "button"
    t.assertTrue({("push button", "Remove"), ("button", "Remove")} & {(o["role"], o["name"]) for o in tree}, tree)
    t.assertIn("copied, not pasted", [o["description"] for o in tree])
    t.key("Down").wait(lambda: items(t.d.accessible_tree("tuckshelf"))[1][1], "the second row focused")


# On Wayland the list asks for the keyboard as a layer surface, and sway
# gives it back to the window that had it: wev, which tells the keyboard's
# coming and going. KWin (5.27 and 6.7) gives it to no window when a layer
# surface lets go: there the keys are checked, not the focus coming back.
@scenario(drivers=WAYLAND)
def the_keyboard_opens_the_list_on_wayland(t):
    command = lambda: t.d.run(harness.ARGS.binary, "--open").returncode
    t.assertEqual(command(), 1, "none runs yet")
    events = t.d.follow(["stdbuf", "-oL", "wev"])
    keyboard = lambda: [m[1] for e in events if (m := re.search(r"wl_keyboard\] (enter|leave)", e))]
    at_wev = lambda: keyboard()[-1:] == ["enter"]
    back_at_wev = lambda: isinstance(t.d, harness.KWin) or at_wev()
    t.press("Shift_L").wait(at_wev, "wev to have the keyboard")
    t.start().capture("one", "two", "three").open(3)
    t.leave().assertEqual(command(), 0)
    t.listed(3).wait(lambda: not at_wev(), "the list to hold the keyboard")
    t.move(MID, 700).listed(3)  # the pointer away: it stays open
    t.press("Down", "Down", "Up", "Delete").stored_is("three", "one").listed(2)
    t.press("Down", "Return").stored_is("one", "three").resting().wait(back_at_wev, "the keyboard back at wev")
    t.assertEqual(t.clipboard(), b"one")
    for close in (lambda: t.press("Escape"), command):
        t.assertEqual(command(), 0)
        t.listed(2).wait(lambda: not at_wev(), "the list to hold the keyboard")
        close()
        t.resting(dot=None).wait(back_at_wev, "the keyboard back at wev")


# The extension holds the keyboard in the Shell's modal grab; the window
# typed into before has it again afterwards.
@scenario(drivers=("gnome",))
def the_keyboard_opens_the_shelf_in_the_shell(t):
    command = lambda: t.d.run(harness.ARGS.binary, "--open").returncode
    held = lambda on: t.wait(lambda: (t.eval("Main.modalCount") > 0) == on, f"the modal grab held {on}")
    t.start().capture("one", "two", "three").key("a")  # an X window has the focus
    t.assertEqual(command(), 0)
    held(t.listed(3) and True)
    rows = t.eval("Main.layoutManager.uiGroup.get_children().find(a => a.has_style_class_name?.('tuckshelf-panel'))"
                  ".get_children().map(row => row.accessible_name)")
    t.assertEqual(rows, ["Clip 1 of 3: three", "Clip 2 of 3: two", "Clip 3 of 3: one"])  # as Orca reads them
    t.press("Down", "Down", "Up", "Delete").stored_is("three", "one").listed(2)
    t.press("Down", "Return").stored_is("one", "three").resting()
    held(False)
    t.key("b").assertEqual(t.clipboard(), b"one")  # typed into the window that had the focus
    for close in (lambda: t.press("Escape"), command):
        t.assertEqual(command(), 0)
        held(t.listed(2) and True)
        close()
        held(t.resting(dot=None) and False)
    t.key("c")


# GNOME without the extension hands the X client's grab the keys, and the X
# window typed into before has them back.
@scenario(drivers=FALLBACK)
def the_shortcut_opens_and_closes_the_list(t):
    command = lambda: t.d.run(harness.ARGS.binary, "--open").returncode
    t.assertEqual(command(), 1, "none runs yet")
    t.start().capture("one", "two").key("a")  # an X window has the focus
    t.assertEqual(command(), 0)
    t.listed(2).move(MID, 700).listed(2)
    t.press("Down", "Delete").stored_is("two").listed(1).press("Escape").resting().key("b")


# -- several displays ---------------------------------------------------------
@scenario(size=(3840, 1080), monitors=(LEFT, RIGHT))
def each_display_opens_its_own_list(t):
    # X11 rests on the display under the pointer; Wayland tells a program of
    # the pointer only over its own surfaces, so there the panel rests on
    # the primary display until the list is opened on another.
    t.move(2880, 600).start().capture("on the right").resting(mid=2880 if isinstance(t.d, harness.X11) else 960)
    for mid in (2880, 960):
        t.open(1, mid).assertEqual([m for m in (960, 1920, 2880) if t.panel(m)], [mid])
        t.leave(mid=mid)
    # The middle of the whole screen is no display's top centre.
    t.move(1920, 0).copy(" ").resting(mid=960, dot=False)


# sway 1.7 cannot take a headless output away, and KWin's nested outputs
# are fixed when it starts.
@scenario(size=(3840, 1080), drivers=X11)
def displays_added_removed_and_resized(t):
    t.move(2880, 600).start().capture("on display").resting(mid=1920)
    # The display under the pointer takes the panel, else the first.
    t.outputs(LEFT, RIGHT).resting(mid=2880).outputs(LEFT).resting(mid=960)
    # A smaller display lower down: the panel hangs from its own top edge.
    t.outputs(LEFT, (1920, 360, 1280, 720)).resting(mid=2560, top=360).open(1, 2560, 360).leave(mid=2560, top=360)
    t.outputs((0, 0, 1280, 1080)).resting(mid=640).open(1, 640).leave(mid=640).outputs().resting(mid=1920)
    # Split while open: the list moves to the pointer's display, where the
    # pointer is outside the band, and closes there.
    t.open(1, 1920).outputs(LEFT, RIGHT).resting(mid=2880)


# -- GNOME's own ------------------------------------------------------------------
@scenario(drivers=("gnome",) + FALLBACK)
def the_clock_beneath_keeps_its_clicks(t):
    # The top bar's clock at the top centre, below the band, opens its
    # calendar and closes it, before the list has opened and after.
    t.start().capture("by the clock")
    for _ in range(2):
        for state in (True, False):
            t.move(MID, t.d.gap // 2).click()
            t.wait(lambda: t.eval("Main.panel.statusArea.dateMenu.menu.isOpen") == state, f"the calendar open {state}")
        t.open(1).leave()


@scenario(drivers=("gnome",) + FALLBACK)
def leaving_for_a_native_window_closes_the_list(t):
    # Xwayland tells an X program nothing when the pointer goes over a
    # Wayland window, such as wev below the top bar.
    presses = t.start().capture("left for wev").native(0, t.d.gap, 1920, 1080 - t.d.gap)
    t.move(MID, 300).push(0, -400).listed(1).leave().click().wait(lambda: presses() == 1, "a press at the window")


@scenario(drivers=("gnome",))
def the_extension_follows_the_program(t):
    # Once the program quits, the dot and an open list go with it; a new
    # copy brings the dot back.
    t.start().capture("still here").open(1)
    for _ in range(2):
        t.assertEqual(t.d.run(harness.ARGS.binary, "--quit").returncode, 0)
        t.resting(dot=False).start().resting(dot=True)


# -- bad input: after each the program runs on, its history intact ----------
MAX_TEXT = 2 << 20  # the longest text recorded
RAW, NOISE = b"caf\xe9 ok \xff\xfe \xc0\x80 end", random.Random(7).randbytes(4096)
# name, action, the text recorded (None: nothing, and the dot goes out), in the leak check[, drivers]
BAD_INPUT = [
    ("text_not_utf8", lambda t: t.copy(RAW), "caf\ufffd ok \ufffd\ufffd \ufffd\ufffd end", False),
    # wl-copy offers any text as UTF-8 too: Latin-1 alone is X11's.
    ("latin1_string", lambda t: t.copy(RAW, "STRING"), RAW.decode("latin-1"), False, X_CLIENTS),
    ("empty_text", lambda t: t.copy(""), None, False),
    # On GNOME xclip serves Mutter's own read of the 2 MiB first, and ours
    # only after it.
    ("longest_text_kept", lambda t: t.copy(b"  \n" + b"a" * MAX_TEXT + b" \n"), "a" * MAX_TEXT, False),
    ("text_one_character_too_long", lambda t: t.copy(b"b" * (MAX_TEXT + 1)), None, False),
    ("hundred_megabyte_text", lambda t: t.copy(b"0123456789 abcdefghijklmnopqrstuvwxyz\n" * 2_700_000), None, False),
    ("secret_from_a_password_manager", lambda t: t.copier()("hunter2", "secret"), None, True),
    ("owner_goes_away", lambda t: t.capture("gone").owner.terminate(), "gone", True),
    ("owner_that_never_answers", lambda t: t.copier()("never answered", stop=True), None, True),
    ("random_bytes_as_png", lambda t: t.copy(NOISE, "image/png"), None, True),
    ("png_header_before_garbage", lambda t: t.copy(png(64, 64)[:33] + chunk(b"IDAT", NOISE), "image/png"), None, False),
    # Refused from the header, before any pixel memory is taken; Qt's
    # allocation limit alone would let the second through to a 400 MB decode.
    ("png_of_400_megapixels", lambda t: t.copy(png(20000, 20000, "bit"), "image/png"), None, False),
    ("png_one_row_over_100_megapixels", lambda t: t.copy(png(10000, 10001, "rgba"), "image/png"), None, False),
]


def bad_input(name, action, text):
    def body(t):
        peak = t.start().capture("first", "second").vm("VmHWM")
        action(t)
        if text is None:  # read and counted as nothing
            history = t.resting(dot=False).stored()
        else:
            history = t.stored_is(text, "second", "first").stored()
        if "png" in name:
            t.assertLess(t.vm("VmHWM") - peak, 100 * 1024, "the picture was decoded")
        # Still responsive: the list opens and closes, the next copy is recorded.
        t.move(MID, 0).wait(t.panel, "the list")
        t.leave(dot=None).capture("next").stored_is("next", *history[:4]).resting(dot=True)
    return body


for name, action, text, leaks, *drivers in BAD_INPUT:
    scenario(leaks=leaks, name=name, drivers=drivers[0] if drivers else ALL)(bad_input(name, action, text))


# -- the store under crashes, and load ------------------------------------------
SNIPPETS = ["plain words", 'a "quoted" \\ back\\slash', "tab\there", "ünïcödé ✓ 日本語", "emoji 🎉 pair",
            "ctrl \x01 char", '{"json": [1, 2]}', "</script> & <b>", "long" + " lorem ipsum dolor" * 1500]


def storm_text(n):
    return f"storm-{n} {SNIPPETS[n % len(SNIPPETS)]}"


def storm(copy, first, rate, count=10**9, seconds=1e9, check=None):
    """Copies storm_text(first), storm_text(first + 1) ... `rate` a second,
    `count` of them or for `seconds`; returns the last one's number."""
    t0, n = time.monotonic(), first
    while n < first + count and time.monotonic() < t0 + seconds:
        copy(storm_text(n))
        if check and n % 25 == 0:
            check(n)
        n += 1
        time.sleep(max(0.0, t0 + (n - first) / rate - time.monotonic()))
    return n - 1


def storm_numbers(t, texts, last):
    """The copy numbers of a history the program could have written during
    a storm: at most five, each one copied, newest first without repeats."""
    t.assertTrue(texts and len(texts) <= 5, f"no history of a storm: {texts!r:.300}")
    numbers = [int(s.split(" ")[0][len("storm-"):]) for s in texts]
    t.assertEqual([storm_text(n) for n in numbers], texts)
    t.assertEqual(numbers, sorted(set(numbers), reverse=True), "out of order")
    t.assertLessEqual(numbers[0], last, "a text never copied")
    return numbers


@scenario()
def sigkill_during_copy_storms_leaves_a_store_that_loads(t):
    seed = int(os.environ.get("TUCKSHELF_TEST_SEED", time.time_ns() % 1_000_000))
    print(f"TUCKSHELF_TEST_SEED={seed}", file=sys.stderr)
    rng, copy, folder, last, landed = random.Random(seed), t.copier(), os.path.dirname(t.store), 0, 0
    copy(storm_text(0))
    t.start().recorded(storm_text(0)).program.kill()
    for kill in range(80):
        # The kill lands at a random moment: one in four while the program
        # starts (reading the store, writing back the clipboard's text),
        # the others up to 1.2 s after its window came up.
        t.program.wait()
        t.start(wait=kill % 4 != 3)
        first, last = last + 1, storm(copy, last + 1, 100, seconds=rng.uniform(0, 1.2))
        t.program.kill()
        t.program.wait()
        landed += storm_numbers(t, t.stored(), last)[0] >= first  # it had stored copies of this storm
        for name in os.listdir(folder):  # nor may a temporary file a kill left show the history
            t.assertFalse(".bad" in name or os.lstat(os.path.join(folder, name)).st_mode & 0o077, name)
    t.assertGreater(landed, 20, "too few kills landed amid the storms' writes")
    # The last store loads: what the clipboard holds comes first, then the rest.
    expected = ([storm_text(last)] + [s for s in t.stored() if s != storm_text(last)])[:5]
    t.start().stored_is(*expected)


@scenario()
def store_stays_owner_only(t):
    t.start(umask=0)  # a file or folder that merely followed the umask would be open to all
    for n, mode in enumerate((None, None, 0o644, 0o666)):
        if mode:
            os.chmod(t.store, mode)
        folder = os.path.dirname(t.capture(f"copy {n}").store)
        modes = [stat.S_IMODE(os.stat(path).st_mode) for path in (t.store, folder)]
        t.assertEqual((modes, os.listdir(folder)), ([0o600, 0o700], ["defaults.json"]), f"copy {n}")


@scenario()
def copy_storms_are_followed_and_memory_stays_flat(t):
    copy, rss = t.start().copier(), []
    for first, count, rate in ((0, 1000, 100), (1000, 9000, 500)):
        newest = set()

        def check(n):
            if texts := t.stored():
                newest.add(storm_numbers(t, texts, n)[0])
        t.recorded(storm_text(storm(copy, first, rate, count, check=check)))
        t.assertGreaterEqual(len([n for n in newest if n >= first]), 3, "the store followed the storm")
        rss.append(t.vm("VmRSS"))
    # Each change starts a read (an object, a window, a timer): a leak of a
    # few hundred bytes a change would cross this; the allocator's own drift
    # stays within a few pages.
    t.assertLess(rss[1] - rss[0], 5 * 1024, f"VmRSS {rss} KiB after 1,000 and 10,000 copies")
    t.move(MID, 0).wait(t.panel, "the list")


if __name__ == "__main__":
    harness.main(TABLE)
