#!/usr/bin/env python3
"""Runs a command as on a host whose kernel runs only 64-bit code.

    python3 scripts/only64.py bash scripts/test.sh

Such a kernel (IA-32 emulation off) refuses to start a 32-bit program with
"Exec format error". Here a seccomp filter, inherited by every process the
command starts, ends any process at its first 32-bit system call instead:
the 32-bit program cannot run, whatever the host, so the scripts' 64-bit-
only path can be tried on a machine that runs both.
"""

import ctypes
import os
import struct
import sys

PR_SET_NO_NEW_PRIVS = 38
PR_SET_SECCOMP = 22
SECCOMP_MODE_FILTER = 2
AUDIT_ARCH_I386 = 0x40000003
SECCOMP_RET_KILL_PROCESS = 0x80000000
SECCOMP_RET_ALLOW = 0x7FFF0000
BPF_LD_W_ABS, BPF_JEQ_K, BPF_RET_K = 0x20, 0x15, 0x06
ARCH_OFFSET = 4  # seccomp_data.arch


def install_filter():
    program = [
        (BPF_LD_W_ABS, 0, 0, ARCH_OFFSET),
        (BPF_JEQ_K, 0, 1, AUDIT_ARCH_I386),
        (BPF_RET_K, 0, 0, SECCOMP_RET_KILL_PROCESS),
        (BPF_RET_K, 0, 0, SECCOMP_RET_ALLOW),
    ]
    code = b"".join(struct.pack("<HBBI", *insn) for insn in program)
    buffer = ctypes.create_string_buffer(code)
    fprog = struct.pack("<HxxxxxxQ", len(program), ctypes.addressof(buffer))
    fprog_buffer = ctypes.create_string_buffer(fprog)
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl.argtypes = [ctypes.c_int, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, None, 0, 0) != 0 or \
            libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.addressof(fprog_buffer), 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "seccomp filter not installed")


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: only64.py COMMAND [ARG...]")
    install_filter()
    os.execvp(sys.argv[1], sys.argv[1:])


if __name__ == "__main__":
    main()
