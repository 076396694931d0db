"""The temporary disk, device selection and About dialogs: each opened by
its command with its caption, its controls against the template, OK applied
at once and written to the settings file at exit, Cancel changing nothing,
a directory that cannot be made refused with a box, and the About box's
link to the user guide beside the exe."""

import os
import unittest

from kestrova_e2e import (BS_AUTOCHECKBOX, BS_AUTORADIOBUTTON, BS_DEFPUSHBUTTON, BS_FLAT, BS_GROUPBOX, BS_OWNERDRAW,
                          ES_AUTOHSCROLL, ES_NUMBER, ES_RIGHT, LBS_NOINTEGRALHEIGHT, LBS_NOSEL, LBS_NOTIFY, SS_ICON,
                          SS_NOPREFIX, TEST_PATTERN, UDS_ALIGNRIGHT, UDS_ARROWKEYS, UDS_AUTOBUDDY, UDS_NOTHOUSANDS,
                          UDS_SETBUDDYINT, WS_GROUP, WS_TABSTOP, KestrovaSession, profile_values,
                          template_differences)

TEMP, DEVICE, ABOUT, ERROR = "ﾃﾝﾎﾟﾗﾘﾃﾞｨｽｸ", "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽ選択", "ﾊﾞｰｼﾞｮﾝ情報", "ｴﾗｰ"
BROWSER = "フォルダーの参照"  # the system's folder browser (Wine gives it this title)
DRIVERS = ["Kestrova Test Pattern [3.61]"]
# Edit borders become a client edge, and list boxes show WS_VSCROLL only
# while they scroll: neither is checked here.


def temp_disk_template(directory, size, name):
    return [
        (1004, "Edit", WS_TABSTOP | ES_AUTOHSCROLL, directory, (13, 21, 122, 12)),
        (3, "Button", WS_TABSTOP, "参照", (141, 20, 23, 14)),
        (-1, "Button", BS_GROUPBOX, "ﾜｰｸﾌｧｲﾙ名", (8, 46, 104, 50)),
        (1044, "Button", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, "固定", (13, 63, 28, 11)),
        (1008, "Edit", WS_TABSTOP | ES_AUTOHSCROLL, name, (49, 62, 55, 12)),
        (1045, "Button", BS_AUTORADIOBUTTON, "ｷｬﾌﾟﾁｬ毎にﾜｰｸﾌｧｲﾙを作成", (13, 81, 96, 11)),
        # The arrows (157, 62, 9, 12 in the template) take their place at the
        # right end of the field (123, 62, 33, 12), clear of "MB".
        (1005, "Edit", WS_TABSTOP | ES_NUMBER | ES_RIGHT, size, (123, 62, 24, 12)),
        (1006, "msctls_updown32", UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
         "Spin1", (146, 62, 9, 12)),
        (-1, "Button", BS_GROUPBOX, "     ", (117, 46, 63, 32)),
        (1, "Button", BS_DEFPUSHBUTTON, "OK", (34, 126, 50, 14)),
        (2, "Button", WS_TABSTOP, "ｷｬﾝｾﾙ", (94, 126, 50, 14)),
        (1007, "Button", BS_AUTOCHECKBOX, "領域確保", (125, 43, 41, 18)),
        (-1, "Static", 0, "MB", (161, 64, 12, 8)),
        (-1, "Button", BS_GROUPBOX, "ﾃﾝﾎﾟﾗﾘﾃﾞｨﾚｸﾄﾘ", (7, 7, 173, 33)),
        (-1, "Static", 0, "ﾜｰｸﾌｧｲﾙは自動で削除されません\nｷｬﾌﾟﾁｬ毎に作成する時は注意してください", (10, 101, 140, 18)),
        (1046, "Button", BS_AUTOCHECKBOX, "高速保存", (125, 85, 45, 9)),
    ]


DEVICE_TEMPLATE = [
    (1, "Button", BS_DEFPUSHBUTTON, "OK", (130, 7, 50, 14)),
    (2, "Button", WS_TABSTOP, "ｷｬﾝｾﾙ", (130, 24, 50, 14)),
    # Whole lines only: the list is no taller than 75.
    (1001, "ListBox", LBS_NOTIFY | WS_TABSTOP, "", (7, 7, 116, None)),
]

ABOUT_TEMPLATE = [
    (2, "Static", SS_ICON, "\uffff" + chr(107), (14, 9, None, None)),  # icon 107, shown at its own size
    (-1, "Static", SS_NOPREFIX, "Kestrova Version 3.61", (45, 5, 119, 8)),
    (-1, "Static", 0, "ﾋﾞﾃﾞｵｷｬﾌﾟﾁｬ ﾕｰﾃｨﾘﾃｨ", (45, 16, 127, 8)),
    (1, "Button", BS_DEFPUSHBUTTON, "OK", (83, 94, 30, 11)),
    (1000, "ListBox", LBS_NOSEL | LBS_NOINTEGRALHEIGHT, "", (15, 65, 168, 24)),
    (-1, "Static", 0, "ｲﾝｽﾄｰﾙされているｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽ", (16, 55, 119, 8)),
    (-1, "Static", 0, "ﾕｰｻﾞｰｶﾞｲﾄﾞ:", (45, 27, 89, 8)),
    (1016, "Button", BS_OWNERDRAW | BS_FLAT | WS_TABSTOP, "Kestrova.html", (45, 40, 125, 10)),
]


class DialogTest(unittest.TestCase):
    def state(self, s, caption, ids):
        return {ident: s.control(caption, ident) for ident in ids}

    def refused(self, s, directory, answer, error):
        """OK with `directory` typed: the creation question, answered; then
        the error box when `error`. The dialog stays open as typed."""
        s.set_text(TEMP, 1004, directory)
        s.driver("click", "#32770:" + TEMP, 1)
        self.assertEqual(s.box(ERROR).text, "ﾃﾞｨﾚｸﾄﾘ %s は存在しません\n作成しますか？" % directory)
        s.answer(ERROR, answer)
        if error:
            self.assertEqual(s.box(ERROR).text, "ﾃﾞｨﾚｸﾄﾘ %s を作成できません" % directory)
            s.answer(ERROR, "ok")
        s.sync("#32770:" + TEMP)
        self.assertEqual(s.controls(TEMP, 135)[0].text, directory)

    def test_temp_disk_device_selection_and_about_dialogs(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            # DeviceIndex beyond the drivers: driver 0 is in use, the setting
            # stays until a driver is chosen.
            s.write_ini("SnapFile=1\r\nDeviceIndex=3\r\n")
            s.write_file("blocker", "a file where the directory should be")
            s.start()
            newdir = self.temp_disk(s)
            self.device_selection_and_about(s)
            self.assertEqual(s.exit_from_menu(), 0)
            ini = profile_values(s.read_file("Kestrova.ini"))
            self.assertEqual([ini[k] for k in ("TempPath", "TempFile", "TempSize", "FixedTempFile", "TempFileName",
                                               "SpeedSave", "DeviceIndex")], [newdir, "1", "3", "1", "録画.avi", "0", "0"])

    def temp_disk(self, s):
        """The temporary disk dialog; returns the directory its OK stored."""
        home = s.win_path().rstrip("\\")
        title = s.title()

        s.open_dialog(32784, TEMP)
        self.assertEqual(template_differences(s.controls(TEMP, 135), temp_disk_template(home, "0", "一時ﾌｧｲﾙ.AVI")),
                         [])
        opened = self.state(s, TEMP, (1005, 1006, 1007, 1044, 1046))
        self.assertEqual((opened[1006]["buddy"], opened[1006]["range"]), (1005, (0, 4095)))
        self.assertEqual([opened[i]["enabled"] for i in (1005, 1006, 1046)], [False, False, True])

        # The form follows its boxes (the rules are the unit tests'): reserving
        # space enables the size and clears fast saving, the other radio greys the name.
        s.click(TEMP, 1046, 1007, 1045)
        self.assertEqual([s.control(TEMP, i)["enabled"] for i in (1005, 1006, 1008, 1046)],
                         [True, True, False, False])

        # 参照 opens the folder browser with its title; cancelled, it
        # leaves the field as it was.
        s.driver("click", "#32770:" + TEMP, 3)
        self.assertEqual(s.box(BROWSER).text, "ﾃﾝﾎﾟﾗﾘﾌｫﾙﾀﾞ")
        s.answer(BROWSER, "cancel")
        self.assertEqual(s.controls(TEMP, 135)[0].text, home)

        # A directory that cannot be made (a file in the way) is told;
        # declining the question keeps the dialog as typed too.
        self.refused(s, s.win_path("blocker"), "ok", True)
        self.refused(s, s.win_path("newdir"), "cancel", False)
        self.assertFalse(os.path.exists(s.path("newdir")))
        s.close(TEMP, "cancel")
        self.assertEqual(s.title(), title)

        # Cancel kept everything: the dialog opens as before. OK with a new
        # directory, made on request, a name of its own and
        # 3 MB reserved: the title shows the work file at once, the space
        # is reserved, snapshots and recordings go there.
        s.open_dialog(32784, TEMP)
        self.assertEqual(self.state(s, TEMP, opened), opened)
        newdir = s.win_path("newdir")
        s.set_text(TEMP, 1004, newdir)
        s.set_text(TEMP, 1008, "録画.avi")
        s.click(TEMP, 1046, 1007)
        s.set_text(TEMP, 1005, "3")
        s.driver("click", "#32770:" + TEMP, 1)
        s.answer(ERROR, "ok")
        s.wait_gone("#32770:" + TEMP)
        work_file = os.path.join(s.path("newdir"), "録画.avi")
        self.assertEqual(s.title(), "Kestrova [%s\\録画.avi]" % newdir)
        self.assertEqual(os.path.getsize(work_file), 3 << 20)
        s.snap("newdir/SNAP0000.bmp")
        s.record(1.5)
        with open(work_file, "rb") as f:  # the reserved space held zeros
            self.assertEqual(f.read(12)[8:], b"AVI ")
        return newdir

    def device_selection_and_about(self, s):
        s.open_dialog(32782, DEVICE)
        self.assertEqual(template_differences(s.controls(DEVICE, 133), DEVICE_TEMPLATE), [])
        self.assertEqual(s.items(DEVICE, 1001), DRIVERS)
        self.assertEqual(s.control(DEVICE, 1001)["selection"], 0)
        s.answer(DEVICE, "cancel")

        # The link: ShellExecute is asked to open the guide beside the
        # exe; here .html files open with a command that notes the path.
        opened = s.win_path("opened.txt")
        for args in (["HKCR\\.html", "/ve", "/d", "KestrovaGuideTest"],
                     ["HKCR\\KestrovaGuideTest\\shell\\open\\command", "/ve", "/d",
                      "C:\\windows\\system32\\cmd.exe /c echo %%1> %s" % opened]):
            s.run_windows_program("reg", ["add", *args, "/f"], check=True)
        s.open_dialog(104, ABOUT)
        self.assertEqual(template_differences(s.controls(ABOUT, 103), ABOUT_TEMPLATE), [])
        self.assertEqual(s.items(ABOUT, 1000), DRIVERS)  # nothing selected there: LBS_NOSEL
        s.driver("click", "#32770:" + ABOUT, 1016)
        s.wait_until(lambda: s.exists("opened.txt") and s.read_file("opened.txt").strip(), message="guide opened")
        self.assertEqual(s.read_file("opened.txt").decode().strip(), s.win_path("Kestrova.html"))
        s.answer(ABOUT, "ok")  # still open

        # OK reconnects the driver chosen (the one in use), keeps its
        # index and brings the live picture back.
        s.open_dialog(32782, DEVICE)
        s.close(DEVICE)
        self.assertIn("enabled", s.menu()[1].flags)
        self.assertIn("checked", s.menu_item(32783).flags)


if __name__ == "__main__":
    unittest.main()
