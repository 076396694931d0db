#!/usr/bin/env python3
"""Records with the real Kestrova.exe under Wine and its test-pattern device
and reports frames, dropped frames, the CPU used by each process of the
session (Kestrova, the wineserver, Xvfb and Wine's own helpers) and in all,
the write rate, and the difference between the sound and the picture
durations.

    python3 bench/record_bench.py --size 640x480 --fps 30 --seconds 60
    python3 bench/record_bench.py --size 1920x1080 --fps 60 --seconds 60 --keep-file
"""

import argparse
import json
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import kestrova_e2e  # noqa: E402

SIZES = {"160x120": 1011, "320x240": 1012, "640x480": 1013, "1280x720": 1014, "1920x1080": 1017}
TICKS = os.sysconf("SC_CLK_TCK")


def process_name(pid):
    """Kestrova.exe, wineserver, Xvfb, explorer.exe, ... for one pid."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            argv = [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return None
    for arg in argv:
        base = arg.replace("\\", "/").rsplit("/", 1)[-1]
        if base.lower().endswith(".exe"):
            return base
    return argv[0].rsplit("/", 1)[-1] if argv else None


def cpu_by_process(pids):
    """CPU seconds so far of each process, by name: (user, system)."""
    totals = {}
    for pid in pids:
        try:
            with open("/proc/%d/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        name = process_name(pid) or str(pid)
        user, system = totals.get(name, (0.0, 0.0))
        totals[name] = (user + int(fields[11]) / TICKS, system + int(fields[12]) / TICKS)
    return totals


def video_packets(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=size",
                          "-of", "csv=p=0", path], capture_output=True, text=True, check=True)
    return [int(line) for line in out.stdout.split()]


def streams(path):
    out = subprocess.run(["ffprobe", "-v", "warning", "-print_format", "json", "-show_streams", path],
                         capture_output=True, text=True, check=True)
    return json.loads(out.stdout)["streams"], out.stderr.strip()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size", default="640x480", choices=sorted(SIZES))
    ap.add_argument("--fps", type=float, default=30.0)
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--video", default="", help="further [Video] lines of Kestrova.ini, e.g. Preview=0 (';' between lines)")
    ap.add_argument("--keep-file", action="store_true", help="leave the recording in place (it is deleted otherwise)")
    ap.add_argument("--arch", choices=("x64", "x86"), default="x64",
                    help="the Windows build to run (x64 under 64-bit Wine, x86 under 32-bit Wine)")
    args = ap.parse_args()
    kestrova_e2e.use_arch(args.arch)

    with kestrova_e2e.KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}) as s:
        directory = s.win_path().rstrip("\\")
        extra = "".join(line + "\r\n" for line in args.video.split(";") if line)
        ini = ("[Video]\r\nTempPath=%s\r\nFrames=%.2f\r\n%s[Audio]\r\nCaptureAudio=1\r\n"
               % (directory, args.fps, extra))
        s.write_file("Kestrova.ini", ini.encode("cp932"))
        s.start()
        s.post_command(32774)
        s.box("ﾌｫｰﾏｯﾄ")
        s.driver("click", "#32770:ﾌｫｰﾏｯﾄ", SIZES[args.size])
        s.answer("ﾌｫｰﾏｯﾄ", "ok")
        pids = kestrova_e2e.session_pids(s.id)
        cpu_before = cpu_by_process(pids)
        wall_before = time.monotonic()
        s.post_command(32788)
        time.sleep(args.seconds)
        s.key("shift+esc")
        s.wait_until(lambda: "grayed" not in s.menu()[0].flags, timeout=120, message="recording ended")
        wall = time.monotonic() - wall_before
        cpu_after = cpu_by_process(pids)
        cpu = {name: tuple(a - b for a, b in zip(cpu_after[name], cpu_before.get(name, (0.0, 0.0))))
               for name in cpu_after}
        path = s.path("一時ﾌｧｲﾙ.AVI")
        size = os.path.getsize(path)
        packets = video_packets(path)
        info, warnings = streams(path)
        if not args.keep_file:
            os.remove(path)
        video = next(st for st in info if st["codec_type"] == "video")
        audio = next(st for st in info if st["codec_type"] == "audio")
        video_seconds = float(video["duration"])
        audio_seconds = int(audio["nb_frames"]) / int(audio["sample_rate"])
        print("build %s, size %s, %.2f fps, %d s requested" % (args.arch, args.size, args.fps, args.seconds))
        # Dropped slots are empty chunks; the readers skip them past the first
        # RIFF part, so they are counted against the header's frame count.
        recorded = sum(1 for p in packets if p > 0)
        slots = max(int(video.get("nb_frames") or 0), len(packets))
        print("frames %d, dropped %d" % (slots, slots - recorded))
        print("file %.1f MB, write rate %.1f MB/s" % (size / 1e6, size / 1e6 / video_seconds))
        ours = ("Kestrova.exe", "wineserver64", "wineserver32", "wineserver", "Xvfb")
        mine = sum(sum(cpu[name]) for name in cpu if name in ours)
        print("CPU %.1f s in %.1f s: %.1f %% of one core (Kestrova, wineserver and Xvfb)" % (mine, wall, 100 * mine / wall))
        for name, (user, system) in sorted(cpu.items(), key=lambda item: -sum(item[1])):
            if user + system > 0:
                print("  %-16s %5.1f %% (user %5.1f %%, system %5.1f %%)"
                      % (name, 100 * (user + system) / wall, 100 * user / wall, 100 * system / wall))
        print("picture %.6f s, sound %.6f s, sound minus picture %+.3f ms (one frame: %.3f ms)"
              % (video_seconds, audio_seconds, 1000 * (audio_seconds - video_seconds), 1000 / args.fps))
        print("ffprobe warnings: %s" % (warnings or "none"))


if __name__ == "__main__":
    main()
