"""Kestrova's INI reader and writer against the Win32 profile functions.

Every case of ini_corpus/ (input.ini, missing for "no file", and script.txt)
is run twice by tools/iniprobe.exe under Wine in the Japanese locale: once
through GetPrivateProfileStringA / GetPrivateProfileIntA /
WritePrivateProfileStringA and once through kestrova::IniFile, each on its own
copy of input.ini. Every read must give the same bytes in both runs, and so
must every "meaning" listing (all keys of the file as both readers see them).
Where Kestrova differs on purpose, the line states its result ("=k> ...")
and a case may be marked "meaning-differs".
The bytes of the files themselves are compared only where the case is marked
"canonical" or the dump asks for "=> exact": the Win32 writer rewrites the
whole file (no blank lines, no blanks around "="), Kestrova's keeps every line
it does not change.

All runs of the corpus happen in one Wine process (iniprobe.exe batch).
"""

import difflib
import re
import shutil
import sys
import time
import unittest
from pathlib import Path

import kestrova_e2e

HERE = Path(__file__).resolve().parent
CORPUS = HERE / "ini_corpus"
MODES = ("win32", "kestrova")
RUN_TIMEOUT = 600


# --- script files -----------------------------------------------------------

ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{2}|[tnr\\])")


def script_bytes(field):
    """A script field as Code Page 932 bytes, as iniprobe reads it."""
    out = bytearray()
    pos = 0
    for m in ESCAPE.finditer(field):
        out += field[pos:m.start()].encode("cp932")
        code = m.group(1)
        if code[0] == "x":
            out.append(int(code[1:], 16))
        else:
            out += {"t": b"\t", "n": b"\n", "r": b"\r", "\\": b"\\"}[code]
        pos = m.end()
    out += field[pos:].encode("cp932")
    return bytes(out)


class Op:
    def __init__(self, line_no, text):
        self.line_no = line_no
        self.text = text
        fields = text.split("\t")
        self.expect = None
        self.kestrova = None
        while len(fields) > 1 and fields[-1].startswith(("=>", "=k>")):
            last = fields.pop()
            if last.startswith("=k>"):
                self.kestrova = last[3:].removeprefix(" ")
            else:
                self.expect = last[2:].removeprefix(" ")
        self.fields = fields
        self.name = fields[0]


class Script:
    def __init__(self, path):
        self.ops = []
        self.flags = set()
        for no, line in enumerate(path.read_text(encoding="utf-8").split("\n"), start=1):
            if line.startswith("# flags:"):
                self.flags.update(line[len("# flags:"):].split())
            if not line or line.startswith("#"):
                continue
            self.ops.append(Op(no, line))


# --- probe output -------------------------------------------------------------

OP_LINE = re.compile(r"^L(\d+) (\S+) -> (.*)$")
STR_RESULT = re.compile(r'^n=(\d+) (".*")$')
QUOTED_BYTE = re.compile(rb'\\x([0-9A-F]{2})|\\(["\\])')


def quoted_bytes(text):
    """The bytes of a "..." string as iniprobe prints them."""
    body = text[1:-1].encode("ascii")
    return QUOTED_BYTE.sub(lambda m: bytes([int(m.group(1), 16)]) if m.group(1) else m.group(2), body)


class Output:
    """Results of one run: line number of the script -> result text."""

    def __init__(self, text):
        self.text = text
        self.acp = None
        self.results = {}
        self.complete = False
        self.error = None
        current = None
        for line in text.splitlines():
            if line.startswith("acp "):
                self.acp = int(line[4:])
            elif line == "end":
                self.complete = True
            elif line.startswith("error: "):
                self.error = line
            elif line.startswith("  ") and current is not None:
                self.results[current] += "\n" + line
            else:
                m = OP_LINE.match(line)
                if m:
                    current = int(m.group(1))
                    self.results[current] = m.group(3)


def show(value):
    """Readable form of bytes printed by the probe: the escaped bytes and,
    when they are not plain ASCII, the Code Page 932 text."""
    m = STR_RESULT.match(value)
    raw = quoted_bytes(m.group(2)) if m else None
    if raw is None or raw.isascii():
        return value
    return "%s   (%s)" % (value, raw.decode("cp932", errors="backslashreplace"))


def dump_lines(value):
    m = re.match(r'^\d+ (".*")$', value)
    if not m:
        return [value]
    text = quoted_bytes(m.group(1)).decode("cp932", errors="backslashreplace")
    return [repr(line) for line in re.findall(r"[^\r\n]*(?:\r\n|\r|\n)|[^\r\n]+$", text)]


def compare(script, win, kes):
    """Differences between the two runs of one script, as readable text."""
    problems = []
    for run, output in (("win32", win), ("kestrova", kes)):
        if not output.complete:
            problems.append("the %s run did not finish:\n%s" % (run, output.text[-2000:]))
        if output.error:
            problems.append("the %s run failed: %s" % (run, output.error))
    if problems:
        return problems
    for op in script.ops:
        w = win.results.get(op.line_no)
        k = kes.results.get(op.line_no)
        where = "line %d: %s" % (op.line_no, op.text)
        if w is None or k is None:
            problems.append("%s\n  no result (win32 %r, kestrova %r)" % (where, w, k))
            continue
        if w.startswith("error:") or k.startswith("error:"):
            problems.append("%s\n  win32:    %s\n  kestrova: %s" % (where, w, k))
            continue
        if op.kestrova is not None:
            problem = check_kestrova(op, k)
        elif op.name == "meaning" and "meaning-differs" in script.flags:
            problem = None
        else:
            problem = compare_op(script, op, w, k)
        if problem:
            problems.append("%s\n%s" % (where, problem))
        problem = check_expectation(op, w)
        if problem:
            problems.append("%s\n%s" % (where, problem))
    return problems


def compare_op(script, op, w, k):
    if op.name == "str":
        mw, mk = STR_RESULT.match(w), STR_RESULT.match(k)
        if not mw or not mk:
            return "  unreadable results:\n  win32:    %s\n  kestrova: %s" % (w, k)
        if mw.group(2) == mk.group(2) and mw.group(1) != mk.group(1):
            # Wine's GetPrivateProfileStringA returns size - 1 when the last
            # double-byte character did not fit, with one byte fewer in the
            # buffer; the bytes are what counts.
            size = int(op.fields[4])
            shown = len(quoted_bytes(mw.group(2)))
            if int(mw.group(1)) == size - 1 and shown < size - 1 and int(mk.group(1)) == shown:
                return None
        if w == k:
            return None
        return "  win32:    %s\n  kestrova: %s" % (show(w), show(k))
    if op.name == "dump":
        exact = "canonical" in script.flags or op.expect == "exact"
        if not exact or w == k:
            return None
        diff = difflib.unified_diff(dump_lines(w), dump_lines(k), "win32", "kestrova", lineterm="", n=2)
        return "  file bytes differ:\n  win32:    %s\n  kestrova: %s\n    %s" % (
            w[:3000], k[:3000], "\n    ".join(diff))
    if w == k:
        return None
    if op.name == "meaning":
        diff = difflib.unified_diff(w.split("\n"), k.split("\n"), "win32", "kestrova", lineterm="", n=1)
        return "  the files mean different things:\n    " + "\n    ".join(
            line[:400] for line in diff)
    return "  win32:    %s\n  kestrova: %s" % (w, k)


def check_kestrova(op, k):
    """Where Kestrova reads differently on purpose ("=k> ..."), its own
    result is pinned down instead of Wine's."""
    if op.name == "str":
        m = STR_RESULT.match(k)
        if m and quoted_bytes(m.group(2)) == script_bytes(op.kestrova):
            return None
    elif k == op.kestrova:
        return None
    return "  kestrova gave %s, the corpus expects %s" % (show(k), op.kestrova)


def check_expectation(op, w):
    """Cases pin down some of what the Win32 functions do ("=> ..."): a
    failure here means Wine does something else than the corpus says."""
    if op.expect is None or op.expect == "exact":
        return None
    if op.name == "str":
        m = STR_RESULT.match(w)
        if m and quoted_bytes(m.group(2)) == script_bytes(op.expect):
            return None
    elif op.name == "int":
        if w == op.expect:
            return None
    return "  win32 gave %s, the corpus expects %s" % (show(w), op.expect)


# --- running the probe under Wine --------------------------------------------

def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def run_probe(session, job_list):
    """Runs iniprobe.exe on a job list; returns its exit status or a note."""
    try:
        result = session.run_windows_program("iniprobe.exe", ["batch", windows_path(job_list)],
                                             timeout=RUN_TIMEOUT)
    except kestrova_e2e.KestrovaError as e:
        return str(e)
    return "%d %s" % (result.returncode, (result.stdout + result.stderr).strip()[-1000:])


def run_corpus(session, workdir, cases):
    """Runs every case in both modes; returns {(case, mode): output text}.
    A run that crashes or hangs the probe gets a note instead of output and
    the remaining runs go on in a new process."""
    jobs = []
    for case in cases:
        for mode in MODES:
            d = workdir / case / mode
            d.mkdir(parents=True)
            source = CORPUS / case / "input.ini"
            if source.exists():
                shutil.copyfile(source, d / "input.ini")
            jobs.append((case, mode, d / "input.ini", CORPUS / case / "script.txt", d / "output.txt"))
    outputs = {}
    pending = jobs
    idle = 0
    while pending:
        job_list = workdir / ("jobs-%d.txt" % len(outputs))
        job_list.write_text("".join("%s\t%s\t%s\t%s\n" % (mode, windows_path(ini), windows_path(script),
                                                          windows_path(out))
                                    for _, mode, ini, script, out in pending), encoding="utf-8")
        status = run_probe(session, job_list)
        done = [job for job in pending if job[4].exists()]
        for case, mode, _, _, out in done:
            outputs[(case, mode)] = out.read_text(encoding="ascii", errors="replace")
        pending = pending[len(done):]
        if not pending:
            break
        # Runs go in order: the first one without output stopped the probe.
        idle = idle + 1 if not done else 0
        stopped = pending if idle >= 2 else pending[:1]
        for case, mode, *_ in stopped:
            outputs[(case, mode)] = "the probe stopped in this run (exit status %s)" % status
        pending = pending[len(stopped):]
    return outputs


def corpus_cases():
    return sorted(p.name for p in CORPUS.iterdir() if (p / "script.txt").is_file())


class IniCompatTest(unittest.TestCase):
    """One test per corpus case; the probe runs once for all of them."""

    @classmethod
    def setUpClass(cls):
        if kestrova_e2e.find_build_file("iniprobe.exe") is None:
            raise AssertionError("no iniprobe.exe under %s: build the win32 target iniprobe"
                                 % kestrova_e2e.WIN32_BUILD)
        started = time.monotonic()
        # iniprobe is a console program: the session's display goes unused.
        # The Japanese locale makes 932 the ANSI code page Wine reads with.
        # KESTROVA_E2E_KEEP=1 keeps the session directory with every run's
        # files and outputs (under ini/).
        with kestrova_e2e.KestrovaSession(locale=kestrova_e2e.JAPANESE) as session:
            cls.outputs = run_corpus(session, Path(session.path("ini")), corpus_cases())
        sys.stderr.write("ini corpus: %d runs in %.1f s\n" % (len(cls.outputs), time.monotonic() - started))

    def test_probe_runs_with_code_page_932(self):
        # Wine reads the file with the ANSI code page: the comparison means
        # nothing unless that is 932.
        for (case, mode), text in self.outputs.items():
            self.assertEqual(Output(text).acp, 932, "%s (%s): %s" % (case, mode, text[:200]))

    def check_case(self, case):
        script = Script(CORPUS / case / "script.txt")
        self.assertTrue(script.ops, "%s has no operations" % case)
        win = Output(self.outputs[(case, "win32")])
        kes = Output(self.outputs[(case, "kestrova")])
        problems = compare(script, win, kes)
        if problems:
            self.fail("case %s: %d difference(s)\n\n%s" % (case, len(problems), "\n\n".join(problems)))


def _add_case_tests():
    for case in corpus_cases():
        def test(self, case=case):
            self.check_case(case)
        test.__doc__ = "ini_corpus/%s" % case
        setattr(IniCompatTest, "test_case_" + case, test)


_add_case_tests()

if __name__ == "__main__":
    unittest.main()
