"""Reserved recordings with the real Kestrova.exe and its test-pattern device:
the timer armed with "/T" or "/t", the scheduled run (its dated recording,
Capture.log, CaptureLog.html byte for byte), weekly and power-off
reservations, missed and equal starts, and one-touch recording."""

import os
import re
import subprocess
import time
import unittest

from kestrova_e2e import KestrovaSession, template_differences
from test_startup_files import canonical_file, reservation_writes

TEST_PATTERN = {"KESTROVA_TESTPATTERN": "1"}
WEEKDAYS = "日月火水木金土"
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


def slot(start, end, weekdays=0, comment="", power_off=0):
    return "%d,%d,%d,%s,%d" % (start, end, weekdays, comment, power_off)


def tmr(slots):
    return canonical_file(reservation_writes(slots))


def dated_name(start):
    t = time.localtime(start)
    return "%02d-%02d(%02d時%02d分%02d秒).avi" % (t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)


def history_row(start, end, comment, written):
    """The six lines Kestrova writes for a recording, as CP932 with CR LF."""
    s, e, d = time.localtime(start), time.localtime(end), time.localtime(written)
    seconds = (e.tm_hour * 3600 + e.tm_min * 60 + e.tm_sec) - (s.tm_hour * 3600 + s.tm_min * 60 + s.tm_sec)
    seconds += 86400 if seconds <= 0 else 0
    minutes, rest = divmod(seconds, 60)
    length = ("%d分" % minutes if minutes else "") + ("%2d秒" % rest if rest or not minutes else "")
    escaped = (comment.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;"))
    lines = ["<TR>",
             "<TD ALIGN=CENTER NOWRAP><B>%4d年%2d月%2d日(%s)<BR>%2d時%2d分%2d秒</B></TD>"
             % (d.tm_year, d.tm_mon, d.tm_mday, WEEKDAYS[(d.tm_wday + 1) % 7], s.tm_hour, s.tm_min, s.tm_sec),
             "<TD ALIGN=CENTER NOWRAP><B><BR>%2d時%2d分%2d秒</B></TD>" % (e.tm_hour, e.tm_min, e.tm_sec),
             "<TD ALIGN=CENTER NOWRAP><B>%s</B></TD>" % length,
             "<TD ALIGN=LEFT NOWRAP><B>%s&nbsp;</B></TD>" % escaped,
             "</TR>"]
    return "".join(line + "\r\n" for line in lines).encode("cp932")


class Reservations(unittest.TestCase):
    def session(self, slots, video=""):
        s = KestrovaSession(env=TEST_PATTERN)
        s.__enter__()
        self.addCleanup(s.__exit__, None, None, None)
        ini = "[Video]\r\nTempPath=%s\r\n%s" % (s.win_path().rstrip("\\"), video)
        s.write_file("Kestrova.ini", ini.encode("cp932"))
        s.write_file("Kestrova.tmr", tmr(slots))
        return s

    def wait_for_run(self, s, start, length, runs=1):
        """Waits until the run that begins at `start` has come and gone (its
        three log lines are there). The log is watched rather than the menu:
        reading the menu goes into Kestrova's process, which is best kept
        rare while it records."""
        s.wait_until(lambda: time.time() >= start, timeout=60, message="the start")
        s.wait_until(lambda: s.exists("Capture.log") and s.read_file("Capture.log").count(b"----------\r\n") >= runs,
                     timeout=length + 30, interval=0.5, message="the run logged")
        s.sync()

    def assert_recording(self, path, seconds, delta=0.5):
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                               capture_output=True, text=True, timeout=60)
        self.assertEqual(probe.stderr, "")
        self.assertAlmostEqual(float(probe.stdout), seconds, delta=delta)

    def test_a_one_time_reservation_records_logs_and_is_retired(self):
        start = int(time.time()) + 6
        comment = "ﾃｽﾄ <1> & \"2\""
        s = self.session({0: slot(start, start + 3, comment=comment)})
        s.start(["/T"])
        t = time.localtime(start)
        self.assertTrue(s.title().endswith("(次回ﾀｲﾏｰ予定日:%d/%2d/%2d)" % (t.tm_year, t.tm_mon, t.tm_mday)),
                        s.title())
        self.assertIn("checked", s.menu_item(32793).flags)
        # The next reservation in red in the status bar.
        bar = [c for c in s.children() if c.id == 2][0]
        wx, wy, ww, wh = s.rect()["window"]
        _, _, cw, ch = s.rect()["client"]
        left, top = wx + (ww - cw) // 2, wy + wh - (ww - cw) // 2 - ch
        pixels = subprocess.run(["convert", s.screenshot(), "-crop", "%dx%d+%d+%d" % (bar.rect[2], bar.rect[3],
                                 left + bar.rect[0], top + bar.rect[1]), "-depth", "8", "txt:-"],
                                capture_output=True, text=True, check=True).stdout
        self.assertGreater(len(re.findall(r"#(?:F[0-9A-F]|E[0-9A-F])[0-3][0-9A-F][0-3][0-9A-F]\b", pixels)), 20)
        # A second run onto an existing dated name keeps both recordings.
        s.write_file(dated_name(start), b"an earlier recording")
        self.wait_for_run(s, start, 3)
        ended = time.time()
        self.assertEqual(s.read_file(dated_name(start)), b"an earlier recording")
        self.assert_recording(s.path(dated_name(start)[:-4] + "(2).avi"), 3)
        log = s.read_file("Capture.log").decode("cp932").split("\r\n")
        self.assertEqual(len(log), 4, log)
        e = time.localtime(ended)
        self.assertEqual(log[0], "%02d-%02d(%02d時%02d分%02d秒)" % (e.tm_mon, e.tm_mday, t.tm_hour, t.tm_min, t.tm_sec))
        self.assertRegex(log[1], r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ 3\.\d{3} 秒$")
        self.assertEqual(log[2:], ["----------", ""])
        page = s.read_file("CaptureLog.html")
        self.assertEqual(len(page), TEMPLATE_BYTES + len(history_row(start, start + 3, comment, ended)))
        marker = page.index(b"<!--begin_log-->\r\n") + 18
        self.assertEqual(page[marker:marker + len(page) - TEMPLATE_BYTES],
                         history_row(start, start + 3, comment, ended))
        self.assertFalse(s.title().count("次回"))  # nothing left to wait for
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr({}))  # the retired slot is written empty

    def test_weekly_reservations_move_on_and_t_hides_the_window(self):
        # Today's weekday, an hour ago: armed for the same time next week.
        now = int(time.time())
        today = time.localtime(now)
        weekday = 1 << ((today.tm_wday + 1) % 7)
        start, end = now - 3600, now - 1800
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
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)
        self.assertEqual(s.read_file("Kestrova.tmr"),
                         tmr({5: slot(start + 7 * 86400, end + 7 * 86400, weekdays=weekday)}))

    def test_equal_starts_missed_starts_and_power_off(self):
        start = int(time.time()) + 6
        missed = slot(start - 20, start - 10)
        s = self.session({0: missed, 3: slot(start, start + 2), 2: slot(start, start + 2, power_off=1)})
        s.start(["/T"])
        s.wait_until(lambda: time.time() >= start, timeout=60, message="the start")
        # After its run the power-off reservation ends the program, its
        # closing work done: settings and reservations written.
        self.assertEqual(s.wait_exit(timeout=40), 0)
        self.assertEqual([f for f in os.listdir(s.dir) if f.endswith(".avi")], [dated_name(start)])
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr({0: missed, 3: slot(start, start + 2)}))
        self.assertIn(b"TempPath=", s.read_file("Kestrova.ini"))

    def test_one_touch_lists_the_setting_cancels_and_records(self):
        s = self.session({}, video="Onetouch=1,abc\r\n")
        s.start()
        dialog = "ﾜﾝﾀｯﾁﾀｲﾏｰ"
        s.post_command(32797)
        s.box(dialog)
        self.assertEqual(template_differences(s.controls(dialog, 142), ONE_TOUCH_TEMPLATE), [])
        self.assertEqual(s.driver("items", "#32770:" + dialog, 1050).splitlines(), ["1", "abc"])
        s.answer(dialog, "cancel")
        s.sync()
        self.assertFalse(s.exists("一時ﾌｧｲﾙ.AVI"))
        s.post_command(32797)
        s.box(dialog)
        s.driver("set-text", "#32770:" + dialog, 1050, "1")  # no item chosen: the number in the field
        s.answer(dialog, "ok")
        s.wait_until(lambda: "grayed" in s.menu()[0].flags, timeout=10, message="recording started")
        time.sleep(2)
        s.key("shift+esc")
        s.wait_until(lambda: "grayed" not in s.menu()[0].flags, timeout=30, message="recording ended")
        # Stopped by hand after about 2 s (a loaded machine delivers the key later).
        self.assert_recording(s.path("一時ﾌｧｲﾙ.AVI"), 4, delta=3)
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)

    def test_a_failing_run_is_told_without_a_box_and_the_schedule_goes_on(self):
        # The work directory is missing: each run fails to make its work
        # file, says so in the status bar (no box waits for a click), writes
        # its log lines, and the next reservation still runs. The history
        # page is read-only: it is left alone, and the log says so.
        first = int(time.time()) + 6
        s = self.session({0: slot(first, first + 1), 1: slot(first + 5, first + 6)})
        s.write_file("Kestrova.ini", ("[Video]\r\nTempPath=%s\r\n" % s.win_path("missing").rstrip("\\"))
                     .encode("cp932"))
        s.write_file("CaptureLog.html", b"<!--begin_log-->\r\n")
        os.chmod(s.path("CaptureLog.html"), 0o444)
        s.start(["/T"])
        s.wait_until(lambda: s.exists("Capture.log") and s.read_file("Capture.log").count(b"----------") == 2,
                     timeout=40, message="two runs logged")
        s.sync()
        self.assertFalse([w for w in s.windows() if w[1] == "#32770"])
        self.assertEqual(s.read_file("CaptureLog.html"), b"<!--begin_log-->\r\n")
        failure = (s.win_path("CaptureLog.html") + " へ保存できませんでした\r\n----------\r\n").encode("cp932")
        self.assertEqual(s.read_file("Capture.log").count(failure), 2)
        self.assertNotIn("grayed", s.menu()[0].flags)
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr({}))


if __name__ == "__main__":
    unittest.main()
