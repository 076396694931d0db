"""The main window with a capture device (the built-in test pattern) and
without one: the capture child window, the status bar, menu states, the
driver dialogs and refitting, the top-most and font settings."""

import os
import subprocess
import unittest

import kestrova_e2e
from kestrova_e2e import KestrovaSession

TEST_PATTERN = {"KESTROVA_TESTPATTERN": "1"}
WS_EX_TOPMOST = 0x00000008
WS_THICKFRAME = 0x00040000

# Dialogs of the test-pattern device.
SOURCE, FORMAT, COMPRESSION = "ｿｰｽ", "ﾌｫｰﾏｯﾄ", "圧縮"
FORMAT_640x480 = 1013
SOURCE_GRADIENT = 1002


def colours_in(path, rect):
    """How many different colours a screen rectangle (x, y, w, h) holds."""
    x, y, w, h = rect
    out = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                          "-format", "%k", "info:"], capture_output=True, text=True, check=True)
    return int(out.stdout.strip())


def client_origin(session):
    """Screen position of the main window's client area (the window's frame
    is as wide on the left as on the right and the client area sits at the
    bottom of the window above its bottom frame)."""
    wx, wy, ww, wh = session.rect()["window"]
    _, _, cw, ch = session.rect()["client"]
    border = (ww - cw) // 2
    return wx + border, wy + wh - border - ch


def items(session):
    return {(i.id if i.id is not None else i.path): i for i in session.menu(init=True)}


class WithTestPattern(unittest.TestCase):
    def test_capture_window_status_bar_menus_and_picture(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            children = {c.id: c for c in s.children()}
            capture = children[1]
            self.assertTrue(capture.visible)
            # Sized to the image; the window's size handling gives it the
            # client height less one menu height, which may exceed the
            # image by the few pixels the status bar is taller than a menu.
            self.assertEqual(capture.rect[:3], (0, 0, 320))
            self.assertIn(capture.rect[3], range(240, 249))
            self.assertEqual(children[2].cls.lower(), "msctls_statusbar32")

            menu = items(s)
            self.assertIn("enabled", menu["2"].flags)          # ｷｬﾌﾟﾁｬ(&C)
            self.assertIn("checked", menu[32783].flags)        # preview on
            self.assertIn("grayed", menu[32777].flags)         # no overlay
            self.assertIn("grayed", menu[32775].flags)         # no display dialog
            self.assertIn("enabled", menu[32773].flags)        # source dialog
            self.assertIn("enabled", menu[32774].flags)        # format dialog
            self.assertIn("checked", menu[32789].flags)        # status display
            self.assertNotIn("checked", menu[32787].flags)     # confirm off
            self.assertIn("grayed", menu[32786].flags)         # no work file yet

            # The live pattern is painted: many colours, and it moves.
            x, y = client_origin(s)
            first = s.screenshot()
            self.assertGreater(colours_in(first, (x, y, 320, 240)), 8)
            second = s.screenshot()
            a = subprocess.run(["compare", "-metric", "AE", "-extract", "320x240+%d+%d" % (x, y), first, second,
                                "null:"], capture_output=True, text=True)
            self.assertGreater(float(a.stderr.split()[0]), 0, "the picture did not change")

            # Preview off and on again through the menu command.
            s.send_command(32783)
            self.assertNotIn("checked", s.menu_item(32783).flags)
            s.send_command(32783)
            self.assertIn("checked", s.menu_item(32783).flags)
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            self.assertIn(b"Preview=1\r\n", s.read_file("Kestrova.ini"))

    def test_format_dialog_changes_the_size_and_refits_the_window(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            before = s.rect()["client"]
            s.post_command(32774)
            s.box(FORMAT)
            s.driver("click", "#32770:" + FORMAT, FORMAT_640x480)
            s.answer(FORMAT, "ok")
            s.sync()
            capture = {c.id: c for c in s.children()}[1]
            self.assertEqual(capture.rect[:3], (0, 0, 640))
            self.assertIn(capture.rect[3], range(480, 489))
            _, _, cw, ch = s.rect()["client"]
            self.assertEqual(cw, 640)
            self.assertGreater(ch, 480)
            self.assertGreater(ch, before[3])
            # The status bar was made anew along the new bottom edge.
            bar = {c.id: c for c in s.children()}[2]
            self.assertEqual(bar.rect[1] + bar.rect[3], ch)
            x, y = client_origin(s)
            self.assertGreater(colours_in(s.screenshot(), (x, y, 640, 480)), 8)

    def test_source_and_compression_dialogs(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            s.post_command(32773)
            s.box(SOURCE)
            s.driver("click", "#32770:" + SOURCE, SOURCE_GRADIENT)
            s.answer(SOURCE, "ok")
            s.post_command(32776)
            box = s.box(COMPRESSION)
            self.assertIn((1, "OK"), box.buttons)
            s.answer(COMPRESSION, "cancel")
            s.sync()
            self.assertTrue(s.running())

    def test_top_most_toggle_and_the_value_written(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            self.assertFalse(s.style()[1] & WS_EX_TOPMOST)
            s.send_command(32800)
            self.assertTrue(s.style()[1] & WS_EX_TOPMOST)
            self.assertIn("checked", s.menu_item(32800).flags)
            s.send_command(32787)  # confirm before capture: on is -1 as well
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            ini = s.read_file("Kestrova.ini")
            self.assertIn(b"TopMost=-1\r\n", ini)
            self.assertIn(b"Confirm=-1\r\n", ini)
        # Started again top-most; one toggle switches it off and 0 is written.
        with KestrovaSession(env=TEST_PATTERN, files={"Kestrova.ini": ini}) as s:
            s.start()
            self.assertTrue(s.style()[1] & WS_EX_TOPMOST)
            s.send_command(32800)
            self.assertFalse(s.style()[1] & WS_EX_TOPMOST)
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            self.assertIn(b"TopMost=0\r\n", s.read_file("Kestrova.ini"))

    def test_font_chosen_is_written_at_exit(self):
        font_dialog = "フォントの指定"  # the system's font chooser
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            s.post_command(32795)
            s.box(font_dialog)
            s.answer(font_dialog, "cancel")
            s.post_command(32795)
            s.box(font_dialog)
            fields = {c.id: c.text for c in s.children("#32770:" + font_dialog)}
            face, points = fields[1136], int(fields[1138])
            self.assertNotEqual(face, "system")
            s.answer(font_dialog, "ok")
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            ini = s.read_file("Kestrova.ini")
            self.assertIn(b"FontFaceName=" + face.encode("cp932") + b"\r\n", ini)
            # The size is stored as the font's height: points at 96 dpi, negative.
            self.assertIn(b"FontSize=%d\r\n" % -round(points * 96 / 72), ini)

    def test_status_display_toggle(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            s.send_command(32789)
            self.assertNotIn("checked", s.menu_item(32789).flags)
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            self.assertIn(b"Status=0\r\n", s.read_file("Kestrova.ini"))


class WithoutDevice(unittest.TestCase):
    QUESTION = "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが見つかりません　または使用中です\n起動しますか？"

    def test_no_ends_the_program_and_leaves_the_settings_alone(self):
        ini = "[Video]\r\nPreview=0\r\n".encode("cp932")
        with KestrovaSession(files={"Kestrova.ini": ini}) as s:
            s.start(wait=False)
            box = s.box("警告")
            self.assertEqual(box.text, self.QUESTION)
            self.assertEqual(len(box.buttons), 2)
            s.answer("警告", "no")
            self.assertEqual(s.wait_exit(), 0)
            self.assertEqual(s.read_file("Kestrova.ini"), ini)
            self.assertFalse(s.exists("Kestrova.tmr"))

    def test_yes_runs_with_the_capture_menu_greyed(self):
        with KestrovaSession() as s:
            s.start(wait=False)
            s.answer("警告", "yes")
            s.wait_window()
            menu = items(s)
            self.assertIn("grayed", menu["2"].flags)
            self.assertIn("grayed", menu[32783].flags)
            self.assertIn("grayed", menu[32777].flags)
            self.assertIn("grayed", menu["3.7"].flags)  # ﾋﾞﾃﾞｵ設定(&V)
            self.assertEqual(s.rect()["client"][2], 320)
            before = sorted(os.listdir(s.dir))
            windows = len(s.windows())
            for combo in ("ctrl+c", "ctrl+shift+c", "ctrl+e"):
                s.key(combo)
            s.sync()
            self.assertEqual(len(s.windows()), windows)
            self.assertEqual(sorted(os.listdir(s.dir)), before)
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
