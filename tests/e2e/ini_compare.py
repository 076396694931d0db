"""Comparing Kestrova's INI reader and writer with the Win32 profile functions.

tools/iniprobe.exe runs every case of ini_corpus/ (see its README) twice
under Wine in the Japanese locale, all in one process: through the Win32
profile functions and through kestrova::IniFile, each on its own copy of
input.ini. Reads and "meaning" listings must agree byte for byte, save where
a line states Kestrova's own result ("=k> ...") or the case is marked
"meaning-differs". File bytes are compared only in "canonical" cases or for
"dump => exact": the Win32 writer rewrites the whole file (no blank lines, no
blanks around "="), Kestrova's keeps every line it does not change.
"""

import difflib
import re
import shutil
from collections import namedtuple
from pathlib import Path

import kestrova_e2e

CORPUS = Path(__file__).resolve().parent / "ini_corpus"
MODES = ("win32", "kestrova")

ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{2}|[tnr\\])")
OP_LINE = re.compile(r"^L(\d+) (\S+) -> (.*)$")
STR_RESULT = re.compile(r'^n=(\d+) (".*")$')
QUOTED_BYTE = re.compile(rb'\\x([0-9A-F]{2})|\\(["\\])')

# expect: the "=> ..." field (what the Win32 functions give), kestrova: "=k> ...".
Op = namedtuple("Op", "line_no text name fields expect kestrova")


def script_bytes(field):
    """A script field as Code Page 932 bytes, as iniprobe reads it."""
    parts = ESCAPE.split(field)  # text, escape, text, ...
    return b"".join(p.encode("cp932") if i % 2 == 0 else bytes([int(p[1:], 16)]) if p[0] == "x"
                    else {"t": b"\t", "n": b"\n", "r": b"\r", "\\": b"\\"}[p] for i, p in enumerate(parts))


def read_script(path):
    """(flags, operations) of a script.txt."""
    flags, ops = set(), []
    for no, line in enumerate(path.read_text(encoding="utf-8").split("\n"), start=1):
        if line.startswith("# flags:"):
            flags.update(line[len("# flags:"):].split())
        if not line or line.startswith("#"):
            continue
        fields, stated = line.split("\t"), {}
        while len(fields) > 1 and fields[-1].startswith(("=>", "=k>")):
            mark, _, text = fields.pop().partition(">")
            stated[mark] = text.removeprefix(" ")
        ops.append(Op(no, line, fields[0], fields, stated.get("="), stated.get("=k")))
    return flags, ops


def read_output(run, text):
    """{script line: result text} of one run, or why it has none (a str)."""
    lines = text.splitlines()
    errors = [line for line in lines if line.startswith("error: ")]
    if "end" not in lines:
        return "the %s run did not finish:\n%s" % (run, text[-2000:])
    if errors:
        return "the %s run failed: %s" % (run, errors[-1])
    if "acp 932" not in lines:
        # Wine reads the file with the ANSI code page: nothing compared
        # means anything unless that is 932.
        return "the %s run did not have code page 932:\n%s" % (run, text[:200])
    results, current = {}, None
    for line in lines:
        m = OP_LINE.match(line)
        if m:
            current = int(m.group(1))
            results[current] = m.group(3)
        elif line.startswith("  ") and current is not None:
            results[current] += "\n" + line
    return results


def quoted_bytes(text):
    """The bytes of a "..." string as iniprobe prints them."""
    body = text[1:-1].encode("ascii")
    return QUOTED_BYTE.sub(lambda m: bytes([int(m.group(1), 16)]) if m.group(1) else m.group(2), body)


def is_stated(op, result, stated):
    """Whether a result is what a "=>" or "=k>" field states."""
    if op.name == "str":
        m = STR_RESULT.match(result)
        return bool(m) and quoted_bytes(m.group(2)) == script_bytes(stated)
    return result == stated


def compare(flags, ops, win, kes):
    """Differences between the two runs of one script, as readable text."""
    problems = [output for output in (win, kes) if isinstance(output, str)]
    if problems:
        return problems
    for op in ops:
        w, k = win.get(op.line_no), kes.get(op.line_no)
        if w is None or k is None or w.startswith("error:") or k.startswith("error:"):
            found = ["  win32:    %s\n  kestrova: %s" % (w, k)]
        else:
            found = [compare_op(flags, op, w, k)]
            # Cases pin down some of what the Win32 functions do: a failure
            # here means Wine does something else than the corpus says.
            if op.expect not in (None, "exact") and not is_stated(op, w, op.expect):
                found.append("  win32 gave %s, the corpus expects %s" % (w, op.expect))
        problems += ["line %d: %s\n%s" % (op.line_no, op.text, p) for p in found if p]
    return problems


def compare_op(flags, op, w, k):
    if op.kestrova is not None:  # Kestrova reads differently on purpose
        return None if is_stated(op, k, op.kestrova) else (
            "  kestrova gave %s, the corpus expects %s" % (k, op.kestrova))
    if op.name == "str":
        mw, mk = STR_RESULT.match(w), STR_RESULT.match(k)
        if not mw or not mk:
            return "  unreadable results:\n  win32:    %s\n  kestrova: %s" % (w, k)
        if mw.group(2) == mk.group(2) and mw.group(1) != mk.group(1):
            # Wine's GetPrivateProfileStringA returns size - 1 when the last
            # double-byte character did not fit, with one byte fewer in the
            # buffer; the bytes are what counts.
            size, shown = int(op.fields[4]), len(quoted_bytes(mw.group(2)))
            if int(mw.group(1)) == size - 1 and shown < size - 1 and int(mk.group(1)) == shown:
                return None
    if w == k or (op.name == "dump" and "canonical" not in flags and op.expect != "exact") or (
            op.name == "meaning" and "meaning-differs" in flags):
        return None
    if op.name in ("dump", "meaning"):  # line by line, a file's lines ending after each LF
        diff = difflib.unified_diff(*(v.replace("\\x0A", "\\x0A\n").split("\n") for v in (w, k)),
                                    "win32", "kestrova", lineterm="", n=1)
        return "  the files differ:\n    " + "\n    ".join(line[:400] for line in diff)
    return "  win32:    %s\n  kestrova: %s" % (w, k)


def corpus_cases():
    return sorted(p.name for p in CORPUS.iterdir() if (p / "script.txt").is_file())


def run_corpus(session, workdir):
    """Runs every case in both modes; returns {(case, mode): output text}.
    A run that crashes or hangs the probe gets a note instead of output and
    the remaining runs go on in a new process."""
    windows_path = kestrova_e2e.win_path
    jobs = []
    for case in corpus_cases():
        for mode in MODES:
            d = workdir / case / mode
            d.mkdir(parents=True)
            if (CORPUS / case / "input.ini").exists():
                shutil.copyfile(CORPUS / case / "input.ini", d / "input.ini")
            jobs.append((case, mode, d / "input.ini", CORPUS / case / "script.txt", d / "output.txt"))
    outputs, pending, idle = {}, jobs, 0
    while pending:
        job_list = workdir / ("jobs-%d.txt" % len(outputs))
        job_list.write_text("".join("%s\t%s\t%s\t%s\n" % (mode, *map(windows_path, paths))
                                    for _, mode, *paths in pending), encoding="utf-8")
        try:
            result = session.run_windows_program("iniprobe.exe", ["batch", windows_path(job_list)],
                                                 timeout=600)
            status = "%d %s" % (result.returncode, (result.stdout + result.stderr).strip()[-1000:])
        except kestrova_e2e.KestrovaError as e:
            status = str(e)
        done = [job for job in pending if job[4].exists()]
        for case, mode, _, _, out in done:
            outputs[(case, mode)] = out.read_text(encoding="ascii", errors="replace")
        pending = pending[len(done):]
        # Runs go in order: the first one without output stopped the probe.
        idle = idle + 1 if not done else 0
        stopped = pending if idle >= 2 else pending[:1]
        for case, mode, *_ in stopped:
            outputs[(case, mode)] = "the probe stopped in this run (exit status %s)" % status
        pending = pending[len(stopped):]
    return outputs
