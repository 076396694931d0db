"""The end-to-end bench itself: kdriver reads Kestrova's window, Japanese
text survives the trip through Wine and UTF-8, dialogs get answered, and a
session leaves no Wine or X process behind, even when its test is killed.
Its Kestrova runs in the English locale, where it must still show Japanese
and write its settings in Code Page 932."""

import json
import os
import signal
import subprocess
import sys
import textwrap
import time
import unittest

import kestrova_e2e as e2e
from test_startup_files import canonical_file, settings_writes

TOP_MENUS = ["ﾌｧｲﾙ(&F)", "ｷｬﾌﾟﾁｬ(&C)", "ｵﾌﾟｼｮﾝ(&O)", "ﾍﾙﾌﾟ(&H)"]
WS_VISIBLE = 0x10000000


GUARDED_CHILD = textwrap.dedent("""
    import json, sys, time
    sys.path.insert(0, sys.argv[1])
    import kestrova_e2e as e2e
    s = e2e.KestrovaSession().__enter__()
    s.start()
    print(json.dumps({"id": s.id, "dir": s.dir, "prefix": s.prefix}), flush=True)
    time.sleep(600)
""")


class Bench(unittest.TestCase):
    def assert_nothing_left(self, info, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            left = e2e.session_pids(info["id"])
            if not left and not os.path.exists(info["dir"]) and not os.path.exists(info["prefix"]):
                return
            time.sleep(0.2)
        self.fail("left behind: pids %s, dirs %s" % (
            e2e.session_pids(info["id"]), [d for d in (info["dir"], info["prefix"]) if os.path.exists(d)]))

    def test_kestrova_and_the_driver_in_the_english_locale(self):
        # Code page 1252, yet Japanese menus, captions and texts pass both
        # ways (command line in, UTF-8 out) unchanged.
        with e2e.KestrovaSession(locale=e2e.ENGLISH, env={"KESTROVA_TESTPATTERN": "1"}) as s:
            s.start()
            self.assertRegex(s.driver("wait-window", "KESTROVA", 1000).strip(), r"^0x[0-9a-f]{8}$")
            self.assertEqual(s.codepage()["acp"], 1252)
            self.assertEqual(s.title(), "Kestrova [\\一時ﾌｧｲﾙ.AVI]")
            for init in (False, True):
                items = s.menu(init=init)
                top = [i for i in items if "." not in i.path]
                self.assertEqual([i.text for i in top], TOP_MENUS)
                self.assertTrue(all("popup" in i.flags and i.id is None for i in top))
                # Every popup has items, and their paths nest under it.
                for t in top:
                    self.assertTrue(any(i.path.startswith(t.path + ".") for i in items), t)
                # Exactly one state word per item.
                for i in items:
                    self.assertEqual(len(i.flags & {"enabled", "grayed", "disabled"}), 1, i)
            texts = {item.id: item.text for item in items}
            self.assertEqual(texts[105], "Kestrovaの終了(&X)")
            self.assertEqual(texts[32786], "名前を付けて保存(&A)...\tCtrl+S")
            self.assertTrue(s.style()[0] & WS_VISIBLE)
            x, y, w, h = s.rect()["window"]
            self.assertTrue(w > 0 and h > 0 and x + w > 0 and y + h > 0)
            shot = subprocess.run(["identify", "-format", "%m %w %h %k", s.screenshot(s.path("bench.png"))],
                                  capture_output=True, text=True, check=True).stdout.split()
            self.assertEqual(shot[:3], ["PNG", "%d" % e2e.SCREEN[0], "%d" % e2e.SCREEN[1]])
            self.assertGreater(int(shot[3]), 8, "the screen looks blank")

            caption, text = "ベンチ確認", "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが見つかりません\n起動しますか？"
            proc, out = s.spawn("kdriver.exe", ["show-box", caption, text, "yesno"])
            box = s.box(caption)
            self.assertEqual(box.text, text)
            self.assertEqual([b[0] for b in box.buttons], [6, 7])
            s.answer(caption, "yes")
            self.assertEqual(proc.wait(timeout=20), 0)
            self.assertEqual(s.read_output(out).strip(), "6")
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            s.wait_gone()
            self.assertEqual(s.read_file("Kestrova.ini"), canonical_file(settings_writes(x, y)))

            # Still running at the end: the session ends it, Wine and Xvfb.
            s.start()
            info = {"id": s.id, "dir": s.dir, "prefix": s.prefix}
            self.assertGreaterEqual(len(e2e.session_pids(s.id)), 3)  # Xvfb, server, exe
        self.assert_nothing_left(info, timeout=0.5)

    def test_a_killed_test_process_is_cleaned_up_by_the_guard(self):
        child = subprocess.Popen(
            [sys.executable, "-c", GUARDED_CHILD,
             os.path.dirname(os.path.abspath(e2e.__file__))],
            stdout=subprocess.PIPE, text=True)
        try:
            info = json.loads(child.stdout.readline())
            self.assertTrue(e2e.session_pids(info["id"]))
        finally:
            child.send_signal(signal.SIGKILL)
            child.wait()
            child.stdout.close()
        self.assert_nothing_left(info, timeout=30)


if __name__ == "__main__":
    unittest.main()
