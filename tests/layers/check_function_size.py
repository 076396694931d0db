#!/usr/bin/env python3
"""No function of the product is longer than LIMIT lines, counted from the
line of its opening brace to the line of its closing one. Prints each one
that is, longest first, and fails when there is one. With --all, prints the
longest functions whatever their size.

A function body is found as a brace block that opens after a closing
parenthesis (allowing const, noexcept, override, a trailing return type or a
constructor's initialiser list in between) at namespace or class level.
Lambdas inside a body count as part of that body."""
import pathlib
import re
import sys

ROOT = pathlib.Path(next((a for a in sys.argv[1:] if not a.startswith("--")), "."))
LIMIT = 60
FOLDERS = ("app", "reservation", "dialogs", "capture", "history", "store", "platform")


def strip(text):
    """Blanks out comments, strings and character literals, keeping lines."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


HEAD = re.compile(r"\)\s*(const|noexcept|override|final|->\s*[\w:<>,\s*&]+|:[^;{}]*|\s)*$")


def functions(path):
    text = strip(path.read_text(encoding="utf-8"))
    stack = []  # (is_function, start_line, name)
    line = 1
    for i, c in enumerate(text):
        if c == "\n":
            line += 1
        elif c == "{":
            inside = any(f for f, _, _ in stack)
            before = text[max(0, i - 400):i]
            is_fn = not inside and HEAD.search(before) is not None
            name = ""
            if is_fn:
                # The head starts after the statement or block before it.
                head = re.split(r"[;{}]", before)[-1]
                m = re.findall(r"([~\w:]+)\s*\(", head)
                name = m[-1] if m else "?"
                # An initialiser list's calls are not the function's name.
                init = re.search(r"([~\w:]+)\s*\([^()]*(?:\([^()]*\)[^()]*)*\)\s*(?:const|noexcept|\s)*:[^:]", head)
                if init:
                    name = init.group(1)
            stack.append((is_fn, line, name))
        elif c == "}" and stack:
            is_fn, start, name = stack.pop()
            if is_fn:
                yield name, start, line - start + 1


def main():
    show_all = "--all" in sys.argv
    found = []
    for folder in FOLDERS:
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix in (".h", ".cpp"):
                for name, start, size in functions(path):
                    found.append((size, f"{path.relative_to(ROOT)}:{start}", name))
    found.sort(reverse=True)
    if show_all:
        for size, where, name in found[:40]:
            print(f"{size:4d}  {where}  {name}")
        return 0
    long = [f for f in found if f[0] > LIMIT]
    for size, where, name in long:
        print(f"{where}: {name} is {size} lines (at most {LIMIT})")
    if not long:
        print(f"function size: {len(found)} functions, the longest {found[0][0]} lines ({found[0][2]})")
    return 1 if long else 0


if __name__ == "__main__":
    sys.exit(main())
