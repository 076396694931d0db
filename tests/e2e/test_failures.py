"""What a recording does when the disk or the files stand in its way, with the
real Kestrova.exe and its test-pattern device: work files that cannot be made
are told before anything is recorded, a full disk (a small tmpfs) ends the
recording with a whole file and a message, the disk watchdog stops in time,
a power-off from a full folder logs what it could not save, and protected
settings files stay protected."""

import os
import shutil
import subprocess
import time
import unittest

from kestrova_e2e import TEST_PATTERN, WORK_FILE, KestrovaSession, probe_avi, riff_chunks, slot, tmpfs, tmr

NO_WORK_FILE = "ﾃﾝﾎﾟﾗﾘﾌｧｲﾙの確保に失敗しました"
DISK_FULL = "ﾃﾞｨｽｸがいっぱいになったため録画を終了しました\n"
LOW_DISK = "ﾃﾞｨｽｸの空きが残りわずかになったため録画を終了しました\n"


class Failures(unittest.TestCase):
    def record_until(self, s, box):
        """Starts a recording and waits for the box captioned `box` that ends it; returns the box."""
        s.post_command(32788)
        shown = s.box(box, timeout=60)
        s.answer(box, "ok")
        s.wait_until(lambda: not s.recording(), timeout=30, message="recording ended")
        return shown

    def assert_whole(self, path):
        """ffprobe and ffmpeg read the file without a word, and every frame
        its headers count is there (dropped ones are empty '00db' chunks by design)."""
        streams = probe_avi(path, count_frames=True)
        video = streams["video"]
        dropped = sum(1 for cid, _, _, size in riff_chunks(path, descend=True) if cid == b"00db" and size == 0)
        self.assertEqual(int(video["nb_read_frames"]) + dropped, int(video["nb_frames"]))
        return streams

    def test_work_files_that_cannot_be_made_are_told_before_anything_is_recorded(self):
        with KestrovaSession(env=TEST_PATTERN) as s, tmpfs(s.path("ro"), "1m", read_only=True):
            cases = [("ro", "FixedTempFile=0\r\n"),  # GetTempFileName "succeeds" without a file
                     ("", "TempFileName=CON\r\n")]
            for work_dir, video in cases:
                with self.subTest(work_dir=work_dir, video=video):
                    s.write_ini(video, temp_dir=work_dir)
                    before = set(os.listdir(s.dir)) | {"Kestrova.tmr"}
                    s.start()
                    s.post_command(32788)
                    self.assertEqual(s.box("エラー").text, NO_WORK_FILE)
                    s.answer("エラー", "ok")
                    self.assertFalse(s.recording())
                    self.assertEqual(s.exit_from_menu(), 0)
                    self.assertLessEqual(set(os.listdir(s.dir)), before)  # no work file appeared
                    self.assertEqual(os.listdir(s.path("ro")), [])

    def test_a_full_disk_ends_the_recording_with_a_whole_file_and_a_message(self):
        # The watchdog is off: the recording runs into the wall.
        with KestrovaSession(env=dict(TEST_PATTERN, KESTROVA_DISK_WATCH="0")) as s, tmpfs(s.path("small"), "8m"):
            s.write_ini(temp_dir="small")
            s.start()
            box = self.record_until(s, "ｴﾗｰ")
            self.assertEqual(box.text, DISK_FULL + s.win_path("small\\" + WORK_FILE).rstrip("\\"))
            streams = self.assert_whole(s.path("small/" + WORK_FILE))
            self.assertGreater(int(streams["video"]["nb_frames"]), 5)
            self.assertEqual(s.exit_from_menu(), 0)

    def test_the_watchdog_stops_while_the_disk_has_room_and_counts_a_reserved_file(self):
        with KestrovaSession(env=TEST_PATTERN) as s, tmpfs(s.path("disk"), "16m"):
            s.write_ini(temp_dir="disk")
            s.start()
            work = s.path("disk/" + WORK_FILE)
            box = self.record_until(s, "ｴﾗｰ")
            self.assertEqual(box.text, LOW_DISK + s.win_path("disk\\" + WORK_FILE).rstrip("\\"))
            self.assert_whole(work)
            self.assertGreater(shutil.disk_usage(s.path("disk")).free, 2 << 20)
            # A reserved (pre-allocated) work file counts as room: the volume
            # alone would not take two seconds more, the file does.
            os.remove(work)
            with open(work, "wb") as f:
                f.truncate(12 << 20)
            subprocess.run(["fallocate", "-l", str(12 << 20), work], check=True)
            box = self.record_until(s, "ｴﾗｰ")
            self.assertEqual(box.text, LOW_DISK + s.win_path("disk\\" + WORK_FILE).rstrip("\\"))
            self.assertGreater(int(self.assert_whole(work)["video"]["nb_frames"]), 5)
            self.assertEqual(os.path.getsize(work), 12 << 20)
            self.assertEqual(s.exit_from_menu(), 0)

    def test_a_power_off_from_a_full_folder_tells_what_it_could_not_save_in_the_log_without_a_box(self):
        # The exe's folder is full, the work directory is not: the run, its
        # power-off and the closing work go on, and the log says what failed.
        t = int(time.time()) + 20
        with KestrovaSession(env=TEST_PATTERN) as s, tmpfs(s.path("full"), "8m"):
            os.mkdir(s.path("work"))
            shutil.copy2(s.path("Kestrova.exe"), s.path("full"))
            s.write_file("full/Kestrova.ini", ("[Video]\r\nTempPath=%s\r\n" % s.win_path("work")).encode("cp932"))
            s.write_file("full/Kestrova.tmr", tmr({0: slot(t, t + 2, power_off=1)}))
            subprocess.run(["dd", "if=/dev/zero", "of=" + s.path("full/filler"), "bs=64k"], capture_output=True)
            s.env["KESTROVA_POWER_LOG"] = s.win_path("power.log")
            s.start(["/T"], exe=s.win_path("full/Kestrova.exe"))
            self.assertEqual(s.wait_exit(timeout=t + 120 - time.time()), 0)
            self.assertEqual(s.read_file("power.log"), b"ExitWindowsEx EWX_POWEROFF|EWX_FORCEIFHUNG\r\n")
            full = s.win_path("full") + "\\"
            self.assertEqual([r[1] for r in s.log_records(4, "work/Capture.log")[2:]],
                             ["録画後の動作: 電源OFFします", full + "Kestrova.off へ保存できませんでした"])
            self.assertTrue(s.read_file("work/Capture.log").decode("cp932").endswith(
                "----------\r\n%sKestrova.ini, %sKestrova.tmr へ保存できませんでした\r\n" % (full, full)))

    def test_protected_settings_files_stay_protected(self):
        odd = b"[Video]\r\nOnetouch=\x81,\x81\r\n"
        with KestrovaSession(env=TEST_PATTERN, files={"Kestrova.ini": odd}) as s:
            # Read-only: left as it is.
            os.chmod(s.path("Kestrova.ini"), 0o444)
            s.start()
            s.send_command(32800)  # top-most: a change to save
            self.assertEqual(s.exit_from_menu(), 0)
            self.assertEqual(s.read_file("Kestrova.ini"), odd)
            # A link: followed, and the odd bytes come back as they were.
            os.chmod(s.path("Kestrova.ini"), 0o644)
            os.makedirs(s.path("real"))
            os.rename(s.path("Kestrova.ini"), s.path("real/Kestrova.ini"))
            os.symlink("real/Kestrova.ini", s.path("Kestrova.ini"))
            s.start()
            s.send_command(32800)
            self.assertEqual(s.exit_from_menu(), 0)
            self.assertTrue(os.path.islink(s.path("Kestrova.ini")))
            saved = s.read_file("real/Kestrova.ini")
            self.assertIn(b"TopMost=-1\r\n", saved)
            self.assertIn(b"Onetouch=\x81,\x81\r\n", saved)


if __name__ == "__main__":
    unittest.main()
