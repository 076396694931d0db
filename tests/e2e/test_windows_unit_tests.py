"""The unit tests built as a Windows program (x64 or x86, as the session's
build), run under Wine: the portable core proven in each build that ships
(64-bit times on the 32-bit runtime too, the Windows code-page conversions),
under a Japanese (932), a UTF-8 (65001) and an English (1252) system code
page."""

import re
import shutil
import unittest

import kestrova_e2e
from kestrova_e2e import KestrovaSession


class WindowsUnitTests(unittest.TestCase):
    def test_in_the_japanese_utf8_and_english_code_pages(self):
        exe = kestrova_e2e.find_build_file("kestrova_unit_tests.exe")
        self.assertIsNotNone(exe, "kestrova_unit_tests.exe was not built")
        for locale in (kestrova_e2e.JAPANESE, kestrova_e2e.UTF8, kestrova_e2e.ENGLISH):
            with self.subTest(locale=locale), KestrovaSession(locale=locale) as s:
                shutil.copy(exe, s.path("kestrova_unit_tests.exe"))
                result = s.run_windows_program("kestrova_unit_tests.exe", ["--gtest_brief=1"], timeout=300)
                output = result.stdout + result.stderr
                self.assertEqual(result.returncode, 0, output[-4000:])
                ran = re.search(r"(\d+) tests? from \d+ test suites? ran", output)
                self.assertIsNotNone(ran, output[-2000:])
                self.assertGreater(int(ran.group(1)), 50)


if __name__ == "__main__":
    unittest.main()
