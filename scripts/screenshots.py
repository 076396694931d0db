#!/usr/bin/env python3
"""Takes the screenshots under docs/images of Kestrova under Wine with the
test-pattern device: the main window, each driver dialog, the window armed
for a reservation, a history page made by two reserved recordings as
Chromium (headless) shows it, and the main window and the reservation
dialog on a 144-DPI display.
Run after building: python3 scripts/screenshots.py
(--dpi N: only the main window and the reservation dialog, at N DPI)"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from kestrova_e2e import KestrovaSession  # noqa: E402
from test_startup_files import canonical_file, reservation_writes  # noqa: E402

OUT = os.path.join(ROOT, "docs", "images")


def crop(session, selector, name):
    x, y, w, h = session.rect(selector)["window"]
    shot = session.screenshot()
    target = os.path.join(OUT, name)
    subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", target], check=True)
    print(target)


# Kestrova's own dialogs: command, caption, picture.
SETTINGS_DIALOGS = [
    (32794, "ﾀｲﾏｰ予約設定", "dialog-reservations.png"),
    (32781, "環境設定", "dialog-environment.png"),
    (32784, "ﾃﾝﾎﾟﾗﾘﾃﾞｨｽｸ", "dialog-temp-disk.png"),
    (32772, "ｼｰｹﾝｽ", "dialog-sequence.png"),
    (32782, "ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽ選択", "dialog-device.png"),
    (104, "ﾊﾞｰｼﾞｮﾝ情報", "dialog-about.png"),
    (32790, "ｽﾅｯﾌﾟｼｮｯﾄ設定", "dialog-snapshot.png"),
    (32797, "ﾜﾝﾀｯﾁﾀｲﾏｰ", "dialog-one-touch.png"),
]


def dialog(session, command, caption, name):
    session.post_command(command)
    session.box(caption)
    crop(session, "#32770:" + caption, name)
    session.answer(caption, "cancel")


def listed_reservations():
    """A few reservations (none due soon) for the reservation dialog's list."""
    evening = int(time.mktime(tuple(time.localtime()[:3]) + (21, 0, 0, 0, 0, -1))) + 2 * 86400
    slots = {0: "%d,%d,0,ニュース,0" % (evening, evening + 1800),
             1: "%d,%d,10,連続ドラマ,0" % (evening + 3600, evening + 6300),
             3: "%d,%d,0,映画 (字幕),1" % (evening + 86400, evening + 93600)}
    return canonical_file(reservation_writes(slots))


def at_dpi(dpi):
    """The main window and the reservation dialog on a display of `dpi` DPI."""
    os.makedirs(OUT, exist_ok=True)
    with KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}, files={"Kestrova.tmr": listed_reservations()},
                         dpi=dpi) as s:
        s.start()
        s.wait_until(lambda: s.running(), timeout=5)
        crop(s, None, "main-window-%ddpi.png" % dpi)
        dialog(s, 32794, "ﾀｲﾏｰ予約設定", "dialog-reservations-%ddpi.png" % dpi)
        s.post_command(105)
        s.wait_exit()


def main():
    parser = argparse.ArgumentParser(description="Kestrova's screenshots under docs/images")
    parser.add_argument("--dpi", type=int, help="only the main window and the reservation dialog, at this DPI")
    dpi = parser.parse_args().dpi
    if dpi:
        at_dpi(dpi)
        return
    os.makedirs(OUT, exist_ok=True)
    with KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}, files={"Kestrova.tmr": listed_reservations()}) as s:
        s.start()
        s.wait_until(lambda: s.running(), timeout=5)
        crop(s, None, "main-window.png")
        dialog(s, 32773, "ｿｰｽ", "dialog-source.png")
        dialog(s, 32774, "ﾌｫｰﾏｯﾄ", "dialog-format.png")
        dialog(s, 32776, "圧縮", "dialog-compression.png")
        for command, caption, name in SETTINGS_DIALOGS:
            dialog(s, command, caption, name)
        s.post_command(105)
        s.wait_exit()
    at_dpi(144)
    reservations()


def reservations():
    """The window armed for a reservation, and the history page of two runs."""
    with KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}) as s:
        first = int(time.time()) + 8
        slots = {0: "%d,%d,0,ニュース,0" % (first, first + 2), 1: "%d,%d,0,映画 <字幕>,0" % (first + 6, first + 8),
                 2: "%d,%d,62,週間番組,0" % (first + 86400 * 3, first + 86400 * 3 + 1800)}
        s.write_file("Kestrova.ini", ("[Video]\r\nTempPath=%s\r\n" % s.win_path().rstrip("\\")).encode("cp932"))
        s.write_file("Kestrova.tmr", canonical_file(reservation_writes(slots)))
        s.start(["/T"])
        s.wait_until(lambda: s.read_file("Capture.log").count(b"----------\r\n") == 2 if s.exists("Capture.log") else False,
                     timeout=60, message="two reserved recordings")
        time.sleep(1)
        crop(s, None, "armed-window.png")
        page = os.path.join(tempfile.mkdtemp(), "CaptureLog.html")
        shutil.copyfile(s.path("CaptureLog.html"), page)
        s.post_command(105)
        s.wait_exit()
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if browser is None:
        print("no chromium: history-page.png not made")
        return
    target = os.path.join(OUT, "history-page.png")
    profile = tempfile.mkdtemp()
    subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                    "--lang=ja", "--user-data-dir=" + profile, "--hide-scrollbars", "--window-size=760,260",
                    "--screenshot=" + target, "file://" + page],
                   check=True, capture_output=True, env=dict(os.environ, LANG="ja_JP.UTF-8"))
    print(target)


if __name__ == "__main__":
    main()
