"""The two Kestrova.exe builds as Windows sees them, read from their files
(no Wine: Wine ignores the manifest's architecture, where Windows refuses
to start an exe whose manifest names another one with a side-by-side
configuration error).

KESTROVA_X64_BUILD and KESTROVA_X86_BUILD name the build folders (ctest
sets them; by default build/x64 and build/x86).
"""

import hashlib
import os
import sys
import unittest

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "scripts"))
import pe_info  # noqa: E402

BUILDS = {arch: os.environ.get("KESTROVA_%s_BUILD" % arch.upper()) or os.path.join(SOURCE_DIR, "build", arch)
          for arch in ("x64", "x86")}
# What each folder's exe must be: PE machine, PE format, the manifest's own
# processorArchitecture.
EXPECTED = {"x64": ("0x8664", "PE32+", "amd64"), "x86": ("0x14c", "PE32", "x86")}
# The static runtime: none of mingw's runtime DLLs may be needed beside the exe.
RUNTIME_DLLS = ("libgcc_s", "libstdc++", "libwinpthread")


def identity(pe):
    """The manifest's own assemblyIdentity (a ManifestIdentity)."""
    if pe.manifest_bytes() is None:
        raise AssertionError("%s has no manifest" % pe.name)
    return pe_info.manifest_identity(pe.manifest_bytes())


def read_exe(arch):
    path = os.path.join(BUILDS[arch], "Kestrova.exe")
    if not os.path.isfile(path):
        raise AssertionError("no %s: run `bash scripts/build.sh %s`" % (path, arch))
    return pe_info.PEFile.read(path)


class BuiltExes(unittest.TestCase):
    maxDiff = None
    @classmethod
    def setUpClass(cls):
        cls.exes = {arch: read_exe(arch) for arch in BUILDS}

    def test_each_exe_is_of_its_folders_architecture_with_the_static_runtime(self):
        for arch, pe in self.exes.items():
            with self.subTest(arch):
                self.assertEqual((hex(pe.machine), pe.format, identity(pe).architecture), EXPECTED[arch],
                                 "%s: (PE machine, format, manifest processorArchitecture)" % pe.name)
                runtime = [dll for dll in pe.imports + pe.delay_imports if dll.lower().startswith(RUNTIME_DLLS)]
                self.assertEqual(runtime, [], "%s imports mingw's runtime DLLs" % pe.name)

    def test_both_exes_carry_the_same_version_and_resources(self):
        x64, x86 = self.exes["x64"], self.exes["x86"]
        # Every resource but the manifest, the version resource among them, byte for byte.
        resources = {arch: {pe_info.resource_label(key): hashlib.sha256(data).hexdigest()
                            for key, data in pe.resources.items() if key[0] != pe_info.RT_MANIFEST}
                     for arch, pe in self.exes.items()}
        self.assertEqual(resources["x86"], resources["x64"],
                         "the resources of %s and %s (type/id/language: SHA-256)" % (x86.name, x64.name))
        # The manifests differ only in the architecture of their own identity.
        blanked = {}
        for arch, pe in self.exes.items():
            span = identity(pe).span
            self.assertIsNotNone(span, "%s: its manifest's assemblyIdentity has no processorArchitecture" % pe.name)
            data = pe.manifest_bytes()
            blanked[arch] = data[:span[0]] + b"@ARCH@" + data[span[1]:]
        self.assertEqual(blanked["x86"].decode("utf-8").splitlines(), blanked["x64"].decode("utf-8").splitlines(),
                         "the manifests of %s and %s differ beyond the architecture" % (x86.name, x64.name))


if __name__ == "__main__":
    unittest.main()
