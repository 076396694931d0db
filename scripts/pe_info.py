#!/usr/bin/env python3
"""Reads what the release and its tests need from a Windows PE file: the
COFF machine, PE32 or PE32+, the imported DLLs, the resources, the
manifest and the version resource. Standard library only.

    python3 scripts/pe_info.py build/x64/Kestrova.exe             # a summary
    python3 scripts/pe_info.py --manifest build/x86/Kestrova.exe  # the manifest text

As a module:

    pe = pe_info.PEFile.read("build/x64/Kestrova.exe")
    pe.machine            # 0x8664
    pe.imports            # ["ADVAPI32.dll", ...]
    pe.resources          # {(type, name, language): bytes}, ids as ints
    pe.manifest()         # text of the RT_MANIFEST resource, or None
    manifest_architecture(pe.manifest())  # "amd64"
    pe.version()          # Version(file_version=(3, 61, 0, 0), ..., strings={...})

A damaged or foreign file raises PEError, whose message says what is wrong.
"""

import argparse
import re
import struct
import sys
import xml.parsers.expat
from collections import namedtuple

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
MACHINE_ARM64 = 0xAA64
MACHINE_NAMES = {MACHINE_I386: "x86", MACHINE_AMD64: "x64", MACHINE_ARM64: "arm64"}

PE32 = "PE32"
PE32_PLUS = "PE32+"
_MAGIC = {0x10B: PE32, 0x20B: PE32_PLUS}

RT_VERSION = 16
RT_MANIFEST = 24
RESOURCE_TYPE_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG",
                       6: "RT_STRING", 9: "RT_ACCELERATOR", 10: "RT_RCDATA", 12: "RT_GROUP_CURSOR",
                       14: "RT_GROUP_ICON", RT_VERSION: "RT_VERSION", RT_MANIFEST: "RT_MANIFEST"}

_DIR_IMPORT, _DIR_RESOURCE, _DIR_DELAY_IMPORT = 1, 2, 13
_FIXED_SIGNATURE = 0xFEEF04BD

Version = namedtuple("Version", "file_version product_version strings")
Version.__doc__ = """The version resource: VS_FIXEDFILEINFO's file and
product versions as (major, minor, build, revision), and the StringFileInfo
values {name: text} (of every string table; the first one wins a name)."""

ManifestIdentity = namedtuple("ManifestIdentity", "architecture version span")
ManifestIdentity.__doc__ = """The manifest's own assemblyIdentity (the child
of <assembly>, not a dependency's): its processorArchitecture and version
attributes (None when missing), and span, the (start, end) byte offsets of
the processorArchitecture value in the manifest's bytes (None when missing)."""


class PEError(ValueError):
    """The file is not a PE file Kestrova's tools can read."""


class PEFile:
    def __init__(self, data, name="<data>"):
        self.data = bytes(data)
        self.name = name
        self._parse_headers()
        self.imports = self._import_names(_DIR_IMPORT, 20, 12)
        self.delay_imports = self._import_names(_DIR_DELAY_IMPORT, 32, 4)
        self.resources = self._resource_tree()

    @classmethod
    def read(cls, path):
        try:
            with open(path, "rb") as f:
                return cls(f.read(), str(path))
        except OSError as e:
            raise PEError("%s: %s" % (path, e.strerror or e)) from None

    # --- headers -----------------------------------------------------------

    def _unpack(self, fmt, offset, what):
        size = struct.calcsize(fmt)
        if offset < 0 or offset + size > len(self.data):
            raise PEError("%s: %s lies past the end of the file" % (self.name, what))
        return struct.unpack_from(fmt, self.data, offset)

    def _parse_headers(self):
        if self.data[:2] != b"MZ":
            raise PEError("%s: not a PE file (no MZ header)" % self.name)
        (pe_at,) = self._unpack("<I", 0x3C, "the PE header offset")
        if self.data[pe_at:pe_at + 4] != b"PE\0\0":
            raise PEError("%s: not a PE file (no PE signature)" % self.name)
        (self.machine, sections, _, _, _, optional_size, _) = self._unpack("<HHIIIHH", pe_at + 4, "the COFF header")
        optional_at = pe_at + 24
        (magic,) = self._unpack("<H", optional_at, "the optional header")
        if magic not in _MAGIC:
            raise PEError("%s: unknown optional header magic 0x%x" % (self.name, magic))
        self.format = _MAGIC[magic]
        plus = self.format == PE32_PLUS
        (self.image_base,) = self._unpack("<Q" if plus else "<I", optional_at + (24 if plus else 28), "the image base")
        (count,) = self._unpack("<I", optional_at + (108 if plus else 92), "the data directory count")
        directories_at = optional_at + (112 if plus else 96)
        count = min(count, (optional_size - (directories_at - optional_at)) // 8, 16)
        self.directories = [self._unpack("<II", directories_at + 8 * i, "the data directories")
                            for i in range(max(count, 0))]
        self.sections = []
        for i in range(sections):
            name, vsize, vaddr, rsize, raw = self._unpack("<8sIIII", optional_at + optional_size + 40 * i,
                                                          "the section table")
            self.sections.append((name.rstrip(b"\0").decode("latin-1"), vaddr, max(vsize, rsize), raw, rsize))

    @property
    def machine_name(self):
        return MACHINE_NAMES.get(self.machine, "0x%x" % self.machine)

    def offset(self, rva):
        """The file offset of a relative virtual address."""
        for _, vaddr, vsize, raw, rsize in self.sections:
            if vaddr <= rva < vaddr + vsize:
                if rva - vaddr >= rsize:
                    raise PEError("%s: RVA 0x%x is in no file data" % (self.name, rva))
                return raw + rva - vaddr
        raise PEError("%s: RVA 0x%x is in no section" % (self.name, rva))

    def _directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def _c_string(self, rva):
        at = self.offset(rva)
        end = self.data.find(b"\0", at)
        if end < 0:
            raise PEError("%s: unterminated string at RVA 0x%x" % (self.name, rva))
        return self.data[at:end].decode("latin-1")

    # --- imports -------------------------------------------------------------

    def _import_names(self, index, size, name_at):
        """DLL names of the (delay-)import descriptors: `size` bytes each,
        the name's address `name_at` bytes in; an all-zero one ends them."""
        rva, length = self._directory(index)
        if rva == 0 or length == 0:
            return []
        names, at = [], self.offset(rva)
        while True:
            entry = self.data[at:at + size]
            if len(entry) < size:
                raise PEError("%s: the import table runs past the end of the file" % self.name)
            if not any(entry):
                return names
            (name_rva,) = struct.unpack_from("<I", entry, name_at)
            if index == _DIR_DELAY_IMPORT and not struct.unpack_from("<I", entry, 0)[0] & 1:
                name_rva -= self.image_base  # an old-style descriptor holds addresses, not RVAs
            names.append(self._c_string(name_rva))
            at += size

    # --- resources -----------------------------------------------------------

    def _resource_tree(self):
        rva, length = self._directory(_DIR_RESOURCE)
        if rva == 0 or length == 0:
            return {}
        base = self.offset(rva)
        out = {}

        def entries(directory, depth):
            if depth > 2:
                raise PEError("%s: the resource tree is deeper than type/name/language" % self.name)
            _, _, _, _, named, ids = self._unpack("<IIHHHH", base + directory, "a resource directory")
            for i in range(named + ids):
                name, target = self._unpack("<II", base + directory + 16 + 8 * i, "a resource entry")
                if name & 0x80000000:
                    (n,) = self._unpack("<H", base + (name & 0x7FFFFFFF), "a resource name")
                    at = base + (name & 0x7FFFFFFF) + 2
                    key = self.data[at:at + 2 * n].decode("utf-16-le", errors="replace")
                else:
                    key = name & 0xFFFF
                yield key, target

        for rtype, type_dir in entries(0, 0):
            for rname, name_dir in entries(type_dir & 0x7FFFFFFF, 1):
                for lang, leaf in entries(name_dir & 0x7FFFFFFF, 2):
                    if leaf & 0x80000000 or not type_dir & 0x80000000 or not name_dir & 0x80000000:
                        raise PEError("%s: resource %s/%s is not type/name/language" % (self.name, rtype, rname))
                    data_rva, size, _, _ = self._unpack("<IIII", base + leaf, "a resource data entry")
                    at = self.offset(data_rva)
                    if at + size > len(self.data):
                        raise PEError("%s: resource %s/%s/%s runs past the end of the file"
                                      % (self.name, rtype, rname, lang))
                    out[(rtype, rname, lang)] = self.data[at:at + size]
        return out

    def resources_of_type(self, rtype):
        return {key: value for key, value in self.resources.items() if key[0] == rtype}

    def manifest_bytes(self):
        """The bytes of the (first) RT_MANIFEST resource, or None."""
        found = sorted(self.resources_of_type(RT_MANIFEST).items(), key=lambda item: resource_order(item[0]))
        return found[0][1] if found else None

    def manifest(self):
        """The text of the (first) RT_MANIFEST resource, or None."""
        data = self.manifest_bytes()
        try:
            return None if data is None else data.decode("utf-8-sig")
        except UnicodeDecodeError as e:
            raise PEError("%s: the manifest is not UTF-8: %s" % (self.name, e)) from None

    def version(self):
        """The version resource as a Version, or None when there is none."""
        found = sorted(self.resources_of_type(RT_VERSION).items(), key=lambda item: resource_order(item[0]))
        return parse_version_resource(found[0][1], self.name) if found else None


# --- the version resource ------------------------------------------------------

def _version_blocks(data, at, end, name):
    """(key, value type, value bytes, children) of the blocks in data[at:end]."""
    blocks = []
    while at + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", data, at)
        if length < 6 or at + length > end:
            raise PEError("%s: a version resource block has a bad length" % name)
        key_end = at + 6
        while key_end + 1 < at + length and data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le", errors="replace")
        value_at = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if value_type == 1 else value_length
        value = data[value_at:min(value_at + value_size, at + length)]
        children_at = (value_at + value_size + 3) & ~3
        blocks.append((key, value_type, value, _version_blocks(data, children_at, at + length, name)
                       if children_at < at + length else []))
        at = (at + length + 3) & ~3
    return blocks


def _quad(ms, ls):
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def parse_version_resource(data, name="<data>"):
    blocks = _version_blocks(data, 0, len(data), name)
    if not blocks or blocks[0][0] != "VS_VERSION_INFO":
        raise PEError("%s: the version resource has no VS_VERSION_INFO" % name)
    _, _, fixed, children = blocks[0]
    if len(fixed) < 52 or struct.unpack_from("<I", fixed)[0] != _FIXED_SIGNATURE:
        raise PEError("%s: the version resource has no VS_FIXEDFILEINFO" % name)
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
    strings = {}
    for key, _, _, tables in children:
        if key != "StringFileInfo":
            continue
        for _, _, _, values in tables:
            for value_name, value_type, value, _ in values:
                text = value.decode("utf-16-le", errors="replace") if value_type == 1 else \
                    value.decode("latin-1")
                strings.setdefault(value_name, text.split("\0", 1)[0])
    return Version(_quad(file_ms, file_ls), _quad(product_ms, product_ls), strings)


# --- the manifest ----------------------------------------------------------------

def manifest_identity(data):
    """The ManifestIdentity of a manifest (bytes or text). Raises PEError
    when it is no XML or its root is no <assembly>."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    parser = xml.parsers.expat.ParserCreate(namespace_separator=" ")
    depth, found = [0], []

    def start(tag, attributes):
        local = tag.rsplit(" ", 1)[-1]
        if depth[0] == 0 and local != "assembly":
            raise PEError("the manifest's root is <%s>, not <assembly>" % local)
        if depth[0] == 1 and local == "assemblyIdentity" and not found:
            found.append((parser.CurrentByteIndex, attributes))
        depth[0] += 1

    def end(_tag):
        depth[0] -= 1

    parser.StartElementHandler, parser.EndElementHandler = start, end
    try:
        parser.Parse(data, True)
    except xml.parsers.expat.ExpatError as e:
        raise PEError("the manifest is no well-formed XML: %s" % e) from None
    if not found:
        return ManifestIdentity(None, None, None)
    at, attributes = found[0]
    tag_end = data.index(b">", at)
    m = re.compile(rb"""\sprocessorArchitecture\s*=\s*(["'])(.*?)\1""", re.S).search(data, at, tag_end)
    span = (m.start(2), m.end(2)) if m else None
    return ManifestIdentity(attributes.get("processorArchitecture"), attributes.get("version"), span)


def manifest_architecture(data):
    """processorArchitecture of the manifest's own assemblyIdentity, or None."""
    return manifest_identity(data).architecture


# --- command line ------------------------------------------------------------------

def resource_label(key):
    """A readable name of a resource key: "RT_MANIFEST/1/1041"."""
    rtype, rname, lang = key
    return "%s/%s/%s" % (RESOURCE_TYPE_NAMES.get(rtype, rtype), rname, lang)


def resource_order(key):
    """A sort key for resource keys: ids in number order, then names."""
    return tuple((1, part) if isinstance(part, str) else (0, part) for part in key)


def summary(pe):
    lines = ["%s: machine 0x%x (%s), %s" % (pe.name, pe.machine, pe.machine_name, pe.format),
             "imports: " + ", ".join(pe.imports)]
    if pe.delay_imports:
        lines.append("delay imports: " + ", ".join(pe.delay_imports))
    manifest = pe.manifest_bytes()
    if manifest is not None:
        identity = manifest_identity(manifest)
        lines.append("manifest: processorArchitecture %s, version %s" % (identity.architecture, identity.version))
    version = pe.version()
    if version is not None:
        lines.append("file version %s, product version %s" % (".".join(map(str, version.file_version)),
                                                            ".".join(map(str, version.product_version))))
        lines += ["  %s: %s" % item for item in version.strings.items()]
    lines.append("resources:")
    lines += ["  %-28s %7d bytes" % (resource_label(key), len(value))
              for key, value in sorted(pe.resources.items(), key=lambda item: resource_order(item[0]))]
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Shows the machine, imports, resources, manifest "
                                                 "and version of PE files.")
    parser.add_argument("--manifest", action="store_true", help="print the manifest text only")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args(argv)
    status = 0
    for path in args.files:
        try:
            pe = PEFile.read(path)
            if args.manifest:
                text = pe.manifest()
                if text is None:
                    raise PEError("%s: no RT_MANIFEST resource" % path)
                sys.stdout.write(text if text.endswith("\n") else text + "\n")
            else:
                print(summary(pe))
        except PEError as e:
            print("pe_info: %s" % e, file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
