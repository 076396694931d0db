#!/usr/bin/env python3
"""Records with the real Kestrova.exe under Wine and its test-pattern device
and reports frames, dropped frames, CPU used (Kestrova, wineserver and Xvfb
together) and the write rate; with --sync, the difference between the sound
and the picture durations.

    python3 bench/record_bench.py --size 640x480 --fps 30 --seconds 60
    python3 bench/record_bench.py --size 320x240 --fps 15 --seconds 600 --sync
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


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        try:
            with open("/proc/%d/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except OSError:
            pass
    return total / TICKS


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
    ap.add_argument("--sync", action="store_true", help="report the sound/picture duration difference")
    ap.add_argument("--arch", choices=("x64", "x86"), default="x64",
                    help="the Windows build to run (x64 under 64-bit Wine, x86 under 32-bit Wine)")
    args = ap.parse_args()
    kestrova_e2e.use_arch(args.arch)

    with kestrova_e2e.KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}) as s:
        directory = s.win_path().rstrip("\\")
        ini = "[Video]\r\nTempPath=%s\r\nFrames=%.2f\r\n[Audio]\r\nCaptureAudio=1\r\n" % (directory, args.fps)
        s.write_file("Kestrova.ini", ini.encode("cp932"))
        s.start()
        s.post_command(32774)
        s.box("ﾌｫｰﾏｯﾄ")
        s.driver("click", "#32770:ﾌｫｰﾏｯﾄ", SIZES[args.size])
        s.answer("ﾌｫｰﾏｯﾄ", "ok")
        pids = kestrova_e2e.session_pids(s.id)
        cpu_before = cpu_seconds(pids)
        wall_before = time.monotonic()
        s.post_command(32788)
        time.sleep(args.seconds)
        s.key("shift+esc")
        s.wait_until(lambda: "grayed" not in s.menu()[0].flags, timeout=120, message="recording ended")
        wall = time.monotonic() - wall_before
        cpu = cpu_seconds(pids) - cpu_before
        path = s.path("一時ﾌｧｲﾙ.AVI")
        size = os.path.getsize(path)
        packets = video_packets(path)
        info, warnings = streams(path)
        video = next(st for st in info if st["codec_type"] == "video")
        audio = next(st for st in info if st["codec_type"] == "audio")
        video_seconds = float(video["duration"])
        audio_seconds = int(audio["nb_frames"]) / int(audio["sample_rate"])
        print("build %s, size %s, %.2f fps, %d s requested" % (args.arch, args.size, args.fps, args.seconds))
        print("frames %d, dropped %d" % (len(packets), sum(1 for p in packets if p == 0)))
        print("file %.1f MB, write rate %.1f MB/s" % (size / 1e6, size / 1e6 / video_seconds))
        print("CPU %.1f s in %.1f s: %.0f %% of one core (Kestrova, wineserver, Xvfb)"
              % (cpu, wall, 100 * cpu / wall))
        if args.sync:
            print("picture %.6f s, sound %.6f s, difference %.3f ms (one frame: %.3f ms)"
                  % (video_seconds, audio_seconds, 1000 * abs(video_seconds - audio_seconds), 1000 / args.fps))
        print("ffprobe warnings: %s" % (warnings or "none"))


if __name__ == "__main__":
    main()
