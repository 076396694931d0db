"""Recording and snapshots with the real Kestrova.exe and its
test-pattern device: the AVI files it leaves are read with ffprobe and
ffmpeg, the bitmaps with ImageMagick."""

import glob
import os
import unittest

from kestrova_e2e import TEST_PATTERN, WORK_FILE, KestrovaSession, image_format, probe_avi

CD_SOUND = (44100, 2, 16)


class Recording(unittest.TestCase):
    def open(self, video="", audio=""):
        """A running Kestrova whose work directory is its session directory."""
        s = KestrovaSession.opened_for(self, env=TEST_PATTERN)
        s.write_ini(video, audio)
        s.start()
        return s

    def assert_valid_avi(self, path, sound_format=CD_SOUND):
        """Checks that ffprobe and ffmpeg read the file without a word, with a
        320x240 picture and the sound asked for; returns the video stream."""
        streams = probe_avi(path)
        self.assertEqual(sorted(streams), ["audio", "format", "video"])
        video, sound = streams["video"], streams["audio"]
        self.assertEqual((video["width"], video["height"]), (320, 240))
        rate, channels, bits = sound_format
        self.assertEqual((sound["codec_name"], int(sound["sample_rate"]), sound["channels"]),
                         ("pcm_s16le" if bits == 16 else "pcm_u8", rate, channels))
        # Sound and picture last equally long, within one frame period
        # (an AVI's PCM stream gives its length in samples).
        self.assertAlmostEqual(int(sound["nb_frames"]) / rate, float(video["duration"]), delta=1 / 15)
        return video

    def test_work_file_and_numbered_snapshots_in_full_hd(self):
        s = self.open("SnapFile=1\r\n")
        s.record(3)
        work = s.path(WORK_FILE)
        duration = float(self.assert_valid_avi(work)["duration"])
        self.assertTrue(2.0 < duration < 8.0, duration)
        self.assertIn("enabled", s.menu_item(32786).flags)  # Save As now has a file

        # Snapshots in full HD: the format dialog tells the bytes per frame.
        s.open_dialog(32774, "ﾌｫｰﾏｯﾄ")
        s.click("ﾌｫｰﾏｯﾄ", 1017)
        self.assertEqual({c.id: c.text for c in s.children("#32770:ﾌｫｰﾏｯﾄ")}[1016], "6,220,800 ﾊﾞｲﾄ")
        s.answer("ﾌｫｰﾏｯﾄ", "ok")
        s.post_command(32791)
        s.post_command(32791)
        s.wait_file("SNAP0001.bmp")
        for name in ("SNAP0000.bmp", "SNAP0001.bmp"):
            self.assertEqual(image_format(s.path(name)), "BMP3 1920 1080", name)
        s.post_command(32792)  # to the clipboard
        self.assertEqual(s.exit_from_menu(), 0)

    def test_failing_snapshot_new_work_file_no_recording_inside_another_and_audio_chooser(self):
        s = self.open("FixedTempFile=0\r\nSnapFile=1\r\nSnapFileName=Z:\\no\\such\\dir\\cam\r\n",
                      "SampleRate=22050\r\nSampleBit=8\r\nSampleChannel=1\r\n")
        # A snapshot that cannot be written is reported, not claimed.
        s.post_command(32791)
        self.assertEqual(s.box("ｴﾗｰ").text, "Z:\\no\\such\\dir\\cam0000.bmp へ保存できませんでした")
        s.answer("ｴﾗｰ", "ok")

        # A command sent by another program while the recording runs is not
        # carried out inside it.
        s.record(1, meanwhile=lambda: s.send_command(32788))
        files = glob.glob(s.path("kv*.avi"))
        self.assertEqual(len(files), 1, files)
        self.assertEqual(glob.glob(s.path("kv*.tmp")), [])
        self.assertTrue(s.title().endswith(os.path.basename(files[0]) + "]"), s.title())
        self.assert_valid_avi(files[0], (22050, 1, 8))

        chooser = "サウンドの選択"  # the system's chooser (Wine gives it its own title)
        s.open_dialog(32780, chooser)
        fields = {c.id: c.text for c in s.children("#32770:" + chooser)}
        self.assertEqual(fields[101], "PCM")
        self.assertTrue(fields[102].startswith("22050 Hz; 8 bits; Mono"), fields[102])
        s.answer(chooser, "ok")
        self.assertEqual(s.exit_from_menu(), 0)


if __name__ == "__main__":
    unittest.main()
