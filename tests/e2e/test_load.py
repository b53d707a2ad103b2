"""Load: a thousand copies in ten seconds are followed tick by tick, ten
thousand leave memory flat, and in the sanitizer build a whole session
ends without leaks."""

import os
import re
import signal
import subprocess
import sys
import time

import harness
from harness import SessionTest, storm_index, storm_text, wait_until

TICK = 0.4
GAP = 24
MID_X = 960
# A loaded machine may delay a tick's capture and write; this much on top
# of the ticks themselves is allowed.
MARGIN = 0.4
# VmRSS may grow this much from 1,000 to 10,000 copies. Every change makes
# the program start a read of the clipboard (an object, an X window, a
# timer: a few hundred bytes at least), so a leak of more than ~580 bytes a
# change crosses it, while the allocator's own drift stays within a few
# pages (measured: none at all).
RSS_GROWTH_LIMIT_KIB = 5 * 1024


def row_top(i):
    """Screen y of row i's top in a list of short texts (every row 30 high)."""
    return GAP + 8 + i * 33


class LoadTest(SessionTest):
    def check_history(self, texts, prefix, when):
        """A history the program could have written during a storm of `prefix`."""
        self.assertIsInstance(texts, list, when)
        self.assertLessEqual(len(texts), 5, when)
        indices = [storm_index(prefix, t) for t in texts]
        self.assertNotIn(None, indices, f"{when}: {texts}")
        self.assertEqual(indices, sorted(set(indices), reverse=True), when)
        return indices

    def storm_and_follow(self, owner, prefix, count, rate, start=0):
        """Runs a storm, checking the store throughout. Returns the owner's
        report and how many different newest texts the store showed."""
        owner.storm(prefix, count, rate, start=start)
        progress = []  # (time, index on the clipboard then)
        newest = set()
        while (done := owner.storm_finished()) is None:
            time.sleep(0.05)
            progress.append((time.monotonic(), owner.last_copied()))
            texts = self.s.stored_history()
            if not texts or storm_index(prefix, texts[0]) is None:
                continue  # the storm's first capture is not in yet
            indices = self.check_history(texts, prefix, "during the storm")
            newest.add(indices[0])
            # The newest stored text is at least as new as what was on the
            # clipboard two ticks ago: each tick takes the latest content.
            now = time.monotonic()
            then = [i for t, i in progress if t <= now - 2 * TICK - MARGIN and i is not None]
            if then:
                self.assertGreaterEqual(indices[0], then[-1],
                                        f"the store lags the clipboard: {texts[0]!r}")
        last = storm_text(prefix, done["last"])
        wait_until(lambda: (self.s.stored_history() or [None])[0] == last,
                   timeout=2 * TICK + MARGIN, interval=0.02, what=f"{last!r} stored")
        self.check_history(self.s.stored_history(), prefix, "after the storm")
        self.assertIsNone(self.s.program.poll(), "the program is running")
        print(f"{done['copies']} copies in {done['seconds']:.1f} s, "
              f"{len(newest)} newest texts seen", file=sys.stderr)
        return done, len(newest)

    def test_copy_storms_are_followed_and_memory_stays_flat(self):
        self.s.start_program()
        self.s.wait_resting()
        owner = harness.ClipboardOwner(self.s)

        # 1,000 copies at 100 a second: about 25 ticks.
        done, newest = self.storm_and_follow(owner, "load-", 1000, 100)
        self.assertEqual(done["copies"], 1000)
        # Most ticks brought a newer text.
        self.assertGreaterEqual(newest, done["seconds"] / TICK / 2)
        rss_1000 = self.s.program_rss_kib()

        # 9,000 more, faster: the program need not see each one, only the
        # newest at each tick.
        done, newest = self.storm_and_follow(owner, "load-", 9000, 500, start=1000)
        rss_10000 = self.s.program_rss_kib()
        print(f"VmRSS {rss_1000} KiB after 1,000 copies, {rss_10000} KiB after 10,000",
              file=sys.stderr)
        self.assertLess(rss_10000 - rss_1000, RSS_GROWTH_LIMIT_KIB)

        # Still responsive: the list of five opens.
        self.s.push_pointer(MID_X, 0)
        box = wait_until(lambda: (b := harness.black_panel_box(self.s.screenshot(), MID_X))
                         and b[3] == GAP + 178 and b, what="the open list of five")
        self.assertEqual(box, (MID_X - 110, 0, MID_X + 110, GAP + 178))
        self.assertEqual(len(self.s.stored_history()), 5)


class LeakTest(SessionTest):
    """LeakSanitizer reports at exit, so the program must leave through its
    event loop on SIGTERM. Runs only on a sanitizer build."""

    def setUp(self):
        if not harness.is_sanitizer_build(harness.BINARY):
            self.skipTest("not a sanitizer build")
        super().setUp()

    def test_a_whole_session_leaks_nothing(self):
        s = self.s
        suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                    "..", "support", "lsan.supp")
        s.start_program(extra_env={
            "ASAN_OPTIONS": "detect_leaks=1",
            "LSAN_OPTIONS": f"suppressions={os.path.normpath(suppressions)}:exitcode=23",
            "UBSAN_OPTIONS": "print_stacktrace=1"})
        s.wait_resting(timeout=60)
        owner = harness.ClipboardOwner(s)

        # A storm, so that reads of the clipboard are dropped half-way.
        owner.storm("leak-", 200, 200)
        last = owner.wait_storm(30)["last"]
        wait_until(lambda: (s.stored_history() or [None])[0] == storm_text("leak-", last),
                   what="the storm's last copy")
        for text in ("one", "two", "three", "four", "five"):
            owner.set_text(text)
            wait_until(lambda: (s.stored_history() or [None])[0] == text, what=text)
        texts = s.stored_history()
        self.assertEqual(len(texts), 5)
        # An image takes a row of the five but is not stored: four texts remain.
        s.copy_file(harness.write_png(os.path.join(s.tmp, "red.png"), 64, 48), "image/png")
        wait_until(lambda: s.stored_history() == texts[:4], what="the image taking a row")

        # Rows: the image, then texts[0..3]. Choose texts[1] (row 2).
        s.push_pointer(MID_X, 0)
        wait_until(lambda: (g := s.window_geometry()) and g[3] == GAP + 16 + 5 * 30 + 4 * 3,
                   what="the open list")
        s.move_pointer(MID_X, row_top(2) + 15)
        s.xdotool("click", "1")
        wait_until(lambda: s.stored_history() == [texts[1], texts[0], texts[2], texts[3]],
                   what="the chosen row first")

        # Rows: texts[1], the image, texts[0], texts[2], texts[3]. Remove row 3.
        s.push_pointer(MID_X, 0)
        box = wait_until(lambda: (b := harness.black_panel_box(s.screenshot(), MID_X))
                         and b[3] == GAP + 178 and b, what="the list again")
        s.move_pointer(MID_X, row_top(3) + 15)
        s.move_pointer(box[2] - 8 - 10 - 9, row_top(3) + 5 + 9)
        s.xdotool("click", "1")
        wait_until(lambda: s.stored_history() == [texts[1], texts[0], texts[3]],
                   what="the removed row gone")

        # Choose the image (row 1): the program now serves it as PNG.
        s.move_pointer(MID_X, row_top(1) + 15)
        s.xdotool("click", "1")
        wait_until(lambda: "image/png" in s.clipboard_targets(), what="the image served")
        self.assertTrue(s.clipboard_bytes("image/png").startswith(b"\x89PNG"))
        s.xdotool("key", "ctrl+v")
        s.move_pointer(200, 600)

        s.program.send_signal(signal.SIGTERM)
        try:
            code = s.program.wait(timeout=60)
        except subprocess.TimeoutExpired:
            code = None
        with open(s.program_log, errors="replace") as f:
            log = f.read()
        if re.search(r"Sanitizer|runtime error:", log):
            self.fail("the sanitizer reported:\n" + log[-6000:])
        self.assertEqual(code, 0, "on SIGTERM the program must quit its event loop and exit "
                         "normally, or LeakSanitizer never runs:\n" + log[-3000:])


if __name__ == "__main__":
    harness.main()
