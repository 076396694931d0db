#!/usr/bin/env python3
"""Packs the release: <out>/Kestrova-<version>.zip from the x64 and x86 builds.

    python3 scripts/release.py --x64 build/x64 --x86 build/x86 --out dist

The zip holds, in this order:

    README.txt         the Japanese read-me (resources/release/README.txt,
                       in CP932 with CR LF line ends)
    LICENSE.txt        LICENSE, with CR LF line ends
    x64/Kestrova.exe   the 64-bit program and its user guide: each folder is
    x64/Kestrova.html  a whole portable install (Kestrova keeps its settings,
    x86/Kestrova.exe   reservations and history page beside the exe)
    x86/Kestrova.html

The version is the one of the exes' version resource. Each exe must be of
its folder's architecture in its PE header and in its manifest's own
assemblyIdentity (Windows refuses to start an exe whose manifest names
another architecture), its version resource must agree with itself and
with its manifest, and both exes must carry the same version; otherwise
nothing is written and the fault is told in one line. The same inputs give
the same zip, byte for byte: fixed entry order, times and attributes.
"""

import argparse
import os
import re
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_info  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
README = os.path.join(ROOT, "resources", "release", "README.txt")
LICENSE = os.path.join(ROOT, "LICENSE")

# Folder: (PE machine, PE format, the manifest's processorArchitecture).
ARCHITECTURES = {
    "x64": (pe_info.MACHINE_AMD64, pe_info.PE32_PLUS, "amd64"),
    "x86": (pe_info.MACHINE_I386, pe_info.PE32, "x86"),
}
# Every entry's time (the zip's DOS time, local time of no zone).
ENTRY_TIME = (2026, 1, 1, 0, 0, 0)
VERSION_TEXT = re.compile(r"\d+(\.\d+){1,3}")


class Refusal(Exception):
    """The inputs cannot be packed; the message says which and why."""


def dotted(quad):
    return ".".join(map(str, quad))


def as_quad(text):
    """(major, minor, build, revision) of "3.61" or "3.61.0.0", or None."""
    if text is None or not VERSION_TEXT.fullmatch(text):
        return None
    parts = [int(p) for p in text.split(".")]
    return tuple(parts + [0] * (4 - len(parts)))


def exe_version(pe, identity):
    """The exe's version text (its ProductVersion), once every version it
    carries agrees: the FileVersion and ProductVersion strings, the fixed
    file and product versions and the manifest's. Returns (version, fault)."""
    version = pe.version()
    if version is None:
        return None, "it has no version resource"
    product = version.strings.get("ProductVersion")
    if as_quad(product) is None:
        return None, "its ProductVersion %r is no version number" % product
    carried = {"FileVersion": as_quad(version.strings.get("FileVersion")),
               "ProductVersion": as_quad(product),
               "the fixed file version": version.file_version,
               "the fixed product version": version.product_version,
               "the manifest's version": as_quad(identity.version)}
    if len(set(carried.values())) > 1:
        return None, "its versions disagree: " + ", ".join(
            "%s %s" % (name, dotted(quad) if quad else "missing") for name, quad in carried.items())
    return product, None


def check_exe(arch, folder):
    """The version of <folder>/Kestrova.exe, which must be an `arch` exe;
    raises Refusal naming the exe and its faults."""
    path = os.path.join(folder, "Kestrova.exe")
    where = "%s (the %s folder)" % (path, arch)
    for name in ("Kestrova.exe", "Kestrova.html"):
        if not os.path.isfile(os.path.join(folder, name)):
            raise Refusal("%s is missing (the %s folder)" % (os.path.join(folder, name), arch))
    try:
        pe = pe_info.PEFile.read(path)
        manifest = pe.manifest_bytes()
        identity = pe_info.manifest_identity(manifest) if manifest is not None else None
    except pe_info.PEError as e:
        raise Refusal("%s: %s" % (where, e)) from None
    machine, pe_format, manifest_arch = ARCHITECTURES[arch]
    faults = []
    if pe.machine != machine:
        faults.append("its PE machine is 0x%x (%s), an %s exe has 0x%x (%s)"
                      % (pe.machine, pe.machine_name, arch, machine, pe_info.MACHINE_NAMES[machine]))
    elif pe.format != pe_format:
        faults.append("it is a %s image, an %s exe is %s" % (pe.format, arch, pe_format))
    if identity is None:
        faults.append("it has no manifest")
    elif identity.architecture != manifest_arch:
        faults.append('its manifest names processorArchitecture "%s", an %s exe needs "%s"'
                      % (identity.architecture, arch, manifest_arch))
    version = None
    if identity is not None:
        version, fault = exe_version(pe, identity)
        if fault:
            faults.append(fault)
    if faults:
        raise Refusal("%s: %s" % (where, "; ".join(faults)))
    return version


def windows_text(path, replacements=None):
    """The UTF-8 text file `path` in CP932 with CR LF line ends; raises
    Refusal at a character CP932 cannot hold as it is."""
    with open(path, encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\n")
    for key, value in (replacements or {}).items():
        text = text.replace(key, value)
    for number, line in enumerate(text.split("\n"), 1):
        for c in line:
            try:
                kept = c.encode("cp932").decode("cp932") == c
            except UnicodeEncodeError:
                kept = False
            if not kept:  # none, or one that reads back as another character (U+301C as U+FF5E)
                raise Refusal("%s line %d: %r (U+%04X) has no CP932 form" % (path, number, c, ord(c)))
    return text.replace("\n", "\r\n").encode("cp932")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def package(folders, out):
    """Writes <out>/Kestrova-<version>.zip from {arch: build folder}; returns its path."""
    versions = {arch: check_exe(arch, folders[arch]) for arch in ARCHITECTURES}
    if versions["x64"] != versions["x86"]:
        raise Refusal("%s (the x86 folder): its version is %s, the x64 exe's (%s) is %s"
                      % (os.path.join(folders["x86"], "Kestrova.exe"), versions["x86"],
                         os.path.join(folders["x64"], "Kestrova.exe"), versions["x64"]))
    version = versions["x64"]
    entries = [("README.txt", windows_text(README, {"@VERSION@": version})),
               ("LICENSE.txt", windows_text(LICENSE))]
    for arch in ARCHITECTURES:
        for name in ("Kestrova.exe", "Kestrova.html"):
            entries.append(("%s/%s" % (arch, name), read(os.path.join(folders[arch], name))))

    os.makedirs(out, exist_ok=True)
    target = os.path.join(out, "Kestrova-%s.zip" % version)
    fd, temporary = tempfile.mkstemp(prefix=".Kestrova-", suffix=".zip", dir=out)
    try:
        with os.fdopen(fd, "wb") as f, zipfile.ZipFile(f, "w") as z:
            for name, data in entries:
                name.encode("ascii")  # plain names: every unzip reads them alike
                info = zipfile.ZipInfo(name, date_time=ENTRY_TIME)
                info.compress_type = zipfile.ZIP_DEFLATED
                info.create_system = 0  # MS-DOS, whatever the host
                info.external_attr = 0
                z.writestr(info, data, compresslevel=9)
        os.chmod(temporary, 0o644)
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise
    return target


def main(argv=None):
    parser = argparse.ArgumentParser(description="Packs Kestrova-<version>.zip from the x64 and x86 builds.")
    parser.add_argument("--x64", required=True, help="the x64 build folder (Kestrova.exe, Kestrova.html)")
    parser.add_argument("--x86", required=True, help="the x86 build folder")
    parser.add_argument("--out", required=True, help="where the zip goes")
    args = parser.parse_args(argv)
    try:
        target = package({"x64": args.x64, "x86": args.x86}, args.out)
    except Refusal as e:
        print("release: refused: %s" % e, file=sys.stderr)
        return 1
    print("release: %s (%d bytes)" % (target, os.path.getsize(target)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
