#!/usr/bin/env python3
"""Turns resources/strings.txt into strings.rc (for windres),
string_table_data.cpp (for the portable core) and, through its template
resources/string_ids.h.in, string_ids.h (the strings::k* ids), so each text
and its id live in one place."""
import os
import re
import sys

NAME = re.compile(r"k[A-Z][A-Za-z0-9]*")


def read_table(path):
    table = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t", 2)
            if len(fields) != 3 or not fields[0].isdigit() or not NAME.fullmatch(fields[1]):
                sys.exit(f"{path}:{number}: expected 'id<TAB>kName<TAB>text'")
            ident, name, text = fields
            out, i = [], 0
            while i < len(text):
                c = text[i]
                if c == "\\" and i + 1 < len(text) and text[i + 1] in "n\\":
                    out.append("\n" if text[i + 1] == "n" else "\\")
                    i += 2
                else:
                    out.append(c)
                    i += 1
            table.append((int(ident), name, "".join(out)))
    for column, what in ((0, "id"), (1, "name")):
        values = [row[column] for row in table]
        if len(values) != len(set(values)):
            sys.exit(f"{path}: duplicate string {what}")
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
    source, template, outdir = sys.argv[1], sys.argv[2], sys.argv[3]
    table = read_table(source)
    os.makedirs(outdir, exist_ok=True)
    rc = ["// Generated from resources/strings.txt; do not edit.", "#pragma code_page(65001)",
          "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT", "STRINGTABLE", "BEGIN"]
    rc += [f"  {i}, {rc_literal(t)}" for i, _, t in table]
    rc += ["END", ""]
    write_if_changed(os.path.join(outdir, "strings.rc"), "\n".join(rc))
    cpp = ["// Generated from resources/strings.txt; do not edit.",
           '#include "store/string_table.h"', "", "namespace kestrova {",
           "const StringTableEntry kStringTable[] = {"]
    cpp += [f"    {{{i}, {cpp_literal(t)}}}," for i, _, t in table]
    cpp += ["};", f"const std::size_t kStringTableSize = {len(table)};", "}  // namespace kestrova", ""]
    write_if_changed(os.path.join(outdir, "string_table_data.cpp"), "\n".join(cpp))
    with open(template, encoding="utf-8") as f:
        header = f.read()
    if header.count("@STRING_IDS@") != 1:
        sys.exit(f"{template}: expected one @STRING_IDS@")
    ids = "\n".join(f"inline constexpr unsigned {name} = {i};" for i, name, _ in table)
    write_if_changed(os.path.join(outdir, "string_ids.h"), header.replace("@STRING_IDS@", ids))


if __name__ == "__main__":
    main()
