"""Bad input on the clipboard: a 100 MB text, texts at and past the longest
the history records, text that is not UTF-8, pictures that are garbage or
too large, empty clipboards, and an owner that never answers.

After each, the program is still running, the stored history still holds the
earlier texts in order, and the next ordinary copy is recorded within a few
seconds."""

import os
import random
import signal
import struct
import zlib

import harness
from harness import SessionTest, is_teal, wait_until

DOT_CENTRE = (1065, 12)   # the resting dot on a plain 1920 x 1080 Xvfb
MID_X = 960
MAX_CAPTURED = 2 << 20    # kMaxCapturedLength in src/history/captured_text.h
PROMPT = 5.0              # "within a few seconds"


def png_chunk(tag, data):
    return (struct.pack(">I", len(data)) + tag + data
            + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))


def write_black_png(path, width, height, bits_per_pixel):
    """A valid PNG of black rows, 1-bit grey or 8-bit RGBA, compressed row by
    row, so that even 400 MB of pixels make a file of ~400 KB and take
    little memory here."""
    depth, colour_type = {1: (1, 0), 32: (8, 6)}[bits_per_pixel]
    compressor = zlib.compressobj(9)
    row = b"\x00" * (1 + (width * bits_per_pixel + 7) // 8)   # filter byte, then pixels
    idat = bytearray()
    for _ in range(height):
        idat += compressor.compress(row)
    idat += compressor.flush()
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)))
        f.write(png_chunk(b"IDAT", bytes(idat)))
        f.write(png_chunk(b"IEND", b""))
    return path


class BadInputTest(SessionTest):
    def setUp(self):
        super().setUp()
        self.s.start_program()
        self.s.wait_resting()
        self.history = []   # what the store must hold, newest first
        for text in ("first", "second"):
            self.copy_and_wait(text)

    # -- helpers ---------------------------------------------------------
    def file(self, name, data):
        path = os.path.join(self.s.tmp, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def owner(self, path, target=None):
        """xclip serving `path` in the foreground, so that it is ours to stop."""
        argv = ["xclip", "-quiet", "-selection", "clipboard"]
        return self.s._spawn(argv + (["-t", target] if target else []) + ["-i", path])

    def expect_recorded(self, text, timeout=PROMPT, what=None):
        expected = [text] + [t for t in self.history if t != text][:4]
        wait_until(lambda: self.s.stored_history() == expected, timeout,
                   what=what or f"{text[:40]!r} stored first")
        self.history = expected

    def copy_and_wait(self, text, timeout=PROMPT):
        self.s.copy_text(text)
        self.expect_recorded(text, timeout)
        wait_until(self.dot_shown, what=f"the dot for {text!r}")

    def dot_shown(self):
        return is_teal(self.s.screenshot().pixel(*DOT_CENTRE))

    def expect_nothing_recorded(self, what, timeout=30):
        """The change was read and counted as nothing: the dot, lit by the
        copy before, goes out, and the store is as it was."""
        wait_until(lambda: not self.dot_shown(), timeout, interval=0.2,
                   what=f"the dot to go out after {what}")
        self.assertEqual(self.s.stored_history(), self.history, f"the store after {what}")

    def expect_survived(self, what):
        """Alive, the history intact, and the next ordinary copy recorded."""
        self.assertIsNone(self.s.program.poll(), f"the program ended after {what}")
        self.assertEqual(self.s.stored_history(), self.history, f"the store after {what}")
        self.copy_and_wait(f"ordinary copy after {what}")
        self.assertIsNone(self.s.program.poll(), f"the program ended after {what}")

    def peak_rss_kib(self):
        with open(f"/proc/{self.s.program.pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        raise AssertionError("no VmHWM for the program")

    def panel_is_open(self):
        return self.s.screenshot().pixel(MID_X, 2) == (0, 0, 0)

    # -- the cases -------------------------------------------------------
    def test_texts_too_long_to_keep_count_as_nothing(self):
        # Exactly the longest kept, once trimmed: recorded.
        longest = "a" * MAX_CAPTURED
        self.owner(self.file("longest.txt", b"  \n" + longest.encode() + b" \n"))
        self.expect_recorded(longest, timeout=30, what="the longest text kept")
        wait_until(self.dot_shown, what="the dot for the longest text")
        # One character more: nothing.
        self.owner(self.file("longer.txt", b"b" * (MAX_CAPTURED + 1)))
        self.expect_nothing_recorded("a text one character too long")
        self.expect_survived("a text one character too long")

        # 100 MB, within the 256 MiB a transfer may bring: read, then dropped.
        line = b"0123456789 abcdefghijklmnopqrstuvwxyz " * 2 + b"\n"
        path = os.path.join(self.s.tmp, "huge.txt")
        with open(path, "wb") as f:
            for _ in range(100 * 1024 * 1024 // (len(line) * 1024)):
                f.write(line * 1024)
        self.assertGreaterEqual(os.path.getsize(path), 99 * 1024 * 1024)
        self.owner(path)
        self.expect_nothing_recorded("a 100 MB text", timeout=60)
        self.expect_survived("a 100 MB text")
        # The list still opens at once, and closes.
        self.s.move_pointer(MID_X, 0)
        self.s.xdotool("mousemove_relative", "--", "1", "0")
        wait_until(self.panel_is_open, timeout=PROMPT, what="the list after a 100 MB text")
        self.s.move_pointer(200, 600)
        self.s.xdotool("mousemove_relative", "--", "1", "1")
        wait_until(lambda: not self.panel_is_open(), timeout=PROMPT, what="the list to close")

    def test_text_that_is_not_utf8(self):
        raw = b"caf\xe9 ok \xff\xfe \xc0\x80 end"
        # As UTF-8: each bad sequence becomes U+FFFD, the rest is kept.
        self.s.copy_text(raw)
        self.expect_recorded("caf\ufffd ok \ufffd\ufffd \ufffd\ufffd end")
        self.expect_survived("text that is not UTF-8")
        # As STRING, which is Latin-1, the same bytes are all characters.
        self.owner(self.file("latin1.txt", raw), "STRING")
        self.expect_recorded(raw.decode("latin-1"))
        self.expect_survived("Latin-1 text")

    def test_pictures_that_cannot_be_used_count_as_nothing(self):
        noise = random.Random(7).randbytes(4096)
        cases = [
            ("random bytes as image/png", noise),
            ("a PNG signature before garbage",
             b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 64, 64, 8, 2, 0, 0, 0))
             + png_chunk(b"IDAT", noise)),
        ]
        for what, data in cases:
            with self.subTest(what):
                self.owner(self.file("garbage.png", data), "image/png")
                self.expect_nothing_recorded(what)
                self.expect_survived(what)

        # Valid PNGs too large to keep (above 100 megapixels), refused from
        # their header before any pixel memory is taken: 20000 x 20000, and
        # one row over the limit in RGBA, which Qt's allocation limit alone
        # would let through to a 400 MB decode.
        for width, height, bits in ((20000, 20000, 1), (10000, 10001, 32)):
            what = f"a {width} x {height} PNG"
            with self.subTest(what):
                before = self.peak_rss_kib()
                path = write_black_png(os.path.join(self.s.tmp, "huge.png"), width, height, bits)
                self.owner(path, "image/png")
                self.expect_nothing_recorded(what)
                self.assertLess(self.peak_rss_kib() - before, 100 * 1024,
                                f"{what} was refused before decoding")
                self.expect_survived(what)

    def test_empty_clipboards_count_as_nothing(self):
        self.s.copy_text("")
        self.expect_nothing_recorded("an empty text")
        self.expect_survived("an empty text")

        # The owner goes away and leaves CLIPBOARD without one.
        owner = self.owner(self.file("going.txt", b"owner that goes away"))
        self.expect_recorded("owner that goes away")
        wait_until(self.dot_shown, what="the dot for the text of the owner that goes")
        owner.terminate()
        owner.wait(timeout=10)
        self.expect_nothing_recorded("a clipboard without owner")
        self.expect_survived("a clipboard without owner")

    def test_owner_that_never_answers(self):
        program = self.s.program
        # Held while xclip takes CLIPBOARD and is stopped, so that the
        # program asks only once the owner can no longer answer.
        program.send_signal(signal.SIGSTOP)
        try:
            stalled = self.owner(self.file("stalled.txt", b"never answered"))
            wait_until(lambda: self.s.clipboard_text() == "never answered", what="xclip to own CLIPBOARD")
            stalled.send_signal(signal.SIGSTOP)
        finally:
            program.send_signal(signal.SIGCONT)
        try:
            # Each answer is awaited for a second, then the change is given up.
            self.expect_nothing_recorded("an owner that never answers")
            self.expect_survived("an owner that never answers")
        finally:
            stalled.send_signal(signal.SIGCONT)
            stalled.kill()
            stalled.wait(timeout=10)


if __name__ == "__main__":
    harness.main()
