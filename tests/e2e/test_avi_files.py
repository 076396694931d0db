"""AVI files of the recording writer, read back by ffprobe and ffmpeg. Neither
may complain, and the streams must have the frame counts, picture times and
sound that were written. The files come from bench/avi_tool of the native
build (build/native/bench, or KESTROVA_AVI_TOOL); without it the tests skip."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

from kestrova_e2e import SOURCE_DIR, probe_avi, riff_chunks, run

AVI_TOOL = os.environ.get("KESTROVA_AVI_TOOL") or os.path.join(SOURCE_DIR, "build", "native", "bench", "avi_tool")
GIB = 1 << 30


class AviFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.access(AVI_TOOL, os.X_OK):
            raise unittest.SkipTest("avi_tool not built (no %s; build the native build or set "
                                    "KESTROVA_AVI_TOOL)" % AVI_TOOL)
        cls.dir = tempfile.mkdtemp(prefix="kestrova-avi-")
        cls.addClassCleanup(shutil.rmtree, cls.dir, ignore_errors=True)

    def record(self, name, size, period, frames=None, audio=None, drop=0, more=()):
        """Writes a file with avi_tool and checks it; returns avi_tool's report."""
        path = os.path.join(self.dir, name)
        args = [AVI_TOOL, path, "--size", "%dx%d" % size, "--period", str(period), "--drop-every", str(drop)]
        args += ["--frames", str(frames)] if frames else []
        args += ["--audio", "%d,%d,%d" % audio] if audio else []
        result = run(args + [str(a) for a in more])
        self.assertEqual(result.returncode, 0, result.stderr)
        info = dict(json.loads(result.stdout), path=path)

        streams = probe_avi(path)
        video, n = streams["video"], info["frames"]
        self.assertEqual((video["codec_name"], video["width"], video["height"], int(video["nb_frames"])),
                         ("rawvideo", size[0], size[1], n))
        self.assertAlmostEqual(float(video["duration"]), n * period / 1e6, places=5)
        # Dropped slots stay empty: every picture keeps its own time.
        pts = run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=pts", "-of", "csv=p=0",
                   path]).stdout.split()
        self.assertEqual([int(p) for p in pts], [i for i in range(n) if not (drop and i % drop == drop - 1)])
        self.assertEqual(info["dropped"], n - len(pts))
        if not audio:
            self.assertNotIn("audio", streams)
            return info
        rate, channels, bits = audio
        block = channels * bits // 8
        sound = streams["audio"]
        self.assertEqual((int(sound["sample_rate"]), sound["channels"], int(sound["nb_frames"]) * block),
                         (rate, channels, info["audio_bytes"]))
        pcm = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy",
                              "-f", "data", "-"], capture_output=True, timeout=600).stdout
        self.assertEqual(len(pcm), info["audio_bytes"])
        self.assertLessEqual(abs(info["audio_bytes"] / (rate * block) - n * period / 1e6), period / 1e6)
        return info

    def assert_riffs(self, path, count, limit=GIB):
        riffs = [c for c in riff_chunks(path) if c[0] == b"RIFF"]
        self.assertEqual([c[1] for c in riffs], [b"AVI "] + [b"AVIX"] * (count - 1))
        self.assertTrue(all(8 + c[3] <= limit for c in riffs), riffs)

    def assert_seek_finds(self, path, seconds, slot):
        out = run(["ffprobe", "-v", "error", "-read_intervals", "%g%%+#1" % seconds, "-select_streams", "v",
                   "-show_entries", "frame=pts", "-of", "csv=p=0", path])
        self.assertEqual(out.stdout.split(), [str(slot)])

    def test_short_files_with_and_without_sound(self):
        self.assert_riffs(self.record("plain.avi", (320, 240), 33333, frames=30)["path"], 1)
        # 8-bit mono: odd chunks, padded. A frame period that does not divide a second.
        self.record("mono.avi", (176, 144), 66666, frames=46, audio=(11025, 1, 8), drop=4)
        self.record("ntsc.avi", (352, 240), 33367, frames=60, audio=(44100, 2, 16), drop=10)

    def test_many_small_riff_chunks(self):
        info = self.record("riffs.avi", (160, 120), 40000, frames=250, audio=(22050, 2, 16), drop=9,
                           more=["--riff-bytes", 400000, "--super-entries", 64])
        self.assertGreater(info["riff_chunks"], 20)
        self.assert_riffs(info["path"], info["riff_chunks"], 400000)
        self.assert_seek_finds(info["path"], 8.0, 200)  # through the OpenDML indexes

    def test_over_larger_files(self):
        # An older, longer recording: its chunks must stay hidden.
        old = self.record("over.avi", (320, 240), 33333, frames=90, audio=(22050, 1, 16))
        new = self.record("over.avi", (320, 240), 33333, frames=20, audio=(22050, 1, 16), drop=5)
        self.assertEqual(os.path.getsize(new["path"]), old["recorded_bytes"])
        # An empty pre-allocated file of odd size: the JUNK chunk's pad byte lies past its end.
        path = os.path.join(self.dir, "zeros.avi")
        with open(path, "wb") as f:
            f.truncate(64 * (1 << 20) + 5)
        self.record("zeros.avi", (320, 240), 33333, frames=45, audio=(11025, 1, 8))
        for p, end in ((new["path"], old["recorded_bytes"]), (path, 64 * (1 << 20) + 5)):
            chunks = riff_chunks(p)
            self.assertEqual([c[0] for c in chunks], [b"RIFF", b"JUNK"])
            self.assertEqual(chunks[1][2] + 8 + chunks[1][3], end)

    def test_crossing_one_gib_into_opendml(self):
        if shutil.disk_usage(self.dir).free < 3 * GIB:
            self.skipTest("needs 3 GiB of free disk")
        # 640x480 at 30 frames per second with CD sound, to 1.1 GiB; deleted at once.
        try:
            info = self.record("big.avi", (640, 480), 33333, audio=(44100, 2, 16), drop=61,
                               more=["--bytes", int(1.1 * GIB)])
            self.assert_riffs(info["path"], 2)
            self.assert_seek_finds(info["path"], 40.0, 1200)  # in the AVIX part
        finally:
            if os.path.exists(os.path.join(self.dir, "big.avi")):
                os.remove(os.path.join(self.dir, "big.avi"))


if __name__ == "__main__":
    unittest.main()
