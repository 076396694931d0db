#!/usr/bin/env python3
"""How punctually scheduled recordings start: the real Kestrova.exe under
Wine with its test-pattern device records N reservations (a new work file
each) and this reports, for every run, how long after the reserved start its
work file appeared (the file is made just before the first frame).

    python3 bench/schedule_bench.py --runs 20
"""

import argparse
import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import kestrova_e2e  # noqa: E402
from test_startup_files import canonical_file, reservation_writes  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--gap", type=int, default=6, help="seconds between reserved starts")
    parser.add_argument("--length", type=int, default=2, help="seconds each reservation records")
    parser.add_argument("--arch", choices=("x64", "x86"), default="x64",
                    help="the Windows build to run (x64 under 64-bit Wine, x86 under 32-bit Wine)")
    args = parser.parse_args()
    kestrova_e2e.use_arch(args.arch)

    with kestrova_e2e.KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}) as s:
        first = int(time.time()) + 15
        starts = [first + i * args.gap for i in range(args.runs)]
        slots = {i: "%d,%d,0,,0" % (t, t + args.length) for i, t in enumerate(starts)}
        ini = "[Video]\r\nTempPath=%s\r\nFixedTempFile=0\r\n" % s.win_path().rstrip("\\")
        s.write_file("Kestrova.ini", ini.encode("cp932"))
        s.write_file("Kestrova.tmr", canonical_file(reservation_writes(slots)))
        s.start(["/T"])
        seen, late = set(), []
        while len(late) < args.runs and time.time() < starts[-1] + args.gap + 30:
            for name in os.listdir(s.dir):
                if name.startswith("kv") and name.endswith(".avi") and name not in seen:
                    now = time.time()
                    seen.add(name)
                    start = max(t for t in starts if t <= now + 0.5)
                    late.append(now - start)
                    print("run %2d: work file %.3f s after the start" % (len(late), late[-1]), flush=True)
            time.sleep(0.002)
        s.post_command(105)
        s.wait_exit(timeout=60)
    if len(late) < args.runs:
        print("only %d of %d runs seen" % (len(late), args.runs))
        return 1
    print("%d runs: median %.3f s, max %.3f s, within 0.25 s: %d" %
          (len(late), statistics.median(late), max(late), sum(1 for v in late if v <= 0.25)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
