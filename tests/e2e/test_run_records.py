"""What Kestrova writes about its scheduled runs, with the real Kestrova.exe
and its test-pattern device: where the records go whatever the current
directory, what they say when a run goes wrong (a full disk, a history page
without its marker, a kill), and a recording that is stored without holding
up the next reservation."""

import glob
import os
import re
import shutil
import signal
import time
import unittest

from kestrova_e2e import (TEST_PATTERN, WORK_FILE, KestrovaSession, dated_name, probe_avi, session_pids, slot,
                          tmpfs, tmr)

SAVE_AS = "名前を付けて保存"


def records(s, log, count, timeout=60):
    """The first `count` records of the Capture.log at `log`, each a list of its lines."""
    s.wait_until(lambda: s.exists(log) and s.read_file(log).count(b"----------\r\n") >= count,
                 timeout=timeout, interval=0.5, message="%d records in %s" % (count, log))
    text = s.read_file(log).decode("cp932")
    return [r.rstrip("\r\n").split("\r\n") for r in text.split("----------\r\n")[:-1]][:count]


def kestrova_pids(s):
    pids = []
    for p in session_pids(s.id):
        try:
            with open("/proc/%d/cmdline" % p, "rb") as f:
                if b"kestrova.exe" in f.read().lower():
                    pids.append(p)
        except OSError:
            pass
    return pids


class RunRecords(unittest.TestCase):
    def session(self, slots, video="", temp_dir="", files=None):
        s = KestrovaSession.opened_for(self, env=TEST_PATTERN, files=files)
        s.write_ini(video, temp_dir=temp_dir)
        s.write_file("Kestrova.tmr", tmr(slots))
        return s

    def test_records_and_snapshots_land_in_the_work_directory_whatever_the_current_one(self):
        # The work directory is a folder of its own; Kestrova is started in
        # the session directory. A span passed while Kestrova was closed is
        # told at the start, in the work directory's log.
        now = int(time.time())
        t = now + 25
        s = self.session({3: slot(now - 100, now - 50, comment="ﾆｭｰｽ"), 0: slot(t, t + 2)}, video="SnapFile=1\r\n",
                         temp_dir="work")
        os.mkdir(s.path("work"))
        s.start(["/T"])
        missed = records(s, "work/Capture.log", 1)[0]
        self.assertEqual(missed[1], "№4「ﾆｭｰｽ」 は録画されませんでした（Kestrovaが起動していませんでした）")
        self.assertFalse(s.exists("Capture.log"))
        # A recording by hand, saved by browsing into another folder: the
        # dialog no longer moves the current directory there.
        s.post_command(32793)  # disarmed for the recording by hand
        s.record(1)
        os.mkdir(s.path("other"))
        s.open_dialog(32786, SAVE_AS)
        s.set_text(SAVE_AS, 1148, s.win_path("other"))
        s.driver("click", "#32770:" + SAVE_AS, 1)
        s.sync("#32770:" + SAVE_AS)
        s.set_text(SAVE_AS, 1148, "saved.avi")
        s.answer(SAVE_AS, "ok")
        s.wait_until(lambda: s.exists("other/saved.avi"), message="other/saved.avi")
        s.post_command(32793)
        s.wait_until(lambda: "次回" in s.title(), message="armed again")
        s.post_command(32791)
        s.wait_until(lambda: s.exists("work/SNAP0000.bmp"), message="work/SNAP0000.bmp")
        run = records(s, "work/Capture.log", 2, timeout=t + 40 - time.time())[1]
        self.assertRegex(run[1], r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ 2\.\d{3} 秒$")
        self.assertTrue(s.exists("work/" + dated_name(t)))
        self.assertEqual(os.listdir(s.path("other")), ["saved.avi"])
        self.assertEqual(s.read_file("CaptureLog.html").count(b"<TR>\r\n"), 1)

    def test_a_kill_during_a_run_keeps_what_was_recorded_and_one_after_a_run_leaves_its_slot_retired(self):
        t = int(time.time()) + 15
        s = self.session({0: slot(t, t + 16, comment="ﾆｭｰｽ"), 1: slot(t + 24, t + 26)})
        s.start(["/T"])
        work = lambda: [f for f in os.listdir(s.dir) if re.match(r"kv[0-9A-Fa-f]+\.avi$", f)]
        s.wait_until(lambda: time.time() >= t + 6 and work(), timeout=60, message="six seconds into the run")
        killed = time.time()
        for pid in kestrova_pids(s):
            os.kill(pid, signal.SIGKILL)
        s.wait_until(lambda: not kestrova_pids(s), message="Kestrova gone")
        s.wait_exit()
        # The next start keeps what the killed run recorded, under its
        # dated name, says so, and records the rest of the span anew.
        s.start(["/T"])
        kept, rest = records(s, "Capture.log", 2)
        seconds = float(re.match(r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ ([\d.]+) 秒$", kept[1]).group(1))
        self.assertGreater(seconds, killed - t - 2)  # at most the last second or so is lost
        self.assertEqual(kept[2], "録画は途中で終わりました（録画中にKestrovaが終了しました）")
        self.assertAlmostEqual(float(probe_avi(s.path(dated_name(t)))["format"]["duration"]), seconds, delta=0.2)
        self.assertRegex(rest[2], r"^\d\d時\d\d分\d\d秒からの予約を \d+ 秒遅れて開始しました（Kestrovaが起動していませんでした）$")
        self.assertIn("ﾆｭｰｽ（録画中にKestrovaが終了しました）", s.read_file("CaptureLog.html").decode("cp932"))
        # Killed once slot 1 has recorded: the file says both are done.
        records(s, "Capture.log", 3)
        for pid in kestrova_pids(s):
            os.kill(pid, signal.SIGKILL)
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr({}))
        self.assertFalse(s.exists("Kestrova.run"))
        self.assertEqual(work(), [])

    def test_a_work_directory_removed_during_a_run_and_a_page_that_is_a_directory_are_told(self):
        # Beside the run, values that are no reservation: kept as they are.
        t = int(time.time()) + 12
        odd = {1: "x", 2: "%d,17" % (t + 3600), 3: "%d,%d,128,週,0" % (t + 7200, t + 7260)}
        s = self.session({0: slot(t, t + 8), **odd}, temp_dir="work")
        os.mkdir(s.path("work"))
        os.mkdir(s.path("CaptureLog.html"))
        s.start(["/T"])
        s.wait_until(lambda: time.time() > t + 3 and glob.glob(s.path("work/kv*.avi")), timeout=60,
                     message="a work file three seconds into the run")
        work = s.win_path(os.path.relpath(glob.glob(s.path("work/kv*.avi"))[0], s.dir))
        shutil.rmtree(s.path("work"))
        # The log goes to the folder Kestrova was started in, and says the
        # recording is lost, never that it is kept where it was.
        run = records(s, "Capture.log", 1)[0]
        self.assertEqual(run[2:], ["%s へ保存できませんでした。録画したﾌｧｲﾙ %s がなくなっていました"
                                   % (s.win_path(dated_name(t)), work),
                                   "%s へ保存できませんでした" % s.win_path("CaptureLog.html")])
        s.sync()
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr(odd))

    def test_a_full_disk_and_a_page_without_its_marker_are_told_with_what_was_recorded(self):
        # 20 s reserved on an 8 MB disk: the watchdog ends the run early.
        # The history page is not a page (random bytes): it is set aside as
        # it is, and the row starts a fresh one.
        t = int(time.time()) + 15
        garbage = os.urandom(50000).replace(b"begin_log", b"")
        s = self.session({0: slot(t, t + 20, comment="ﾃｽﾄ")}, temp_dir="small",
                         files={"CaptureLog.html": garbage})
        with tmpfs(s.path("small"), "8m"):
            s.start(["/T"])
            run = records(s, "small/Capture.log", 1, timeout=60)[0]
            s.sync()
            seconds = float(re.match(r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ ([\d.]+) 秒$", run[1]).group(1))
            self.assertLess(seconds, 10)
            self.assertRegex(run[2], r"^空き容量が足りない見込みです: 約 \d+ MB 必要ですが .*small の空きは \d+ MB です$")
            self.assertRegex(run[3], r"^録画に失敗しました: ﾃﾞｨｽｸの空きが残りわずかになったため録画を終了しました "
                                     r".*\\small\\kv[0-9A-Fa-f]+\.avi$")
            aside = glob.glob(s.path("CaptureLog-*.html"))
            self.assertEqual(len(aside), 1)
            with open(aside[0], "rb") as f:
                self.assertEqual(f.read(), garbage)
            self.assertIn("%s に目印の行 <!--begin_log--> がないため %s として残し、新しいページを始めました"
                          % (s.win_path("CaptureLog.html"), s.win_path(os.path.basename(aside[0]))), run)
            page = s.read_file("CaptureLog.html").decode("cp932")
            # The row tells the length really recorded, and why it is short.
            self.assertIn("<B>%2d秒</B>" % round(seconds), page)
            self.assertIn("<B>ﾃｽﾄ（ﾃﾞｨｽｸの空きが残りわずかになったため録画を終了しました）&nbsp;</B>", page)
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)

    def test_a_long_recording_is_stored_without_holding_up_the_next_and_is_kept_once(self):
        # 30 s at 1280x720 (about 1.2 GB), then 10 s back to back, with the
        # default settings (the fixed work file, no fast saving).
        t = int(time.time()) + 15
        s = self.session({0: slot(t, t + 30), 1: slot(t + 30, t + 40)},
                         files={"KestrovaTestPattern.ini": b"[Format]\r\nWidth=1280\r\nHeight=720\r\nPicture=1\r\n"})
        s.start(["/T"])
        first, second = records(s, "Capture.log", 2, timeout=90)
        began = re.match(r"\d\d-\d\d\((\d\d)時(\d\d)分(\d\d)秒\)$", second[0]).groups()
        lt = time.localtime(t + 30)
        self.assertEqual(tuple(map(int, began)), (lt.tm_hour, lt.tm_min, lt.tm_sec))
        self.assertEqual(len(second), 2, second)  # no late start, nothing kept elsewhere
        avis = sorted(f for f in os.listdir(s.dir) if f.lower().endswith(".avi"))
        self.assertEqual(avis, sorted([dated_name(t), dated_name(t + 30)]))
        self.assertGreater(os.path.getsize(s.path(dated_name(t))), 1 << 30)
        self.assertAlmostEqual(float(probe_avi(s.path(dated_name(t)))["format"]["duration"]), 30, delta=0.6)


if __name__ == "__main__":
    unittest.main()
