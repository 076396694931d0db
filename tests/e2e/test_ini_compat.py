"""Kestrova's INI reader and writer against the Win32 profile functions:
one test per case of ini_corpus/, compared as ini_compare.py describes.
"""

import sys
import time
import unittest
from pathlib import Path

import kestrova_e2e
from ini_compare import CORPUS, MODES, compare, corpus_cases, read_output, read_script, run_corpus


class IniCompatTest(unittest.TestCase):
    """One test per corpus case; the probe runs once for all of them."""

    @classmethod
    def setUpClass(cls):
        if kestrova_e2e.find_build_file("iniprobe.exe") is None:
            raise AssertionError("no iniprobe.exe under %s: build the Windows target iniprobe"
                                 % kestrova_e2e.WIN_BUILD)
        started = time.monotonic()
        # iniprobe is a console program: the session's display goes unused.
        # The Japanese locale makes 932 the ANSI code page Wine reads with.
        # KESTROVA_E2E_KEEP=1 keeps the session directory with every run's
        # files and outputs (under ini/).
        with kestrova_e2e.KestrovaSession(locale=kestrova_e2e.JAPANESE) as session:
            cls.outputs = run_corpus(session, Path(session.path("ini")))
        sys.stderr.write("ini corpus: %d runs in %.1f s\n" % (len(cls.outputs), time.monotonic() - started))

    def check_case(self, case):
        flags, ops = read_script(CORPUS / case / "script.txt")
        self.assertTrue(ops, "%s has no operations" % case)
        problems = compare(flags, ops, *(read_output(mode, self.outputs[(case, mode)]) for mode in MODES))
        if problems:
            self.fail("case %s: %d difference(s)\n\n%s" % (case, len(problems), "\n\n".join(problems)))


for _case in corpus_cases():
    setattr(IniCompatTest, "test_case_" + _case, lambda self, case=_case: self.check_case(case))

if __name__ == "__main__":
    unittest.main()
