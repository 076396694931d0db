"""The environment ("環境設定"), sequence ("ｼｰｹﾝｽ") and snapshot settings
("ｽﾅｯﾌﾟｼｮｯﾄ設定") dialogs with the real Kestrova.exe and its test-pattern
device, in one run: each template control by control, Cancel changing
nothing, OK applying at once (the window refitted, the next recording's
frame rate, sound and work file, the next snapshot's name) and the keys
written at exit."""

import glob
import unittest

from kestrova_e2e import (BS_AUTOCHECKBOX, BS_DEFPUSHBUTTON, BS_GROUPBOX, CBS_DROPDOWN, ENVIRONMENT, ES_AUTOHSCROLL,
                          ES_NUMBER, ES_RIGHT, FORMAT_640x480, TEST_PATTERN, UDS_ALIGNRIGHT, UDS_ARROWKEYS,
                          UDS_AUTOBUDDY, UDS_SETBUDDYINT, WS_DISABLED, WS_MAXIMIZEBOX, WS_THICKFRAME, KestrovaSession,
                          image_format, probe_avi, template_differences)

SEQUENCE, SNAPSHOT = "ｼｰｹﾝｽ", "ｽﾅｯﾌﾟｼｮｯﾄ設定"
NUMBER = ES_RIGHT | ES_NUMBER

# An up-down aligned to its buddy's right edge takes that edge's room, so
# the buddy's width and the up-down's place are checked apart.
ENVIRONMENT_TEMPLATE = [
    (1002, "Edit", NUMBER | ES_AUTOHSCROLL, "66", (30, 25, None, 12)),
    (1003, "msctls_updown32", UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS, "Spin1",
     (None, 25, None, 12)),
    (1016, "Button", BS_AUTOCHECKBOX, "ｽｹｰﾘﾝｸﾞ", (15, 45, 39, 8)),
    (-1, "Button", BS_GROUPBOX, "     ", (75, 10, 120, 50)),
    (1058, "Button", BS_AUTOCHECKBOX, "分割ｷｬﾌﾟﾁｬ", (82, 5, 51, 18)),
    (1059, "Edit", NUMBER, "15", (85, 25, 30, 12)),
    (1060, "msctls_updown32", UDS_AUTOBUDDY, "Spin1", (105, 30, 9, 12)),
    (1013, "Button", BS_AUTOCHECKBOX, "ﾏｳｽ左ｸﾘｯｸ", (15, 85, 50, 8)),
    (1014, "Button", BS_AUTOCHECKBOX, "ﾏｳｽ右ｸﾘｯｸ", (15, 100, 50, 8)),
    (1005, "Edit", NUMBER, "5", (85, 80, 30, 12)),
    (1, "Button", BS_DEFPUSHBUTTON, "OK", (75, 145, 50, 14)),
    (2, "Button", 0, "ｷｬﾝｾﾙ", (145, 145, 50, 14)),
    (-1, "Static", 0, "SHIFT+ESCｷｰは\n常に有効です", (10, 115, 55, 15)),
    (-1, "Static", 0, "ms", (55, 25, 11, 8)),
    (-1, "Static", 0, "ﾄﾞﾗｲﾊﾞにより最適なｻｲｽﾞに設定することでﾊﾟﾌｫｰﾏﾝｽが向上することがあります\n"
                      "既定値 5 設定範囲  2 ～ 1000", (80, 95, 109, 33)),
    (-1, "Button", BS_GROUPBOX, "ﾌﾟﾚﾋﾞｭｰ", (5, 10, 65, 50)),
    (-1, "Button", BS_GROUPBOX, "ｷｬﾌﾟﾁｬ終了条件", (5, 70, 65, 65)),
    (-1, "Static", 0, "ﾚｰﾄ", (15, 25, 11, 8)),
    (-1, "Button", BS_GROUPBOX, "ﾋﾞﾃﾞｵﾊﾞｯﾌｧ", (75, 70, 120, 65)),
    (-1, "Static", 0, "分単位", (120, 30, 31, 8)),
    (-1, "Static", 0, "ﾃﾝﾎﾟﾗﾘﾌｧｲﾙの状態で保存されます", (83, 45, 105, 8)),
]
# A combo box hands its scroll bar style on to its list.
SEQUENCE_TEMPLATE = [
    (1008, "ComboBox", CBS_DROPDOWN, "15.00", (29, 8, 38, None)),
    (1010, "Button", BS_AUTOCHECKBOX, "ｵｰﾃﾞｨｵｻﾝﾌﾟﾘﾝｸﾞ", (15, 30, 63, 8)),
    (1, "Button", BS_DEFPUSHBUTTON, "OK", (7, 55, 50, 14)),
    (2, "Button", 0, "ｷｬﾝｾﾙ", (74, 54, 50, 14)),
    (-1, "Static", 0, "ﾌﾚｰﾑ", (7, 11, 19, 8)),
    (-1, "Static", 0, "ﾌﾚｰﾑ/秒", (70, 11, 32, 8)),
]
SNAPSHOT_TEMPLATE = [
    (-1, "Button", BS_GROUPBOX, "     ", (7, 12, 153, 68)),
    (1017, "Button", BS_AUTOCHECKBOX, "連続ﾌｧｲﾙへ自動保存", (14, 7, 80, 18)),
    (1018, "Edit", ES_AUTOHSCROLL, "SNAP", (15, 27, 61, 12)),
    (1020, "Edit", NUMBER, "0", (78, 27, 33, 12)),
    (1019, "msctls_updown32", UDS_SETBUDDYINT | UDS_AUTOBUDDY | UDS_ARROWKEYS, "Spin1", (111, 27, 9, 12)),
    (1021, "Button", BS_AUTOCHECKBOX, "上書警告", (14, 59, 80, 12)),
    (1, "Button", BS_DEFPUSHBUTTON, "OK", (27, 94, 50, 14)),
    (2, "Button", 0, "ｷｬﾝｾﾙ", (88, 94, 50, 14)),
    (-1, "Static", 0, ".BMP", (114, 30, 31, 8)),
    (-1, "Static", 0, "ﾌｧｲﾙ名+連番.BMP という形式で保存されます", (15, 47, 137, 8)),
]


class SettingsDialogs(unittest.TestCase):
    def open_dialog(self, s, command, caption):
        s.open_dialog(command, caption)
        return lambda ident: s.control(caption, ident)

    def assert_template(self, s, caption, template_id, template, disabled):
        controls = s.controls(caption, template_id)
        self.assertEqual(template_differences(controls, template), [])
        self.assertEqual({c.id for c in controls if c.style & WS_DISABLED}, disabled)
        return {c.id: c for c in controls}

    def test_environment_sequence_and_snapshot_settings(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.write_ini()
            s.start()
            self.environment(s)
            self.sequence_and_recording(s)
            self.snapshot_settings(s)
            self.assertEqual(s.exit_from_menu(), 0)
            ini = s.read_file("Kestrova.ini")
        for line in (b"PreviewRate=100", b"PreviewScale=0", b"PartCapture=1", b"PartTime=1200", b"LClick=0",
                     b"RClick=1", b"VideoBuffers=1000", b"EndKey=1", b"Ctrl=0", b"Shift=0", b"VkKey=27",
                     b"Frames=10.00", b"CaptureAudio=0", b"SnapFile=1", b"SnapFileName=timelapse", b"SnapOverWrite=1"):
            self.assertIn(b"\r\n" + line + b"\r\n", ini)

    def environment(self, s):
        field = self.open_dialog(s, 32781, ENVIRONMENT)
        controls = self.assert_template(s, ENVIRONMENT, 134, ENVIRONMENT_TEMPLATE, {1059, 1060})
        # The rate's arrows sit inside the right edge of the field's place.
        rate, arrows = controls[1002].rect, controls[1003].rect
        self.assertLess(rate[2], 22)
        self.assertLessEqual(abs(arrows[0] + arrows[2] - 52), 1)
        for arrows_id, buddy in ((1003, 1002), (1060, 1059)):
            self.assertEqual((field(arrows_id)["buddy"], field(arrows_id)["range"]), (buddy, (1, 999)))
            self.assertEqual(field(buddy)["limit"], 3)
        self.assertEqual([field(i)["checked"] for i in (1016, 1058, 1013, 1014)], [0, 0, 1, 1])
        s.set_text(ENVIRONMENT, 1002, "2")
        s.click(ENVIRONMENT, 1058)
        self.assertTrue(field(1059)["enabled"] and field(1060)["enabled"])
        s.answer(ENVIRONMENT, "cancel")
        field = self.open_dialog(s, 32781, ENVIRONMENT)
        self.assertEqual((field(1002)["text"], field(1058)["checked"], field(1059)["enabled"]), ("66", 0, False))

        # Scaling on: the frame becomes sizable and keeps its size.
        window = s.rect()["window"]
        s.set_text(ENVIRONMENT, 1002, "100")
        s.set_text(ENVIRONMENT, 1059, "20")
        s.click(ENVIRONMENT, 1016, 1058, 1013)
        s.close(ENVIRONMENT)
        self.assertEqual(s.style()[0] & (WS_THICKFRAME | WS_MAXIMIZEBOX), WS_THICKFRAME | WS_MAXIMIZEBOX)
        self.assertEqual(s.rect()["window"], window)

        # A larger picture while scaled leaves the window alone; scaling off
        # fits it to the picture, one menu height below it for the status bar.
        s.choose_format(FORMAT_640x480)
        self.assertEqual(s.rect()["window"], window)
        s.open_dialog(32781, ENVIRONMENT)
        s.set_text(ENVIRONMENT, 1005, "1000")
        s.click(ENVIRONMENT, 1016)
        s.close(ENVIRONMENT)
        self.assertEqual(s.style()[0] & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0)
        self.assertEqual(s.child(1).rect, (0, 0, 640, 480))
        _, _, width, height = s.rect()["client"]
        self.assertEqual(width, 640)
        self.assertIn(height - 480, range(15, 40))

    def sequence_and_recording(self, s):
        field = self.open_dialog(s, 32772, SEQUENCE)
        self.assert_template(s, SEQUENCE, 136, SEQUENCE_TEMPLATE, set())
        self.assertEqual(s.items(SEQUENCE, 1008), ["30.00", "29.97", "25.00", "24.00", "15.00", "12.00", "10.00"])
        self.assertEqual(field(1010)["checked"], 1)
        s.set_text(SEQUENCE, 1008, "10")
        s.click(SEQUENCE, 1010)
        s.answer(SEQUENCE, "ok")

        # The next recording: 10 frames a second, no sound, in a part file of
        # its own (split recording is on).
        s.record(2)
        parts = glob.glob(s.path("kv*.avi"))
        self.assertEqual(len(parts), 1)
        streams = probe_avi(parts[0])
        self.assertEqual((streams["video"]["r_frame_rate"], "audio" in streams), ("10/1", False))

    def snapshot_settings(self, s):
        field = self.open_dialog(s, 32790, SNAPSHOT)
        self.assert_template(s, SNAPSHOT, 138, SNAPSHOT_TEMPLATE, {1018, 1020, 1019, 1021})
        self.assertEqual((field(1019)["buddy"], field(1019)["range"]), (1020, (0, 2147483647)))
        self.assertEqual((field(1017)["checked"], field(1021)["checked"]), (0, 0))
        s.click(SNAPSHOT, 1017, 1021)
        self.assertTrue(all(field(i)["enabled"] for i in (1018, 1020, 1019, 1021)))
        s.set_text(SNAPSHOT, 1018, "timelapse")
        s.set_text(SNAPSHOT, 1020, "12")
        s.answer(SNAPSHOT, "ok")

        # The next snapshot takes the name and number at once, with a frame
        # of its own: ImageMagick reads it.
        s.snap("timelapse0012.bmp")
        self.assertEqual(image_format(s.path("timelapse0012.bmp")), "BMP3 640 480")
        # Its message begins with the letters of a timer text, but only the
        # timer's own text is red: this one is drawn dark.
        pixels = s.status_bar_pixels()
        self.assertGreater(sum(max(p) < 0x40 for p in pixels), 20)
        self.assertFalse([p for p in pixels if p[0] >= 0xE0 and max(p[1:]) < 0x40])

if __name__ == "__main__":
    unittest.main()
