"""The real-program figures: each runs on a Session (tests/e2e/harness.py) of
its own, with Tuckshelf and CopyQ side by side under that Xvfb, each with a
fresh home."""

import json
import os
import statistics
import subprocess
import time

from bench_session import Session
from bench_peers import CopyQ, Tuckshelf, wait_until
from bench_procs import rss_kib


class Figure:
    """One row of the final table. Lower is better for every figure here.
    `peer` is CopyQ's figure, None when not taken, or "n/a" where CopyQ has
    nothing to measure; a `void` figure fails its target whatever its value."""

    def __init__(self, label, unit, ours, peer=None, target=None, note="", void=False):
        self.label, self.unit, self.ours, self.peer = label, unit, ours, peer
        self.target, self.note, self.void = target, note, void


def say(line):
    print(line, flush=True)


def copy_latency_figure(label, program, runs=50):
    """From a copy (the tests' owner tool, connected to the display server
    beforehand as the program one copies in is, told to take the clipboard)
    to its text stored first, the store file read each millisecond: the
    clipboard's report, the read of the contents, the capture and the write
    of the store. A tool started for each copy would add its own start: on
    KWin 21 ms of answering a new client's first round trip."""
    times = []
    copy = program.session.copier()
    for i in range(runs):
        text = f"{label} latency {i}".strip()  # the program trims what it records
        start = time.monotonic()
        copy(text)
        wait_until(lambda: (program.stored() or [None])[0] == text, 10, 0.001, f"{text} stored")
        times.append((time.monotonic() - start) * 1000)
        time.sleep(0.05)  # lets the tool settle before the next
    times.sort()
    p95 = times[int(0.95 * len(times)) - 1]
    say(f"copy -> stored{', ' + label.rstrip(': ') if label else ''}: median {statistics.median(times):.1f} ms, p95 {p95:.1f} ms, "
        f"max {times[-1]:.1f} ms ({runs} copies)")
    return Figure(f"{label}copy -> stored p95, {runs} copies", "ms", p95, "n/a", 20.0,
                  "from a connected owner tool's copy to the store file holding the text first, read each 1 ms")


def started_pair(session, binary):
    """Tuckshelf and CopyQ running and ready on `session`."""
    ours, peer = Tuckshelf(session, binary), CopyQ(session)
    ours.start()
    peer.start()
    ours.wait_ready()
    peer.wait_ready()
    return ours, peer


def stop_all(*programs):
    for p in programs:
        p.stop()


def memory(binary, images):
    """VmRSS after start, after 20 texts, and after five large PNG images."""
    session = Session()
    try:
        ours, peer = started_pair(session, binary)
        time.sleep(2)
        rows = []

        def sample(stage):
            time.sleep(1.0)  # lets both settle after the last capture
            mine = rss_kib(ours.main_pid()) / 1024
            server = rss_kib(peer.main_pid()) / 1024
            total = sum(rss_kib(p) for p in peer.pids()) / 1024
            say(f"resident memory {stage}, tuckshelf: {mine:.1f} MiB")
            say(f"resident memory {stage}, CopyQ server: {server:.1f} MiB")
            say(f"resident memory {stage}, CopyQ server and clipboard monitor: {total:.1f} MiB")
            return mine, total, f"CopyQ is its server and clipboard monitor; the server alone {server:.1f}"

        mine, total, note = sample("after start")
        rows.append(Figure("memory after start", "MiB", mine, total, 30.0, note))

        base = peer.count() or 0
        for i in range(20):
            text = f"bench text {i}: the quick brown fox jumps over the lazy dog"
            session.copy_text(text)
            wait_until(lambda: (ours.stored() or [None])[0] == text, 10, 0.01, f"tuckshelf to store text {i}")
            wait_until(lambda: peer.count() == base + i + 1, 10, 0.01, f"CopyQ to store text {i}")
        mine, total, note = sample("after 20 texts")
        rows.append(Figure("memory after 20 texts", "MiB", mine, total, note=note))

        for i, path in enumerate(images):
            session.copy_file(path, "image/png")
            # Images are not stored, so each one leaves one text fewer in
            # the store of a five-entry history.
            left = max(0, 5 - (i + 1))
            wait_until(lambda: ours.stored() is not None and len(ours.stored()) == left, 30, 0.01,
                       f"tuckshelf to capture image {i}")
            wait_until(lambda: peer.count() == base + 20 + i + 1, 30, 0.02, f"CopyQ to capture image {i}")
        mine, total, note = sample(f"after {len(images)} 3840x2160 PNG images")
        rows.append(Figure(f"memory after {len(images)} 4K images", "MiB", mine, total, 60.0, note))
        stop_all(ours, peer)
        return rows
    finally:
        session.close()


def rich_clip(n):
    """A word processor's long document as it copies one: about 2.7 MiB of
    text, HTML, RTF, a file link and its own format."""
    lines = [f"Clip {n}, paragraph {i}: the quick brown fox jumps over the lazy dog." for i in range(5000)]
    text = "\n".join(lines)
    html = "".join(f'<p style="font-family: serif"><b>{line}</b> <i>again</i></p>\n' for line in lines)
    rtf = "".join(f"{{\\pard\\b {line}\\b0\\par}}\n" for line in lines)
    return text, {"text/html": html, "text/rtf": rtf, "text/uri-list": f"file:///home/user/report-{n}.odt\r\n",
                  "application/x-word-processor": html + rtf}


def rich_memory(binary, owner_tool):
    """VmRSS of the whole program after start and after five rich clips,
    each copied by a program of its own (the tests' owner tool); the target
    is the start's target plus what the five hold: each text once as UTF-16
    for its row and once as the UTF-8 bytes copied, and every other format."""
    session = Session()
    session.owner_tool = owner_tool
    try:
        ours = Tuckshelf(session, binary)
        ours.start()
        ours.wait_ready()
        time.sleep(2)
        start = rss_kib(ours.main_pid()) / 1024
        held = 0
        for n in range(5):
            text, formats = rich_clip(n)
            session.copier()(text, formats=formats)
            shown = text.replace("\n", " ")  # as the program records a text
            wait_until(lambda: (ours.stored() or [None])[0] == shown, 20, 0.01, f"tuckshelf to store rich clip {n}")
            held += 2 * len(text) + len(text.encode()) + sum(len(v.encode()) for v in formats.values())
        time.sleep(1.0)  # lets it settle after the last capture
        after = rss_kib(ours.main_pid()) / 1024
        held /= 1 << 20
        say(f"resident memory after start {start:.1f} MiB, after five rich clips {after:.1f} MiB; they hold {held:.1f} MiB")
        ours.stop()
        return [Figure("memory after 5 rich clips", "MiB", after, "n/a", round(30.0 + held, 1),
                       f"they hold {held:.1f} MiB: the target is 30 MiB and that")]
    finally:
        session.close()


SYSTEM_PYTHON = "/usr/bin/python3"  # where Debian's python3-xlib is
PROBE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bench_open_probe.py")


def open_probe(session, window, runs):
    """bench_open_probe.py on `session`: the pointer from the bottom left into
    the top row at the centre, `runs` times; for each entry, the milliseconds
    until the first drawing, the first growth and the first grown frame."""
    mid = session.width // 2
    out = subprocess.run([SYSTEM_PYTHON, PROBE, str(window), str(mid), "0", "200", str(session.height - 200),
                          str(runs)], env=session.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         timeout=60 + 3 * runs)
    if out.returncode != 0:
        raise RuntimeError(f"the open-list probe failed: {out.stderr.decode().strip()}")
    return [tuple(float(x) for x in line.split()) for line in out.stdout.decode().splitlines()]


def open_list_real(binary, runs=10):
    """The real program: from the pointer entering the hover band to the
    first drawing on the panel window after it (XDAMAGE), with five short
    and with five 1 MB texts in the history."""
    megabyte = [(f"word{i} and some more words " * 40000)[:1 << 20] for i in range(5)]
    short = ["alpha", "bravo charlie", "delta", "echo foxtrot golf", "hotel"]
    rows = []
    for label, texts in (("5 short texts", short), ("5 x 1 MB texts", megabyte)):
        session = Session()
        try:
            ours = Tuckshelf(session, binary)
            # The history as a previous run would have stored it.
            os.makedirs(os.path.dirname(ours.store))
            with open(ours.store, "w", encoding="utf-8") as f:
                json.dump({"tuckshelf.history.text": texts}, f)
            ours.start()
            ours.wait_ready()
            ms = statistics.median(drawn for drawn, _, _ in open_probe(session, ours.panel()["WINDOW"], runs))
            say(f"pointer into the band until the panel is first drawn, real program, {label}: "
                f"{ms:.2f} ms (median of {runs})")
            rows.append(Figure(f"open list (drawn), {label}", "ms", ms, target=16.7,
                               note="real program on Xvfb: XTEST move to first XDAMAGE report"))
            ours.stop()
        finally:
            session.close()
    return rows


def startup(binary, runs=5):
    """From start until the text already on the clipboard is stored; and,
    since CopyQ leaves what is on the clipboard at its start alone, also
    until the first of the texts copied after the start is stored."""
    session = Session()
    try:
        ours_ms, peer_ms, ours_next_ms, peer_next_ms = [], [], [], []
        peer_stores_initial = True
        for run in range(runs):
            text = f"startup probe {run}"
            session.copy_text(text)
            time.sleep(0.2)
            ours = Tuckshelf(session, binary)
            start = time.monotonic()
            ours.start()
            wait_until(lambda: (ours.stored() or [None])[0] == text, 10, 0.001, "tuckshelf's first capture")
            ours_ms.append((time.monotonic() - start) * 1000)
            ours.stop()

            if peer_stores_initial:
                peer = CopyQ(session, debug_log=True)
                start = time.time()
                peer.start()
                try:
                    added = wait_until(peer.first_added, 5, 0.01, "CopyQ's first capture")
                    if peer.client("read", 0) != text:
                        raise RuntimeError("CopyQ stored something else first")
                    peer_ms.append((added - start) * 1000)
                except AssertionError:  # wait_until's time-out
                    peer_stores_initial = False
                peer.stop()

            clear_clipboard(session)
            ours = Tuckshelf(session, binary)
            ours_next_ms.append(_first_copy_after_start(session, ours, lambda: ours.stored(), run))
            clear_clipboard(session)
            peer = CopyQ(session, debug_log=True)
            try:
                peer_next_ms.append(_first_copy_after_start(session, peer, peer.first_added, run))
            except TimeoutError as e:  # a CopyQ whose debug log reads otherwise
                say(f"CopyQ's start figure: {e}")

        ours_first = statistics.median(ours_ms)
        say(f"start until the text on the clipboard is stored, tuckshelf: {ours_first:.0f} ms "
            f"(median of {runs}, store file polled each 1 ms)")
        if peer_ms:
            say(f"start until the text on the clipboard is stored, CopyQ: {statistics.median(peer_ms):.0f} ms "
                f"(median of {len(peer_ms)}, from CopyQ's debug log)")
        else:
            say("start until the text on the clipboard is stored, CopyQ: not stored within 5 s "
                "(CopyQ does not record what is on the clipboard when it starts)")
        ours_next = statistics.median(ours_next_ms)
        peer_next = statistics.median(peer_next_ms) if peer_next_ms else None
        say(f"start until the first text copied after the start is stored, tuckshelf: {ours_next:.0f} ms "
            f"(median of {runs}; a new text copied each 20 ms from the start)")
        if peer_next is not None:
            say(f"start until the first text copied after the start is stored, CopyQ: {peer_next:.0f} ms "
                f"(median of {len(peer_next_ms)}; from CopyQ's debug log)")
        return [Figure("start -> clipboard text stored", "ms", ours_first,
                       statistics.median(peer_ms) if peer_ms else None,
                       note="" if peer_ms else "CopyQ does not store what is there at its start"),
                Figure("start -> first stored, copy each 20 ms", "ms", ours_next, peer_next)]
    finally:
        session.close()


def clear_clipboard(session):
    """Ends every xclip of the session, so that CLIPBOARD has no owner."""
    for p in session.procs:
        if isinstance(p.args, list) and p.args[0] == "xclip" and p.poll() is None:
            p.terminate()
            p.wait(timeout=5)


def _first_copy_after_start(session, program, stored_at, run):
    """Starts `program` and copies a new text each 20 ms until `stored_at`
    tells it stored one; the time from the start to that store, in ms.
    `stored_at` returns a truthy value, or the store's wall-clock time."""
    start_wall, start = time.time(), time.monotonic()
    program.start()
    try:
        copies = 0
        while time.monotonic() - start < 20:
            session.copy_text(f"copied after start {run}.{copies}")
            copies += 1
            sent = time.monotonic()
            while time.monotonic() - sent < 0.02:
                found = stored_at()
                if found:
                    if isinstance(found, float):
                        return (found - start_wall) * 1000
                    return (time.monotonic() - start) * 1000
                time.sleep(0.001)
        raise TimeoutError(f"{program.name} stored none of {copies} copies")
    finally:
        program.stop()
