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
CD_SOUND = (44100, 2, 16)


class Recording(unittest.TestCase):
    def open(self, video="", audio=""):
        """A running Kestrova whose work directory is its session directory."""
        s = KestrovaSession(env=TEST_PATTERN)
        s.__enter__()
        self.addCleanup(s.__exit__, None, None, None)
        ini = "[Video]\r\nTempPath=%s\r\n%s[Audio]\r\n%s" % (s.win_path().rstrip("\\"), video, audio)
        s.write_file("Kestrova.ini", ini.encode("cp932"))
        s.start()
        return s

    def record(self, s, seconds, meanwhile=lambda: None):
        s.post_command(32788)
        s.wait_until(lambda: "grayed" in s.menu()[0].flags, timeout=10, message="recording started")
        meanwhile()
        time.sleep(seconds)
        s.key("shift+esc")
        s.wait_until(lambda: "grayed" not in s.menu()[0].flags, timeout=20, message="recording ended")

    def assert_valid_avi(self, path, sound_format=CD_SOUND):
        """Checks that ffprobe and ffmpeg read the file without a word, with a
        320x240 picture and the sound asked for; returns the video stream."""
        out = subprocess.run(["ffprobe", "-v", "warning", "-print_format", "json", "-show_streams", path],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(out.stderr.strip(), "", path)
        decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"], capture_output=True,
                                 text=True, timeout=120)
        self.assertEqual(decoded.stderr.strip(), "", path)
        streams = json.loads(out.stdout or "{}").get("streams", [])
        self.assertEqual(sorted(st["codec_type"] for st in streams), ["audio", "video"])
        video, sound = ({st["codec_type"]: st for st in streams}[kind] for kind in ("video", "audio"))
        self.assertEqual((video["width"], video["height"]), (320, 240))
        rate, channels, bits = sound_format
        self.assertEqual((sound["codec_name"], int(sound["sample_rate"]), sound["channels"]),
                         ("pcm_s16le" if bits == 16 else "pcm_u8", rate, channels))
        # Sound and picture last equally long, within one frame period
        # (an AVI's PCM stream gives its length in samples).
        self.assertAlmostEqual(int(sound["nb_frames"]) / rate, float(video["duration"]), delta=1 / 15)
        return video

    def test_work_file_save_as_and_numbered_snapshots(self):
        s = self.open("SnapFile=1\r\n")
        self.record(s, 3)
        work = s.path(WORK_FILE)
        duration = float(self.assert_valid_avi(work)["duration"])
        self.assertTrue(2.0 < duration < 8.0, duration)
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

        s.post_command(32791)
        s.post_command(32791)
        s.wait_until(lambda: s.exists("SNAP0001.bmp"), message="two snapshots")
        s.sync()
        for name in ("SNAP0000.bmp", "SNAP0001.bmp"):
            out = subprocess.run(["identify", "-format", "%m %w %h", s.path(name)], capture_output=True, text=True)
            self.assertEqual(out.stdout, "BMP3 320 240", name)
        s.post_command(32792)  # to the clipboard
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)

    def test_failing_snapshot_new_work_file_no_recording_inside_another_and_audio_chooser(self):
        s = self.open("FixedTempFile=0\r\nSnapFile=1\r\nSnapFileName=Z:\\no\\such\\dir\\cam\r\n",
                      "SampleRate=22050\r\nSampleBit=8\r\nSampleChannel=1\r\n")
        # A snapshot that cannot be written is reported, not claimed.
        s.post_command(32791)
        self.assertEqual(s.box("ｴﾗｰ").text, "Z:\\no\\such\\dir\\cam0000.bmp へ保存できませんでした")
        s.answer("ｴﾗｰ", "ok")

        # A command sent by another program while the recording runs is not
        # carried out inside it.
        self.record(s, 1, meanwhile=lambda: s.send_command(32788))
        files = glob.glob(s.path("kv*.avi"))
        self.assertEqual(len(files), 1, files)
        self.assertEqual(glob.glob(s.path("kv*.tmp")), [])
        self.assertTrue(s.title().endswith(os.path.basename(files[0]) + "]"), s.title())
        self.assert_valid_avi(files[0], (22050, 1, 8))

        chooser = "サウンドの選択"  # the system's chooser (Wine gives it its own title)
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


if __name__ == "__main__":
    unittest.main()
