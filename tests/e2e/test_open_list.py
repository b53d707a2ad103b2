"""The open list: opening, its size and rows, choosing and removing a row,
the empty message, and collapsing."""

import harness
from harness import SessionTest, wait_until

GAP = 24          # top gap of a plain Xvfb display
MID_X = 960
ROW_H, ROW_GAP = 30, 3


def is_black(p):
    return p == (0, 0, 0)


def is_light(p):
    return min(p) > 150 and p != (190, 190, 190)


def row_top(i):
    """Screen y of row i's top in a list of short texts (every row 30 high)."""
    return GAP + 8 + i * (ROW_H + ROW_GAP)


class OpenListTest(SessionTest):
    def start_with(self, texts):
        self.s.start_program()
        self.s.wait_resting()
        for text in texts:
            self.s.copy_text(text)
            wait_until(lambda: (self.s.stored_history() or [None])[0] == text, what=text)

    def open_list(self):
        self.s.move_pointer(MID_X, 0)
        self.s.xdotool("mousemove_relative", "--", "1", "0")
        return wait_until(lambda: self.black_box(), what="the open panel")

    def black_box(self, shot=None):
        """The bounding box of the black panel at the top centre, or None."""
        shot = shot or self.s.screenshot()
        xs = [x for x in range(MID_X - 400, MID_X + 400) if is_black(shot.pixel(x, 2))]
        if not xs:
            return None
        ys = [y for y in range(0, 600) if is_black(shot.pixel(MID_X - 100, y))
              or is_black(shot.pixel(min(xs) + 2, y))]
        return (min(xs), 0, max(xs) + 1, max(ys) + 1)

    def rows_with_text(self, shot, box, count=6):
        x0, _, x1, _ = box
        found = []
        for i in range(count):
            band = (x0 + 8, row_top(i), x1 - 8, row_top(i) + ROW_H)
            if band[3] <= shot.height and shot.count(is_light, band) > 5:
                found.append(i)
        return found

    def wait_size(self, width, height):
        def right_size():
            box = self.black_box()
            return box and (box[2] - box[0], box[3] - box[1]) == (width, height) and box
        return wait_until(right_size, what=f"a {width} x {height} panel")

    def test_five_entries_open_a_panel_of_the_computed_size(self):
        self.start_with(["alpha", "bravo", "charlie", "delta", "echo"])
        self.open_list()
        # Five short texts: 220 wide, 16 + 5 x 30 + 4 x 3 = 178 below the gap.
        box = self.wait_size(220, GAP + 178)
        self.assertEqual(box[0], MID_X - 110)
        shot = self.s.screenshot("open-five")
        self.assertEqual(self.rows_with_text(shot, box), [0, 1, 2, 3, 4])

        # Away from the panel and the region it collapses at once.
        self.s.move_pointer(200, 600)
        self.s.xdotool("mousemove_relative", "--", "1", "1")
        wait_until(lambda: self.black_box() is None, what="the collapse")

    def test_empty_history_shows_the_message(self):
        self.s.start_program()
        self.s.wait_resting()
        self.open_list()
        # One line of text with 8 above and below it, 220 wide.
        box = wait_until(lambda: (b := self.black_box()) and b[2] - b[0] == 220
                         and 24 <= b[3] - b[1] - GAP <= 40 and b, what="the message panel")
        shot = self.s.screenshot("empty-message")
        self.assertGreater(shot.count(is_light, (box[0], GAP, box[2], box[3])), 20)

    def test_choosing_the_third_row_puts_it_back_and_first(self):
        self.start_with(["one", "two", "three", "four", "five"])
        self.open_list()
        self.wait_size(220, GAP + 178)
        # Newest first: the third row is "three".
        self.s.move_pointer(MID_X, row_top(2) + 15)
        self.s.xdotool("click", "1")
        wait_until(lambda: self.s.stored_history() == ["three", "five", "four", "two", "one"],
                   what="the chosen entry at the front")
        self.assertEqual(self.s.clipboard_text(), "three")
        self.s.move_pointer(200, 600)
        wait_until(lambda: self.black_box() is None, what="the collapse")
        shot = self.s.screenshot("after-choose")
        self.assertTrue(harness.is_teal(shot.pixel(1065, 12)), "the dot is back")
        # A few ticks later nothing new was recorded.
        before = self.s.stored_history()
        self.s.screenshot()
        self.s.screenshot()
        self.assertEqual(self.s.stored_history(), before)

    def test_remove_button_of_a_hovered_row_deletes_it(self):
        self.start_with(["keep one", "remove me", "keep two"])
        box = self.open_list()
        box = self.wait_size(220, GAP + 16 + 3 * 30 + 2 * 3)
        # Row 1 is "remove me"; its button is 10 in from the list's right edge.
        button_x = box[2] - 8 - 10 - 9
        button_y = row_top(1) + 5 + 9
        self.s.move_pointer(MID_X, row_top(1) + 15)
        self.s.move_pointer(button_x, button_y)
        self.s.xdotool("click", "1")
        wait_until(lambda: self.s.stored_history() == ["keep two", "keep one"],
                   what="the removed entry gone from the store")
        self.wait_size(220, GAP + 16 + 2 * 30 + 3)

    def test_a_copy_while_open_collapses_the_list(self):
        self.start_with(["a", "b", "c"])
        self.open_list()
        self.wait_size(220, GAP + 16 + 3 * 30 + 2 * 3)
        self.s.move_pointer(MID_X, row_top(2) + 15)   # below the hover band
        self.s.copy_text("new while open")
        wait_until(lambda: self.black_box() is None, what="the collapse after a copy")
        self.assertEqual(self.s.stored_history()[0], "new while open")


if __name__ == "__main__":
    harness.main()
