#!/usr/bin/env python3
"""Unattended soak: the real Kestrova.exe under Wine with its test-pattern
device, armed with "/T", in one session:

  - 10 reservations whose spans passed before Kestrova started;
  - a first chain of back-to-back reservations of 3 s, with 10 more that
    overlap them;
  - once the first chain is done, the rest of the back-to-back reservations
    (100 in all) entered through the reservation dialog, as a second chain
    (the table holds 99 slots, so they cannot all be there at once).

It reports how many were recorded, logged and put in the history page, how
many were told as not recorded, how many were lost without a word, and the
longest gap between consecutive recordings of a chain (from the moment a
recording's file took its dated name to the moment the next one's work file
appeared, polled every 2 ms).

    python3 bench/soak_bench.py [--arch x64] [--first 60]
"""

import argparse
import os
import re
import sys
import time

ROOT = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(ROOT), "tests", "e2e"))

import kestrova_e2e  # noqa: E402
from kestrova_e2e import slot, tmr  # noqa: E402

LENGTH = 3
DIALOG_CAPTION = "ﾀｲﾏｰ予約設定"


def enter(s, row, start, end):
    """Slot `row` of the reservation dialog set to a one-time span."""
    s.driver("list-select", "#32770:" + DIALOG_CAPTION, 1026, row)
    a, b = time.localtime(start), time.localtime(end)
    values = [a.tm_mon, a.tm_mday, a.tm_hour, a.tm_min, a.tm_sec, b.tm_hour, b.tm_min, b.tm_sec, ""]
    for ident, value in zip((1029, 1031, 1033, 1035, 1052, 1037, 1039, 1054, 1041), values):
        s.set_text(DIALOG_CAPTION, ident, value)
    s.click(DIALOG_CAPTION, 3)


class Watcher:
    """First sightings of work files (a recording began) and of dated files
    (a recording was stored) in the session directory."""

    def __init__(self, s):
        self.s, self.seen, self.events = s, set(), []

    def poll(self, seconds):
        until = time.time() + seconds
        while time.time() < until:
            for name in os.listdir(self.s.dir):
                if name.endswith(".avi") and name not in self.seen:
                    self.seen.add(name)
                    self.events.append((time.time(), "begin" if name.startswith("kv") else "stored"))
            time.sleep(0.002)

    def gaps(self, since, until):
        """Seconds from each stored recording to the next one's beginning."""
        events = [e for e in self.events if since <= e[0] <= until]
        return [b[0] - a[0] for a, b in zip(events, events[1:]) if a[1] == "stored" and b[1] == "begin"]


def records(s):
    if not s.exists("Capture.log"):
        return []
    text = s.read_file("Capture.log").decode("cp932")
    return [r.rstrip("\r\n").split("\r\n") for r in text.split("----------\r\n")[:-1]]


def run_ends(recs):
    """(began, elapsed) of each run's record (the ones with statistics)."""
    out = []
    today = time.localtime()
    for r in recs:
        stats = re.match(r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ ([\d.]+) 秒$", r[1]) if len(r) > 1 else None
        if not stats:
            continue
        h, m, sec = map(int, re.match(r"\d\d-\d\d\((\d\d)時(\d\d)分(\d\d)秒\)", r[0]).groups())
        began = time.mktime((today.tm_year, today.tm_mon, today.tm_mday, h, m, sec, 0, 0, -1))
        out.append((int(began), float(stats.group(1))))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arch", choices=("x64", "x86"), default="x64")
    parser.add_argument("--first", type=int, default=60, help="back-to-back reservations in the first chain")
    args = parser.parse_args()
    kestrova_e2e.use_arch(args.arch)
    total_chain, overlaps, passed = 100, 10, 10

    with kestrova_e2e.KestrovaSession(env=kestrova_e2e.TEST_PATTERN) as s:
        now = int(time.time())
        first = now + 25
        chain1 = [(first + LENGTH * i, first + LENGTH * (i + 1)) for i in range(args.first)]
        spread = max(1, args.first // overlaps)
        over = [(first + LENGTH * spread * j + 1, first + LENGTH * spread * j + 1 + LENGTH) for j in range(overlaps)]
        gone = [(now - 900 + 20 * k, now - 900 + 20 * k + 5) for k in range(passed)]
        slots = {}
        for k, (a, b) in enumerate(gone + chain1 + over):
            slots[k] = slot(a, b)
        s.write_file("Kestrova.ini", ("[Video]\r\nTempPath=%s\r\nFixedTempFile=0\r\n"
                                      % s.win_path().rstrip("\\")).encode("cp932"))
        s.write_file("Kestrova.tmr", tmr(slots))
        s.start(["/T"])
        w = Watcher(s)
        w.poll(max(0, chain1[-1][1] - time.time()) + 8)
        chain1_window = (first - 1, time.time())
        # The second chain through the dialog, into slots the first one freed.
        rest = total_chain - args.first
        s.open_dialog(32794, DIALOG_CAPTION)
        second = int(time.time()) + 10 + 3 * rest
        chain2 = [(second + LENGTH * i, second + LENGTH * (i + 1)) for i in range(rest)]
        for n, (a, b) in enumerate(chain2):
            enter(s, passed + n, a, b)
        s.answer(DIALOG_CAPTION, "ok")
        if time.time() > second:
            print("the dialog took too long: the second chain began late")
        w.poll(max(0, chain2[-1][1] - time.time()) + 8)
        chain2_window = (second - 1, time.time())
        s.post_command(105)
        s.wait_exit(timeout=60)
        recs = records(s)
        page = s.read_file("CaptureLog.html") if s.exists("CaptureLog.html") else b""
        left = s.read_file("Kestrova.tmr")

    runs = run_ends(recs)
    told = [r for r in recs if len(r) > 1 and r[1].startswith("録画されませんでした")]
    chain_ends = {b for _, b in chain1 + chain2}
    over_ends = {b for _, b in over}
    recorded_chain = sum(1 for began, elapsed in runs if round(began + elapsed) in chain_ends)
    recorded_over = sum(1 for began, elapsed in runs if round(began + elapsed) in over_ends)
    late = sum(1 for r in recs if any("遅れて開始しました" in line for line in r))
    gaps = w.gaps(*chain1_window) + w.gaps(*chain2_window)
    reserved = total_chain + overlaps + passed
    accounted = len(runs) + len(told)
    print("reserved: %d (%d back to back, %d overlapping, %d passed before the start)" %
          (reserved, total_chain, overlaps, passed))
    print("recorded: %d of %d back to back, %d of %d overlapping (%d started late)" %
          (recorded_chain, total_chain, recorded_over, overlaps, late))
    print("logged: %d run records, %d told as not recorded; history rows: %d" %
          (len(runs), len(told), page.count(b"<TR>")))
    print("lost without a word: %d" % (reserved - accounted))
    print("gaps between consecutive recordings: %d, longest %.3f s, median %.3f s" %
          (len(gaps), max(gaps) if gaps else 0, sorted(gaps)[len(gaps) // 2] if gaps else 0))
    print("slots left used in the file: %d" % sum(1 for line in left.split(b"\r\n") if re.match(rb"Timer\d+=.", line)))
    return 0 if recorded_chain == total_chain and reserved == accounted and gaps and max(gaps) <= 1 else 1


if __name__ == "__main__":
    sys.exit(main())
