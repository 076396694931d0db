"""Kestrova on displays of 96 and 144 DPI (LogPixels in the session's
registry; Kestrova is per-monitor aware): the status bar and the dialogs
grow with the DPI, the picture keeps its pixel size, the settings file is
the same byte for byte; and WM_DPICHANGED, which Wine never sends by
itself, as Windows sends it when the window moves to another display.
(The scaling at other DPIs is the unit tests'.)"""

import unittest

from kestrova_e2e import ENVIRONMENT, FONT, RESERVATIONS, TEST_PATTERN, KestrovaSession


def parts(session):
    """The capture window's and the status bar's rectangles (x, y, w, h)."""
    children = {c.id: c for c in session.children()}
    return children[1].rect, children[2].rect


class DisplayDpi(unittest.TestCase):
    def assertScaled(self, value, base, factor, what):
        # Rounding of font metrics and borders that do not scale (Wine's
        # frame is 3 pixels at every DPI) keep it near, not at, the factor.
        self.assertAlmostEqual(value / base, factor, delta=0.12 * factor,
                               msg="%s: %d against %d at 96 DPI" % (what, value, base))

    def run_at(self, dpi):
        """The window's parts, the reservation dialog's size and the settings
        file after the font dialog's OK, at `dpi`."""
        # A 24-point status font: its height is -32 at 96 DPI.
        ini = "[General]\r\nFontSize=-32\r\nFontFaceName=IPA Pゴシック\r\n".encode("cp932")
        with KestrovaSession(env=TEST_PATTERN, dpi=dpi, files={"Kestrova.ini": ini}) as s:
            s.start()
            info = s.dpi_info()
            self.assertEqual((info["window"], info["logpixels"], info["awareness"]), (dpi, dpi, 2), info)
            capture, bar = parts(s)
            s.open_dialog(32794, RESERVATIONS)
            dialog = s.rect("#32770:" + RESERVATIONS)["window"][2:]
            s.answer(RESERVATIONS, "cancel")
            s.open_dialog(32795, FONT)
            self.assertEqual(s.texts(FONT)[1138], "24")
            s.answer(FONT, "ok")
            self.assertEqual(s.exit_from_menu(), 0)
            return capture, bar, dialog, s.read_file("Kestrova.ini")

    def test_the_bar_and_dialogs_scale_the_picture_does_not_and_the_settings_file_is_the_same(self):
        _, bar, dialog, ini = self.run_at(96)
        self.assertIn(b"FontSize=-32\r\n", ini)
        capture_at, bar_at, dialog_at, ini_at = self.run_at(144)
        self.assertEqual(capture_at[:3], (0, 0, 320))
        self.assertIn(capture_at[3], range(240, 249))
        self.assertEqual(bar_at[1], 240)  # right below the picture
        self.assertScaled(bar_at[3], bar[3], 1.5, "the status bar's height")
        for i, what in enumerate(("width", "height")):
            self.assertScaled(dialog_at[i], dialog[i], 1.5, "the reservation dialog's " + what)
        # The font is shown in the dialog at its size and stored at its
        # 96-DPI height; the window's place is the same.
        self.assertEqual(ini_at, ini)

    def test_a_window_moved_to_another_dpi_takes_the_suggested_place_and_fits_the_picture_again(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            start, (capture, bar) = s.rect(), parts(s)
            s.dpi_changed(144, (100, 50, 500, 500))
            moved, (capture_at, bar_at) = s.rect(), parts(s)
            # A fixed frame: the place is taken, the size is the picture's.
            self.assertEqual(moved["window"][:2], (100, 50))
            self.assertEqual(moved["client"][2], 320)
            self.assertEqual(capture_at[:3], capture[:3])
            self.assertIn(capture_at[3], range(240, 249))
            self.assertGreater(bar_at[3], bar[3])
            self.assertEqual(bar_at[1] + bar_at[3], moved["client"][3])
            # Back at 96 DPI it is the window it was, at the new place.
            s.dpi_changed(96, (30, 40, 1, 1))
            back = s.rect()
            self.assertEqual(back["window"], (30, 40) + start["window"][2:])
            self.assertEqual((back["client"], parts(s)), (start["client"], (capture, bar)))
            # A sizable frame (scaling on: the picture scaled to the window)
            # takes the suggested rectangle as it is.
            s.open_dialog(32781, ENVIRONMENT)
            s.click(ENVIRONMENT, 1016)
            s.close(ENVIRONMENT)
            s.dpi_changed(144, (10, 20, 500, 400))
            rect, (_, bar) = s.rect(), parts(s)
            self.assertEqual(rect["window"], (10, 20, 500, 400))
            self.assertEqual((bar[2], bar[1] + bar[3]), rect["client"][2:])
            self.assertEqual(s.exit_from_menu(), 0)


if __name__ == "__main__":
    unittest.main()
