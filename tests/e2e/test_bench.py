"""The end-to-end bench itself: kdriver reads Kestrova's window, Japanese
text survives the trip through Wine and UTF-8, dialogs get answered, and a
session leaves no Wine or X process behind, even when its test is killed."""

import json
import os
import signal
import struct
import subprocess
import sys
import textwrap
import time
import unittest

import kestrova_e2e as e2e

TOP_MENUS = ["ﾌｧｲﾙ(&F)", "ｷｬﾌﾟﾁｬ(&C)", "ｵﾌﾟｼｮﾝ(&O)", "ﾍﾙﾌﾟ(&H)"]
WS_VISIBLE = 0x10000000


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError("%s is no PNG" % path)
    return struct.unpack(">II", head[16:24])


def png_colours(path):
    out = subprocess.run(["identify", "-format", "%k", path], capture_output=True, text=True,
                         check=True)
    return int(out.stdout.strip())


class DriverOnKestrova(unittest.TestCase):
    def test_window_title_menu_screen_and_exit_code(self):
        with e2e.KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}) as s:
            s.start()
            self.assertRegex(s.driver("wait-window", "KESTROVA", 1000).strip(),
                             r"^0x[0-9a-f]{8}$")
            self.assertEqual(s.codepage()["acp"], 932)
            self.assertTrue(s.title().startswith("Kestrova ["), s.title())

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

            style, _ = s.style()
            self.assertTrue(style & WS_VISIBLE)
            x, y, w, h = s.rect()["window"]
            self.assertTrue(w > 0 and h > 0 and x + w > 0 and y + h > 0)

            shot = s.screenshot(s.path("bench.png"))
            self.assertEqual(png_size(shot), e2e.SCREEN)
            self.assertGreater(png_colours(shot), 8, "the screen looks blank")

            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            s.wait_gone()


class Dialogs(unittest.TestCase):
    CAPTION = "ベンチ確認"
    TEXT = "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽが見つかりません\n起動しますか？"

    def show_box(self, s):
        return s.spawn("kdriver.exe", ["show-box", self.CAPTION, self.TEXT, "yesno"])

    def test_box_answer_and_keys_in_the_english_locale(self):
        # Code page 1252, yet the Japanese caption and texts pass both ways
        # (command line in, UTF-8 out) unchanged.
        with e2e.KestrovaSession(locale=e2e.ENGLISH) as s:
            self.assertEqual(s.codepage()["acp"], 1252)

            proc, out = self.show_box(s)
            box = s.box(self.CAPTION)
            self.assertEqual(box.text, self.TEXT)
            self.assertEqual([b[0] for b in box.buttons], [6, 7])
            s.answer(self.CAPTION, "yes")
            self.assertEqual(proc.wait(timeout=20), 0)
            self.assertEqual(s.read_output(out).strip(), "6")

            # Real keyboard input: N is the No button's mnemonic.
            proc, out = self.show_box(s)
            s.box(self.CAPTION)
            s.key("n", cls="#32770:" + self.CAPTION)
            self.assertEqual(proc.wait(timeout=20), 0)
            self.assertEqual(s.read_output(out).strip(), "7")

            with self.assertRaises(e2e.DriverError) as failure:
                s.driver("answer", "存在しない", "ok", 300)
            self.assertEqual(failure.exception.returncode, 1)
            with self.assertRaises(e2e.DriverError) as failure:
                s.driver("post-command", "KESTROVA")
            self.assertEqual(failure.exception.returncode, 2)


GUARDED_CHILD = textwrap.dedent("""
    import json, sys, time
    sys.path.insert(0, sys.argv[1])
    import kestrova_e2e as e2e
    s = e2e.KestrovaSession().__enter__()
    s.start()
    print(json.dumps({"id": s.id, "dir": s.dir, "prefix": s.prefix}), flush=True)
    time.sleep(600)
""")


class Cleanup(unittest.TestCase):
    def assert_nothing_left(self, info, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            left = e2e.session_pids(info["id"])
            if not left and not os.path.exists(info["dir"]) and not os.path.exists(info["prefix"]):
                return
            time.sleep(0.2)
        self.fail("left behind: pids %s, dirs %s" % (
            e2e.session_pids(info["id"]),
            [d for d in (info["dir"], info["prefix"]) if os.path.exists(d)]))

    def test_closing_a_session_ends_wine_and_xvfb(self):
        with e2e.KestrovaSession() as s:
            s.start()
            info = {"id": s.id, "dir": s.dir, "prefix": s.prefix}
            self.assertGreaterEqual(len(e2e.session_pids(s.id)), 3)  # Xvfb, server, exe
            # Still running at the end: the session ends it.
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
