"""The reservation dialog "ﾀｲﾏｰ予約設定" of the real Kestrova.exe: its
template, its list of the 99 slots with overlapping reservations marked,
ｷｬﾝｾﾙ (and Esc) dropping every change, and reservations entered through the
form that 登録 writes to Kestrova.tmr at once (warning of overlaps) and
arms, or tells when the file cannot be written. (A run while the dialog is
open: test_codepages.)"""

import os
import time
import unittest

from kestrova_e2e import (BS_AUTOCHECKBOX, BS_DEFPUSHBUTTON, BS_GROUPBOX, CBS_DROPDOWN, CBS_DROPDOWNLIST, ES_AUTOHSCROLL, ES_CENTER,
                          ES_NUMBER, ES_READONLY, RESERVATION_DIALOG as DIALOG, RESERVATIONS as CAPTION, TEST_PATTERN,
                          UDS_ALIGNRIGHT, UDS_ARROWKEYS, UDS_AUTOBUDDY, UDS_SETBUDDYINT, WS_DISABLED, WS_VISIBLE,
                          KestrovaSession, profile_values, slot, template_differences, tmr)

OVERLAP = "次の予約の時間が重なっています:\n%s\n重なった予約は、前の録画が終わってから残りの時間を録画します"
LIST_STYLE = 0x1 | 0x4 | 0x8 | 0x8000  # report, single selection, selection always shown, no sort header
UPDOWN = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS
OPEN_PROGRAMME = "番組ﾌｧｲﾙを開く"


def number_field(edit, x, y, unit):
    """An edit with its up-down (inside the right end of the edit's 21
    units) and the unit label after it."""
    return [(edit, "Edit", ES_NUMBER, "", (x, y, 12, 12)),
            (edit + 1, "msctls_updown32", UPDOWN, "", (x + 11, y, 9, 12)),
            (-1, "Static", 0, unit, (x + 24, y + 2, 8, 8))]


TEMPLATE = ([(1026, "SysListView32", LIST_STYLE, "", (7, 7, 218, 101)),
             (-1, "Button", BS_GROUPBOX, "予約内容", (7, 116, 218, 136)),
             (-1, "Static", 0, "№", (16, 134, 10, 8)),
             (1049, "Edit", ES_CENTER | ES_READONLY, "", (28, 132, 15, 12)),
             (-1, "Static", 0, "予約時刻", (14, 154, 34, 8))]
            + number_field(1029, 50, 152, "月") + number_field(1031, 85, 152, "日")
            + [(-1, "Static", 0, "開始", (14, 174, 34, 8))]
            + number_field(1033, 50, 172, "時") + number_field(1035, 85, 172, "分")
            + number_field(1052, 120, 172, "秒")
            + [(-1, "Static", 0, "終了", (14, 194, 34, 8))]
            + number_field(1037, 50, 192, "時") + number_field(1039, 85, 192, "分")
            + number_field(1054, 120, 192, "秒")
            + [(-1, "Static", 0, "録画時間", (156, 194, 32, 8)),
               (1050, "ComboBox", CBS_DROPDOWN, "", (190, 192, 25, None)),
               (-1, "Static", 0, "コメント", (14, 214, 34, 8)),
               (1041, "Edit", ES_AUTOHSCROLL, "", (50, 212, 72, 12)),
               (1061, "ComboBox", CBS_DROPDOWNLIST, "", (124, 212, 44, None)),
               (1051, "Button", BS_AUTOCHECKBOX, "PowerOFF", (170, 214, 46, 9)),
               (-1, "Static", 0, "毎週", (14, 233, 34, 8))]
            + [(1042 + k, "Button", BS_AUTOCHECKBOX, day, (50 + 20 * k, 232, 18, 9)) for k, day in enumerate("日月火水木金土")]
            + [(1063, "Button", 0, "番組ﾌｧｲﾙ...", (50, 131, 60, 14)),
               (3, "Button", 0, "予約する", (160, 132, 55, 14)),
               (4, "Button", 0, "予約解除", (160, 152, 55, 14)),
               (5, "Button", 0, "現時刻設定", (160, 172, 55, 14)),
               (1057, "Static", 0, "録画: 開始 5 秒前～終了 2 秒後", (9, 260, 92, 8)),
               (1, "Button", 0, "登録", (105, 257, 50, 14)),
               (2, "Button", 0, "ｷｬﾝｾﾙ", (165, 257, 50, 14)),
               (1056, "Button", BS_DEFPUSHBUTTON | WS_DISABLED, "DUMMY", (93, 127, 24, 13))])
# Column titles and widths: pixels where 4 dialog units are 6 pixels, grown
# with the dialog's base unit.
COLUMNS = [("№", 20), ("開始時刻", 105), ("終了時刻", 60), ("コメント", 192)]



class ReservationDialog(unittest.TestCase):
    def register_overlapping(self, s, pairs, saved=True):
        """登録, and OK to its warning that names `pairs`; when `saved`, the
        dialog is gone and the command has saved by the return."""
        s.driver("click", DIALOG, 1)
        self.assertEqual(s.box("警告").text, OVERLAP % pairs)
        s.answer("警告", "ok")
        if saved:
            s.wait_gone(DIALOG)
            s.sync()

    def test_the_dialog_edits_saves_arms_and_records(self):
        now = int(time.time())
        later = now + 3 * 86400
        seeded = {0: slot(later, later + 1800, comment="ニュース"), 3: slot(later, later + 60)}
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.write_ini(unattended="StartMargin=5\r\nEndMargin=2\r\n")  # shown under the form
            s.write_file("Kestrova.tmr", tmr(seeded))
            s.start(["/T"])
            s.wait_armed()
            title, armed = s.title(), s.read_file("Kestrova.tmr")
            s.open_dialog(32794, CAPTION)
            self.assertTrue(s.style()[0] & WS_DISABLED)  # modal over the main window
            controls = s.controls(CAPTION, 140)
            # The fields' texts are the form's, checked below.
            self.assertEqual(template_differences([c._replace(text="") if c.cls in ("Edit", "ComboBox") else c
                                                   for c in controls], TEMPLATE), [])
            # Only the hidden default button (Enter presses nothing) is greyed.
            self.assertEqual([(c.id, c.style & WS_VISIBLE) for c in controls if c.style & WS_DISABLED], [(1056, 0)])
            self.assertEqual(s.items(CAPTION, 1050), ["15", "30", "45", "60"])
            base_x = int(s.driver("controls", DIALOG, "Kestrova.exe", 140).split("\t")[1])
            columns = [(name, fmt, int(width)) for width, fmt, name in s.list_view("column")]
            expected = [(name, "0", int(w * base_x / 6 + 0.5)) for name, w in COLUMNS]
            self.assertEqual((columns[0][:2], columns[1:]), (expected[0][:2], expected[1:]))
            self.assertGreaterEqual(columns[0][2], expected[0][2])  # never narrower than its title
            # Row 1 is selected and loaded into the form; it and row 4 start
            # at the same time, so both are marked (the № field is not).
            t, e = time.localtime(later), time.localtime(later + 1800)
            rows = s.list_view()
            self.assertEqual(len(rows), 99)
            self.assertEqual(rows[0], ["1", "1!", "%2d/%2d " % (t.tm_mon, t.tm_mday) + time.strftime("%H:%M:%S", t),
                                       time.strftime("%H:%M:%S", e), "ニュース"])
            self.assertEqual((rows[1], rows[3][1]), (["0", "2", "", "", ""], "4!"))
            form = {c.id: c.text for c in s.children(DIALOG)}
            self.assertEqual([form[i] for i in (1049, 1029, 1033, 1039, 1054, 1041)],
                             ["1", str(t.tm_mon), str(t.tm_hour), str(e.tm_min), str(e.tm_sec), "ニュース"])

            # Enter presses nothing; a change then Esc (ｷｬﾝｾﾙ) leaves everything as it was.
            s.key("enter", DIALOG)
            s.driver("list-select", DIALOG, 1026, 3)
            s.click(CAPTION, 4)
            rows = s.list_view()
            self.assertEqual((rows[3], rows[0][1]), (["1", "4", "", "", ""], "1"))  # the partner's mark goes too
            s.key("esc", DIALOG)
            s.wait_gone(DIALOG)
            s.sync()
            self.assertEqual(s.read_file("Kestrova.tmr"), armed)
            self.assertEqual(s.title(), title)

            # A weekly reservation that sleeps afterwards (its date fields greyed), slot 1
            # released, one an hour ahead and one that overlaps slot 4.
            s.open_dialog(32794, CAPTION)
            s.enter_reservation(5, later + 7200, later + 7260, "", days="月水", power_off=True, after_run=1)
            self.assertTrue([c for c in s.controls(CAPTION, 140) if c.id == 1029][0].style & WS_DISABLED)
            s.driver("list-select", DIALOG, 1026, 0)
            s.click(CAPTION, 4)
            s.enter_reservation(7, later + 30, later + 90, "")
            start = now + 3600
            s.enter_reservation(4, start, start + 3, "ﾃｽﾄ")
            self.assertEqual([row[1] for row in s.list_view()[3:8]], ["4!", "5", "6", "7", "8!"])
            self.register_overlapping(s, "№4 と №8")
            saved = profile_values(s.read_file("Kestrova.tmr"))
            self.assertEqual([saved["Timer%d" % i] for i in (0, 3, 7, 4)],
                             ["", seeded[3], slot(later + 30, later + 90), slot(start, start + 3, comment="ﾃｽﾄ")])
            self.assertRegex(saved["Timer5"], r"^\d+,\d+,10,,2$")  # 月 and 水, PowerOFF as スリープ
            s.wait_armed(start)

            # A reservation file that cannot be written is told, and left as it was.
            kept = s.read_file("Kestrova.tmr")
            os.chmod(s.path("Kestrova.tmr"), 0o444)
            s.open_dialog(32794, CAPTION)
            s.enter_reservation(8, later + 600, later + 660, "")
            self.register_overlapping(s, "№4 と №8", saved=False)
            self.assertEqual(s.box("ｴﾗｰ").text, s.win_path("Kestrova.tmr") + " へ保存できませんでした")
            s.answer("ｴﾗｰ", "ok")
            self.assertEqual(s.read_file("Kestrova.tmr"), kept)
            os.chmod(s.path("Kestrova.tmr"), 0o644)
            self.assertEqual(s.exit_from_menu(), 0)

    def test_a_programme_file_opens_the_dialog_prefilled_and_a_bad_one_is_refused_by_its_line(self):
        # On the command line: placed in the first free slot, selected and in
        # the form, an end after midnight on the next day; 登録 stores it.
        d = time.localtime(time.time() + 2 * 86400)
        start = int(time.mktime((d.tm_year, d.tm_mon, d.tm_mday, 23, 30, 0, 0, 0, -1)))
        programme = ("Content-type: application/x-tv-program-info; charset=shift_jis\r\nversion: 1\r\n"
                     "station: テレビ\r\nyear: %d\r\nmonth: %d\r\ndate: %d\r\nstart: 23:30\r\nend: 00:15\r\n"
                     "program-title: 映画 <b>名作</b>\r\n\r\n説明\r\n" % (d.tm_year, d.tm_mon, d.tm_mday))
        taken = {0: slot(start - 86400, start - 86000)}
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.write_ini()
            s.write_file("Kestrova.tmr", tmr(taken))
            s.write_file("prog.tvpi", programme.encode("cp932"))
            s.write_file("bad.tvpi", b"year: 2026\r\nmonth: 13\r\ndate: 1\r\nstart: 1:00\r\nend: 2:00\r\n")
            s.start([s.win_path("prog.tvpi")])
            s.wait_window(DIALOG)
            row = s.list_view()[1]
            self.assertEqual(row, ["1", "2", "%2d/%2d 23:30:00" % (d.tm_mon, d.tm_mday), "00:15:00", "映画 <b>名作</b>"])
            s.press(CAPTION, 1)
            taken[1] = slot(start, start + 2700, comment="映画 <b>名作</b>")
            self.assertEqual(s.read_file("Kestrova.tmr"), tmr(taken))
            # A later start hands its file to this one, which refuses it.
            s.run_windows_program("Kestrova.exe", [s.win_path("bad.tvpi")], check=True)
            self.assertEqual(s.box("ｴﾗｰ").text, "bad.tvpi を番組として読めません（2 行目: 日付ではありません）")
            s.answer("ｴﾗｰ", "ok")
            self.assertEqual(s.read_file("Kestrova.tmr"), tmr(taken))
            # 番組ﾌｧｲﾙ... in the open dialog: the next free slot; ｷｬﾝｾﾙ drops it.
            s.open_dialog(32794, CAPTION)
            s.driver("click", DIALOG, 1063)
            s.wait_window("#32770:" + OPEN_PROGRAMME)
            s.set_text(OPEN_PROGRAMME, 1148, s.win_path("prog.tvpi"))
            s.answer(OPEN_PROGRAMME, "ok")
            self.assertEqual(s.list_view()[2][2:], row[2:])
            s.press(CAPTION, 2)
            self.assertEqual(s.read_file("Kestrova.tmr"), tmr(taken))
            self.assertEqual(s.exit_from_menu(), 0)

if __name__ == "__main__":
    unittest.main()
