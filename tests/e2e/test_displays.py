"""Several displays: the panel hangs from the top centre of the monitor under
the pointer, opens from each monitor's own hover region, and moves when
monitors come and go."""

import time

import harness
from harness import SessionTest, is_teal, wait_until

GAP = 24
SCREEN = dict(width=3840, height=1080)
LEFT = ("LEFT", "1920x1080+0+0")
RIGHT = ("RIGHT", "1920x1080+1920+0")


def resting(mid_x, top=0):
    """Geometry of the resting panel (250 x gap + 8) centred on mid_x."""
    return (mid_x - 125, top, 250, GAP + 8)


def open_list(mid_x, rows, top=0):
    """Geometry of the open list of `rows` short texts centred on mid_x."""
    return (mid_x - 110, top, 220, GAP + 16 + rows * 30 + (rows - 1) * 3)


class DisplaysTest(SessionTest):
    session_args = SCREEN

    def start_with_copy(self, text="on display"):
        self.s.start_program()
        self.s.wait_resting()
        self.s.copy_text(text)
        wait_until(lambda: self.s.stored_history() == [text], what="the copy stored")

    def wait_geometry(self, geometry, what):
        wait_until(lambda: self.s.window_geometry() == geometry, timeout=10,
                   what=f"{what}: {geometry} (last {self.s.window_geometry()})")

    def teal_columns(self, top=0):
        """The screen columns where the dot's middle row is teal."""
        shot = self.s.screenshot()
        return [x for x in range(shot.width) if is_teal(shot.pixel(x, top + 12))]

    def assert_only_dot_at(self, mid_x, top=0):
        # The 8 px dot sits 105 px right of the centre; nothing else is teal.
        columns = self.teal_columns(top)
        self.assertTrue(columns, "the dot is drawn")
        self.assertLessEqual(mid_x + 101, min(columns))
        self.assertLessEqual(max(columns), mid_x + 109)

    def assert_black_panel_at(self, mid_x, geometry, elsewhere):
        shot = self.s.screenshot()
        x, y, w, h = geometry
        self.assertEqual(harness.black_panel_box(shot, mid_x, top=y), (x, y, x + w, y + h))
        for other in elsewhere:
            self.assertIsNone(harness.black_panel_box(shot, other, top=y, reach=100))

    def test_two_monitors_copy_and_hover_on_each(self):
        self.s.set_monitors([LEFT, RIGHT])
        self.s.move_pointer(2880, 600)
        self.start_with_copy("on the right")
        self.wait_geometry(resting(2880), "the resting panel on the right monitor")
        self.assert_only_dot_at(2880)

        self.s.push_pointer(2880, 0)
        self.wait_geometry(open_list(2880, 1), "the list open on the right monitor")
        self.assert_black_panel_at(2880, open_list(2880, 1), elsewhere=[960, 1920])
        self.s.push_pointer(2880, 600)
        self.wait_geometry(resting(2880), "the collapse on the right")

        self.s.push_pointer(960, 0)
        self.wait_geometry(open_list(960, 1), "the list open on the left monitor")
        self.assert_black_panel_at(960, open_list(960, 1), elsewhere=[1920, 2880])
        self.s.push_pointer(960, 600)
        self.wait_geometry(resting(960), "the collapse on the left")
        self.assert_only_dot_at(960)

        # The middle of the whole screen is no monitor's top centre. Nothing
        # is awaited here, so three ticks pass to show that nothing opens.
        self.s.push_pointer(1920, 0)
        time.sleep(1.2)
        self.assertEqual(self.s.window_geometry(), resting(960))
        self.assert_only_dot_at(960)

    def test_smaller_monitor_lower_down(self):
        # The right monitor's top is 360 px below the screen's: the panel
        # hangs from that monitor's top edge, not the screen's.
        self.s.set_monitors([LEFT, ("RIGHT", "1280x720+1920+360")])
        self.s.move_pointer(2560, 700)
        self.start_with_copy()
        self.wait_geometry(resting(2560, top=360), "the resting panel on the lower monitor")
        self.assert_only_dot_at(2560, top=360)

        self.s.push_pointer(2560, 360)
        self.wait_geometry(open_list(2560, 1, top=360), "the list open on the lower monitor")
        self.assert_black_panel_at(2560, open_list(2560, 1, top=360), elsewhere=[960])

    def test_monitors_added_and_removed_re_place_the_panel(self):
        self.s.move_pointer(2880, 600)
        self.start_with_copy()
        # One monitor as wide as the screen.
        self.wait_geometry(resting(1920), "the resting panel on the whole screen")
        self.assert_only_dot_at(1920)

        self.s.set_monitors([LEFT, RIGHT])
        self.wait_geometry(resting(2880), "the panel on the monitor under the pointer")
        self.assert_only_dot_at(2880)

        # The pointer is now on no monitor: the first one takes the panel.
        self.s.set_monitors([LEFT])
        self.wait_geometry(resting(960), "the panel on the remaining monitor")
        self.assert_only_dot_at(960)

        self.s.set_monitors([])
        self.wait_geometry(resting(1920), "the panel back on the whole screen")
        self.assert_only_dot_at(1920)

        # Split while the list is open: it follows the pointer's monitor,
        # where the pointer is outside the hover region, so it collapses there.
        self.s.push_pointer(1920, 0)
        self.wait_geometry(open_list(1920, 1), "the list open on the whole screen")
        self.s.set_monitors([LEFT, RIGHT])
        self.wait_geometry(resting(2880), "the panel moved to the right monitor")
        self.assert_only_dot_at(2880)


if __name__ == "__main__":
    harness.main()
