"""The release package: scripts/release.py on the x64 and x86 builds, its
zip unpacked (its exes are the builds' own, byte for byte, so what they do
is the e2e tests'); and the inputs it must refuse. KESTROVA_X64_BUILD and
KESTROVA_X86_BUILD name the builds (by default build/x64 and build/x86).
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

from test_exes import BUILDS, SOURCE_DIR, read_exe

sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
import pe_info  # noqa: E402  (scripts/ is on the path through test_exes)

RELEASE = os.path.join(SOURCE_DIR, "scripts", "release.py")
FILES = ["README.txt", "LICENSE.txt",
         "x64/Kestrova.exe", "x64/Kestrova.html", "x86/Kestrova.exe", "x86/Kestrova.html"]


def run_release(x64, x86, out):
    return subprocess.run([sys.executable, RELEASE, "--x64", x64, "--x86", x86, "--out", out],
                          capture_output=True, text=True, timeout=120)


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Release(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="kestrova-release-")
        cls.addClassCleanup(shutil.rmtree, cls.tmp, ignore_errors=True)
        for arch in BUILDS:
            read_exe(arch)  # says which build is missing
        result = run_release(BUILDS["x64"], BUILDS["x86"], os.path.join(cls.tmp, "dist"))
        if result.returncode != 0:
            raise AssertionError("release.py failed: " + result.stderr)
        (name,) = os.listdir(os.path.join(cls.tmp, "dist"))
        cls.zip = os.path.join(cls.tmp, "dist", name)
        cls.unpacked = os.path.join(cls.tmp, "unpacked")
        with zipfile.ZipFile(cls.zip) as z:
            z.extractall(cls.unpacked)

    def folder(self, *names):
        """A folder of the test's own, holding copies of `names` ((source, name) pairs)."""
        path = tempfile.mkdtemp(dir=self.tmp)
        for source, name in names:
            shutil.copy(source, os.path.join(path, name))
        return path

    def test_the_zip_holds_two_portable_installs_a_read_me_and_the_licence(self):
        with zipfile.ZipFile(self.zip) as z:
            self.assertEqual(z.namelist(), FILES)
            self.assertEqual({info.date_time for info in z.infolist()}, {z.infolist()[0].date_time})
        version = re.fullmatch(r"Kestrova-(\d+(?:\.\d+)+)\.zip", os.path.basename(self.zip)).group(1)
        for arch in BUILDS:
            exe = os.path.join(self.unpacked, arch, "Kestrova.exe")
            strings = pe_info.PEFile.read(exe).version().strings
            self.assertEqual((strings["FileVersion"], strings["ProductVersion"]), (version, version), exe)
            self.assertEqual(read(exe), read(os.path.join(BUILDS[arch], "Kestrova.exe")), exe)
            self.assertEqual(read(os.path.join(self.unpacked, arch, "Kestrova.html")),
                             read(os.path.join(SOURCE_DIR, "docs", "Kestrova.html")))

        readme = read(os.path.join(self.unpacked, "README.txt"))
        self.assertEqual(re.findall(rb"\r(?!\n)|(?<!\r)\n", readme), [], "README.txt: line ends other than CR LF")
        source = read(os.path.join(SOURCE_DIR, "resources", "release", "README.txt")).decode("utf-8")
        self.assertEqual(readme.decode("cp932").replace("\r\n", "\n"), source.replace("@VERSION@", version))
        self.assertEqual(read(os.path.join(self.unpacked, "LICENSE.txt")),
                         read(os.path.join(SOURCE_DIR, "LICENSE")).replace(b"\n", b"\r\n"))

        # The same inputs give the same bytes, whenever and from wherever they come.
        copies = {arch: self.folder(*((os.path.join(BUILDS[arch], n), n) for n in ("Kestrova.exe", "Kestrova.html")))
                  for arch in BUILDS}
        again = os.path.join(self.tmp, "again")
        self.assertEqual(run_release(copies["x64"], copies["x86"], again).returncode, 0)
        self.assertEqual(read(os.path.join(again, os.path.basename(self.zip))), read(self.zip))

    def test_refuses_an_exe_of_another_architecture_or_another_version(self):
        guide = os.path.join(SOURCE_DIR, "docs", "Kestrova.html")
        x64, x86 = (os.path.join(BUILDS[arch], "Kestrova.exe") for arch in ("x64", "x86"))
        version = read_exe("x64").version().strings["ProductVersion"]
        other = version[:-1] + str((int(version[-1]) + 1) % 10)
        mixed_up = self.folder((x86, "Kestrova.exe"), (guide, "Kestrova.html"))
        newer = self.folder((x86, "Kestrova.exe"), (guide, "Kestrova.html"))
        with open(os.path.join(newer, "Kestrova.exe"), "wb") as f:
            f.write(with_version(read(x86), version, other))
        cases = [
            ("an x86 exe in the x64 folder", mixed_up, BUILDS["x86"], mixed_up,
             ["the x64 folder", "PE machine is 0x14c", 'processorArchitecture "x86"']),
            ("another version", BUILDS["x64"], newer, newer, ["the x86 folder", "version is %s" % other, version]),
        ]
        for case, x64_folder, x86_folder, named, faults in cases:
            with self.subTest(case):
                out = tempfile.mkdtemp(dir=self.tmp)
                result = run_release(x64_folder, x86_folder, out)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                for part in [os.path.join(named, "Kestrova.exe")] + faults:
                    self.assertIn(part, result.stderr)
                self.assertEqual(os.listdir(out), [], "written despite the refusal")


def with_version(exe, version, other):
    """The exe's bytes with `other` in place of `version` (as long) in its
    version resource and manifest."""
    pe = pe_info.PEFile(exe)
    data = bytearray(exe.replace(version.encode("utf-16-le"), other.encode("utf-16-le")))
    quad = [int(p) for p in (other.split(".") + ["0", "0", "0"])[:4]]
    fixed = data.index(struct.pack("<I", 0xFEEF04BD))
    struct.pack_into("<IIII", data, fixed + 8, *[quad[0] << 16 | quad[1], quad[2] << 16 | quad[3]] * 2)
    own = pe_info.manifest_identity(pe.manifest_bytes()).version.encode()
    return bytes(data).replace(b'version="%s"' % own, b'version="%s"' % ".".join(map(str, quad)).encode())


if __name__ == "__main__":
    unittest.main()
