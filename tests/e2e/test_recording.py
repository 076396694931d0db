"""Recording, saving and snapshots with the real Kestrova.exe and its
test-pattern device: the AVI files it leaves are read with ffprobe and
ffmpeg, the bitmaps with ImageMagick."""

import glob
import json
import os
import subprocess
import time
import unittest

from kestrova_e2e import KestrovaSession

TEST_PATTERN = {"KESTROVA_TESTPATTERN": "1"}
WORK_FILE = "一時ﾌｧｲﾙ.AVI"


def probe(path):
    """ffprobe's streams of path, and whatever it warned about."""
    out = subprocess.run(["ffprobe", "-v", "warning", "-print_format", "json", "-show_streams", path],
                         capture_output=True, text=True, timeout=60)
    return json.loads(out.stdout or "{}").get("streams", []), out.stderr.strip()


def decode_errors(path):
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"], capture_output=True,
                         text=True, timeout=120)
    return out.stderr.strip()


class Recording(unittest.TestCase):
    def open(self, settings=""):
        """A session whose work directory is its own directory."""
        s = KestrovaSession(env=TEST_PATTERN)
        s.__enter__()
        self.addCleanup(s.__exit__, None, None, None)
        ini = "[Video]\r\nTempPath=%s\r\n%s" % (s.win_path()[:-1] if s.win_path().endswith("\\") else s.win_path(),
                                                settings)
        s.write_file("Kestrova.ini", ini.encode("cp932"))
        s.start()
        return s

    def record(self, s, seconds):
        s.post_command(32788)
        s.wait_until(lambda: "grayed" in s.menu()[0].flags, timeout=10, message="recording started")
        time.sleep(seconds)
        s.key("shift+esc")
        s.wait_until(lambda: "grayed" not in s.menu()[0].flags, timeout=20, message="recording ended")

    def assert_valid_avi(self, path, width=320, height=240, audio=True):
        streams, warnings = probe(path)
        self.assertEqual(warnings, "", path)
        self.assertEqual(decode_errors(path), "", path)
        video = [st for st in streams if st["codec_type"] == "video"]
        sound = [st for st in streams if st["codec_type"] == "audio"]
        self.assertEqual(len(video), 1)
        self.assertEqual((video[0]["width"], video[0]["height"]), (width, height))
        self.assertEqual(len(sound), 1 if audio else 0)
        if audio:
            self.assertEqual(sound[0]["codec_name"], "pcm_s16le")
            self.assertEqual(int(sound[0]["sample_rate"]), 44100)
            self.assertEqual(sound[0]["channels"], 2)
            # Sound and picture last equally long, within one frame period.
            # (an AVI's PCM stream gives its length in samples)
            sound_seconds = int(sound[0]["nb_frames"]) / int(sound[0]["sample_rate"])
            self.assertAlmostEqual(sound_seconds, float(video[0]["duration"]), delta=1 / 15)
        return streams

    def test_recording_into_the_work_file_and_save_as(self):
        s = self.open()
        self.record(s, 3)
        work = s.path(WORK_FILE)
        streams = self.assert_valid_avi(work)
        duration = float(streams[0]["duration"])
        self.assertGreater(duration, 2.0)
        self.assertLess(duration, 8.0)
        self.assertIn("enabled", s.menu_item(32786).flags)  # Save As now has a file

        s.post_command(32786)
        dialog = "名前を付けて保存"
        s.box(dialog)
        s.driver("set-text", "#32770:" + dialog, 1148, s.win_path("saved.avi"))
        s.answer(dialog, "ok")
        s.wait_until(lambda: s.exists("saved.avi"), message="saved.avi written")
        s.sync()
        self.assert_valid_avi(s.path("saved.avi"))
        self.assertTrue(os.path.exists(work), "a copying save keeps the work file")
        self.assertLessEqual(os.path.getsize(s.path("saved.avi")), os.path.getsize(work))
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)

    def test_new_work_file_per_recording_and_no_recording_inside_another(self):
        s = self.open("FixedTempFile=0\r\n")
        s.post_command(32788)
        s.wait_until(lambda: "grayed" in s.menu()[0].flags, timeout=10, message="recording started")
        # A command sent by another program while the recording runs is not
        # carried out inside it.
        s.send_command(32788)
        time.sleep(1)
        s.key("shift+esc")
        s.wait_until(lambda: "grayed" not in s.menu()[0].flags, timeout=20, message="recording ended")
        files = glob.glob(s.path("kv*.avi"))
        self.assertEqual(len(files), 1, files)
        self.assertEqual(glob.glob(s.path("kv*.tmp")), [])
        self.assertTrue(s.title().endswith(os.path.basename(files[0]) + "]"), s.title())
        self.assert_valid_avi(files[0])

    def test_numbered_snapshots_and_a_snapshot_that_cannot_be_written(self):
        s = self.open("SnapFile=1\r\n")
        s.post_command(32791)
        s.post_command(32791)
        s.wait_until(lambda: s.exists("SNAP0001.bmp"), message="two snapshots")
        s.sync()
        for name in ("SNAP0000.bmp", "SNAP0001.bmp"):
            out = subprocess.run(["identify", "-format", "%m %w %h", s.path(name)], capture_output=True, text=True)
            self.assertEqual(out.stdout, "BMP3 320 240", name)
        s.post_command(32792)  # to the clipboard
        s.sync()
        self.assertTrue(s.running())

    def test_audio_format_chooser(self):
        chooser = "サウンドの選択"  # the system's chooser (Wine gives it its own title)
        s = self.open("[Audio]\r\nSampleRate=22050\r\nSampleBit=8\r\nSampleChannel=1\r\n")
        s.post_command(32780)
        s.box(chooser)
        fields = {c.id: c.text for c in s.children("#32770:" + chooser)}
        self.assertEqual(fields[101], "PCM")
        self.assertTrue(fields[102].startswith("22050 Hz; 8 bits; Mono"), fields[102])
        s.answer(chooser, "cancel")
        s.post_command(32780)
        s.box(chooser)
        s.answer(chooser, "ok")
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)
        ini = s.read_file("Kestrova.ini")
        for line in (b"SampleRate=22050", b"SampleBit=8", b"SampleChannel=1", b"SampleFormat=1"):
            self.assertIn(line + b"\r\n", ini)

    def test_snapshot_failure_is_reported_not_claimed(self):
        s = self.open("SnapFile=1\r\nSnapFileName=Z:\\no\\such\\dir\\cam\r\n")
        s.post_command(32791)
        box = s.box("ｴﾗｰ")
        self.assertEqual(box.text, "Z:\\no\\such\\dir\\cam0000.bmp へ保存できませんでした")
        s.answer("ｴﾗｰ", "ok")
        s.sync()
        self.assertTrue(s.running())


if __name__ == "__main__":
    unittest.main()
