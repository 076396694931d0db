#!/usr/bin/env python3
"""Takes the screenshots under docs/images of Kestrova under Wine with the
test-pattern device: the main window and each driver dialog.
Run after building: python3 scripts/screenshots.py"""

import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from kestrova_e2e import KestrovaSession  # noqa: E402

OUT = os.path.join(ROOT, "docs", "images")


def crop(session, selector, name):
    x, y, w, h = session.rect(selector)["window"]
    shot = session.screenshot()
    target = os.path.join(OUT, name)
    subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", target], check=True)
    print(target)


def dialog(session, command, caption, name):
    session.post_command(command)
    session.box(caption)
    crop(session, "#32770:" + caption, name)
    session.answer(caption, "cancel")


def main():
    os.makedirs(OUT, exist_ok=True)
    with KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}) as s:
        s.start()
        s.wait_until(lambda: s.running(), timeout=5)
        crop(s, None, "main-window.png")
        dialog(s, 32773, "ｿｰｽ", "dialog-source.png")
        dialog(s, 32774, "ﾌｫｰﾏｯﾄ", "dialog-format.png")
        dialog(s, 32776, "圧縮", "dialog-compression.png")
        s.post_command(105)
        s.wait_exit()


if __name__ == "__main__":
    main()
