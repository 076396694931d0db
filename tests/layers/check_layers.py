#!/usr/bin/env python3
"""Includes only point down: app/ -> reservation/, dialogs/ -> capture/,
history/ -> store/ -> platform/. Prints every include that points up or
sideways into app/ and fails when there is one. A bare include ("x.h") is
either a file beside the one that includes it, a header the build makes
from the project's own definition (resources/x.h.in, allowed everywhere), or
one of resources/ (the program's resource ids: app/ only)."""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
# What each folder may include from the project (besides itself).
ALLOWED = {
    "platform": {"platform"},
    "store": {"store", "platform"},
    "capture": {"capture", "store", "platform"},
    "history": {"history", "store", "platform"},
    "reservation": {"reservation", "history", "capture", "store", "platform"},
    "dialogs": {"dialogs", "reservation", "capture", "store", "platform"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')
BARE = re.compile(r'^\s*#\s*include\s+"([^/"]+)"')


def bare_ok(path, name):
    if (path.parent / name).is_file():
        return True
    if (ROOT / "resources" / (name + ".in")).is_file():
        return True  # generated for every floor
    return False  # resources/ or nowhere: not below app/

bad = []
for folder, allowed in ALLOWED.items():
    for path in sorted((ROOT / folder).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            m = INCLUDE.match(line)
            if m and m.group(1) not in allowed and (ROOT / m.group(1)).is_dir():
                bad.append(f"{path.relative_to(ROOT)}:{number}: {line.strip()}")
            b = BARE.match(line)
            if b and not bare_ok(path, b.group(1)):
                bad.append(f"{path.relative_to(ROOT)}:{number}: {line.strip()} (not beside it, not generated)")
print("\n".join(bad) if bad else "layers: every include points down")
sys.exit(1 if bad else 0)
