"""End-to-end harness: the real Kestrova.exe under Wine, in a private Xvfb.

Every e2e test opens a KestrovaSession:

    with KestrovaSession(env={"KESTROVA_TESTPATTERN": "1"}) as s:
        s.start()
        self.assertEqual(s.title(), "Kestrova [%s\\一時ﾌｧｲﾙ.AVI]" % s.win_path().rstrip("\\"))
        s.post_command(105)
        self.assertEqual(s.wait_exit(), 0)

A session owns a fresh directory holding copies of Kestrova.exe, its user
guide and the Windows test tools (so Kestrova's INI and timer files land there), an Xvfb
display, and a private Wine prefix cloned from build/wineprefix-<arch> by
scripts/wine-env.sh: its own registry and wineserver, so sessions of test
runs started side by side never meet, and nothing a run writes to the
registry outlives it. Leaving the session ends all of them, whatever
happened; a guard process does the same if the test process is killed
(a ctest timeout, say).

Wine runs every program inside one 1024x768 virtual desktop, so a
screenshot of the X root is the whole Windows screen. Wine's loader
(KESTROVA_WINE: 64-bit for the x64 build, 32-bit for x86) returns
Kestrova's own exit code.

KESTROVA_ARCH (x64 by default, or x86) picks the build the programs come
from; ctest sets it for each registered test.

Cost, measured on the 2-core machine: opening a session (prefix clone, Xvfb,
wineserver) 0.1 s; start() until Kestrova's window exists 1.1-1.3 s (Wine's
desktop and services come up then); closing the session 0.8 s; each kdriver
call 0.15-0.25 s (a menu dump too). A test with one Kestrova run: 2.5-3 s.

Driver output: records are tab separated; in their free-text field "\\",
tab, CR and LF come escaped (see unescape). Menu paths count from 1.
"""

import contextlib
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import uuid
from collections import namedtuple

SOURCE_DIR = os.environ.get("KESTROVA_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
# The exe's architecture, x64 or x86: which Windows build the session takes
# its programs from and which Wine (64- or 32-bit, scripts/wine-env.sh) runs them.
ARCH = os.environ.get("KESTROVA_ARCH", "x64")
WIN_BUILD = os.environ.get("KESTROVA_WIN_BUILD") or os.path.join(SOURCE_DIR, "build", ARCH)


def use_arch(arch):
    """Makes the sessions opened from now on run the `arch` build (x64 or
    x86) from build/<arch>; the benches' --arch."""
    global ARCH, WIN_BUILD
    ARCH, WIN_BUILD = arch, os.path.join(SOURCE_DIR, "build", arch)

JAPANESE = "ja_JP.UTF-8"  # Wine: code page 932, LCID 0411
# Wine: code page 1252, LCID 0409. Any UTF-8 locale works for Wine's own
# choice, but only an installed one keeps UTF-8 command lines intact.
ENGLISH = "en_US.UTF-8"
# Wine: code page 65001 (UTF-8 as the system code page), the user locale
# Japanese (LCID 0411). Wine 8 takes the ANSI code page from LC_CTYPE's
# locale alone (Nls\CodePage ACP in the registry it writes, never reads),
# and Hindi's is UTF-8; LANG gives the rest. hi_IN.UTF-8 must be a glibc
# locale (scripts/setup.sh makes it), or Wine falls back to en-US, 1252.
UTF8 = "ja_JP.UTF-8 LC_CTYPE=hi_IN.UTF-8"


def locale_variables(locale):
    """LANG and LC_* of the Windows programs for a session's `locale`."""
    lang, _, ctype = locale.partition(" LC_CTYPE=")
    return {"LANG": lang, "LC_CTYPE": ctype} if ctype else {"LANG": lang, "LC_ALL": lang}


def keep_ui_fonts_under_utf8(prefix):
    """Marks a cloned prefix (before its wineserver starts) as set up for
    code page 65001 already. Wine rewrites the font substitutes whenever the
    code pages differ from user.reg's "Codepages", and for UTF-8 it makes
    "MS Shell Dlg" its own Tahoma, which links to no Japanese font: menus
    and captions would show boxes. A Japanese Windows switched to UTF-8
    keeps its Japanese UI fonts, and so does the prefix: the IPA fonts of
    scripts/wine-env.sh, as in the English locale."""
    path = os.path.join(prefix, "user.reg")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if '"Codepages"="1252,437"' not in text:
        raise KestrovaError("no Codepages=1252,437 in %s: the prefix was made another way" % path)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text.replace('"Codepages"="1252,437"', '"Codepages"="65001,65001"', 1))

WINDOW_CLASS = "KESTROVA"
TEST_PATTERN = {"KESTROVA_TESTPATTERN": "1"}  # the built-in test-pattern capture device
# Captions of the dialogs more than one test opens: Kestrova's reservation
# and environment dialogs, the test-pattern device's format dialog, the
# system's font chooser and save dialog (Wine's Japanese titles).
RESERVATIONS, ENVIRONMENT = "ﾀｲﾏｰ予約設定", "環境設定"
FORMAT, FONT, SAVE_AS = "ﾌｫｰﾏｯﾄ", "フォントの指定", "名前を付けて保存"
RESERVATION_DIALOG = "#32770:" + RESERVATIONS
FORMAT_640x480 = 1013  # the format dialog's 640x480 button
# Style bits the dialog templates ask for.
WS_VISIBLE, WS_DISABLED, WS_GROUP, WS_TABSTOP = 0x10000000, 0x08000000, 0x00020000, 0x00010000
WS_THICKFRAME, WS_MAXIMIZEBOX, WS_EX_TOPMOST = 0x00040000, 0x00010000, 0x8
ES_CENTER, ES_RIGHT, ES_AUTOHSCROLL, ES_READONLY, ES_NUMBER = 0x1, 0x2, 0x80, 0x800, 0x2000
BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX, BS_AUTORADIOBUTTON, BS_OWNERDRAW = 0x1, 0x3, 0x7, 0x9, 0xB
BS_FLAT, CBS_DROPDOWN, CBS_DROPDOWNLIST, LBS_NOTIFY, LBS_NOINTEGRALHEIGHT, LBS_NOSEL = 0x8000, 0x2, 0x3, 0x1, 0x100, 0x4000
SS_ICON, SS_NOPREFIX = 0x3, 0x80
UDS_SETBUDDYINT, UDS_ALIGNRIGHT, UDS_AUTOBUDDY, UDS_ARROWKEYS, UDS_NOTHOUSANDS = 0x2, 0x4, 0x10, 0x20, 0x80
WORK_FILE = "一時ﾌｧｲﾙ.AVI"  # the work file's name by default
SCREEN = (1024, 768)
# Every process a session starts carries this variable (with the session's
# id), so cleanup finds exactly them, including the forked wineserver.
MARKER = "KESTROVA_E2E_SESSION"
# A clock of its own for a Windows program, of the word size of its Wine.
FAKETIME = {"x64": "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
            "x86": "/usr/lib/i386-linux-gnu/faketime/libfaketime.so.1"}

MenuItem = namedtuple("MenuItem", "path id flags text")
MenuItem.__doc__ = """One menu entry: path "2.5.1" (1-based positions), id
(int, or None for popups and separators), flags (frozenset of enabled,
grayed, disabled, checked, popup, separator, default, radio), text (with
its & mnemonics and any tab-separated accelerator text)."""

MessageBox = namedtuple("MessageBox", "text buttons")
MessageBox.__doc__ = """A dialog's static texts joined by newlines, and its
push buttons as a list of (id, text)."""

Child = namedtuple("Child", "id cls visible rect text")
Control = namedtuple("Control", "id cls style exstyle rect text")  # rect in dialog units


class KestrovaError(Exception):
    """A session could not do what was asked (the message says why)."""


# kdriver's verbs that change nothing in the window they look at.
READ_ONLY_VERBS = {"count", "title", "menu", "rect", "style", "status", "children", "controls", "control",
                   "items", "list-view", "windows", "codepage", "dpi"}


class DriverError(KestrovaError):
    def __init__(self, args, returncode, stdout, stderr):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr
        super().__init__("kdriver %s: exit %d: %s" % (" ".join(args), returncode,
                                                       stderr.strip() or stdout.strip()))


def unescape(field):
    r"""Undoes kdriver's escaping of \\, \t, \r and \n in a record field."""
    out = []
    i = 0
    while i < len(field):
        c = field[i]
        if c == "\\" and i + 1 < len(field):
            out.append({"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}.get(field[i + 1],
                                                                     field[i:i + 2]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_menu(text):
    items = []
    for line in text.splitlines():
        if not line:
            continue
        path, ident, flags, label = line.split("\t", 3)
        items.append(MenuItem(path, None if ident == "-" else int(ident),
                              frozenset(flags.split(",")), unescape(label)))
    return items


# Style bits of a kind that must match exactly: a button's type, a combo box's.
KIND_MASK = {"button": 0xF, "combobox": 0x3}


def template_differences(controls, expected):
    """How a dialog's controls (KestrovaSession.controls) differ from its
    template: rows of (id, class, style bits that must be set, text,
    (x, y, w, h) in dialog units). A combo box's height is its list's, so
    give None for it. Returns readable lines; none when all agree."""
    problems = []
    if len(controls) != len(expected):
        problems.append("%d controls, the template has %d" % (len(controls), len(expected)))
    for got, (ident, cls, style, text, rect) in zip(controls, expected):
        want = (ident, cls.lower(), text, tuple(v for v in rect if v is not None))
        have = (got.id, got.cls.lower(), got.text, tuple(v for v, w in zip(got.rect, rect) if w is not None))
        mask = KIND_MASK.get(cls.lower(), 0)
        if have != want or got.style & style != style or got.style & mask != style & mask:
            problems.append("control %s: %r, style %08x; the template: %r, style bits %08x"
                            % (ident, have, got.style, want, style))
    return problems


def win_path(path):
    """The Windows path (Z:\\...) of a Linux path."""
    return "Z:" + str(path).replace("/", "\\")


def profile_values(data):
    """Key -> value of a CP932 profile file whose keys are unique across sections."""
    return dict(line.split("=", 1) for line in data.decode("cp932").split("\r\n") if "=" in line)


def canonical_file(writes, before=b""):
    """The file the profile functions make of `writes` ((section, key, value)
    in call order) on top of a file that is already in their form (sections
    of "[name]" and "key=value" lines)."""
    sections, current = {}, None
    for line in before.split(b"\r\n"):
        if line.startswith(b"["):
            current = sections.setdefault(line[1:-1], {})
        elif line:
            key, _, value = line.partition(b"=")
            current[key] = value
    for section, key, value in writes:
        sections.setdefault(section.encode("cp932"), {})[key.encode("cp932")] = value.encode("cp932")
    return b"".join(b"[%s]\r\n" % name + b"".join(b"%s=%s\r\n" % item for item in keys.items())
                    for name, keys in sections.items())


def reservation_writes(slots):
    """Kestrova's writes of Kestrova.tmr: Timer0..Timer98, `slots` {index: value}."""
    return [("Schedule", "Timer%d" % i, slots.get(i, "")) for i in range(99)]


def tmr(slots):
    """Kestrova.tmr as Kestrova writes it with `slots` {index: value}."""
    return canonical_file(reservation_writes(slots))


def slot(start, end, weekdays=0, comment="", power_off=0):
    """A reservation value as stored."""
    return "%d,%d,%d,%s,%d" % (start, end, weekdays, comment, power_off)


def dated_name(start):
    """The file a reservation starting at `start` records into."""
    t = time.localtime(start)
    return "%02d-%02d(%02d時%02d分%02d秒).avi" % (t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)


# Written at exit in this order, with these values in an empty directory (the
# window position is wherever the window was).
SETTINGS = [
    ("Video", "TempPath", ""), ("Video", "TempFile", "0"), ("Video", "TempSize", "0"),
    ("Audio", "SampleChannel", "2"), ("Audio", "SampleRate", "44100"), ("Audio", "SampleBit", "16"),
    ("Video", "Preview", "1"), ("Video", "Overlay", "0"), ("Video", "Confirm", "0"), ("Video", "Status", "1"),
    ("Video", "PreviewRate", "66"), ("Video", "Frames", "15.00"), ("Audio", "CaptureAudio", "1"),
    ("Video", "Ctrl", "0"), ("Video", "Shift", "0"), ("Video", "LClick", "1"), ("Video", "RClick", "1"),
    ("Video", "EndKey", "1"), ("Video", "VkKey", "27"), ("Video", "SnapFile", "0"),
    ("Video", "SnapOverWrite", "0"), ("Video", "SnapFileName", "SNAP"), ("Video", "PreviewScale", "0"),
    ("Audio", "SampleFormat", "1"), ("Video", "VideoBuffers", "5"), ("General", "FontSize", "12"),
    ("General", "FontFaceName", "system"), ("General", "FontWeight", "400"), ("General", "FontItalic", "0"),
    ("Video", "FixedTempFile", "1"), ("Video", "TempFileName", "一時ﾌｧｲﾙ.AVI"), ("General", "SpeedSave", "0"),
    ("General", "WindowPosX", None), ("General", "WindowPosY", None), ("Video", "PartCapture", "0"),
    ("Video", "PartTime", "900"), ("Video", "DeviceIndex", "0"), ("Video", "Onetouch", "15,30,45,60"),
    ("General", "TopMost", "0"), ("Unattended", "StartMargin", "0"), ("Unattended", "EndMargin", "0"),
    ("Unattended", "AfterCommand", ""), ("Unattended", "ActionSkipMinutes", "10"),
    ("Unattended", "ResleepAfterWake", "0"),
]


def settings_writes(x, y, **values):
    """Kestrova's writes of Kestrova.ini at exit with its window at (x, y)
    and `values` {key: value} in place of the defaults."""
    values.update(WindowPosX=str(x), WindowPosY=str(y))
    return [(section, key, values.get(key, default)) for section, key, default in SETTINGS]


def duration(path):
    """An AVI file's length in seconds, as ffprobe reads it (probe_avi)."""
    return float(probe_avi(path)["format"]["duration"])


def riff_chunks(path, descend=False):
    """(id, type or None, offset, size) of the chunks at the top of a RIFF
    file; with descend, of those inside its RIFF and LIST chunks as well."""
    out, at, size = [], 0, os.path.getsize(path)
    with open(path, "rb") as f:
        while at + 8 <= size:
            f.seek(at)
            cid, n = struct.unpack("<4sI", f.read(8))
            kind = f.read(4) if cid in (b"RIFF", b"LIST") else None
            out.append((cid, kind, at, n))
            at += 12 if descend and kind else 8 + n + (n & 1)
    return out


def probe_avi(path, count_frames=False):
    """Makes ffprobe and ffmpeg read an AVI file; either saying anything at
    all fails the test. Returns ffprobe's streams by codec type, and its
    "format" (the file's duration among it)."""
    decoded = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                             capture_output=True, text=True, timeout=600)
    probe = subprocess.run(["ffprobe", "-v", "warning", "-of", "json", "-show_streams", "-show_format"]
                           + (["-count_frames"] if count_frames else []) + [path],
                           capture_output=True, text=True, timeout=600)
    for out in (decoded, probe):
        if out.returncode != 0 or out.stderr.strip():
            raise AssertionError("%s on %s: %s" % (out.args[0], path, out.stderr.strip()))
    info = json.loads(probe.stdout)
    return dict({st["codec_type"]: st for st in info["streams"]}, format=info["format"])


def run(args):
    """A tool's run (ffprobe, avi_tool ...), its output as text."""
    return subprocess.run(args, capture_output=True, text=True, timeout=600)


def image_format(path):
    """ImageMagick's "format width height" of an image, e.g. "BMP3 640 480"."""
    return run(["identify", "-format", "%m %w %h", path]).stdout


def colours_in(path, geometry):
    """How many colours an image has inside `geometry` (ImageMagick's WxH+X+Y)."""
    out = subprocess.run(["convert", path, "-crop", geometry, "+repage", "-format", "%k", "info:"],
                         capture_output=True, text=True, check=True)
    return int(out.stdout.strip())


@contextlib.contextmanager
def tmpfs(path, size, read_only=False):
    """A small tmpfs mounted at path for the time of the block."""
    os.makedirs(path, exist_ok=True)
    options = "size=%s,mode=0777%s" % (size, ",ro" if read_only else "")
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path], capture_output=True, text=True)
    if mounted.returncode != 0:
        raise unittest.SkipTest("no tmpfs can be mounted here: %s" % mounted.stderr.strip())
    try:
        yield path
    finally:
        subprocess.run(["umount", "-l", path], check=False)

def installed_locale(name):
    """`name` when glibc has it, else C.UTF-8 (same Wine locale for English)."""
    try:
        have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    except OSError:
        return name
    want = name.lower().replace("utf-8", "utf8")
    if any(h.lower().replace("utf-8", "utf8") == want for h in have):
        return name
    return "C.UTF-8" if name.startswith("en_") else name


def find_build_file(name):
    """Kestrova.exe or one of the tools (kdriver.exe...) in the Windows build, or None."""
    for sub in ("", "app/win32", "app", "tests/e2e/tools", "bin"):
        candidate = os.path.join(WIN_BUILD, sub, name)
        if os.path.isfile(candidate):
            return candidate
    for dirpath, dirnames, filenames in os.walk(WIN_BUILD):
        dirnames[:] = [d for d in dirnames if d != "CMakeFiles"]
        if name in filenames:
            return os.path.join(dirpath, name)
    return None


def _read(f):
    f.flush()
    f.seek(0)
    return f.read().decode("utf-8", errors="replace")


def session_pids(marker_value):
    """Pids of live processes whose environment carries this session's marker."""
    needle = ("%s=%s" % (MARKER, marker_value)).encode() + b"\0"
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if needle in f.read() + b"\0":
                    pids.append(int(entry))
        except OSError:
            pass
    return pids


def _kill_session_processes(marker_value):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        pids = session_pids(marker_value)
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, sig)
            except OSError:
                pass
        deadline = time.monotonic() + 2
        while time.monotonic() < deadline and session_pids(marker_value):
            time.sleep(0.05)


# Run as a separate process by each session: waits until the test process
# closes its end of the pipe; without a "done" line first, it cleans up.
_GUARD = r"""
import os, subprocess, sys, shutil
sys.path.insert(0, sys.argv[1])
import kestrova_e2e as k
marker, tmpdir, prefix, keep = sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5] == "1"
data = sys.stdin.read()
if "done" not in data:
    try:
        subprocess.run([os.environ["WINESERVER"], "-k"], timeout=10,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except Exception:
        pass
    k._kill_session_processes(marker)
    shutil.rmtree(prefix, ignore_errors=True)
    if not keep:
        shutil.rmtree(tmpdir, ignore_errors=True)
"""


class KestrovaSession:
    """One Kestrova run (or several in a row) in its own directory and display.

    locale: LANG/LC_ALL of every Windows program (JAPANESE, ENGLISH or UTF8).
    env: extra environment variables for the Windows programs.
    files: {name: bytes or str} written beside the exe before start; a str
        is written as UTF-8, so give Kestrova.ini as bytes in CP932
        ("...".encode("cp932")).
    dpi: the display's dots per inch (LogPixels in the session's registry,
        written before Wine starts); 96 when None.
    """

    def __init__(self, locale=JAPANESE, env=None, files=None, window_class=WINDOW_CLASS, dpi=None):
        self.locale = installed_locale(locale)
        self.extra_env = dict(env or {})
        self.files = dict(files or {})
        self.window_class = window_class
        self.dpi = dpi
        self.dir = None
        self.prefix = None
        self.display = None
        self.proc = None
        self.env = None
        self._xvfb = None
        self._guard = None
        self._log = None
        self._procs = []
        self.id = uuid.uuid4().hex  # the MARKER value of this session's processes
        self.keep = os.environ.get("KESTROVA_E2E_KEEP") == "1"

    # --- lifetime --------------------------------------------------------

    def __enter__(self):
        try:
            self._setup()
        except BaseException:
            self._teardown()
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        self._teardown()
        return False

    def _setup(self):
        exe = find_build_file("Kestrova.exe")
        if exe is None:
            raise KestrovaError("no Kestrova.exe under %s: run `bash scripts/build.sh %s`"
                                % (WIN_BUILD, ARCH))
        self.dir = tempfile.mkdtemp(prefix="kestrova-e2e-")
        self.prefix = tempfile.mkdtemp(prefix="kestrova-e2e-wine-")
        guard_env = self._wine_env_base()
        del guard_env[MARKER]
        self._guard = subprocess.Popen(
            [sys.executable, "-c", _GUARD, os.path.dirname(os.path.abspath(__file__)),
             self.id, self.dir, self.prefix, "1" if self.keep else "0"],
            stdin=subprocess.PIPE, start_new_session=True, env=guard_env)
        shutil.copy2(exe, os.path.join(self.dir, "Kestrova.exe"))
        guide = os.path.join(os.path.dirname(exe), "Kestrova.html")  # the user guide ships beside it
        if os.path.isfile(guide):
            shutil.copy2(guide, os.path.join(self.dir, "Kestrova.html"))
        for tool in ("kdriver.exe", "iniprobe.exe", "argprobe.exe"):
            found = find_build_file(tool)
            if found:
                shutil.copy2(found, os.path.join(self.dir, tool))
        for name, content in self.files.items():
            self.write_file(name, content)
        self.env = self._wine_env_base()
        if self.locale == UTF8:
            keep_ui_fonts_under_utf8(self.prefix)
        self._start_xvfb()
        self.env["DISPLAY"] = self.display
        self.env.update({k: str(v) for k, v in self.extra_env.items()})
        # The session's wineserver, started here with no descriptors of ours
        # and kept until the end (-p), so Kestrova can be restarted without
        # waiting for Wine to come up again.
        subprocess.run([self.env["WINESERVER"], "-p"], env=self.env, check=True, timeout=30,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def _wine_env_base(self):
        if getattr(self, "_wine_vars", None) is None:
            # One source for the Wine settings: scripts/wine-env.sh, which
            # prepares the shared prefix the first time and clones it into
            # this session's private prefix (own registry, own wineserver).
            out = subprocess.run(
                ["bash", "-c", 'source "$1/scripts/wine-env.sh" && kestrova_clone_prefix "$2" "$3" '
                 '&& WINEPREFIX="$2" && env -0', "bash", SOURCE_DIR, self.prefix, str(self.dpi or "")],
                capture_output=True, timeout=300, env=dict(os.environ, KESTROVA_ARCH=ARCH))
            if out.returncode != 0:
                raise KestrovaError("preparing the Wine prefix failed: "
                                    + out.stderr.decode(errors="replace"))
            wine_vars = {}
            for item in out.stdout.split(b"\0"):
                key, _, value = item.decode(errors="replace").partition("=")
                if key.startswith("WINE") or key in ("KESTROVA_ROOT", "KESTROVA_WINE", "KESTROVA_ARCH"):
                    wine_vars[key] = value
            self._wine_vars = wine_vars
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("LC_") and k not in ("LANGUAGE", "DISPLAY")}
        env.update(self._wine_vars)
        env.update(locale_variables(self.locale), **{MARKER: self.id})
        return env

    def _start_xvfb(self):
        # Xvfb picks a free display itself and tells which on the pipe.
        read_fd, write_fd = os.pipe()
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                 "%dx%dx24" % SCREEN, "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True, env=dict(os.environ, **{MARKER: self.id}))
        finally:
            os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 20
        try:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = os.read(read_fd, 16)
                if not chunk:
                    break
                number += chunk
        finally:
            os.close(read_fd)
        if not number.strip().isdigit():
            raise KestrovaError("Xvfb did not start")
        self.display = ":" + number.strip().decode()

    def _teardown(self):
        try:
            if self.env is not None:
                try:
                    subprocess.run([self.env["WINESERVER"], "-k"], env=self.env, timeout=15,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    subprocess.run([self.env["WINESERVER"], "-w"], env=self.env, timeout=15,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                except (OSError, subprocess.TimeoutExpired):
                    pass
            for p in self._procs:
                if p.poll() is None:
                    try:
                        os.killpg(p.pid, signal.SIGKILL)
                    except OSError:
                        pass
                    try:
                        p.wait(timeout=5)
                    except subprocess.TimeoutExpired:
                        pass
            if self._xvfb is not None and self._xvfb.poll() is None:
                self._xvfb.terminate()
                try:
                    self._xvfb.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    self._xvfb.kill()
                    self._xvfb.wait(timeout=5)
            _kill_session_processes(self.id)
        finally:
            if self._log is not None:
                self._log.close()
            if self.prefix:
                shutil.rmtree(self.prefix, ignore_errors=True)
            if self.dir and not self.keep:
                shutil.rmtree(self.dir, ignore_errors=True)
            elif self.dir:
                sys.stderr.write("kestrova_e2e: kept %s\n" % self.dir)
            if self._guard is not None:
                try:
                    self._guard.communicate(b"done\n", timeout=10)
                except (OSError, subprocess.TimeoutExpired):
                    self._guard.kill()

    # --- programs ----------------------------------------------------------

    def start(self, args=(), wait=True, timeout=30, exe="Kestrova.exe", own_clock=False):
        """Starts Kestrova.exe with `args` under Wine in the session directory.

        exe: another program to start there instead of the session's copy,
        as a Windows path (e.g. win_path() of an unpacked release).
        own_clock: Kestrova reads the time of day from a clock of its own,
        which set_clock() sets as a user sets the system's clock; the
        seconds since start-up (GetTickCount64) and Wine's own clocks stay
        the real ones (libfaketime, preloaded into Kestrova's process only).
        True starts it at the real time, a number that many seconds off it.

        With wait, returns once a window of class KESTROVA exists (visible or
        not), and fails at once if Kestrova ends before that.
        """
        if self.proc is not None and self.proc.poll() is None:
            raise KestrovaError("Kestrova is already running in this session")
        if self._log is not None:
            self._log.close()
        self._log = tempfile.TemporaryFile()
        env = None
        if own_clock is not False:
            if not self.own_clock_reaches_wine():
                raise unittest.SkipTest("libfaketime does not reach the clock of %s Wine here (the 32-bit "
                                        "library of Debian 12 misses the 64-bit time calls): no clock of its own"
                                        % ARCH)
            self.set_clock(0 if own_clock is True else own_clock)
            env = self._own_clock_env()
        self.proc = self._popen([self.env["KESTROVA_WINE"], exe, *map(str, args)],
                                stdin=subprocess.DEVNULL, stdout=self._log,
                                stderr=subprocess.STDOUT, env=env)
        if wait:
            self.wait_window(self.window_class, timeout)
        return self.proc

    def wait_window(self, cls=None, timeout=30):
        """Waits for a top-level window of class `cls`; returns its hwnd text.

        Fails early when the Kestrova process ends first.
        """
        cls = cls or self.window_class
        out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        with out, err:
            waiter = self._popen([self.env["KESTROVA_WINE"], "kdriver.exe", "wait-window", cls,
                                  str(int(timeout * 1000))],
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            deadline = time.monotonic() + timeout + 15
            while waiter.poll() is None:
                if self.proc is not None and self.proc.poll() is not None:
                    self._kill(waiter)
                    raise KestrovaError("Kestrova ended with exit code %d before showing a %s "
                                        "window; its output:\n%s"
                                        % (self.proc.returncode, cls, self.log()))
                if time.monotonic() > deadline:
                    self._kill(waiter)
                    raise KestrovaError("kdriver wait-window %s hung" % cls)
                time.sleep(0.05)
            if waiter.returncode != 0:
                raise KestrovaError("no %s window within %ss: %s"
                                    % (cls, timeout, _read(err).strip()))
            return _read(out).strip()

    def _clock_file(self):
        return os.path.join(self.prefix, "kestrova-clock")

    def _own_clock_env(self, clock_file=None):
        return dict(self.env, LD_PRELOAD=FAKETIME[ARCH], FAKETIME_TIMESTAMP_FILE=clock_file or self._clock_file(),
                    FAKETIME_NO_CACHE="1", FAKETIME_DONT_FAKE_MONOTONIC="1")

    _own_clock_works = {}

    def own_clock_reaches_wine(self):
        """Whether a Windows program started with a clock of its own reads
        it: the date cmd shows two days ahead is not today's (once per arch)."""
        if ARCH not in KestrovaSession._own_clock_works:
            if not os.path.isfile(FAKETIME[ARCH]):
                raise KestrovaError("no %s: run `bash scripts/setup.sh`" % FAKETIME[ARCH])
            ahead = os.path.join(self.prefix, "kestrova-clock-probe")
            with open(ahead, "w") as f:
                f.write("+172800\n")
            dates = []
            for env in (None, self._own_clock_env(ahead)):
                dates.append(self.run_windows_program("cmd", ["/c", "echo", "%DATE%"], env=env).stdout.strip())
            KestrovaSession._own_clock_works[ARCH] = bool(dates[0]) and dates[0] != dates[1]
        return KestrovaSession._own_clock_works[ARCH]

    def set_clock(self, offset):
        """Sets the clock of a Kestrova started with own_clock to the real
        time plus `offset` seconds, at once (each read of the time looks)."""
        if not os.path.isfile(FAKETIME[ARCH]):
            raise KestrovaError("no %s: run `bash scripts/setup.sh`" % FAKETIME[ARCH])
        temp = self._clock_file() + ".new"
        with open(temp, "w") as f:
            f.write("%+d\n" % offset)
        os.replace(temp, self._clock_file())  # never read half written

    def wait_exit(self, timeout=30):
        """Kestrova's exit code, once it has ended."""
        if self.proc is None:
            raise KestrovaError("Kestrova was not started")
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise KestrovaError("Kestrova still runs after %ss" % timeout) from None

    def exit_from_menu(self, timeout=30):
        """Ends Kestrova from its menu; its exit code."""
        self.post_command(105)
        return self.wait_exit(timeout=timeout)

    def kestrova_pids(self):
        """Pids of this session's live Kestrova.exe processes (Wine's own left out)."""
        pids = []
        for p in session_pids(self.id):
            try:
                with open("/proc/%d/cmdline" % p, "rb") as f:
                    if b"kestrova.exe" in f.read().lower():
                        pids.append(p)
            except OSError:
                pass
        return pids

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def log(self):
        """What Kestrova (and Wine for it) wrote on stdout and stderr."""
        return "" if self._log is None else _read(self._log)

    def run_windows_program(self, exe, args=(), timeout=60, check=False, input=None, env=None):
        """Runs a Windows program of the session directory (e.g. iniprobe.exe)
        to its end; returns the CompletedProcess with UTF-8 decoded output.
        env: variables added to the session's for this run."""
        # Output goes through files, not pipes: Wine's helper processes
        # (wineserver, explorer, services) may inherit the descriptors and
        # would keep a pipe open for ever.
        stdin = tempfile.TemporaryFile()
        out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        with stdin, out, err:
            if input is not None:
                stdin.write(input.encode("utf-8") if isinstance(input, str) else input)
                stdin.seek(0)
            p = self._popen([self.env["KESTROVA_WINE"], exe, *map(str, args)], stdin=stdin, stdout=out, stderr=err,
                            env=dict(self.env, **env) if env else None)
            try:
                p.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self._kill(p)
                raise KestrovaError("%s %s did not end within %ss"
                                    % (exe, " ".join(map(str, args)), timeout)) from None
            result = subprocess.CompletedProcess(p.args, p.returncode, _read(out), _read(err))
        if check and result.returncode != 0:
            raise KestrovaError("%s exited with %d: %s" % (exe, result.returncode,
                                                          result.stderr.strip()))
        return result

    def dpi_info(self, cls=None):
        """{"window": GetDpiForWindow, "awareness": 0 unaware, 1 system, 2 per
        monitor, "system": GetDpiForSystem, "logpixels": the screen's
        LOGPIXELSY} as kdriver (DPI-aware itself) reads them."""
        return {name: int(value) for name, value in
                (line.split("\t") for line in self.driver("dpi", cls or self.window_class).splitlines())}

    def dpi_changed(self, dpi, rect, cls=None):
        """Sends WM_DPICHANGED(dpi) with the suggested rectangle (x, y, w, h),
        as Windows does when the window moves to a display of another DPI."""
        self.driver("dpi-changed", cls or self.window_class, dpi, ",".join(map(str, rect)))

    def codepage(self):
        """{"acp": int, "oemcp": int, "locale": "ja-JP"} of the session's Wine."""
        values = dict(line.split("\t") for line in self.driver("codepage").splitlines())
        return {"acp": int(values["acp"]), "oemcp": int(values["oemcp"]),
                "locale": values["locale"]}

    def driver(self, *args, check=True, timeout=60):
        """Runs kdriver.exe with `args`; returns its stdout (UTF-8 decoded).

        With check, a non-zero exit raises DriverError (which carries the
        exit code, stdout and stderr).
        """
        args = [str(a) for a in args]
        # Rarely (a few times in thousands of calls, under load) Wine ends a
        # fresh kdriver with exit 1 before it prints a word; kdriver itself
        # never fails without saying why. kdriver marks that its own code has
        # begun: without the mark no verb acted, and any call is run again;
        # with it, only a verb that changes nothing is. Each retry is said on
        # stderr.
        mark = os.path.join(self.prefix, "kdriver-started-" + uuid.uuid4().hex)
        for attempt in range(3):
            result = self.run_windows_program("kdriver.exe", args, timeout=timeout,
                                              env={"KDRIVER_STARTED": win_path(mark)})
            began = os.path.exists(mark)
            if began:
                os.remove(mark)
            silent = result.returncode == 1 and not result.stdout and not result.stderr
            if not silent or attempt == 2 or (began and args[0] not in READ_ONLY_VERBS):
                break
            sys.stderr.write("kestrova_e2e: Wine ended kdriver %s with exit 1 %s; run again\n"
                             % (" ".join(args), "after it began" if began else "before it began"))
        if check and result.returncode != 0:
            if silent:
                raise DriverError(args, result.returncode, result.stdout,
                                  "Wine ended kdriver without a word %s" % ("after it began" if began else "before it began"))
            raise DriverError(args, result.returncode, result.stdout, result.stderr)
        return result.stdout

    @staticmethod
    def _kill(p):
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except OSError:
            pass
        p.wait()

    def _popen(self, cmd, env=None, **kwargs):
        if self.env is None:
            raise KestrovaError("the session is not open")
        p = subprocess.Popen(cmd, cwd=self.dir, env=env or self.env, start_new_session=True, **kwargs)
        self._procs = [q for q in self._procs if q.poll() is None] + [p]
        return p

    # --- files -------------------------------------------------------------

    def path(self, name):
        """Linux path of `name` in the session directory."""
        return os.path.join(self.dir, name)

    def win_path(self, name=""):
        """Windows path (Z:\\...) of `name` in the session directory."""
        return win_path(self.path(name))

    def write_ini(self, video="", audio="", temp_dir="", unattended=""):
        """Kestrova.ini with the work files in `temp_dir` of the session
        directory and the further lines `video`, `audio` and `unattended`
        (with CR LF) in their sections."""
        ini = "[Video]\r\nTempPath=%s\r\n%s[Audio]\r\n%s" % (self.win_path(temp_dir).rstrip("\\"), video, audio)
        if unattended:
            ini += "[Unattended]\r\n" + unattended
        self.write_file("Kestrova.ini", ini.encode("cp932"))

    def write_file(self, name, content):
        if isinstance(content, str):
            content = content.encode("utf-8")
        with open(self.path(name), "wb") as f:
            f.write(content)

    def read_file(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def exists(self, name):
        return os.path.exists(self.path(name))

    def wait_file(self, name, timeout=10):
        """Waits until the file `name` is there and Kestrova has handled what it was doing."""
        self.wait_until(lambda: self.exists(name), timeout=timeout, message=name)
        self.sync()

    def log_records(self, count, log="Capture.log", timeout=60):
        """The first `count` records of the Capture.log at `log`, once there, each a list of its lines."""
        try:
            self.wait_until(lambda: self.exists(log) and self.read_file(log).count(b"----------\r\n") >= count,
                            timeout=timeout, interval=0.5, message="%d records in %s" % (count, log))
        except KestrovaError as e:
            # What Kestrova had done by then, to tell a slow run from a lost one.
            seen = {name: self.read_file(name).decode("cp932", "replace") if self.exists(name) else "(none)"
                    for name in (log, "Kestrova.tmr", "Kestrova.run")}
            try:
                title = self.title() if self.running() else "(Kestrova not running)"
            except KestrovaError as no_title:
                title = "(%s)" % no_title
            raise KestrovaError("%s; at %s the title was %r, the files held %r; Kestrova's output:\n%s"
                                % (e, time.strftime("%H:%M:%S"), title, seen, self.log())) from None
        try:
            self.sync()
        except DriverError:
            if self.running():  # else Kestrova has ended: the file is whole
                raise
        text = self.read_file(log).decode("cp932")
        return [r.rstrip("\r\n").split("\r\n") for r in text.split("----------\r\n")[:-1]][:count]

    def screenshot(self, path=None):
        """PNG of the whole virtual screen; returns its path (by default a
        file in the session directory)."""
        path = path or self.path("screenshot-%d.png" % int(time.time() * 1000))
        subprocess.run(["import", "-window", "root", "-display", self.display, "png:" + path],
                       check=True, timeout=30, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, env=self.env)
        return path

    @classmethod
    def opened_for(cls, test, **kwargs):
        """A session open until the end of the unittest `test`."""
        s = cls(**kwargs)
        s.__enter__()
        test.addCleanup(s.__exit__, None, None, None)
        return s

    # --- shorthands for kdriver commands -----------------------------------

    def title(self, cls=None):
        return self.driver("title", cls or self.window_class).rstrip("\n")

    def menu(self, init=False, cls=None):
        """The menu bar as a list of MenuItem. With init the program first gets
        WM_INITMENU / WM_INITMENUPOPUP, as when a user opens each menu."""
        args = ["menu", cls or self.window_class] + (["--init"] if init else [])
        return parse_menu(self.driver(*args))

    def menu_item(self, ident, init=True, cls=None):
        """The MenuItem with command id `ident` (KeyError when there is none)."""
        for item in self.menu(init=init, cls=cls):
            if item.id == ident:
                return item
        raise KeyError(ident)

    def post_command(self, ident, cls=None):
        self.driver("post-command", cls or self.window_class, ident)

    def send_command(self, ident, cls=None, timeout_ms=10000):
        self.driver("send-command", cls or self.window_class, ident, timeout_ms)

    def sync(self, cls=None):
        self.driver("sync", cls or self.window_class)

    def wait_gone(self, cls=None, timeout=10):
        self.driver("wait-gone", cls or self.window_class, int(timeout * 1000),
                    timeout=timeout + 30)

    def box(self, caption, timeout=10):
        """Waits for the dialog captioned `caption`; returns a MessageBox."""
        out = self.driver("box", caption, int(timeout * 1000), timeout=timeout + 30)
        texts, buttons = [], []
        for line in out.splitlines():
            kind, _, rest = line.partition("\t")
            if kind == "text":
                texts.append(unescape(rest))
            elif kind == "button":
                ident, _, label = rest.partition("\t")
                buttons.append((int(ident), unescape(label)))
        return MessageBox("\n".join(texts), buttons)

    def answer(self, caption, button, timeout=10):
        """Presses yes|no|ok|cancel (or a control id) in the dialog `caption`
        and waits until the dialog has gone."""
        self.driver("answer", caption, button, int(timeout * 1000), timeout=timeout + 30)

    def open_dialog(self, command, caption):
        """Posts a menu command and waits for the dialog it opens."""
        self.post_command(command)
        return self.box(caption)

    def click(self, caption, *idents):
        """Clicks buttons of the dialog `caption`; returns once it has handled them."""
        for ident in idents:
            self.driver("click", "#32770:" + caption, ident)
        self.sync("#32770:" + caption)

    def set_text(self, caption, ident, text):
        self.driver("set-text", "#32770:" + caption, ident, text)

    def close(self, caption, button="ok"):
        """Presses `button` in the dialog `caption`; returns once the main
        window has handled what the dialog's end asked of it."""
        self.answer(caption, button)
        self.sync()

    def press(self, caption, ident):
        """Clicks the button `ident` that ends the dialog `caption` (without
        a box of its own); returns once the main window has handled it."""
        self.driver("click", "#32770:" + caption, ident)
        self.wait_gone("#32770:" + caption)
        self.sync()

    def items(self, caption, ident):
        """The texts of the list or combo box `ident` of the dialog `caption`."""
        return self.driver("items", "#32770:" + caption, ident).splitlines()

    def texts(self, caption):
        """{id: text} of the controls of the dialog `caption`."""
        return {c.id: c.text for c in self.children("#32770:" + caption)}

    def child(self, ident):
        """The main window's child window `ident` (1 the capture window, 2 the status bar)."""
        return {c.id: c for c in self.children()}[ident]

    def menu_states(self):
        """The menu bar's items by command id (popups by path), after WM_INITMENUPOPUP."""
        return {(i.id if i.id is not None else i.path): i for i in self.menu(init=True)}

    def choose_format(self, button):
        """The test-pattern device's format dialog: `button` and OK."""
        self.open_dialog(32774, FORMAT)
        self.click(FORMAT, button)
        self.close(FORMAT)

    def snap(self, name):
        """A snapshot from the menu; waits for its file `name`."""
        self.post_command(32791)
        self.wait_file(name)

    def wait_armed(self, start=None):
        """Waits until the title tells the timer armed (for the day of `start`, when given)."""
        d = start and time.localtime(start)
        want = "(次回ﾀｲﾏｰ予定日:%d/%2d/%2d)" % (d.tm_year, d.tm_mon, d.tm_mday) if d else "(次回ﾀｲﾏｰ予定日:"
        self.wait_until(lambda: self.title().endswith(want) if d else want in self.title(),
                        message="the title armed " + want)

    def kill_kestrova(self):
        """SIGKILL to the session's Kestrova.exe processes, as a crash or a power cut would end them."""
        for pid in self.kestrova_pids():
            os.kill(pid, signal.SIGKILL)

    def list_view(self, kind="row"):
        """The reservation dialog's list: rows as [selected, №, start, end,
        comment], or with kind "column" its columns as [width, format, title]."""
        return [line.split("\t")[1:] for line in self.driver("list-view", RESERVATION_DIALOG, 1026).splitlines()
                if line.startswith(kind + "\t")]

    def enter_reservation(self, row, start, end, comment, days="", power_off=False, after_run=0):
        """In the reservation dialog: row `row` (0-based) selected, the form
        filled from `start` (its date and clock time) and `end`, the weekday
        boxes of `days` and PowerOFF checked (with the action `after_run`
        of its drop-down: 0 電源OFF, 1 スリープ, 2 休止), and 予約する."""
        self.driver("list-select", RESERVATION_DIALOG, 1026, row)
        self.click(RESERVATIONS, 5)  # 現時刻設定: no weekday, no PowerOFF
        a, b = time.localtime(start), time.localtime(end)
        values = [a.tm_mon, a.tm_mday, a.tm_hour, a.tm_min, a.tm_sec, b.tm_hour, b.tm_min, b.tm_sec, comment]
        for ident, value in zip((1029, 1031, 1033, 1035, 1052, 1037, 1039, 1054, 1041), values):
            self.set_text(RESERVATIONS, ident, value)
        self.driver("combo-select", RESERVATION_DIALOG, 1061, after_run)
        self.click(RESERVATIONS, *[1042 + "日月火水木金土".index(day) for day in days],
                   *([1051] if power_off else []), 3)

    def recording(self):
        """Whether a recording runs (the capture menu is greyed then)."""
        return "grayed" in self.menu()[0].flags

    def record(self, seconds, command=32788, meanwhile=None):
        """A recording by hand: started with `command` (None when it is
        already starting), stopped with Shift+Esc after `seconds`."""
        if command is not None:
            self.post_command(command)
        self.wait_until(self.recording, timeout=10, message="recording started")
        if meanwhile:
            meanwhile()
        time.sleep(seconds)
        self.key("shift+esc")
        self.wait_until(lambda: not self.recording(), timeout=30, message="recording ended")

    def children(self, cls=None):
        out = []
        for line in self.driver("children", cls or self.window_class).splitlines():
            ident, klass, visible, rect, text = line.split("\t", 4)
            out.append(Child(int(ident), klass, visible == "1",
                             tuple(int(v) for v in rect.split(",")), unescape(text)))
        return out

    def controls(self, caption, template):
        """The dialog's own controls in template order, each a Control with
        its rectangle in dialog units (pixels mapped back through the base
        units MapDialogRect gives for Kestrova's dialog template `template`)."""
        lines = self.driver("controls", "#32770:" + caption, "Kestrova.exe", template).splitlines()
        _, bx, by = lines[0].split("\t")
        bx, by = int(bx), int(by)
        out = []
        for line in lines[1:]:
            ident, klass, style, exstyle, rect, text = line.split("\t", 5)
            x, y, w, h = (int(v) for v in rect.split(","))
            out.append(Control(int(ident), klass, int(style, 16), int(exstyle, 16),
                               (round(x * 4 / bx), round(y * 8 / by), round(w * 4 / bx), round(h * 8 / by)),
                               unescape(text)))
        return out

    def control(self, caption, ident):
        """The state of control `ident` of the dialog captioned `caption`: a
        dict with "text" and "enabled" (bool), and by kind "checked" (0, 1, 2;
        buttons), "limit" (edits), "selection" (list boxes, -1 for none),
        "buddy" (the buddy's id, None without one) and "range" ((low, high);
        up-downs)."""
        state = {}
        for line in self.driver("control", "#32770:" + caption, ident).splitlines():
            name, _, value = line.partition("\t")
            if name == "text":
                state[name] = unescape(value)
            elif name == "enabled":
                state[name] = value == "1"
            elif name == "buddy":
                state[name] = None if value == "-" else int(value)
            elif name == "range":
                state[name] = tuple(int(v) for v in value.split("\t"))
            else:
                state[name] = int(value)
        return state

    def client_geometry(self, x, y, w, h):
        """ImageMagick geometry on the screen of (x, y, w, h) of the main
        window's client area (the frame is as wide on the left as on the
        right, and the client area sits right above the bottom frame)."""
        wx, wy, ww, wh = self.rect()["window"]
        _, _, cw, ch = self.rect()["client"]
        border = (ww - cw) // 2
        return "%dx%d+%d+%d" % (w, h, wx + border + x, wy + wh - border - ch + y)

    def status_bar_pixels(self):
        """The main window's status bar as it is on the screen, a list of (r, g, b)."""
        bar = [c for c in self.children() if c.id == 2][0]
        rgb = subprocess.run(["convert", self.screenshot(), "-crop", self.client_geometry(*bar.rect), "+repage",
                              "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
        return [tuple(rgb[i:i + 3]) for i in range(0, len(rgb), 3)]

    def rect(self, cls=None):
        """{"window": (x, y, w, h) on the screen, "client": (0, 0, w, h)}."""
        out = {}
        for line in self.driver("rect", cls or self.window_class).splitlines():
            name, value = line.split("\t")
            out[name] = tuple(int(v) for v in value.split(","))
        return out

    def style(self, cls=None):
        """(GWL_STYLE, GWL_EXSTYLE) as ints."""
        values = dict(line.split("\t") for line in
                      self.driver("style", cls or self.window_class).splitlines())
        return int(values["style"], 16), int(values["exstyle"], 16)

    def key(self, combo, cls=None, post=False):
        """Types a key combination (e.g. "ctrl+shift+c") into the window."""
        args = ["key", cls or self.window_class] + (["--post"] if post else []) + [combo]
        self.driver(*args)

    def windows(self):
        """Top-level windows: list of (hwnd, class, pid, visible, title)."""
        out = []
        for line in self.driver("windows").splitlines():
            hwnd, klass, pid, visible, title = line.split("\t", 4)
            out.append((hwnd, klass, int(pid), visible == "1", unescape(title)))
        return out

    @staticmethod
    def wait_until(predicate, timeout=10, interval=0.1, message="condition"):
        """Polls `predicate` until it returns something true; returns that."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline:
                raise KestrovaError("%s not met within %ss" % (message, timeout))
            time.sleep(interval)


def missing_glyph_boxes(s, cls):
    """The boxes a font draws for characters it lacks, in the caption and
    menu bar of the window `cls`: (x, y, w, h) of each run of one colour
    that is exactly a rectangle's outline around one other colour."""
    (x, y, w, h), (_, _, cw, ch) = s.rect(cls)["window"], s.rect(cls)["client"]
    top = h - ch - (w - cw) // 2
    out = subprocess.run(["convert", s.screenshot(), "-crop", "%dx%d+%d+%d" % (w, top, x, y), "+repage", "-depth",
                          "8", "rgb:-"], capture_output=True, check=True).stdout
    colour = lambda px, py: out[3 * (py * w + px):3 * (py * w + px) + 3]
    seen, boxes = set(), []
    for y0 in range(top):
        for x0 in range(w):
            if (x0, y0) in seen:
                continue
            c, stack, run = colour(x0, y0), [(x0, y0)], set()
            seen.add((x0, y0))
            while stack:
                px, py = stack.pop()
                run.add((px, py))
                for n in ((px - 1, py), (px + 1, py), (px, py - 1), (px, py + 1)):
                    if 0 <= n[0] < w and 0 <= n[1] < top and n not in seen and colour(*n) == c:
                        seen.add(n)
                        stack.append(n)
            left, right = min(px for px, _ in run), max(px for px, _ in run)
            upper, lower = min(py for _, py in run), max(py for _, py in run)
            if len(run) > 80 or right - left < 4 or lower - upper < 5:
                continue
            outline = ({(px, py) for px in range(left, right + 1) for py in (upper, lower)}
                       | {(px, py) for px in (left, right) for py in range(upper, lower + 1)})
            inside = {colour(px, py) for px in range(left + 1, right) for py in range(upper + 1, lower)}
            if run == outline and len(inside) == 1 and c not in inside:
                boxes.append((left, upper, right - left + 1, lower - upper + 1))
    return boxes
