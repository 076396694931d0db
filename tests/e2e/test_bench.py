"""Kestrova in the English locale (code page 1252): its menus and title stay
Japanese through Wine and the driver's UTF-8, and it still writes its
settings in Code Page 932, byte for byte as in the Japanese locale."""

import unittest

import kestrova_e2e as e2e
from test_startup_files import settings_writes


class Bench(unittest.TestCase):
    def test_kestrova_in_the_english_locale(self):
        with e2e.KestrovaSession(locale=e2e.ENGLISH, env=e2e.TEST_PATTERN) as s:
            s.start()
            self.assertEqual(s.codepage()["acp"], 1252)
            self.assertEqual(s.title(), "Kestrova [\\一時ﾌｧｲﾙ.AVI]")
            items = s.menu(init=True)
            self.assertEqual([i.text for i in items if "." not in i.path],
                             ["ﾌｧｲﾙ(&F)", "ｷｬﾌﾟﾁｬ(&C)", "ｵﾌﾟｼｮﾝ(&O)", "ﾍﾙﾌﾟ(&H)"])
            texts = {item.id: item.text for item in items}
            self.assertEqual((texts[105], texts[32786]), ("Kestrovaの終了(&X)", "名前を付けて保存(&A)...\tCtrl+S"))
            x, y, _, _ = s.rect()["window"]
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            self.assertEqual(s.read_file("Kestrova.ini"), e2e.canonical_file(settings_writes(x, y)))


if __name__ == "__main__":
    unittest.main()
