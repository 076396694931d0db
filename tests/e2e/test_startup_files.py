"""Start-up and exit of the real Kestrova.exe: the settings file and the
reservation file it leaves, byte for byte. The expected bytes come from the
write sequence Kestrova performs (39 settings keys in their order, then
Timer0..Timer98 of "Schedule"), replayed once through the real
WritePrivateProfileStringA (tools/iniprobe.exe) to show that one atomic
rewrite gives exactly the file those calls produce. (The same files under
the other code pages: test_codepages.)
"""

import os
import shutil
import subprocess
import time
import unittest

from kestrova_e2e import (SETTINGS, TEST_PATTERN, KestrovaSession, canonical_file, reservation_writes,
                          settings_writes, slot, tmr)


class StartupFiles(unittest.TestCase):
    def exit_from_menu(self, session):
        """Ends the running Kestrova from its menu; returns where its window was."""
        x, y, _, _ = session.rect()["window"]
        self.assertEqual(session.exit_from_menu(), 0)
        return x, y

    def test_files_from_an_empty_directory_and_from_existing_files(self):
        # Settings read back as they are (SpeedSave=1 is not: with space
        # reserved it is written as 0), a section of someone else's kept.
        kept = dict(TempPath="C:\\windows\\temp\\", TempFile="1", TempSize="50", Frames="29.97", Confirm="-1",
                    PreviewRate="100", TempFileName="録画.avi", SnapFileName="ｽﾅｯﾌﾟ", FontFaceName="ＭＳ ゴシック",
                    FontSize="-16", TopMost="1")
        section = {key: name for name, key, _ in SETTINGS}
        ini_before = canonical_file([(section[key], key, value) for key, value in dict(
            kept, SpeedSave="1", WindowPosX="100", WindowPosY="50").items()] + [("Mine", "Kept", "yes")])
        tmr_before = canonical_file([("Schedule", key, value) for key, value in (
            ("Timer0", "986342400,986346000,0,news,1"), ("Timer7", "x"), ("Timer99", "keep"), ("Other", "1"))])
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            # No TempPath: the work file lies in the folder Kestrova was started in.
            self.assertEqual(s.title(), "Kestrova [%s\\一時ﾌｧｲﾙ.AVI]" % s.win_path().rstrip("\\"))
            x, y = self.exit_from_menu(s)
            for name, writes in (("Kestrova.ini", settings_writes(x, y)), ("Kestrova.tmr", reservation_writes({}))):
                made, replayed = s.read_file(name), "win32" + name[-4:]
                self.assertEqual(made, canonical_file(writes))
                # The same 39 and 99 calls of WritePrivateProfileStringA give the same bytes.
                s.write_file(replayed + ".txt", "".join("write\t%s\t%s\t%s\n" % w for w in writes))
                s.run_windows_program("iniprobe.exe", ["win32", s.win_path(replayed), s.win_path(replayed + ".txt")],
                                      check=True)
                self.assertEqual(s.read_file(replayed), made)

            # Files already there are read and written back.
            s.write_file("Kestrova.ini", ini_before)
            s.write_file("Kestrova.tmr", tmr_before)
            s.start()
            self.assertEqual(s.title(), "Kestrova [C:\\windows\\temp\\録画.avi]")
            self.assertEqual(self.exit_from_menu(s), (100, 50))
            self.assertEqual(s.read_file("Kestrova.ini"),
                             canonical_file(settings_writes(100, 50, **kept), ini_before))
            # The one-time slot whose span passed while Kestrova was closed
            # was retired; a value that cannot be used and the keys of no slot
            # stay as they are.
            self.assertEqual(s.read_file("Kestrova.tmr"), canonical_file(reservation_writes({7: "x"}), tmr_before))

    def test_one_kestrova_per_folder_takes_the_command_lines_of_later_starts(self):
        start = int(time.time()) + 3600
        t = time.localtime(start)
        armed = "(次回ﾀｲﾏｰ予定日:%d/%2d/%2d)" % (t.tm_year, t.tm_mon, t.tm_mday)
        # Without a capture device the first start asks whether to run: it
        # holds the folder from its start, its window is not up yet.
        with KestrovaSession(files={"Kestrova.tmr": tmr({0: slot(start, start + 60)})}) as s:
            kestrovas = lambda: [w for w in s.windows() if w[1] == "KESTROVA"]
            s.start(wait=False)
            s.box("警告")
            began = time.monotonic()
            self.assertEqual(s.run_windows_program("Kestrova.exe", ["/T"], timeout=30).returncode, 0)
            self.assertLess(time.monotonic() - began, 20)  # it waited a few seconds, then gave up
            s.answer("警告", "yes")
            s.wait_window()
            first = s.proc
            self.assertNotIn("checked", s.menu_item(32793).flags)  # the line of the start that gave up is gone

            # Later starts (the exe named in other case, with forward slashes)
            # hand their line over and end: "/T" arms, "/t" (armed already)
            # goes into the notification area, a plain start brings it back.
            spelled = s.win_path("Kestrova.exe").upper().replace("\\", "/")
            for args, visible in ((["/T"], True), (["/t"], False), ([], True)):
                with self.subTest(args=args):
                    self.assertEqual(s.run_windows_program(spelled, args, timeout=30).returncode, 0)
                    s.wait_until(lambda: [(w[3], w[4].endswith(armed)) for w in kestrovas()] == [(visible, True)],
                                 message="one Kestrova, armed, %s" % ("shown" if visible else "hidden"))
            self.assertTrue(first.poll() is None)

            # A copy in another folder, with its own settings, runs beside it.
            os.mkdir(s.path("other"))
            shutil.copy2(s.path("Kestrova.exe"), s.path("other/Kestrova.exe"))
            s.write_file("other/Kestrova.ini", ("[Video]\r\nTempPath=%s\r\n" % s.win_path("other")).encode("cp932"))
            other = s._popen([s.env["KESTROVA_WINE"], s.win_path("other/Kestrova.exe")], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            s.answer("警告", "yes")
            title = "Kestrova [%s\\一時ﾌｧｲﾙ.AVI]" % s.win_path("other")
            s.wait_until(lambda: len({w[2] for w in kestrovas()}) == 2 and title in [w[4] for w in kestrovas()],
                         message="two Kestrovas, the other with its own settings")
            s.post_command(105, cls="KESTROVA:" + title)
            self.assertEqual(other.wait(timeout=30), 0)
            self.assertTrue(s.exists("other/Kestrova.tmr"))
            self.assertEqual(s.exit_from_menu(), 0)


if __name__ == "__main__":
    unittest.main()
