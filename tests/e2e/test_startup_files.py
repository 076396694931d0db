"""Start-up and exit of the real Kestrova.exe: the settings file and the
reservation file it leaves, byte for byte.

The expected bytes come from the write sequence Kestrova performs (39
settings keys in their order, then Timer0..Timer98 of "Schedule"); one test
also replays that sequence through the real WritePrivateProfileStringA
(tools/iniprobe.exe) to show that one atomic rewrite gives exactly the file
those calls produce.
"""

import unittest
from collections import OrderedDict

import kestrova_e2e
from kestrova_e2e import KestrovaSession

# Write order at exit: (section, key).
SETTINGS_ORDER = [
    ("Video", "TempPath"), ("Video", "TempFile"), ("Video", "TempSize"), ("Audio", "SampleChannel"),
    ("Audio", "SampleRate"), ("Audio", "SampleBit"), ("Video", "Preview"), ("Video", "Overlay"),
    ("Video", "Confirm"), ("Video", "Status"), ("Video", "PreviewRate"), ("Video", "Frames"),
    ("Audio", "CaptureAudio"), ("Video", "Ctrl"), ("Video", "Shift"), ("Video", "LClick"),
    ("Video", "RClick"), ("Video", "EndKey"), ("Video", "VkKey"), ("Video", "SnapFile"),
    ("Video", "SnapOverWrite"), ("Video", "SnapFileName"), ("Video", "PreviewScale"),
    ("Audio", "SampleFormat"), ("Video", "VideoBuffers"), ("General", "FontSize"),
    ("General", "FontFaceName"), ("General", "FontWeight"), ("General", "FontItalic"),
    ("Video", "FixedTempFile"), ("Video", "TempFileName"), ("General", "SpeedSave"),
    ("General", "WindowPosX"), ("General", "WindowPosY"), ("Video", "PartCapture"),
    ("Video", "PartTime"), ("Video", "DeviceIndex"), ("Video", "Onetouch"), ("General", "TopMost"),
]

DEFAULTS = {
    "TempPath": "", "TempFile": "0", "TempSize": "0", "SampleChannel": "2", "SampleRate": "44100",
    "SampleBit": "16", "Preview": "1", "Overlay": "0", "Confirm": "0", "Status": "1",
    "PreviewRate": "66", "Frames": "15.00", "CaptureAudio": "1", "Ctrl": "0", "Shift": "0",
    "LClick": "1", "RClick": "1", "EndKey": "1", "VkKey": "27", "SnapFile": "0",
    "SnapOverWrite": "0", "SnapFileName": "SNAP", "PreviewScale": "0", "SampleFormat": "1",
    "VideoBuffers": "5", "FontSize": "12", "FontFaceName": "system", "FontWeight": "400",
    "FontItalic": "0", "FixedTempFile": "1", "TempFileName": "一時ﾌｧｲﾙ.AVI", "SpeedSave": "0",
    "PartCapture": "0", "PartTime": "900", "DeviceIndex": "0", "Onetouch": "15,30,45,60",
    "TopMost": "0",
}

TEST_PATTERN = {"KESTROVA_TESTPATTERN": "1"}


def settings_writes(values, x, y):
    values = dict(values, WindowPosX=str(x), WindowPosY=str(y))
    return [(section, key, values[key]) for section, key in SETTINGS_ORDER]


def reservation_writes(slots):
    return [("Schedule", "Timer%d" % i, slots.get(i, "")) for i in range(99)]


def canonical_file(writes, before=b""):
    """The file the profile functions make of `writes` on top of a file that
    is already in their form (sections of "[name]" and "key=value" lines)."""
    sections = OrderedDict()
    current = None
    for line in before.split(b"\r\n"):
        if line.startswith(b"["):
            current = sections.setdefault(line[1:-1], OrderedDict())
        elif line:
            key, _, value = line.partition(b"=")
            current[key] = value
    for section, key, value in writes:
        keys = sections.setdefault(section.encode("cp932"), OrderedDict())
        keys[key.encode("cp932")] = value.encode("cp932")
    out = b""
    for name, keys in sections.items():
        out += b"[" + name + b"]\r\n"
        out += b"".join(k + b"=" + v + b"\r\n" for k, v in keys.items())
    return out


def window_origin(session):
    x, y, _, _ = session.rect()["window"]
    return x, y


class StartupFiles(unittest.TestCase):
    def run_and_exit(self, session, args=()):
        session.start(args)
        origin = window_origin(session)
        session.post_command(105)
        self.assertEqual(session.wait_exit(), 0)
        return origin

    def test_empty_directory_writes_every_key_in_order(self):
        with KestrovaSession(env=TEST_PATTERN) as s:
            s.start()
            self.assertEqual(s.title(), "Kestrova [\\一時ﾌｧｲﾙ.AVI]")
            top = [item.text for item in s.menu() if "." not in item.path]
            self.assertEqual(top, ["ﾌｧｲﾙ(&F)", "ｷｬﾌﾟﾁｬ(&C)", "ｵﾌﾟｼｮﾝ(&O)", "ﾍﾙﾌﾟ(&H)"])
            x, y = window_origin(s)
            s.post_command(105)
            self.assertEqual(s.wait_exit(), 0)
            ini = s.read_file("Kestrova.ini")
            tmr = s.read_file("Kestrova.tmr")
            self.assertEqual(ini, canonical_file(settings_writes(DEFAULTS, x, y)))
            self.assertEqual(tmr, canonical_file(reservation_writes({})))
            self.assertEqual(tmr.count(b"\r\n"), 100)
            self.assertIn(b"TempFileName=\x88\xea\x8e\x9e\xcc\xa7\xb2\xd9.AVI\r\n", ini)

            # The same 39 and 99 calls of WritePrivateProfileStringA give
            # the same bytes.
            for name, writes in (("win32.ini", settings_writes(DEFAULTS, x, y)),
                                 ("win32.tmr", reservation_writes({}))):
                script = "".join("write\t%s\t%s\t%s\n" % w for w in writes) or "dump\n"
                s.write_file(name + ".txt", script)
                s.run_windows_program("iniprobe.exe", ["win32", s.win_path(name), s.win_path(name + ".txt")],
                                      check=True)
            self.assertEqual(s.read_file("win32.ini"), ini)
            self.assertEqual(s.read_file("win32.tmr"), tmr)

    def test_timer_switches_leave_the_same_files(self):
        for switch in ("/t", "/T", "D:/tv/rec"):
            with self.subTest(switch=switch), KestrovaSession(env=TEST_PATTERN) as s:
                x, y = self.run_and_exit(s, [switch])
                self.assertEqual(s.read_file("Kestrova.ini"), canonical_file(settings_writes(DEFAULTS, x, y)))
                self.assertEqual(s.read_file("Kestrova.tmr"), canonical_file(reservation_writes({})))

    def test_existing_files_are_read_and_written_back(self):
        ini_before = canonical_file([
            ("Video", "TempPath", "C:\\windows\\temp\\"), ("Video", "TempFile", "1"), ("Video", "TempSize", "50"),
            ("Video", "Frames", "29.97"), ("Video", "Confirm", "-1"), ("Video", "PreviewRate", "100"),
            ("Video", "TempFileName", "録画.avi"), ("Video", "SnapFileName", "ｽﾅｯﾌﾟ"),
            ("General", "SpeedSave", "1"), ("General", "FontFaceName", "ＭＳ ゴシック"),
            ("General", "FontSize", "-16"), ("General", "WindowPosX", "100"), ("General", "WindowPosY", "50"),
            ("General", "TopMost", "1"), ("Mine", "Kept", "yes"),
        ])
        long_comment = "長" * 127 + "x"  # 255 bytes: the value is longer than 259 characters
        tmr_before = canonical_file([
            ("Schedule", "Timer0", "986342400,986346000,0,news,1"),
            ("Schedule", "Timer1", "986342400,986346000,34,,0"),
            ("Schedule", "Timer3", "1,2,0,a,b,1"),
            ("Schedule", "Timer5", "1,2,0,two words,0"),
            ("Schedule", "Timer7", "x"),
            ("Schedule", "Timer9", "4102444800,4102448400,0,%s,1" % long_comment),
            ("Schedule", "Timer99", "keep"),
            ("Schedule", "Other", "1"),
        ])
        with KestrovaSession(env=TEST_PATTERN, files={"Kestrova.ini": ini_before, "Kestrova.tmr": tmr_before}) as s:
            s.start()
            self.assertEqual(s.title(), "Kestrova [C:\\windows\\temp\\録画.avi]")
            self.assertEqual(window_origin(s), (100, 50))
            x, y = self.run_and_exit_started(s)
            values = dict(DEFAULTS, TempPath="C:\\windows\\temp\\", TempFile="1", TempSize="50", Frames="29.97",
                          Confirm="-1", PreviewRate="100", TempFileName="録画.avi", SnapFileName="ｽﾅｯﾌﾟ",
                          SpeedSave="0", FontFaceName="ＭＳ ゴシック", FontSize="-16", TopMost="1")
            self.assertEqual(s.read_file("Kestrova.ini"), canonical_file(settings_writes(values, x, y), ini_before))
            slots = {0: "986342400,986346000,0,news,1", 1: "986342400,986346000,34,,0", 3: "1,2,0,a,0",
                     5: "1,2,0,two words,0", 7: "0,0,0,,0",
                     9: "4102444800,4102448400,0,%s,1" % long_comment}
            self.assertEqual(s.read_file("Kestrova.tmr"), canonical_file(reservation_writes(slots), tmr_before))

    def run_and_exit_started(self, session):
        origin = window_origin(session)
        session.post_command(105)
        self.assertEqual(session.wait_exit(), 0)
        return origin

    def test_english_locale_still_shows_japanese_and_writes_cp932(self):
        with KestrovaSession(locale=kestrova_e2e.ENGLISH, env=TEST_PATTERN) as s:
            s.start()
            self.assertEqual(s.title(), "Kestrova [\\一時ﾌｧｲﾙ.AVI]")
            texts = {item.id: item.text for item in s.menu()}
            self.assertEqual(texts[105], "Kestrovaの終了(&X)")
            self.assertEqual(texts[32786], "名前を付けて保存(&A)...\tCtrl+S")
            x, y = self.run_and_exit_started(s)
            self.assertEqual(s.read_file("Kestrova.ini"), canonical_file(settings_writes(DEFAULTS, x, y)))


if __name__ == "__main__":
    unittest.main()
