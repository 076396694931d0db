#!/usr/bin/env python3
"""Turns resources/strings.txt into strings.rc (for windres) and
string_table_data.cpp (for the portable core), so each text lives in one place."""
import os
import sys


def read_table(path):
    table = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            ident, sep, text = line.partition("\t")
            if not sep or not ident.isdigit():
                sys.exit(f"{path}:{number}: expected 'id<TAB>text'")
            out, i = [], 0
            while i < len(text):
                c = text[i]
                if c == "\\" and i + 1 < len(text) and text[i + 1] in "n\\":
                    out.append("\n" if text[i + 1] == "n" else "\\")
                    i += 2
                else:
                    out.append(c)
                    i += 1
            table.append((int(ident), "".join(out)))
    ids = [i for i, _ in table]
    if len(ids) != len(set(ids)):
        sys.exit(f"{path}: duplicate string id")
    return sorted(table)


def rc_literal(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""').replace("\n", "\\n").replace("\t", "\\t") + '"'


def cpp_literal(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n").replace("\t", "\\t") + '"'


def write_if_changed(path, content):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == content:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(content)


def main():
    source, outdir = sys.argv[1], sys.argv[2]
    table = read_table(source)
    os.makedirs(outdir, exist_ok=True)
    rc = ["// Generated from resources/strings.txt; do not edit.", "#pragma code_page(65001)",
          "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT", "STRINGTABLE", "BEGIN"]
    rc += [f"  {i}, {rc_literal(t)}" for i, t in table]
    rc += ["END", ""]
    write_if_changed(os.path.join(outdir, "strings.rc"), "\n".join(rc))
    cpp = ["// Generated from resources/strings.txt; do not edit.",
           '#include "store/string_table.h"', "", "namespace kestrova {",
           "const StringTableEntry kStringTable[] = {"]
    cpp += [f"    {{{i}, {cpp_literal(t)}}}," for i, t in table]
    cpp += ["};", f"const std::size_t kStringTableSize = {len(table)};", "}  // namespace kestrova", ""]
    write_if_changed(os.path.join(outdir, "string_table_data.cpp"), "\n".join(cpp))


if __name__ == "__main__":
    main()
