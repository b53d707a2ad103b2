"""The display server the benchmarks run each program on: the end-to-end
tests' X11 driver (tests/e2e/harness.py) with a home of its own, and the
few things the benchmarks ask of it besides."""

import os
import shutil
import subprocess
import tempfile
import time

from harness import X11


def wait_until(condition, timeout=10.0, interval=0.05, what="condition"):
    """Polls `condition` every `interval` until it is truthy, and returns
    it; fails past the deadline, naming what it waited for."""
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.1f}s waiting for {what}")
        time.sleep(interval)
    return value


class Session(X11):
    """One Xvfb of the given size on a free display, with a fresh home."""

    def __init__(self, width=1920, height=1080):
        super().__init__(owner_tool=None)
        self.tmp = tempfile.mkdtemp(prefix="tuckshelf-bench-")
        self.width, self.height = width, height
        self.env.update(HOME=self.tmp, XDG_CONFIG_HOME=os.path.join(self.tmp, "config"))
        self.start(width, height)

    def _run(self, argv, check=True, timeout=20, input=None):
        return subprocess.run([str(a) for a in argv], env=self.env, check=check, timeout=timeout, input=input,
                              capture_output=True)

    def copy_text(self, text):
        return self.copy(text.encode() if isinstance(text, str) else text)

    def copy_file(self, path, mime):
        with open(path, "rb") as f:
            return self.copy(f.read(), mime)

    def move_pointer(self, x, y):
        self.move(x, y)

    def close(self):
        self.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)
