"""The main window with a capture device (the built-in test pattern): the
capture child window, the status bar, menu states, the driver dialogs and
refitting, the top-most and font settings. (Without a device:
test_reservations.)"""

import subprocess
import unittest

from kestrova_e2e import FONT, FORMAT_640x480, TEST_PATTERN, WS_EX_TOPMOST, KestrovaSession, colours_in

SOURCE, COMPRESSION = "ｿｰｽ", "圧縮"  # dialogs of the test-pattern device
PATTERN_INI = "KestrovaTestPattern.ini"
SOURCE_GRADIENT = 1002


def topmost(session):
    return bool(session.style()[1] & WS_EX_TOPMOST)


class WithTestPattern(unittest.TestCase):
    def exit_and_read_ini(self, s):
        self.assertEqual(s.exit_from_menu(), 0)
        return s.read_file("Kestrova.ini")

    def test_window_dialogs_refitting_and_the_settings_written_at_exit(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            capture = s.child(1)
            self.assertTrue(capture.visible)
            # Sized to the image; the window's size handling gives it the
            # client height less one menu height, which may exceed the
            # image by the few pixels the status bar is taller than a menu.
            self.assertEqual(capture.rect[:3], (0, 0, 320))
            self.assertIn(capture.rect[3], range(240, 249))
            self.assertEqual(s.child(2).cls.lower(), "msctls_statusbar32")

            # ｷｬﾌﾟﾁｬ(&C) usable, preview on, no overlay, no display dialog, source
            # and format dialogs, status shown, no work file to save yet; confirm off.
            menu = s.menu_states()
            for ident, state in (("2", "enabled"), (32783, "checked"), (32777, "grayed"), (32775, "grayed"),
                                 (32773, "enabled"), (32774, "enabled"), (32789, "checked"), (32786, "grayed")):
                self.assertIn(state, menu[ident].flags, ident)
            self.assertNotIn("checked", menu[32787].flags)

            # The live pattern is painted: many colours, and it moves.
            area = s.client_geometry(0, 0, 320, 240)
            first = s.screenshot()
            self.assertGreater(colours_in(first, area), 8)
            a = subprocess.run(["compare", "-metric", "AE", "-extract", area, first, s.screenshot(), "null:"],
                               capture_output=True, text=True)
            self.assertGreater(float(a.stderr.split()[0]), 0, "the picture did not change")

            s.open_dialog(32773, SOURCE)
            s.click(SOURCE, SOURCE_GRADIENT)
            s.answer(SOURCE, "ok")
            self.assertIn((1, "OK"), s.open_dialog(32776, COMPRESSION).buttons)
            s.answer(COMPRESSION, "cancel")

            # A new size from the format dialog refits the window.
            s.choose_format(FORMAT_640x480)
            capture = s.child(1)
            self.assertEqual(capture.rect[:3], (0, 0, 640))
            self.assertIn(capture.rect[3], range(480, 489))
            # The status bar was made anew along the new bottom edge.
            _, _, cw, ch = s.rect()["client"]
            bar = s.child(2)
            self.assertEqual((cw, bar.rect[1] + bar.rect[3]), (640, ch))
            self.assertGreater(ch, 480)
            self.assertGreater(colours_in(s.screenshot(), s.client_geometry(0, 0, 640, 480)), 8)

            self.assertFalse(topmost(s))
            s.send_command(32800)
            self.assertTrue(topmost(s))
            self.assertIn("checked", s.menu_item(32800).flags)
            s.send_command(32787)  # confirm before capture: on is -1 as well
            s.send_command(32789)
            self.assertNotIn("checked", s.menu_item(32789).flags)
            s.open_dialog(32795, FONT)
            fields = s.texts(FONT)
            face, points = fields[1136], int(fields[1138])
            self.assertNotEqual(face, "system")
            s.answer(FONT, "ok")
            ini = self.exit_and_read_ini(s)
            for line in (b"TopMost=-1", b"Confirm=-1", b"Status=0",
                         b"FontFaceName=" + face.encode("cp932"),
                         # The size is stored as the font's height: points at 96 dpi, negative.
                         b"FontSize=%d" % -round(points * 96 / 72)):
                self.assertIn(line + b"\r\n", ini)

            # The device kept its format for the next run.
            self.assertEqual(s.read_file(PATTERN_INI), b"[Format]\r\nWidth=640\r\nHeight=480\r\nPicture=1\r\n")

            # Started again top-most; one toggle switches it off and 0 is written.
            s.start()
            self.assertTrue(topmost(s))
            s.send_command(32800)
            self.assertFalse(topmost(s))
            self.assertIn(b"TopMost=0\r\n", self.exit_and_read_ini(s))


if __name__ == "__main__":
    unittest.main()
