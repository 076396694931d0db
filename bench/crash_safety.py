#!/usr/bin/env python3
"""Kills Kestrova's programs with SIGKILL at random moments and checks every
file they leave.

Saves: bench/win32/save_stress.exe (the real SaveSettingsFile and
SaveReservationsFile in a loop, generation N recognisable in many keys and
in the reservation comments) runs under Wine in the Japanese locale and is
killed after a random delay, again and again on the same two files. After
each kill both files must exist, be CP932 INI text, and hold exactly the
bytes of one generation N, with N at least the last generation the tool
reported saved and at most the one it was saving. Stray "*.new" files may be
left; they are counted, never read.

Recordings: the real Kestrova.exe records the test pattern (1280x720,
30 fps, sound) into its work file and is killed after a random 2-40 s. The
complete RIFF chunks at the start of the file (what RecordedAviBytes
accepts) are kept, the rest is cut off, and that must read without a word
from ffprobe and ffmpeg, with the headers' frame count equal to the video
chunks of those RIFFs and the decoded pictures equal to the non-empty ones.
The sound chunks' bytes must match the headers' sound length. A recording
killed before its first RIFF was complete promises nothing and is only
counted.

Write boundaries: random kills hardly ever land between the few writes that
complete a RIFF. bench/avi_kill_replay (native build) replays a short
recording's writes one by one and gives every complete part a kill between
two writes, or between two pages of one write, can leave; each gets the
recordings' check.

    python3 bench/crash_safety.py --saves 1000 --kills 100 --recordings 12
    python3 bench/crash_safety.py --saves 0 --kills 0 --recordings 3 --seed 7

Needs both builds (`bash scripts/build.sh`), ffmpeg, and about
4 GB of free disk per recording (it stops when less than --min-free-gb is
left). Exit code 1 when a file was torn or a complete part did not read.
Files that fail are copied to --failures (default: a new directory under
/tmp) for a closer look; the replay's files come back with the same
avi_kill_replay command.
"""

import argparse
import datetime
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import kestrova_e2e  # noqa: E402
from test_startup_files import canonical_file, reservation_writes, settings_writes  # noqa: E402

TEST_PATTERN = {"KESTROVA_TESTPATTERN": "1"}
WORK_FILE = "一時ﾌｧｲﾙ.AVI"
REPLAY_SIZE = "320x240"  # the picture avi_kill_replay records
FORMAT = "ﾌｫｰﾏｯﾄ"
SIZES = {"160x120": 1011, "320x240": 1012, "640x480": 1013, "1280x720": 1014, "1920x1080": 1017}
START_RECORDING = 32788
FORMAT_DIALOG = 32774


class Failure(Exception):
    """A file that breaks the promise (the message says how)."""


def wine_process(session, popen, exe):
    """The pid of the Wine process running `exe` that `popen` started (the
    wine loader becomes that process)."""
    def runs_exe(pid):
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                return exe.encode() in f.read()
        except OSError:
            return False
    if runs_exe(popen.pid):
        return popen.pid
    for pid in kestrova_e2e.session_pids(session.id):
        if runs_exe(pid):
            return pid
    raise kestrova_e2e.KestrovaError("no Wine process runs %s" % exe)


def keep_failure(args, name, path):
    os.makedirs(args.failures, exist_ok=True)
    dest = os.path.join(args.failures, name)
    shutil.copy2(path, dest)
    return dest


# --- saves ---------------------------------------------------------------------

# What save_stress.exe writes for generation n (see its header comment).
def settings_values(n):
    g = str(n)
    return {"TempPath": "Z:\\世代\\" + g, "TempSize": g, "SampleRate": g, "PreviewRate": g,
            "PartTime": g, "TopMost": g, "SnapFileName": "ｽﾅｯﾌﾟ" + g, "FontFaceName": "書体" + g,
            "TempFileName": "録画" + g + ".avi", "Onetouch": "15,30,45," + g}


def reservation_value(n, i):
    if (i + n) % 4 == 0:
        return ""
    start = 1700000000 + 60 * n + i
    comment = "世代%d 枠%d" % (n, i) + "長" * (n % 40)
    return "%d,%d,%d,%s,%d" % (start, start + 1800, (n + i) % 128, comment, (n + i) % 2)


def expected_bytes(kind, n):
    if kind == "ini":
        return canonical_file(settings_writes(n, n, **settings_values(n)))
    return canonical_file(reservation_writes({i: reservation_value(n, i) for i in range(99)}))


# Keys whose value tells the generation, with the pattern that reads it.
SETTINGS_GENERATION = dict(
    {key: r"(\d+)" for key in ("TempSize", "SampleRate", "PreviewRate", "PartTime", "TopMost",
                               "WindowPosX", "WindowPosY")},
    TempPath=r"Z:\\世代\\(\d+)", SnapFileName=r"ｽﾅｯﾌﾟ(\d+)", FontFaceName=r"書体(\d+)",
    TempFileName=r"録画(\d+)\.avi", Onetouch=r"15,30,45,(\d+)")


def parse_ini(data):
    """{section: {key: value}} of a file in Kestrova's form (CP932, CRLF
    lines of "[section]" and "key=value"); Failure when it is not."""
    try:
        text = data.decode("cp932")
    except UnicodeDecodeError as e:
        raise Failure("not CP932 text at byte %d" % e.start) from None
    if not text.endswith("\r\n"):
        raise Failure("does not end with a whole line (%d bytes)" % len(data))
    sections, current = {}, None
    for number, line in enumerate(text[:-2].split("\r\n"), 1):
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif "=" in line and current is not None:
            key, _, value = line.partition("=")
            if key in current:
                raise Failure("line %d: key %s twice" % (number, key))
            current[key] = value
        else:
            raise Failure("line %d is no INI line: %r" % (number, line[:60]))
    return sections


def generations_in(kind, sections):
    """Every generation the file's keys tell, as {generation: [keys]}."""
    found = {}
    if kind == "ini":
        want = {"Video": 26, "Audio": 5, "General": 8}
        got = {name: len(keys) for name, keys in sections.items()}
        if got != want:
            raise Failure("sections and key counts %s, not %s" % (got, want))
        for keys in sections.values():
            for key, value in keys.items():
                if key in SETTINGS_GENERATION:
                    m = re.fullmatch(SETTINGS_GENERATION[key], value)
                    if not m:
                        raise Failure("%s=%s tells no generation" % (key, value))
                    found.setdefault(int(m.group(1)), []).append(key)
    else:
        keys = sections.get("Schedule", {})
        if list(sections) != ["Schedule"] or list(keys) != ["Timer%d" % i for i in range(99)]:
            raise Failure("not the 99 keys Timer0..Timer98 of [Schedule]")
        for i in range(99):
            value = keys["Timer%d" % i]
            if not value:
                continue
            m = re.fullmatch(r"(\d+),\d+,\d+,世代(\d+) 枠%d長*,[01]" % i, value)
            if not m or (int(m.group(1)) - 1700000000 - i) % 60:
                raise Failure("Timer%d=%s tells no generation" % (i, value[:60]))
            for n in ((int(m.group(1)) - 1700000000 - i) // 60, int(m.group(2))):
                found.setdefault(n, []).append("Timer%d" % i)
    return found


def check_saved_file(path, kind, low, high):
    """The generation the file holds; Failure unless it holds exactly the
    bytes of one generation between low and high."""
    if not os.path.exists(path):
        raise Failure("missing")
    with open(path, "rb") as f:
        data = f.read()
    found = generations_in(kind, parse_ini(data))
    if len(found) != 1:
        raise Failure("a mix of generations: %s" % {n: keys[:3] for n, keys in sorted(found.items())})
    n = next(iter(found))
    if not low <= n <= high:
        raise Failure("generation %d, but the tool had saved %d and was saving at most %d" % (n, low, high))
    expected = expected_bytes(kind, n)
    if data != expected:
        at = next((i for i, (a, b) in enumerate(zip(data, expected)) if a != b), min(len(data), len(expected)))
        raise Failure("generation %d, but %d bytes instead of %d, first difference at byte %d"
                      % (n, len(data), len(expected), at))
    return n


def reported(output):
    """{"ini": last generation saved, "tmr": ...} from save_stress's lines."""
    last = {}
    for line in output.decode("ascii", errors="replace").splitlines():
        kind, _, n = line.partition(" ")
        if kind in ("ini", "tmr") and n.isdigit():
            last[kind] = int(n)
        elif kind == "fail":
            raise kestrova_e2e.KestrovaError("save_stress: " + line)
    return last


def run_saves(args, rng, summary):
    with kestrova_e2e.KestrovaSession() as s:
        exe = kestrova_e2e.find_build_file("save_stress.exe")
        if exe is None:
            raise kestrova_e2e.KestrovaError("no save_stress.exe: run `bash scripts/build.sh x64`")
        shutil.copy2(exe, s.path("save_stress.exe"))
        os.mkdir(s.path("saves"))
        directory = s.win_path("saves")
        paths = {kind: s.path("saves/Kestrova." + kind) for kind in ("ini", "tmr")}

        # A clean run first: the checker must agree with the tool.
        out = s.run_windows_program("save_stress.exe", [directory, 1, 2], check=True, timeout=120)
        held = {}
        for kind, path in paths.items():
            held[kind] = check_saved_file(path, kind, 2, 2)
        summary["saves"] += len(out.stdout.split()) - 1

        rate, window = None, 0.2
        while summary["kills"] < args.kills or summary["saves"] < args.saves:
            first = max(held.values()) + 1
            p, out = s.spawn("save_stress.exe", [directory, first])
            deadline = time.monotonic() + 60
            # pread: the tool shares this file's offset; reading must not move it.
            while b"ready\n" not in os.pread(out.fileno(), 64, 0):
                if p.poll() is not None or time.monotonic() > deadline:
                    raise kestrova_e2e.KestrovaError("save_stress did not start: %r"
                                                     % os.pread(out.fileno(), 4096, 0))
                time.sleep(0.005)
            pid = wine_process(s, p, "save_stress.exe")
            ready = time.monotonic()
            time.sleep(rng.uniform(0, window))
            if p.poll() is not None:
                raise kestrova_e2e.KestrovaError("save_stress ended by itself")
            os.kill(pid, signal.SIGKILL)
            killed = time.monotonic()
            p.wait(timeout=30)
            summary["kills"] += 1
            last = reported(os.pread(out.fileno(), os.fstat(out.fileno()).st_size, 0))
            done = sum(last.get(kind, first - 1) - first + 1 for kind in ("ini", "tmr"))
            summary["saves"] += done
            failed = False
            for kind, path in paths.items():
                # At least what was reported saved; at most the one in hand.
                low = last.get(kind, held[kind])
                high = last[kind] + 1 if kind in last else first
                try:
                    held[kind] = check_saved_file(path, kind, low, high)
                except Failure as e:
                    failed = True
                    summary["torn"] += 1
                    kept = keep_failure(args, "kill%d-%s" % (summary["kills"], os.path.basename(path)), path)
                    summary["problems"].append("kill %d (generations from %d, killed %.3f s after start): "
                                               "Kestrova.%s %s; kept as %s"
                                               % (summary["kills"], first, killed - ready, kind, e, kept))
            if failed:
                # Go on from a clean pair of files, past every generation seen.
                restart = max([first] + [n + 1 for n in last.values()]) + 1
                for path in paths.values():
                    if os.path.exists(path):
                        os.remove(path)
                s.run_windows_program("save_stress.exe", [directory, restart, 1], check=True)
                held = {"ini": restart, "tmr": restart}
            summary["stray_new"] += any(name.endswith(".new") for name in os.listdir(s.path("saves")))
            # Kills that came after a save had put its file in place but
            # before the tool could tell.
            summary["unreported"] += sum(held[kind] > last.get(kind, first - 1) for kind in paths)
            # Aim at saves/kills saves between kills, from the recent save rate.
            if killed > ready:
                rate = done / (killed - ready) if rate is None else 0.8 * rate + 0.2 * done / (killed - ready)
            if rate:
                window = min(5.0, 2 * max(1.0, args.saves / max(args.kills, 1)) / rate)
            if summary["kills"] % 25 == 0:
                print("  saves: %d kills, %d saves, %d torn" % (summary["kills"], summary["saves"],
                                                              summary["torn"]), flush=True)


# --- recordings ------------------------------------------------------------------

def riffs(f, size):
    """(offset, fourcc, bytes) of the top-level RIFF chunks that are complete,
    as RecordedAviBytes reads them."""
    out, end = [], 0
    while True:
        f.seek(end)
        head = f.read(12)
        if len(head) != 12 or head[:4] != b"RIFF":
            break
        chunk_size = struct.unpack("<I", head[4:8])[0]
        if head[8:12] != (b"AVI " if end == 0 else b"AVIX"):
            break
        if chunk_size <= 4 or end + 8 + chunk_size > size:
            break
        out.append((end, head[8:12].decode(), 8 + chunk_size))
        end = min(end + 8 + chunk_size + (chunk_size & 1), size)
    return out


def movi_chunks(f, at, length):
    """(video chunks, empty ones among them, sound bytes) of the RIFF at `at`."""
    video = empty = sound = 0
    pos, end = at + 12, at + length
    while pos + 8 <= end:
        f.seek(pos)
        cid, size = struct.unpack("<4sI", f.read(8))
        if cid == b"LIST" and f.read(4) == b"movi":
            pos += 12
            continue
        if cid == b"00db":
            video += 1
            empty += size == 0
        elif cid == b"01wb":
            sound += size
        pos += 8 + size + (size & 1)
    if pos != end:
        raise Failure("the chunks of the RIFF at %d end at %d, not at %d" % (at, pos, end))
    return video, empty, sound


def check_recording(path, size_wanted):
    """(complete RIFFs, video chunks, empty ones) of the file's complete part,
    cut to it; Failure when that part does not read cleanly."""
    with open(path, "rb") as f:
        complete = riffs(f, os.path.getsize(path))
        video = empty = sound = 0
        for at, _, length in complete:
            v, e, a = movi_chunks(f, at, length)
            video, empty, sound = video + v, empty + e, sound + a
    if not complete:
        return 0, 0, 0
    end = complete[-1][0] + complete[-1][2]
    # ffmpeg reads on past the last complete RIFF (into chunks no header
    # counts yet), so the complete part becomes a file of its own.
    os.truncate(path, end)
    where = "%d RIFFs up to byte %d" % (len(complete), end)
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                            "stream=codec_type,nb_frames,width,height,channels,bits_per_sample", "-of", "json",
                            path], capture_output=True, text=True, timeout=600)
    if probe.returncode != 0 or probe.stderr.strip():
        raise Failure("%s: ffprobe: %s" % (where, probe.stderr.strip() or "exit %d" % probe.returncode))
    streams = {st["codec_type"]: st for st in json.loads(probe.stdout)["streams"]}
    decode = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-",
                             "-progress", "pipe:1"], capture_output=True, text=True, timeout=1800)
    if decode.returncode != 0 or decode.stderr.strip():
        raise Failure("%s: ffmpeg: %s" % (where, decode.stderr.strip()[:2000] or "exit %d" % decode.returncode))
    counts = re.findall(r"^frame=(\d+)$", decode.stdout, re.M)
    decoded = int(counts[-1]) if counts else -1
    picture, sound_stream = streams.get("video", {}), streams.get("audio", {})
    if "%sx%s" % (picture.get("width"), picture.get("height")) != size_wanted:
        raise Failure("%s: a %sx%s picture" % (where, picture.get("width"), picture.get("height")))
    if int(picture.get("nb_frames", -1)) != video or decoded != video - empty:
        raise Failure("%s: nb_frames %s, decoded %d, video chunks %d (%d empty)"
                      % (where, picture.get("nb_frames"), decoded, video, empty))
    block = sound_stream.get("channels", 0) * sound_stream.get("bits_per_sample", 0) // 8
    if int(sound_stream.get("nb_frames", -1)) * block != sound:
        raise Failure("%s: sound nb_frames %s, %d sound bytes in the chunks"
                      % (where, sound_stream.get("nb_frames"), sound))
    return len(complete), video, empty


def run_recordings(args, rng, summary):
    for index in range(1, args.recordings + 1):
        free = shutil.disk_usage(tempfile.gettempdir()).free
        if free < args.min_free_gb * 1e9:
            print("  recordings: stopped before recording %d: %.1f GB free, %.1f GB wanted"
                  % (index, free / 1e9, args.min_free_gb), flush=True)
            summary["recordings_skipped"] = args.recordings - index + 1
            return
        seconds = rng.uniform(args.min_seconds, args.max_seconds)
        with kestrova_e2e.KestrovaSession(env=TEST_PATTERN) as s:
            ini = "[Video]\r\nTempPath=%s\r\nFrames=%.2f\r\n[Audio]\r\nCaptureAudio=1\r\n" % (
                s.win_path().rstrip("\\"), args.fps)
            s.write_file("Kestrova.ini", ini.encode("cp932"))
            s.start()
            s.post_command(FORMAT_DIALOG)
            s.box(FORMAT)
            s.driver("click", "#32770:" + FORMAT, SIZES[args.size])
            s.answer(FORMAT, "ok")
            path = s.path(WORK_FILE)
            s.post_command(START_RECORDING)
            # The work file tells that the recording runs. Kestrova's menu is
            # not polled: kdriver reads it from inside Kestrova's process,
            # and twice in some 280 recordings a Kestrova polled so right
            # after the start froze (docs/crash-safety.md).
            s.wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0, timeout=20,
                         interval=0.02, message="recording started")
            started = time.monotonic()
            pid = wine_process(s, s.proc, "Kestrova.exe")
            time.sleep(max(0.0, started + seconds - 0.5 - time.monotonic()))
            growing = os.path.getsize(path)
            time.sleep(max(0.0, started + seconds - time.monotonic()))
            if not s.running():
                raise kestrova_e2e.KestrovaError("Kestrova ended by itself:\n" + s.log())
            if os.path.getsize(path) == growing:
                summary["stalled"] += 1
                summary["problems"].append("recording %d: the work file stopped growing at %d bytes before the "
                                           "kill" % (index, growing))
            os.kill(pid, signal.SIGKILL)
            s.wait_exit()
            size = os.path.getsize(path)
            summary["recordings"] += 1
            try:
                count, frames, dropped = check_recording(path, args.size)
            except Failure as e:
                count, frames, dropped = -1, 0, 0
                summary["unreadable"] += 1
                kept = keep_failure(args, "recording%d.avi" % index, path)
                summary["problems"].append("recording %d (killed %.1f s in, %d bytes): %s; the cut file "
                                           "kept as %s" % (index, seconds, size, e, kept))
            if count == 0:
                summary["nothing_promised"] += 1
            elif count > 0:
                summary["riffs"] += count
                summary["frames"] += frames
                summary["dropped"] += dropped
            os.remove(path)
            if count < 0:
                result = "FAILED"
            elif count == 0:
                result = "no complete RIFF"
            else:
                result = "%d complete RIFFs, %d frame slots read (%d dropped)" % (count, frames, dropped)
            print("  recording %d: killed %.1f s in, %.2f GB, %s" % (index, seconds, size / 1e9, result), flush=True)


def run_replay(args, summary):
    """Checks every complete part a kill between two writes (or between two
    pages of one write) can leave, as bench/avi_kill_replay writes them."""
    tool = os.environ.get("KESTROVA_AVI_KILL_REPLAY") or os.path.join(ROOT, "build", "native", "bench",
                                                                      "avi_kill_replay")
    if not os.path.isfile(tool):
        raise kestrova_e2e.KestrovaError("no %s: run `bash scripts/build.sh native`" % tool)
    with tempfile.TemporaryDirectory(prefix="kestrova-replay-") as directory:
        out = subprocess.run([tool, directory, str(args.replay_frames)], capture_output=True, text=True,
                             check=True, timeout=600)
        for line in out.stdout.splitlines():
            name, what = line.split("\t")
            summary["replay_states"] += 1
            try:
                check_recording(os.path.join(directory, name), REPLAY_SIZE)
            except Failure as e:
                summary["replay_failed"] += 1
                summary["problems"].append("`avi_kill_replay DIR %d` %s, %s: %s"
                                           % (args.replay_frames, name, what, e))
            os.remove(os.path.join(directory, name))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--saves", type=int, default=1000, help="at least this many file saves")
    ap.add_argument("--kills", type=int, default=100, help="at least this many kills of the save tool")
    ap.add_argument("--recordings", type=int, default=12)
    ap.add_argument("--min-seconds", type=float, default=2.0, help="earliest kill of a recording")
    ap.add_argument("--max-seconds", type=float, default=40.0, help="latest kill of a recording")
    ap.add_argument("--size", default="1280x720", choices=sorted(SIZES))
    ap.add_argument("--fps", type=float, default=30.0)
    ap.add_argument("--replay-frames", type=int, default=60,
                    help="frame slots of the replayed recording (0: no replay)")
    ap.add_argument("--min-free-gb", type=float, default=8.0)
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--failures", default=None, help="where files that fail are kept")
    ap.add_argument("--arch", choices=("x64", "x86"), default="x64",
                    help="the Windows build to run (x64 under 64-bit Wine, x86 under 32-bit Wine)")
    args = ap.parse_args()
    kestrova_e2e.use_arch(args.arch)
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)
    rng = random.Random(seed)
    args.failures = args.failures or os.path.join(tempfile.gettempdir(), "kestrova-crash-%d" % seed)
    summary = dict(saves=0, kills=0, torn=0, stray_new=0, unreported=0, recordings=0, nothing_promised=0,
                   riffs=0, frames=0, dropped=0, unreadable=0, stalled=0, recordings_skipped=0, replay_states=0,
                   replay_failed=0, problems=[])
    began = time.monotonic()
    print("crash_safety: seed %d, %s" % (seed, datetime.datetime.now().isoformat(timespec="seconds")), flush=True)
    if args.kills > 0 or args.saves > 0:
        run_saves(args, rng, summary)
    saves_seconds = time.monotonic() - began
    if args.replay_frames > 0:
        run_replay(args, summary)
    replay_seconds = time.monotonic() - began - saves_seconds
    if args.recordings > 0:
        run_recordings(args, rng, summary)
    total = time.monotonic() - began
    print("saves: %d saves, %d kills, %d torn files; %d kills left a stray .new file, %d came between a "
          "save's rename and its report (%.0f s)" % (summary["saves"], summary["kills"], summary["torn"],
                                                     summary["stray_new"], summary["unreported"], saves_seconds))
    print("recordings: %d killed, %d with complete RIFFs (%d RIFFs verified, %d frame slots, %d of them "
          "dropped), %d before their first RIFF was complete (nothing promised), %d unreadable, %d stalled "
          "before the kill, %d skipped (%.0f s)"
          % (summary["recordings"], summary["recordings"] - summary["nothing_promised"] - summary["unreadable"],
             summary["riffs"], summary["frames"], summary["dropped"], summary["nothing_promised"],
             summary["unreadable"], summary["stalled"], summary["recordings_skipped"],
             total - saves_seconds - replay_seconds))
    print("write boundaries: %d distinct files a kill can leave checked, %d unreadable (%.0f s)"
          % (summary["replay_states"], summary["replay_failed"], replay_seconds))
    for problem in summary["problems"]:
        print("PROBLEM: " + problem)
    print("seed %d, %.0f s in all" % (seed, total))
    return 1 if summary["torn"] or summary["unreadable"] or summary["replay_failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
