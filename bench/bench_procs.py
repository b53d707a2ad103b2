"""What /proc tells about a program's processes: CPU time and resident memory."""

import os

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def descendants(pid):
    """`pid` and every process below it (CopyQ runs its clipboard monitor as a child)."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo.extend(children.get(p, []))
    return found


def cpu_ticks(pid):
    """utime + stime of `pid`, in clock ticks."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # Fields 14 and 15 of stat(5); the split above starts at field 3.
    return int(fields[11]) + int(fields[12])


def voluntary_switches(pid):
    """How often the threads of `pid` went to sleep."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def run_ns(pid):
    """Time on a CPU of every thread of `pid`, in nanoseconds (schedstat)."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[0])
        except OSError:
            pass  # a thread that ended in between
    return total


class CpuSample:
    """CPU time of a set of processes at one moment."""

    def __init__(self, pids, wall):
        self.wall = wall
        self.ticks, self.ns, self.sleeps = {}, {}, {}
        for p in pids:
            try:
                self.ticks[p], self.ns[p], self.sleeps[p] = cpu_ticks(p), run_ns(p), voluntary_switches(p)
            except OSError:
                pass  # a short-lived helper that has ended: it counts nowhere


def sleeps_between(before, after):
    return sum(after.sleeps[p] - before.sleeps[p] for p in before.sleeps if p in after.sleeps)


def cpu_share(before, after):
    """Share of one core, in percent, from utime+stime and from schedstat.

    utime+stime come in whole clock ticks (10 ms), so over a minute one
    tick is 0.017 %; schedstat counts nanoseconds and shows the finer figure.
    """
    wall = after.wall - before.wall
    ticks = sum(after.ticks[p] - before.ticks[p] for p in before.ticks if p in after.ticks)
    ns = sum(after.ns[p] - before.ns[p] for p in before.ns if p in after.ns)
    return 100.0 * ticks / CLOCK_TICKS / wall, 100.0 * ns / 1e9 / wall


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0
