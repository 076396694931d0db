#!/usr/bin/env python3
"""Kills the real Kestrova.exe with SIGKILL at random moments of back-to-back
scheduled runs, starts it again each time, and counts what its records say
against what really happened.

Each round is a fresh folder with `--slots` reservations of `--seconds`
each, back to back, recorded from the test-pattern device with the default
settings (a fresh work file per run, moved to its dated name). Kestrova is
started with "/T" and killed after a random 0 to 2 x `--seconds`, again and
again until the round's last span has ended; then it is started once more,
left to finish, and closed. The round's records are then read:

- told: the history rows, the "kept" notices and the missed records of
  Capture.log, and the slots still used in Kestrova.tmr;
- recorded: the dated AVI files (ffprobe's duration);
- kept: for every kill during a recording, the file that holds the frames
  made before it.

A fault is any of:
- recorded twice: two files or two rows of one slot that overlap in time,
  or a slot's files longer than its span;
- made but told as missed: a slot with a recording and a missed record;
- lost: a kill during a recording whose frames up to one second before the
  kill are not in a file (what the writer promises: its notes are at most a
  second apart; the rows' start is to the second, so a second more is
  allowed for that);
- left behind: a work file, Kestrova.run, or a used slot once all spans have
  ended;
- unreadable: a dated file that ffprobe cannot read.

    python3 bench/kill_bench.py --kills 200
    python3 bench/kill_bench.py --kills 20 --slots 4 --seconds 6 --seed 7

Needs the x64 build (`bash scripts/build.sh x64`), Xvfb and ffmpeg. Prints
one line per round and a summary; exit code 1 on any fault. Folders of
rounds with a fault are kept under /tmp for a closer look.
"""

import argparse
import datetime
import glob
import os
import random
import re
import shutil
import signal
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from kestrova_e2e import (TEST_PATTERN, KestrovaError, KestrovaSession, probe_avi,  # noqa: E402
                          slot, tmr)
from kestrova_e2e import profile_values  # noqa: E402

ROW = re.compile(r"<TD ALIGN=CENTER NOWRAP><B>\d+年 ?\d+月 ?\d+日\(.\)<BR> ?(\d+)時 ?(\d+)分 ?(\d+)秒</B></TD>\r\n"
                 r"<TD ALIGN=CENTER NOWRAP><B><BR> ?(\d+)時 ?(\d+)分 ?(\d+)秒</B></TD>\r\n"
                 r"<TD ALIGN=CENTER NOWRAP><B>([^<]*)</B></TD>\r\n"
                 r"<TD ALIGN=LEFT NOWRAP><B>枠(\d+)(.*?)&nbsp;</B></TD>")
DATED = re.compile(r"^(\d\d)-(\d\d)\((\d\d)時(\d\d)分(\d\d)秒\)(?:\(\d+\))?\.avi$")


def kill(s):
    for pid in s.kestrova_pids():
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    s.wait_until(lambda: not s.kestrova_pids(), message="Kestrova gone after SIGKILL")
    s.wait_exit()


def clock_on(day, h, m, sec):
    """The epoch time of h:m:s local on the date of `day` (an epoch time),
    the nearest such time to `day`."""
    d = datetime.datetime.fromtimestamp(day)
    t = d.replace(hour=int(h), minute=int(m), second=int(sec), microsecond=0).timestamp()
    return min((t - 86400, t, t + 86400), key=lambda x: abs(x - day))


def run_round(args, rng, kills_left):
    """One folder of back-to-back runs; returns (kills, counts, faults, dir)."""
    s = KestrovaSession(env=TEST_PATTERN)
    s.__enter__()
    faults, counts = [], dict(rows=0, kept=0, missed=0, files=0, seconds=0.0, kills=0, during=0, lost=[])
    try:
        s.write_ini()
        first = int(time.time()) + 8
        spans = [(first + i * args.seconds, first + (i + 1) * args.seconds) for i in range(args.slots)]
        s.write_file("Kestrova.tmr", tmr({i: slot(a, b, comment="枠%02d" % i) for i, (a, b) in enumerate(spans)}))
        kills = []  # (time, when the file being written at the time first grew, or None)
        while time.time() < spans[-1][1] and len(kills) < kills_left:
            s.start(["/T"])
            deadline = time.time() + rng.uniform(0, 2 * args.seconds)
            work = {}  # work file: [size when first seen, when it first grew past that]
            while time.time() < deadline:
                for path in glob.glob(s.path("kv*.avi")):
                    try:
                        size = os.path.getsize(path)
                    except OSError:
                        continue
                    seen = work.setdefault(path, [size, None])
                    if seen[1] is None and size > seen[0]:
                        seen[1] = time.time()
                time.sleep(0.02)
            at = time.time()
            growing = [grew for path, (_, grew) in work.items() if grew is not None and os.path.exists(path)]
            kill(s)
            kills.append((at, max(growing) if growing else None))
        # Once more, to the end of the last span and a second or two after.
        s.start(["/T"])
        s.wait_until(lambda: time.time() > spans[-1][1] + 2 and not s.exists("Kestrova.run")
                     and not s.recording(), timeout=args.seconds * args.slots + 120,
                     message="the round's last span over and stored")
        s.post_command(105)
        s.wait_exit(timeout=60)
        counts["kills"] = len(kills)
        check_round(s, spans, kills, counts, faults)
    except KestrovaError as e:
        faults.append("harness: %s" % e)
    keep = bool(faults)
    directory = s.dir
    if keep:
        kept = tempfile.mkdtemp(prefix="kill-bench-")
        shutil.copytree(s.dir, kept, dirs_exist_ok=True, ignore=shutil.ignore_patterns("prefix", "*.exe"))
        directory = kept
    s.__exit__(None, None, None)
    return counts, faults, directory


def check_round(s, spans, kills, counts, faults):
    log = s.read_file("Capture.log").decode("cp932") if s.exists("Capture.log") else ""
    page = s.read_file("CaptureLog.html").decode("cp932") if s.exists("CaptureLog.html") else ""
    rows = {}
    for m in ROW.finditer(page):
        i = int(m.group(8))
        a = clock_on(spans[i][0], *m.group(1, 2, 3))
        b = clock_on(spans[i][1], *m.group(4, 5, 6))
        rows.setdefault(i, []).append((a, b, m.group(9)))
    counts["rows"] += sum(len(r) for r in rows.values())
    counts["kept"] += log.count("録画は途中で終わりました（録画中にKestrovaが終了しました）")
    missed = {int(n) - 1 for n in re.findall(r"№(\d+)「枠\d+」 は", log)}
    counts["missed"] += len(missed)

    files = {}
    for path in glob.glob(s.path("*.avi")):
        name = os.path.basename(path)
        m = DATED.match(name)
        if not m:
            faults.append("left behind: %s" % name)
            continue
        at = clock_on(spans[0][0], *m.group(3, 4, 5))
        slot_of = [i for i, (a, b) in enumerate(spans) if a <= at < b]
        try:
            seconds = float(probe_avi(path)["format"]["duration"])
        except Exception as e:  # noqa: BLE001 - anything ffprobe says is a fault
            faults.append("unreadable: %s: %s" % (name, str(e).splitlines()[0] if str(e) else e))
            continue
        if not slot_of:
            faults.append("a file outside every span: %s" % name)
            continue
        files.setdefault(slot_of[0], []).append((at, at + seconds, name))
        counts["files"] += 1
        counts["seconds"] += seconds

    for i, (a, b) in enumerate(spans):
        made = sorted(files.get(i, []))
        if sum(e - s_ for s_, e, _ in made) > (b - a) + 1.5:
            faults.append("recorded twice: 枠%02d holds %.1f s of a %d s span" % (i, sum(e - s_ for s_, e, _ in made), b - a))
        for (s1, e1, n1), (s2, _, n2) in zip(made, made[1:]):
            if s2 < e1 - 1.5:
                faults.append("recorded twice: %s and %s overlap" % (n1, n2))
        if i in missed and made:
            faults.append("made but told as missed: 枠%02d (%s)" % (i, ", ".join(n for _, _, n in made)))
        if not made and i not in missed:
            faults.append("nothing told: 枠%02d has neither a file nor a missed record" % i)

    # Each kill while a work file was growing: the frames written before it
    # are in the dated file of that run, all but the last second. The
    # recording began before its file first grew (by at most one write
    # buffer, a fraction of a second here), so the loss is an upper bound.
    for k, grew in kills:
        if grew is None:
            continue
        running = [(s_, e, n) for i in files for s_, e, n in files[i] if s_ <= grew]
        if not running:
            faults.append("lost: nothing kept of the run killed at %s" % time.strftime("%H:%M:%S", time.localtime(k)))
            continue
        counts["during"] += 1
        s_, e, n = max(running)
        lost = (k - grew) - (e - s_)
        counts["lost"].append(lost)
        if lost > 1.0:
            faults.append("lost: %s holds %.2f s of the %.2f s written before the kill at %s"
                          % (n, e - s_, k - grew, time.strftime("%H:%M:%S", time.localtime(k))))

    tmr_values = profile_values(s.read_file("Kestrova.tmr"))
    used = [k for k, v in tmr_values.items() if v]
    if used:
        faults.append("slots still used: %s" % ", ".join(used))
    if s.exists("Kestrova.run"):
        faults.append("left behind: Kestrova.run")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--kills", type=int, default=200)
    parser.add_argument("--slots", type=int, default=8)
    parser.add_argument("--seconds", type=int, default=8)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    print("kill bench: seed %d, %d kills, rounds of %d slots x %d s" % (seed, args.kills, args.slots, args.seconds),
          flush=True)
    total = dict(rows=0, kept=0, missed=0, files=0, seconds=0.0, kills=0, during=0, lost=[])
    all_faults = []
    started = time.time()
    n = 0
    while total["kills"] < args.kills:
        n += 1
        counts, faults, directory = run_round(args, rng, args.kills - total["kills"])
        for key in total:
            total[key] += counts[key]
        all_faults += faults
        print("round %d: %d kills (%d during a recording), %d rows, %d kept, %d missed, %d files %.1f s%s"
              % (n, counts["kills"], counts["during"], counts["rows"], counts["kept"], counts["missed"],
                 counts["files"], counts["seconds"], "" if not faults else "; FAULTS (kept in %s):\n  %s"
                 % (directory, "\n  ".join(faults))), flush=True)
        if counts["kills"] == 0 and faults:
            break
    print("total: %d kills (%d during a recording) in %d rounds, %.0f min; %d rows, %d kept, %d missed, "
          "%d files %.1f s; %d faults" % (total["kills"], total["during"], n, (time.time() - started) / 60,
                                          total["rows"], total["kept"], total["missed"], total["files"],
                                          total["seconds"], len(all_faults)))
    lost = sorted(total["lost"])
    if lost:
        print("lost before a kill (s): median %.2f, 90th %.2f, max %.2f"
              % (lost[len(lost) // 2], lost[int(len(lost) * 0.9)], lost[-1]))
    return 1 if all_faults else 0


if __name__ == "__main__":
    sys.exit(main())
