"""The stored history survives crashes: SIGKILL at random moments of a copy
storm never leaves a file the program could not have written or cannot
load; and the file stays readable by its owner only."""

import json
import os
import random
import stat
import sys
import time

import harness
from harness import SessionTest, storm_index, storm_text, wait_until

KEY = "tuckshelf.history.text"
PREFIX = "crash-"
KILLS = 200
STORM_RATE = 100  # copies a second, far more than the 2.5 ticks a second


class CrashSafetyTest(SessionTest):
    def setUp(self):
        super().setUp()
        self.seed = int(os.environ.get("TUCKSHELF_TEST_SEED", time.time_ns() % 1_000_000))
        self.rng = random.Random(self.seed)
        self.folder = os.path.dirname(self.s.store_path())

    def fail_with(self, message):
        self.fail(f"{message} (TUCKSHELF_TEST_SEED={self.seed})")

    def stamp(self):
        """Which file the store is now: a rewrite replaces it with a new one."""
        try:
            st = os.stat(self.s.store_path())
            return st.st_ino, st.st_mtime_ns
        except FileNotFoundError:
            return None

    def check_store(self, last_copied, when):
        """The file is one the program could have written after copies
        0..last_copied of the storm: newest first, each one copied."""
        try:
            with open(self.s.store_path(), "rb") as f:
                raw = f.read()
        except OSError as error:
            self.fail_with(f"{when}: the store is unreadable: {error}")
        try:
            document = json.loads(raw.decode("utf-8"))
        except ValueError as error:
            self.fail_with(f"{when}: the store is not valid JSON ({error}): {raw[:200]!r}")
        if not isinstance(document, dict) or not isinstance(document.get(KEY), list):
            self.fail_with(f"{when}: the store holds no history array: {raw[:200]!r}")
        texts = document[KEY]
        indices = [storm_index(PREFIX, t) for t in texts]
        if not 1 <= len(texts) <= 5 or None in indices or any(
                t != storm_text(PREFIX, i, varied=True) or i > last_copied
                for t, i in zip(texts, indices)):
            self.fail_with(f"{when}: the store holds texts never copied: {[t[:40] for t in texts]}")
        # Every copy is newer than the ones before it, so a history the
        # program wrote is in strictly falling order, without duplicates.
        if indices != sorted(set(indices), reverse=True):
            self.fail_with(f"{when}: the store is out of order: copies {indices}")
        if stat.S_IMODE(os.stat(self.s.store_path()).st_mode) != 0o600:
            self.fail_with(f"{when}: the store is not owner-only")
        for name in os.listdir(self.folder):
            if name == "defaults.json":
                continue
            # A ".bad" file means the program found its own file malformed.
            if ".bad" in name:
                self.fail_with(f"{when}: the program set its store aside as {name}")
            # Only a kill between linking a finished temporary file and
            # renaming it could leave one; it must not show the history to others.
            mode = stat.S_IMODE(os.lstat(os.path.join(self.folder, name)).st_mode)
            if mode & 0o077:
                self.fail_with(f"{when}: {name} beside the store has mode {mode:o}")
            print(f"{when}: a temporary file was left beside the store: {name}", file=sys.stderr)
        return texts

    def test_sigkill_during_a_copy_storm_leaves_a_store_that_loads(self):
        owner = harness.ClipboardOwner(self.s)
        last = 0
        owner.set_text(storm_text(PREFIX, last, varied=True))
        before = []
        interrupted_storms = 0  # kills after the storm had been written
        for kill in range(KILLS):
            when = f"kill {kill + 1}"
            # Every fourth kill lands while the program is starting: reading
            # the store, writing back the clipboard it finds at launch.
            during_launch = kill % 4 == 3
            stamp = self.stamp()
            if during_launch:
                owner.storm(PREFIX, count=10**6, rate=STORM_RATE, start=last + 1, varied=True)
                self.s.start_program()
                time.sleep(self.rng.uniform(0.0, 0.5))
            else:
                self.s.start_program()
                # With the clipboard unchanged the restarted program loads
                # the store and rewrites it with the clipboard's text first.
                current = storm_text(PREFIX, last, varied=True)
                expected = ([current] + [t for t in before if t != current])[:5]

                def loaded():
                    return self.stamp() != stamp and self.s.stored_history() == expected
                try:
                    wait_until(loaded, timeout=15, what="the store loaded and written back")
                except AssertionError:
                    got = self.s.stored_history()
                    self.fail_with(f"{when}: after a restart the store is "
                                   f"{[storm_index(PREFIX, t) for t in got or []]}, not copies "
                                   f"{[storm_index(PREFIX, t) for t in expected]}")
                stamp = self.stamp()
                owner.storm(PREFIX, count=10**6, rate=STORM_RATE, start=last + 1, varied=True)
                # Up to two ticks and their writes.
                time.sleep(self.rng.uniform(0.0, 0.9))
            self.s.kill_program()
            paused = owner.pause()
            last = last if paused is None else paused  # None: no storm copy made yet
            interrupted_storms += not during_launch and self.stamp() != stamp
            before = self.check_store(last, when)
        print(f"{KILLS} kills, {interrupted_storms} after the storm's copies had been stored; "
              f"{last} copies; seed {self.seed}", file=sys.stderr)
        # The program kept storing copies during the storms, so the kills
        # did land among its writes.
        self.assertGreater(interrupted_storms, KILLS // 5)

    def test_store_stays_owner_only_across_rewrites_and_leaves_nothing_beside_it(self):
        # Under umask 0 a file or folder that merely followed the umask
        # would be open to everyone.
        self.s.start_program(umask=0)
        self.s.wait_resting()
        owner = harness.ClipboardOwner(self.s)

        def capture(text):
            owner.set_text(text)
            wait_until(lambda: (self.s.stored_history() or [None])[0] == text, what=text)
            self.assertEqual(stat.S_IMODE(os.stat(self.s.store_path()).st_mode), 0o600, text)
            self.assertEqual(stat.S_IMODE(os.stat(self.folder).st_mode), 0o700, text)
            self.assertEqual(os.listdir(self.folder), ["defaults.json"], text)

        for text in ("first", "second", "third", "fourth"):
            capture(text)
        os.chmod(self.s.store_path(), 0o644)
        capture("after the user opened it to all")
        self.assertEqual(self.s.stored_history(),
                         ["after the user opened it to all", "fourth", "third", "second", "first"])
        os.chmod(self.s.store_path(), 0o666)
        capture("and once more")


if __name__ == "__main__":
    harness.main()
