"""Reserved recordings with the real Kestrova.exe and its test-pattern device:
the timer armed with "/T" or "/t", the scheduled run (its dated recording,
Capture.log, the row of CaptureLog.html), weekly and power-off
reservations, missed and equal starts, and one-touch recording."""

import os
import re
import signal
import subprocess
import time
import unittest

from kestrova_e2e import (TEST_PATTERN, WORK_FILE, KestrovaSession, dated_name, probe_avi, session_pids, slot,
                          template_differences, tmr)

TEMPLATE_BYTES = 558
CBS_DROPDOWN, BS_DEFPUSHBUTTON = 0x2, 0x1
ONE_TOUCH_TEMPLATE = [
    (1050, "ComboBox", CBS_DROPDOWN, "15", (37, 7, 25, None)),
    (-1, "Static", 0, "録画時間", (7, 10, 28, 8)),
    (-1, "Static", 0, "分", (65, 10, 8, 8)),
    (1, "Button", BS_DEFPUSHBUTTON, "OK", (81, 7, 50, 14)),
    (2, "Button", 0, "ｷｬﾝｾﾙ", (81, 26, 50, 14)),
    (-1, "Static", 0, "録画時間はINIﾌｧｲﾙの[Video]セクションのOnetouch=～に記述してください", (7, 51, 124, 19)),
]


def assert_recording(test, path, seconds, delta=0.5):
    test.assertAlmostEqual(float(probe_avi(path)["format"]["duration"]), seconds, delta=delta)


class Reservations(unittest.TestCase):
    def session(self, slots, video="", temp_dir=""):
        s = KestrovaSession.opened_for(self, env=TEST_PATTERN)
        s.write_ini(video, temp_dir=temp_dir)
        s.write_file("Kestrova.tmr", tmr(slots))
        return s

    def exit(self, s, slots=None):
        """Ends Kestrova from its menu; with `slots`, the reservation file it must leave."""
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)
        if slots is not None:
            self.assertEqual(s.read_file("Kestrova.tmr"), tmr(slots))

    def test_a_one_time_reservation_records_logs_and_is_retired(self):
        start = int(time.time()) + 6
        comment = "ﾃｽﾄ <1> & \"2\""
        s = self.session({0: slot(start, start + 3, comment=comment)})
        s.start(["/T"])
        t = time.localtime(start)
        # The window arms itself once it is up (a posted command).
        s.wait_until(lambda: s.title().endswith("(次回ﾀｲﾏｰ予定日:%d/%2d/%2d)" % (t.tm_year, t.tm_mon, t.tm_mday)),
                     message="the armed title")
        self.assertIn("checked", s.menu_item(32793).flags)
        # The next reservation in red in the status bar.
        bar = [c for c in s.children() if c.id == 2][0]
        pixels = subprocess.run(["convert", s.screenshot(), "-crop", s.client_geometry(*bar.rect), "-depth", "8",
                                 "txt:-"], capture_output=True, text=True, check=True).stdout
        self.assertGreater(len(re.findall(r"#(?:F[0-9A-F]|E[0-9A-F])[0-3][0-9A-F][0-3][0-9A-F]\b", pixels)), 20)
        # A second run onto an existing dated name keeps both recordings.
        s.write_file(dated_name(start), b"an earlier recording")
        # The log is watched rather than the menu, which is best left alone while Kestrova records.
        s.wait_until(lambda: time.time() >= start, timeout=60, message="the start")
        s.wait_until(lambda: s.exists("Capture.log") and s.read_file("Capture.log").count(b"----------\r\n"),
                     timeout=33, interval=0.5, message="the run logged")
        s.sync()
        ended = time.time()
        self.assertEqual(s.read_file(dated_name(start)), b"an earlier recording")
        assert_recording(self, s.path(dated_name(start)[:-4] + "(2).avi"), 3)
        log = s.read_file("Capture.log").decode("cp932").split("\r\n")
        self.assertEqual(len(log), 4, log)
        e = time.localtime(ended)
        self.assertEqual(log[0], "%02d-%02d(%02d時%02d分%02d秒)" % (e.tm_mon, e.tm_mday, t.tm_hour, t.tm_min, t.tm_sec))
        self.assertRegex(log[1], r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ 3\.\d{3} 秒$")
        self.assertEqual(log[2:], ["----------", ""])
        # The history page: its template with one row after the marker (the
        # row's bytes are the unit tests'), the comment escaped.
        page = s.read_file("CaptureLog.html")
        marker = page.index(b"<!--begin_log-->\r\n") + 18
        row = page[marker:marker + len(page) - TEMPLATE_BYTES]
        self.assertEqual((row[:6], row[-7:], row.count(b"<TR>")), (b"<TR>\r\n", b"</TR>\r\n", 1))
        self.assertIn("%2d時%2d分%2d秒" % (t.tm_hour, t.tm_min, t.tm_sec) + "</B>", row.decode("cp932"))
        self.assertIn("<B>ﾃｽﾄ &lt;1&gt; &amp; &quot;2&quot;&nbsp;</B>", row.decode("cp932"))
        self.assertFalse(s.title().count("次回"))  # nothing left to wait for
        self.exit(s, {})  # the retired slot is written empty

    def test_weekly_reservations_move_on_and_t_hides_the_window(self):
        # Today's weekday, an hour ago: armed for the same time next week.
        now = int(time.time())
        start, end = now - 3600, now - 1800
        weekday = 1 << ((time.localtime(start).tm_wday + 1) % 7)  # the day of an hour ago
        s = self.session({5: slot(start - 14 * 86400, end - 14 * 86400, weekdays=weekday)})
        s.start(["/t"])
        nxt = time.localtime(start + 7 * 86400)
        s.wait_until(lambda: s.title().endswith("(次回ﾀｲﾏｰ予定日:%d/%2d/%2d)" % (nxt.tm_year, nxt.tm_mon, nxt.tm_mday)),
                     message="next week's date in the title")
        kestrova = lambda: [w for w in s.windows() if w[1] == "KESTROVA"][0]
        s.wait_until(lambda: not kestrova()[3], message="hidden in the notification area")
        s.post_command(32793)  # disarmed from there: the window comes back
        s.wait_until(lambda: kestrova()[3], message="shown again")
        self.assertNotIn("次回", s.title())
        # The end is kept at its clock time on the occurrence's day (only its time of day counts).
        d, e = time.localtime(start + 7 * 86400), time.localtime(end)
        moved_end = int(time.mktime((d.tm_year, d.tm_mon, d.tm_mday, e.tm_hour, e.tm_min, e.tm_sec, 0, 0, -1)))
        self.exit(s, {5: slot(start + 7 * 86400, moved_end, weekdays=weekday)})
        # The three occurrences since the one stored were missed while Kestrova was closed.
        self.assertEqual(s.read_file("Capture.log").decode("cp932").count(
            " まで 3 回録画されませんでした（Kestrovaが起動していませんでした）"), 1)

    def test_missed_and_running_spans_equal_starts_and_power_off(self):
        # Slot 4 passed while Kestrova was closed: it is told at the start and
        # retired. Slot 6 runs since before the start: it records what is left.
        now = int(time.time())
        start = now + 14
        s = self.session({4: slot(now - 100, now - 50, comment="missed"), 6: slot(now - 5, now + 7),
                          3: slot(start, start + 2), 2: slot(start, start + 2, power_off=1)})
        s.start(["/T"])
        s.wait_until(lambda: time.time() >= start, timeout=60, message="the start")
        # After its run the power-off reservation ends the program, its
        # closing work done: settings and reservations written.
        self.assertEqual(s.wait_exit(timeout=40), 0)
        missed, late, _ = self.logged(s)
        m = time.localtime(now - 100)
        self.assertEqual(missed, ["%02d-%02d(%02d時%02d分%02d秒)" % (m.tm_mon, m.tm_mday, m.tm_hour, m.tm_min, m.tm_sec),
                                  "№5「missed」 は録画されませんでした（Kestrovaが起動していませんでした）"])
        self.assertRegex(late[2], r"^\d\d時\d\d分\d\d秒からの予約を \d+ 秒遅れて開始しました（Kestrovaが起動していませんでした）$")
        began = self.began(late)
        assert_recording(self, s.path(dated_name(began)), now + 7 - began, delta=0.6)
        self.assertEqual(sorted(f for f in os.listdir(s.dir) if f.endswith(".avi")),
                         sorted([dated_name(began), dated_name(start)]))
        # The equal start after the power-off one is left for the next start to tell.
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr({3: slot(start, start + 2)}))
        self.assertIn(b"TempPath=", s.read_file("Kestrova.ini"))

    def records(self, s, count, timeout=60):
        """The first `count` records of Capture.log, once there, each a list of its lines."""
        s.wait_until(lambda: s.exists("Capture.log") and s.read_file("Capture.log").count(b"----------\r\n") >= count,
                     timeout=timeout, interval=0.5, message="%d records in Capture.log" % count)
        s.sync()
        return self.logged(s)[:count]

    @staticmethod
    def logged(s):
        """The finished records of Capture.log, each a list of its lines."""
        text = s.read_file("Capture.log").decode("cp932")
        return [r.rstrip("\r\n").split("\r\n") for r in text.split("----------\r\n")[:-1]]

    @staticmethod
    def began(record):
        """The start of a run's recording from its date line (today's date)."""
        h, m, sec = map(int, re.match(r"\d\d-\d\d\((\d\d)時(\d\d)分(\d\d)秒\)$", record[0]).groups())
        t = time.localtime()
        return int(time.mktime((t.tm_year, t.tm_mon, t.tm_mday, h, m, sec, 0, 0, -1)))

    def test_back_to_back_and_an_overlap_lose_nothing_and_a_dated_name_taken_keeps_its_recording(self):
        # Three back to back and a fourth over the second and the third: the
        # later of two records what is left of it once the earlier is done.
        # A folder stands where the first recording's dated name would go:
        # with the fixed work file, the recording is set aside under a fresh
        # work name, and the second run cannot record over it.
        t = int(time.time()) + 8
        s = self.session({0: slot(t, t + 4), 1: slot(t + 4, t + 8), 2: slot(t + 8, t + 12), 3: slot(t + 5, t + 10)})
        os.mkdir(s.path(dated_name(t)))
        s.start(["/T"])
        s.wait_until(lambda: time.time() >= t, timeout=60, message="the start")
        runs = self.records(s, 4)
        kept = re.match(r"^(.+) へ保存できませんでした。録画は (.+) にあります$", runs[0][2])
        self.assertIsNotNone(kept, runs[0])
        self.assertEqual(kept.group(1), s.win_path(dated_name(t)))
        self.assertRegex(kept.group(2), r"\\kv[0-9A-Fa-f]+\.avi$")
        self.assertEqual(len(runs[1]), 2, runs[1])  # stored under its name
        began = [self.began(r) for r in runs]
        ends = [t + 4, t + 8, t + 10, t + 12]  # in the order they record: 0, 1, 3, 2
        for n, record in enumerate(runs):
            path = s.path(kept.group(2).split("\\")[-1] if n == 0 else dated_name(began[n]))
            assert_recording(self, path, ends[n] - began[n], delta=0.6)
            if n > 0:
                self.assertLessEqual(began[n] - ends[n - 1], 1, runs)  # at most a second between them
        self.assertEqual(began[0], t)
        self.assertRegex(runs[2][2], r"^\d\d時\d\d分\d\d秒からの予約を \d+ 秒遅れて開始しました（別の録画の最中でした）$")
        self.assertRegex(runs[3][2], r"^\d\d時\d\d分\d\d秒からの予約を \d+ 秒遅れて開始しました（別の録画の最中でした）$")
        page = s.read_file("CaptureLog.html")
        self.assertEqual(page.count(b"<TR>"), 4)
        self.exit(s, {})

    def test_ticks_that_stop_are_a_sleep_told_and_recorded_late(self):
        # Kestrova is stopped (as by a sleep without a resume notice) across
        # one whole span and the start of another.
        t = int(time.time()) + 8
        s = self.session({0: slot(t, t + 3), 1: slot(t + 2, t + 10)})
        s.start(["/T"])
        s.wait_until(lambda: "次回" in s.title(), message="the armed title")
        pids = []
        for p in session_pids(s.id):
            with open("/proc/%d/cmdline" % p, "rb") as f:
                if b"kestrova.exe" in f.read().lower():
                    pids.append(p)
        self.assertTrue(pids)
        s.wait_until(lambda: time.time() >= t - 2, timeout=30, message="before the start")
        for p in pids:
            os.kill(p, signal.SIGSTOP)
        time.sleep(max(0, t + 4 - time.time()))
        for p in pids:
            os.kill(p, signal.SIGCONT)
        missed, late = self.records(s, 2)
        self.assertEqual(missed[1], "№1 は録画されませんでした（ｺﾝﾋﾟｭｰﾀｰがｽﾘｰﾌﾟしていました）")
        self.assertRegex(late[2], r"^\d\d時\d\d分\d\d秒からの予約を \d+ 秒遅れて開始しました（ｺﾝﾋﾟｭｰﾀｰがｽﾘｰﾌﾟしていました）$")
        assert_recording(self, s.path(dated_name(self.began(late))), t + 10 - self.began(late), delta=0.6)
        # A resume notice and a clock change look again: nothing records twice.
        s.driver("post", "KESTROVA", 536, 18)  # WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC
        s.driver("post", "KESTROVA", 30)  # WM_TIMECHANGE
        s.sync()
        time.sleep(1)
        self.assertEqual(len(self.records(s, 2, timeout=1)), 2)
        self.assertEqual(len(s.read_file("Capture.log").split(b"----------\r\n")), 3)
        self.exit(s)

    def test_a_clock_set_forward_and_back_records_in_real_time_and_tells_what_it_passed_over(self):
        # The clock is set an hour forward: the span reserved in that hour
        # records there, and one that the jump passed over is neither recorded
        # nor told. Set back again, the clock brings it round: it records on
        # time. Then set forward for good: a span passed over is told once its
        # real end has come, as passed over by a clock change.
        t = int(time.time()) + 15
        s = self.session({0: slot(t + 3600, t + 3603), 1: slot(t + 14, t + 17),
                          2: slot(t + 30, t + 32, comment="passed")})
        s.start(["/T"], own_clock=True)
        s.wait_until(lambda: "次回" in s.title(), message="the armed title")
        s.set_clock(3600)
        in_the_hour = self.records(s, 1)[0]
        s.set_clock(0)
        on_time = self.records(s, 2)[1]
        s.set_clock(600)
        passed = self.records(s, 3)[2]
        told = time.time()
        for record, start in ((in_the_hour, t + 3600), (on_time, t + 14)):
            h = time.localtime(start)
            self.assertEqual(record[0][5:], "(%02d時%02d分%02d秒)" % (h.tm_hour, h.tm_min, h.tm_sec), record)
            self.assertRegex(record[1], r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ [23]\.\d{3} 秒$", record)
        assert_recording(self, s.path(dated_name(t + 14)), 3, delta=0.6)
        self.assertEqual(passed[1], "№3「passed」 は録画されませんでした（時計が変更されました）")
        self.assertGreaterEqual(told, t + 32)
        self.exit(s, {})

    def test_one_touch_lists_the_setting_cancels_and_records(self):
        s = self.session({}, video="Onetouch=1,abc\r\n")
        s.start()
        dialog = "ﾜﾝﾀｯﾁﾀｲﾏｰ"
        s.open_dialog(32797, dialog)
        self.assertEqual(template_differences(s.controls(dialog, 142), ONE_TOUCH_TEMPLATE), [])
        self.assertEqual(s.driver("items", "#32770:" + dialog, 1050).splitlines(), ["1", "abc"])
        s.answer(dialog, "cancel")
        s.sync()
        self.assertFalse(s.exists(WORK_FILE))
        s.open_dialog(32797, dialog)
        s.set_text(dialog, 1050, "1")  # no item chosen: the number in the field
        s.answer(dialog, "ok")
        s.record(2, command=None)
        # Stopped by hand after about 2 s (a loaded machine delivers the key later).
        assert_recording(self, s.path(WORK_FILE), 4, delta=3)
        self.exit(s)

    def test_a_failing_run_is_told_without_a_box_and_the_schedule_goes_on(self):
        # No capture device (the start's question answered Yes): each run
        # fails, says so in the status bar (no box waits for a click),
        # writes its record, and the next reservation still runs. The
        # history page is read-only: it is left alone, and the log says so.
        first = int(time.time()) + 8
        s = KestrovaSession.opened_for(self)
        s.write_ini()
        s.write_file("Kestrova.tmr", tmr({0: slot(first, first + 1), 1: slot(first + 5, first + 6)}))
        s.write_file("CaptureLog.html", b"<!--begin_log-->\r\n")
        os.chmod(s.path("CaptureLog.html"), 0o444)
        s.start(["/T"], wait=False)
        s.answer("警告", "yes", timeout=30)
        s.wait_until(lambda: s.exists("Capture.log") and s.read_file("Capture.log").count(b"----------") == 2,
                     timeout=40, message="two runs logged")
        s.sync()
        self.assertFalse([w for w in s.windows() if w[1] == "#32770"])
        self.assertEqual(s.read_file("CaptureLog.html"), b"<!--begin_log-->\r\n")
        log = s.read_file("Capture.log").decode("cp932")
        self.assertEqual(log.count("録画に失敗しました: ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが使えませんでした\r\n"
                                   + s.win_path("CaptureLog.html") + " へ保存できませんでした\r\n----------\r\n"), 2)
        self.exit(s, {})

if __name__ == "__main__":
    unittest.main()
