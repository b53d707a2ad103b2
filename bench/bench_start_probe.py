"""Times the real program's start: from starting it to the X server mapping
its panel, which happens at the first resting placement, right after the
launch's first capture. Run with Debian's python3 (python3-xlib) on an X
display with something on the clipboard:

    DISPLAY=:N /usr/bin/python3 bench/bench_start_probe.py build/tuckshelf RUNS

Each run gets a fresh configuration folder. Prints the median.
"""
import os, subprocess, sys, time, statistics, tempfile
from Xlib import X, display
d = display.Display()
root = d.screen().root
root.change_attributes(event_mask=X.SubstructureNotifyMask)
d.sync()
times = []
for i in range(int(sys.argv[2])):
    config = tempfile.TemporaryDirectory()
    env = dict(os.environ, XDG_CONFIG_HOME=config.name)
    while d.pending_events():
        d.next_event()
    t0 = time.perf_counter()
    p = subprocess.Popen([sys.argv[1]], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        e = d.next_event()
        if e.type == X.MapNotify and e.override:
            times.append((time.perf_counter() - t0) * 1000)
            break
    time.sleep(0.3)
    p.terminate()
    p.wait()
    config.cleanup()
print("start to resting panel mapped: median %.1f ms (min %.1f, max %.1f, %d runs)" % (statistics.median(times), min(times), max(times), len(times)))
