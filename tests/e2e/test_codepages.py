"""Kestrova under each system code page: 932 (Japanese), 65001 (UTF-8 as
the system code page) and 1252 (English). The same run in each: the exe in
a folder with Japanese in its name, the work directory too (both names end
in a character whose second CP932 byte is a backslash), a reservation
entered through ﾀｲﾏｰ予約設定 and recorded by the timer while the dialog is
open again, a recording by hand saved under a Japanese name, a numbered
snapshot, and exit. The texts of the title, the menus, the dialog and the
status bar, and the bytes of Kestrova.ini, Kestrova.tmr, Capture.log and
CaptureLog.html must be those of the run under 932 (the times and frame
counts masked), the files CP932.
"""

import os
import re
import shutil
import time
import unittest

from kestrova_e2e import (ENGLISH, JAPANESE, RESERVATION_DIALOG as DIALOG, RESERVATIONS as CAPTION, SAVE_AS,
                          TEST_PATTERN, UTF8, WORK_FILE, KestrovaSession, canonical_file, dated_name, duration,
                          image_format, missing_glyph_boxes, settings_writes, slot, tmr)

LOCALES = {932: JAPANESE, 65001: UTF8, 1252: ENGLISH}
SAVE_AS_IN = {932: SAVE_AS, 65001: SAVE_AS, 1252: "Save As"}  # the system's save dialog, in the user's language
EXE_DIR = "録画ﾃｽﾄ表"  # 表 is 95 5C in CP932
WORK_DIR = "作業ソ"  # ソ is 83 5C
SAVED_DIR, SAVED_NAME = "保存先", "番組ソ.avi"
SNAP_NAME = "ｽﾅｯﾌﾟ表"
KEPT, ENTERED = "予約表ソ", "ﾃｽﾄ表ソ <録画>"
FAR = 4102444800  # 2100-01-01: kept armed for, never recorded


def masked(data, s):
    """A file's bytes with the session's directory and every number (with
    the space that pads it to two digits) masked."""
    return re.sub(rb" ?[0-9]+", b"0", data.replace(s.win_path().rstrip("\\").encode("cp932"), b"<dir>"))


class CodePages(unittest.TestCase):
    def test_japanese_texts_files_and_paths_under_each_code_page(self):
        reference = None
        for codepage in (932, 65001, 1252):
            with self.subTest(codepage=codepage):
                seen = self.run_under(codepage)
                if reference is None:
                    reference = seen
                    continue
                for what in reference:
                    self.assertTrue(seen[what] == reference[what], "%s under %d differs from 932:\n%r\n%r"
                                    % (what, codepage, seen[what][:2000], reference[what][:2000]))

    def run_under(self, codepage):
        """One run under `codepage`; returns what it showed and left, as
        {what: texts or masked bytes}, for the comparison with 932."""
        seen = {}
        with KestrovaSession(locale=LOCALES[codepage], env=TEST_PATTERN) as s:
            exe_dir, work = s.path(EXE_DIR), s.path(WORK_DIR)
            for directory in (exe_dir, work, s.path(SAVED_DIR)):
                os.mkdir(directory)
            shutil.copy2(s.path("Kestrova.exe"), exe_dir)
            ini_before = ("[Video]\r\nTempPath=%s\r\nSnapFile=1\r\nSnapFileName=%s\r\n"
                          % (s.win_path(WORK_DIR), SNAP_NAME)).encode("cp932")
            s.write_file(EXE_DIR + "/Kestrova.ini", ini_before)
            s.write_file(EXE_DIR + "/Kestrova.tmr", tmr({0: slot(FAR, FAR + 60, comment=KEPT)}))
            s.start(["/T"], exe=s.win_path(EXE_DIR + "/Kestrova.exe"))
            self.assertEqual(s.codepage()["acp"], codepage,
                             "the session's Wine has another code page (is the glibc locale installed?)")

            s.wait_armed()
            seen["title"] = s.title().replace(s.win_path(), "<dir>\\")
            self.assertEqual(seen["title"], "Kestrova [<dir>\\%s\\%s](次回ﾀｲﾏｰ予定日:2100/ 1/ 1)" % (WORK_DIR, WORK_FILE))
            seen["menus"] = [(i.path, i.id, i.text) for i in s.menu(init=True)]
            self.assertIn((("2.1", 32788, "開始(&S)\tCtrl+C")), seen["menus"])
            self.assertEqual(missing_glyph_boxes(s, "KESTROVA"), [], "the menu bar lacks glyphs")
            start = self.reserve(s, seen)

            # The timer's run, while the dialog is open again (its modal loop
            # holds no tick back): the dated recording in the work directory,
            # three lines of Capture.log there, a row of CaptureLog.html
            # beside the exe. Cancelled afterwards, the dialog undoes nothing.
            log = WORK_DIR + "/Capture.log"
            s.open_dialog(32794, CAPTION)
            s.log_records(1, log, timeout=start + 40 - time.time())
            s.close(CAPTION, "cancel")
            self.assertAlmostEqual(duration(os.path.join(work, dated_name(start))), 3, delta=0.5)
            seen["Capture.log"] = masked(s.read_file(log), s)
            self.assertEqual(seen["Capture.log"].decode("cp932"),
                             "0-0(0時0分0秒)\r\n0 ﾌﾚｰﾑ0 ﾄﾞﾛｯﾌﾟ0.0 秒\r\n----------\r\n")  # numbers masked
            page = s.read_file(EXE_DIR + "/CaptureLog.html")
            self.assertIn("<B>ﾃｽﾄ表ソ &lt;録画&gt;&nbsp;</B>".encode("cp932"), page)
            seen["CaptureLog.html"] = masked(page, s)

            s.post_command(32793)  # disarmed: the preview comes back (it is off while armed)
            s.wait_until(lambda: "次回" not in s.title(), message="disarmed")
            self.record_save_and_snap(s, seen, SAVE_AS_IN[codepage])
            x, y, _, _ = s.rect()["window"]
            self.assertEqual(s.exit_from_menu(), 0)
            ini = s.read_file(EXE_DIR + "/Kestrova.ini")
            self.assertEqual(ini, canonical_file(settings_writes(x, y, TempPath=s.win_path(WORK_DIR), SnapFile="1",
                                                                 SnapFileName=SNAP_NAME), ini_before))
            self.assertEqual(s.read_file(EXE_DIR + "/Kestrova.tmr"), tmr({0: slot(FAR, FAR + 60, comment=KEPT)}))
        return seen

    def reserve(self, s, seen):
        """The reservation dialog shows the kept comment; a reservation a few
        seconds ahead entered there and saved with 登録. Returns its start."""
        s.open_dialog(32794, CAPTION)
        self.assertEqual(missing_glyph_boxes(s, DIALOG), [], "the dialog's caption lacks glyphs")
        seen["dialog"] = [(c.id, c.cls, c.text) for c in s.controls(CAPTION, 140)]
        lines = [line.split("\t") for line in s.driver("list-view", DIALOG, 1026).splitlines()]
        seen["list"] = [line for line in lines if line[0] == "column" or line[3:] != ["", "", ""]]
        self.assertEqual([line[-1] for line in seen["list"]], ["№", "開始時刻", "終了時刻", "コメント", KEPT])
        start = int(time.time()) + 15  # time enough to fill the form and save
        s.enter_reservation(1, start, start + 3, ENTERED)
        s.press(CAPTION, 1)  # 登録
        self.assertEqual(s.read_file(EXE_DIR + "/Kestrova.tmr"),
                         tmr({0: slot(FAR, FAR + 60, comment=KEPT), 1: slot(start, start + 3, comment=ENTERED)}))
        return start

    def record_save_and_snap(self, s, seen, dialog):
        """A recording by hand saved under a Japanese name in a Japanese
        folder, a numbered snapshot, and the status bar's clipboard notice."""
        s.record(2)
        saved, snapshot = SAVED_DIR + "/" + SAVED_NAME, WORK_DIR + "/" + SNAP_NAME + "0000.bmp"
        s.open_dialog(32786, dialog)
        s.set_text(dialog, 1148, s.win_path(saved))
        s.answer(dialog, "ok")
        s.wait_file(saved)
        self.assertGreater(duration(s.path(saved)), 1)
        s.snap(snapshot)
        self.assertEqual(image_format(s.path(snapshot)), "BMP3 320 240")
        # Kestrova draws the status bar in a font of its own choosing
        # (Shift JIS glyphs asked for): it looks the same under every code page.
        s.post_command(32792)
        s.sync()
        seen["status bar"] = s.status_bar_pixels()
        self.assertGreater(len(set(seen["status bar"])), 2, "the status bar is blank")


if __name__ == "__main__":
    unittest.main()
