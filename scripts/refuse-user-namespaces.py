#!/usr/bin/env python3
"""Runs a command whose processes the kernel refuses every new user
namespace, as a kernel with user namespaces turned off does (EPERM), and
nothing else: a seccomp filter, which every process the command starts
inherits and none can lift. The machine is not changed. Needs root (or
CAP_SYS_ADMIN), so that setuid programs such as sudo still work under it.
    scripts/refuse-user-namespaces.py COMMAND [ARGS...]
"""
import ctypes
import os
import struct
import sys

AUDIT_ARCH_X86_64 = 0xC000003E
NR_CLONE, NR_UNSHARE, NR_CLONE3 = 56, 272, 435
CLONE_NEWUSER = 0x10000000
ALLOW, ERRNO = 0x7FFF0000, 0x00050000
EPERM, ENOSYS = 1, 38
LD_ABS_W, JEQ, JSET, RET = 0x20, 0x15, 0x45, 0x06
PR_SET_SECCOMP, SECCOMP_MODE_FILTER = 22, 2

# (code, jump if true, jump if false, k); jumps count the instructions
# skipped. clone3 takes its flags in memory a filter cannot read: it is
# refused as unknown, and the C library falls back to clone.
PROGRAM = [
    (LD_ABS_W, 0, 0, 4),                 # 0: the architecture
    (JEQ, 0, 6, AUDIT_ARCH_X86_64),      # 1: another one: allow
    (LD_ABS_W, 0, 0, 0),                 # 2: the call's number
    (JEQ, 2, 0, NR_UNSHARE),             # 3: unshare: check its flags
    (JEQ, 1, 0, NR_CLONE),               # 4: clone: check its flags
    (JEQ, 4, 2, NR_CLONE3),              # 5: clone3: ENOSYS; else allow
    (LD_ABS_W, 0, 0, 16),                # 6: the flags (low word of the first argument)
    (JSET, 1, 0, CLONE_NEWUSER),         # 7: a new user namespace: EPERM
    (RET, 0, 0, ALLOW),                  # 8
    (RET, 0, 0, ERRNO | EPERM),          # 9
    (RET, 0, 0, ERRNO | ENOSYS),         # 10
]


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: refuse-user-namespaces.py COMMAND [ARGS...]")
    code = b"".join(struct.pack("=HBBI", *insn) for insn in PROGRAM)
    buffer = ctypes.create_string_buffer(code, len(code))
    fprog = struct.pack("=HxxxxxxQ", len(PROGRAM), ctypes.addressof(buffer))
    fprog_buffer = ctypes.create_string_buffer(fprog, len(fprog))
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl.argtypes = [ctypes.c_int] + [ctypes.c_ulong] * 4
    if libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.addressof(fprog_buffer), 0, 0) != 0:
        error = ctypes.get_errno()
        sys.exit(f"refuse-user-namespaces: the seccomp filter was refused: {os.strerror(error)}")
    try:
        os.execvp(sys.argv[1], sys.argv[1:])
    except OSError as error:
        sys.exit(f"refuse-user-namespaces: cannot run {sys.argv[1]}: {error.strerror}")


if __name__ == "__main__":
    main()
