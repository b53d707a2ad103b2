"""The program at rest: capture, the dot, the paste key, click-through,
single instance and the stored history across a restart."""

import os
import signal
import subprocess

import harness
from harness import SessionTest, is_grey_background, is_teal, wait_until

# On a 1920 x 1080 display whose desktop reserves nothing at the top the
# top gap is 24: the resting panel is 250 x 32 at x = 835, and its dot is
# the 8 x 8 square at (1061, 8).
DOT_BOX = (1061, 8, 1069, 16)
PANEL_BOX = (835, 0, 1085, 32)
DOT_CENTRE = (1065, 12)


class RestingPanelTest(SessionTest):
    def start(self):
        self.s.start_program()
        self.s.wait_resting()

    def dot_shown(self):
        shot = self.s.screenshot()
        return is_teal(shot.pixel(*DOT_CENTRE))

    def test_copy_shows_only_the_dot_and_stores_the_trimmed_text(self):
        self.start()
        self.s.copy_text("  hello\nworld \n")
        wait_until(lambda: self.s.stored_history() == ["hello world"], what="the stored text")
        wait_until(self.dot_shown, what="the dot")

        shot = self.s.screenshot("resting")
        x0, y0, x1, y1 = DOT_BOX
        teal = shot.count(is_teal, DOT_BOX)
        self.assertGreaterEqual(teal, 30, "the dot is a filled circle")
        # Outside the dot's square nothing of the panel may show.
        px0, py0, px1, py1 = PANEL_BOX
        foreign = [(x, y) for y in range(py0, py1 + 4) for x in range(px0 - 4, px1 + 4)
                   if not (x0 - 1 <= x < x1 + 1 and y0 - 1 <= y < y1 + 1)
                   and not is_grey_background(shot.pixel(x, y))]
        self.assertEqual(foreign[:5], [], "only the dot is drawn at rest")

    def test_paste_key_hides_the_dot_but_other_keys_do_not(self):
        self.start()
        self.s.copy_text("paste me")
        wait_until(self.dot_shown, what="the dot")
        for keys in ("v", "shift+v", "alt+v"):
            self.s.xdotool("key", keys)
        self.s.copy_text("paste me")  # the same text again keeps the dot lit
        wait_until(self.dot_shown, what="the dot after other keys")
        self.assertTrue(self.dot_shown())
        self.s.xdotool("key", "ctrl+v")
        wait_until(lambda: not self.dot_shown(), what="the dot to go")

    def test_white_space_only_copy_records_nothing(self):
        self.start()
        self.s.copy_text("first")
        wait_until(lambda: self.s.stored_history() == ["first"], what="first")
        self.s.copy_text(" \n\t \n")
        wait_until(lambda: not self.dot_shown(), what="the dot to go after a blank copy")
        self.assertEqual(self.s.stored_history(), ["first"])

    def test_click_on_the_resting_panel_reaches_the_window_beneath(self):
        xev = subprocess.Popen(["xev", "-geometry", "400x60+865+0", "-event", "button"],
                               env=self.s.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
        self.s.procs.append(xev)
        wait_until(lambda: self.s._run(["xdotool", "search", "--name", "Event Tester"],
                                        check=False).returncode == 0, what="the xev window")
        self.start()
        self.s.copy_text("over a window")
        wait_until(self.dot_shown, what="the dot")
        self.s.move_pointer(*DOT_CENTRE)
        self.s.xdotool("click", "1")
        self.s.move_pointer(900, 20)
        self.s.xdotool("click", "1")
        os.set_blocking(xev.stdout.fileno(), False)
        seen = []

        def presses():
            chunk = xev.stdout.read()
            if chunk:
                seen.append(chunk)
            return "".join(seen).count("ButtonPress") >= 2
        wait_until(presses, what="both clicks at xev")

    def test_second_copy_ends_the_first(self):
        first = self.s.start_program()
        self.s.wait_resting()
        second = self.s.start_program()
        wait_until(lambda: first.poll() is not None, what="the first copy to end")
        self.assertEqual(first.returncode, -signal.SIGKILL)
        self.assertIsNone(second.poll())
        self.s.wait_resting()

    def test_restart_brings_back_the_stored_texts(self):
        self.start()
        for text in ("one", "two", "three"):
            self.s.copy_text(text)
            wait_until(lambda: (self.s.stored_history() or [None])[0] == text, what=text)
        self.assertEqual(self.s.stored_history(), ["three", "two", "one"])
        self.s.program.kill()
        self.s.program.wait()
        self.start()
        # "three" is still on the clipboard; the launch takes it up again.
        wait_until(self.dot_shown, what="the dot after restart")
        self.assertEqual(self.s.stored_history(), ["three", "two", "one"])


if __name__ == "__main__":
    harness.main()
