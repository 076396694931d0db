"""Reserved recordings with the real Kestrova.exe and its test-pattern device:
the timer armed with "/T", the scheduled runs and what they leave (the
dated recording, Capture.log and the row of CaptureLog.html in the work
directory), a power-off reservation ending Kestrova, a clock set by the
user, kills during and after a run, one-touch recording and a start without
a capture device. (The scheduling rules themselves, and a run cut short, are
the unit tests'; the disk watchdog is test_failures'.)"""

import os
import re
import time
import unittest

from kestrova_e2e import (BS_DEFPUSHBUTTON, CBS_DROPDOWN, SAVE_AS, TEST_PATTERN, WORK_FILE, KestrovaSession,
                          dated_name, duration, riff_chunks, run, slot, template_differences, tmr)

RECORDED = r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ ([\d.]+) 秒$"
ONE_TOUCH_TEMPLATE = [
    (1050, "ComboBox", CBS_DROPDOWN, "15", (37, 7, 25, None)),
    (-1, "Static", 0, "録画時間", (7, 10, 28, 8)),
    (-1, "Static", 0, "分", (65, 10, 8, 8)),
    (1, "Button", BS_DEFPUSHBUTTON, "OK", (81, 7, 50, 14)),
    (2, "Button", 0, "ｷｬﾝｾﾙ", (81, 26, 50, 14)),
    (-1, "Static", 0, "録画時間はINIﾌｧｲﾙの[Video]セクションのOnetouch=～に記述してください", (7, 51, 124, 19)),
]


class Reservations(unittest.TestCase):
    def session(self, slots, video="", temp_dir="", files=None, unattended=""):
        s = KestrovaSession.opened_for(self, env=TEST_PATTERN, files=files)
        s.write_ini(video, temp_dir=temp_dir, unattended=unattended)
        s.write_file("Kestrova.tmr", tmr(slots))
        return s

    def exit(self, s, slots=None):
        """Ends Kestrova from its menu; with `slots`, the reservation file it must leave."""
        self.assertEqual(s.exit_from_menu(), 0)
        if slots is not None:
            self.assertEqual(s.read_file("Kestrova.tmr"), tmr(slots))

    def test_armed_runs_land_in_the_work_directory_with_margins_and_a_power_off_one_ends_kestrova(self):
        # The work directory is a folder of its own; Kestrova is started in
        # the session directory. A span passed while Kestrova was closed is
        # told at the start, in the work directory's log. Each run records a
        # second before and after its span; between the two the end margin
        # of the first takes the gap, and the second starts where it ends.
        now = int(time.time())
        t = now + 25
        s = self.session({3: slot(now - 100, now - 50, comment="ﾆｭｰｽ"), 0: slot(t, t + 2),
                          1: slot(t + 4, t + 6, power_off=1)}, video="SnapFile=1\r\n", temp_dir="work",
                         unattended="StartMargin=1\r\nEndMargin=1\r\n")
        os.mkdir(s.path("work"))
        s.env["KESTROVA_POWER_LOG"] = s.win_path("power.log")  # the calls written down, not made
        s.start(["/T"])
        missed = s.log_records(1, "work/Capture.log")[0]
        self.assertEqual(missed[1], "№4「ﾆｭｰｽ」 は録画されませんでした（Kestrovaが起動していませんでした）")
        self.assertFalse(s.exists("Capture.log"))
        # Armed by the command the window posts to itself once it is up: the
        # title, the menu, the next reservation red in the status bar.
        s.wait_armed(t)
        self.assertIn("checked", s.menu_item(32793).flags)
        self.assertGreater(sum(r >= 0xE0 and g < 0x40 and b < 0x40 for r, g, b in s.status_bar_pixels()), 20)
        # A recording by hand, saved by browsing into another folder: the
        # dialog does not move the current directory there, and Kestrova does
        # not hold that folder (it can be renamed).
        s.post_command(32793)  # disarmed for the recording by hand
        s.record(1)
        os.mkdir(s.path("other"))
        s.open_dialog(32786, SAVE_AS)
        s.set_text(SAVE_AS, 1148, s.win_path("other"))
        s.click(SAVE_AS, 1)
        s.set_text(SAVE_AS, 1148, "saved.avi")
        s.answer(SAVE_AS, "ok")
        s.wait_file("other/saved.avi")
        s.run_windows_program("cmd", ["/c", "ren", s.win_path("other"), "renamed"])
        self.assertEqual(os.listdir(s.path("renamed")), ["saved.avi"])
        s.post_command(32793)
        s.wait_armed()
        s.snap("work/SNAP0000.bmp")
        s.log_records(2, "work/Capture.log", timeout=t + 40 - time.time())  # the first run's record
        # After its run and a minute's countdown the power-off reservation
        # ends the program, its closing work done (settings and reservations
        # written), and asks for the power-off that lets programs close.
        self.assertRegex(s.box("Kestrova 録画後の動作", timeout=t + 30 - time.time()).text, r"^\d\d 秒後に電源OFFします$")
        self.assertEqual(s.wait_exit(timeout=t + 100 - time.time()), 0)
        self.assertEqual(s.read_file("power.log"), b"ExitWindowsEx EWX_POWEROFF|EWX_FORCEIFHUNG\r\n")
        self.assertRegex(s.read_file("Kestrova.off"), rb"^\d+$")  # told at the next start if still on
        # The first file holds its span and both margins; the second begins
        # once the first has ended (named by its start) and ends a second late.
        first, second = sorted(f for f in os.listdir(s.path("work")) if re.match(r"\d\d-\d\d\(", f))
        self.assertEqual(first, dated_name(t - 1))
        self.assertAlmostEqual(duration(s.path("work/" + first)), 4, delta=0.5)
        began = {dated_name(b): b for b in range(t + 3, t + 6)}.get(second)
        self.assertIsNotNone(began, "%s does not start after the first" % second)
        self.assertAlmostEqual(began + duration(s.path("work/" + second)), t + 7, delta=0.5)
        records = s.read_file("work/Capture.log").decode("cp932").split("----------\r\n")
        self.assertEqual([r.split("\r\n")[1] for r in records[3:-1]] + [records[-1]],
                         ["録画後の動作: 60 秒後に電源OFFします", "録画後の動作: 電源OFFします", ""])
        self.assertEqual(s.read_file("CaptureLog.html").count(b"<TR>\r\n"), 2)
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr({}))
        self.assertIn(b"TempPath=", s.read_file("Kestrova.ini"))

    def test_a_clock_set_forward_records_in_the_hour_it_reached_and_tells_what_it_passed_over(self):
        # Kestrova starts with its clock a day back, however long Wine takes
        # to start it; once it is armed, the story begins 12 s before `t` on
        # its clock. The clock is then set an hour forward: the span reserved
        # in that hour records there, and the span the jump passed over is
        # told once its real end has come, as passed over by a clock change.
        # (Every other way a clock may move is the unit tests'.)
        t = int(time.time()) + 15
        s = self.session({0: slot(t + 3600, t + 3603), 2: slot(t + 30, t + 32, comment="passed")})
        s.start(["/T"], own_clock=-86400)
        s.wait_armed()
        base = t - 12 - int(time.time())
        s.set_clock(base)
        s.driver("post", "KESTROVA", 30)  # WM_TIMECHANGE: looked at before the next jump
        s.sync()
        s.set_clock(base + 3600)
        in_the_hour = s.log_records(1)[0]
        passed = s.log_records(2)[1]
        told = time.time() + base
        h = time.localtime(t + 3600)
        self.assertEqual(in_the_hour[0][5:], "(%02d時%02d分%02d秒)" % (h.tm_hour, h.tm_min, h.tm_sec), in_the_hour)
        self.assertRegex(in_the_hour[1], r"^\d+ ﾌﾚｰﾑ \d+ ﾄﾞﾛｯﾌﾟ [23]\.\d{3} 秒$", in_the_hour)
        self.assertEqual(passed[1], "№3「passed」 は録画されませんでした（時計が変更されました）")
        self.assertGreaterEqual(told, t + 32)
        # A resume notice and a clock change notice make it look again:
        # nothing records or is told twice.
        s.driver("post", "KESTROVA", 536, 18)  # WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC
        s.driver("post", "KESTROVA", 30)  # WM_TIMECHANGE
        s.sync()
        self.assertEqual(s.read_file("Capture.log").count(b"----------\r\n"), 2)
        self.exit(s, {})

    def test_a_kill_during_a_run_keeps_what_was_recorded_and_one_after_a_run_leaves_its_slot_retired(self):
        # After each stored recording a command starts that waits for a file
        # "go": the commands outlive the kills.
        t = int(time.time()) + 15
        s = self.session({0: slot(t, t + 16, comment="ﾆｭｰｽ"), 1: slot(t + 24, t + 26)},
                         unattended="AfterCommand=argprobe.exe {file}.args wait:7 {file}\r\n")
        s.start(["/T"])
        work = lambda: [f for f in os.listdir(s.dir) if re.match(r"kv[0-9A-Fa-f]+\.avi$", f)]
        s.wait_until(lambda: time.time() >= t + 6 and work(), timeout=60, message="six seconds into the run")
        killed = time.time()
        s.kill_kestrova()
        s.wait_until(lambda: not s.kestrova_pids(), message="Kestrova gone")
        s.wait_exit()
        # The next start keeps what the killed run recorded, under its
        # dated name, says so, and records the rest of the span anew.
        s.start(["/T"])
        kept, rest = s.log_records(2)
        seconds = float(re.match(RECORDED, kept[1]).group(1))
        self.assertGreater(seconds, killed - t - 2)  # at most the last second or so is lost
        self.assertIn("録画は途中で終わりました（録画中にKestrovaが終了しました）", kept)
        self.assertAlmostEqual(duration(s.path(dated_name(t))), seconds, delta=0.2)
        self.assertRegex(rest[2], r"^\d\d時\d\d分\d\d秒からの予約を \d+ 秒遅れて開始しました（Kestrovaが起動していませんでした）$")
        self.assertIn("ﾆｭｰｽ（録画中にKestrovaが終了しました）", s.read_file("CaptureLog.html").decode("cp932"))
        # Killed once slot 1 has recorded: the file says both are done. The
        # next start watches the three commands on, and logs their ends.
        s.log_records(3)
        s.kill_kestrova()
        s.wait_until(lambda: not s.kestrova_pids(), message="Kestrova gone")
        s.wait_exit()
        self.assertEqual(s.read_file("Kestrova.tmr"), tmr({}))
        self.assertEqual(work(), [])
        s.start()
        s.write_file("go", b"")
        ended = [r[1] for r in s.log_records(6)[3:]]
        self.assertEqual(len([e for e in ended if e.startswith("録画後のｺﾏﾝﾄﾞが終了しました（終了ｺｰﾄﾞ 7）: argprobe.exe ")]), 3,
                         ended)
        self.assertIn(s.win_path(dated_name(t)), "".join(ended))
        self.assertFalse(s.exists("Kestrova.run"))
        self.exit(s, {})

    def test_a_long_recording_is_stored_without_holding_up_the_next_and_is_kept_once(self):
        # 30 s at 1280x720 (about 1.2 GB, past the first RIFF), then 10 s back
        # to back, with the default settings (the fixed work file, no fast
        # saving). After each, a command gets the file and the comment as
        # arguments, exactly, and its exit code is logged when it ends.
        t = int(time.time()) + 15
        comment = 'ﾆｭｰｽ "特集" & 100% 天気'
        s = self.session({0: slot(t, t + 30, comment=comment), 1: slot(t + 30, t + 40)},
                         files={"KestrovaTestPattern.ini": b"[Format]\r\nWidth=1280\r\nHeight=720\r\nPicture=1\r\n"},
                         unattended="AfterCommand=argprobe.exe {file}.args 7 {comment} {file}\r\n")
        s.start(["/T"])
        records = s.log_records(4, timeout=90)
        first, second = [r for r in records if re.match(RECORDED, r[1])]
        began = re.match(r"\d\d-\d\d\((\d\d)時(\d\d)分(\d\d)秒\)$", second[0]).groups()
        lt = time.localtime(t + 30)
        self.assertEqual(tuple(map(int, began)), (lt.tm_hour, lt.tm_min, lt.tm_sec))
        self.assertEqual(len(second), 3, second)  # no late start, nothing kept elsewhere
        command = 'argprobe.exe "%s".args 7 "ﾆｭｰｽ \\"特集\\" & 100%% 天気" "%s"' % ((s.win_path(dated_name(t)),) * 2)
        self.assertIn("録画後のｺﾏﾝﾄﾞが終了しました（終了ｺｰﾄﾞ 7）: " + command, [r[1] for r in records])
        self.assertEqual(s.read_file(dated_name(t) + ".args").decode(), "%s\n%s\n" % (comment, s.win_path(dated_name(t))))
        avis = sorted(f for f in os.listdir(s.dir) if f.lower().endswith(".avi"))
        self.assertEqual(avis, sorted([dated_name(t), dated_name(t + 30)]))
        long = s.path(dated_name(t))
        self.assertGreater(os.path.getsize(long), 1 << 30)
        self.assertAlmostEqual(duration(long), 30, delta=0.6)
        # Past the first gigabyte the file goes on in AVIX chunks, and a
        # reader finds a frame there through the OpenDML indexes (15 a second).
        self.assertEqual([c[1] for c in riff_chunks(long) if c[0] == b"RIFF"][:2], [b"AVI ", b"AVIX"])
        found = run(["ffprobe", "-v", "error", "-read_intervals", "29%+#1", "-select_streams", "v",
                     "-show_entries", "frame=pts", "-of", "csv=p=0", long]).stdout.split()
        self.assertEqual(len(found), 1, found)
        self.assertIn(int(found[0]), range(435, 440))  # the first frame recorded at 29 s or after

    def test_one_touch_lists_the_setting_cancels_and_records(self):
        s = self.session({}, video="Onetouch=1,abc\r\n")
        s.start()
        dialog = "ﾜﾝﾀｯﾁﾀｲﾏｰ"
        s.open_dialog(32797, dialog)
        self.assertEqual(template_differences(s.controls(dialog, 142), ONE_TOUCH_TEMPLATE), [])
        self.assertEqual(s.items(dialog, 1050), ["1", "abc"])
        s.close(dialog, "cancel")
        self.assertFalse(s.exists(WORK_FILE))
        s.open_dialog(32797, dialog)
        s.set_text(dialog, 1050, "1")  # no item chosen: the number in the field
        s.answer(dialog, "ok")
        s.record(2, command=None)
        # Stopped by hand after about 2 s (a loaded machine delivers the key later).
        self.assertAlmostEqual(duration(s.path(WORK_FILE)), 4, delta=3)
        self.exit(s)

    def test_without_a_device_no_ends_untouched_and_yes_runs_greyed_and_tells_its_runs_without_a_box(self):
        ini = "[Video]\r\nPreview=0\r\n".encode("cp932")
        s = KestrovaSession.opened_for(self, files={"Kestrova.ini": ini})
        s.start(wait=False)
        box = s.box("警告")
        self.assertEqual(box.text, "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが見つかりません　または使用中です\n起動しますか？")
        self.assertEqual(len(box.buttons), 2)
        s.answer("警告", "no")
        self.assertEqual(s.wait_exit(), 0)
        self.assertEqual(s.read_file("Kestrova.ini"), ini)
        self.assertFalse(s.exists("Kestrova.tmr"))
        # Yes: capture, preview, overlay and the video settings greyed, their
        # keys doing nothing; a reserved run fails, says so in the status bar
        # (no box waits for a click) and writes its record.
        first = int(time.time()) + 15
        s.write_file("Kestrova.tmr", tmr({0: slot(first, first + 1)}))
        s.start(["/T"], wait=False)
        s.answer("警告", "yes", timeout=30)
        s.wait_window()
        menu = s.menu_states()
        for ident in ("2", 32783, 32777, "3.7"):  # ｷｬﾌﾟﾁｬ, preview, overlay, ﾋﾞﾃﾞｵ設定(&V)
            self.assertIn("grayed", menu[ident].flags, ident)
        self.assertEqual(s.rect()["client"][2], 320)
        windows = len(s.windows())
        for combo in ("ctrl+c", "ctrl+shift+c", "ctrl+e"):
            s.key(combo)
        s.sync()
        self.assertEqual(len(s.windows()), windows)
        self.assertFalse([f for f in os.listdir(s.dir) if f.lower().endswith((".avi", ".bmp"))])
        run = s.log_records(1, timeout=40)[0]
        self.assertFalse([w for w in s.windows() if w[1] == "#32770"])
        self.assertIn("録画に失敗しました: ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが使えませんでした", run)
        self.exit(s, {})


if __name__ == "__main__":
    unittest.main()
