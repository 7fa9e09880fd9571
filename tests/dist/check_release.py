#!/usr/bin/env python3
"""Checks the release zip that scripts/make-dist.py makes from the two builds.

    check_release.py notices|signing|signing-errors --make-dist SCRIPT
        --exe EXE --exe64 EXE [--osslsigncode TOOL] [--openssl TOOL]

notices         THIRD-PARTY-NOTICES.txt names libpng and zlib, with a licence
                text for each, at the versions linked into each program of
                the zip (as the libraries' own version strings in the program
                file tell).
signing         with a throwaway certificate made here, every program in the
                zip carries a SHA-256 Authenticode signature that
                osslsigncode verifies against that certificate, naming the
                program, and SHA256SUMS lists the signed files; a copy with
                one byte changed must fail the same verification, or the
                verification proves nothing.
signing-errors  a wrong password, a missing certificate file or a missing
                password file: one line on stderr, exit status 1, and no zip
                (not even one left from an earlier run).

Every problem is printed on its own line, expected beside found; the exit
status is 1 when there was any.
"""

import argparse
import glob
import hashlib
import os
import re
import secrets
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PROGRAMS = ("Kestrana.exe", "Kestrana64.exe")

problems = []


def problem(text):
    problems.append(text)
    print(f"FAIL: {text}", file=sys.stderr)


def make_dist(args, out, **signing):
    """Runs make-dist into OUT; gives (exit status, stdout, stderr, the zip or None)."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("SIGN_")}
    env.update(signing)
    result = subprocess.run([sys.executable, args.make_dist, "--exe", args.exe, "--exe64", args.exe64,
                             "--out", out], env=env, capture_output=True, text=True)
    zips = glob.glob(os.path.join(out, "*.zip"))
    return result.returncode, result.stdout, result.stderr, zips[0] if zips else None


def made_zip(args, out, **signing):
    status, stdout, stderr, path = make_dist(args, out, **signing)
    if status != 0 or path is None:
        problem(f"make-dist: expected a zip, found exit status {status}: {stderr.strip()}")
        return None
    return zipfile.ZipFile(path)


def check_notices(args, work):
    z = made_zip(args, work)
    if z is None:
        return
    text = z.read("THIRD-PARTY-NOTICES.txt").decode("utf-8").removeprefix("\ufeff")
    named = dict(re.findall(r"^  (libpng|zlib) (\S+) ", text, re.M))
    # (library, the licence stanza of its record, what the library itself
    # writes into a program that links it)
    libraries = (
        ("libpng", "libpng", rb"libpng version (\d+(?:\.\d+)+)"),
        ("zlib", "Zlib", rb" inflate (\d+(?:\.\d+)+) Copyright"),
    )
    for library, stanza, linked in libraries:
        if library not in named:
            problem(f"notices: expected a line naming {library} and its version, found none")
            continue
        if not re.search(rf"^License: {stanza}\r?\n (?! *\r?$)", text, re.M):
            problem(f"notices: expected the licence text of {library} (a 'License: {stanza}' stanza), found none")
        for program in PROGRAMS:
            found = sorted(set(m.decode() for m in re.findall(linked, z.read(program))))
            if found != [named[library]]:
                problem(f"notices: {library} {named[library]}, but {program} links {library} {found}")
    if not problems:
        print(f"ok: the notices name {', '.join(f'{k} {v}' for k, v in named.items())}, "
              f"as linked into {' and '.join(PROGRAMS)}")


def certificate(args, work, password):
    """A self-signed code-signing certificate and its PKCS#12 file, valid for a day."""
    key, cert, pkcs12, password_file = (os.path.join(work, n) for n in
                                        ("key.pem", "cert.pem", "signer.p12", "password"))
    with open(password_file, "w") as f:
        f.write(password + "\n")
    for command in (
        [args.openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
         "-days", "1", "-subj", "/CN=Kestrana release test", "-addext", "keyUsage=digitalSignature",
         "-addext", "extendedKeyUsage=codeSigning"],
        [args.openssl, "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pkcs12,
         "-passout", f"file:{password_file}"],
    ):
        subprocess.run(command, check=True, capture_output=True)
    return cert, pkcs12, password_file


def verify(args, cert, path):
    result = subprocess.run([args.osslsigncode, "verify", "-CAfile", cert, "-in", path],
                            capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def version_header(name):
    with open(os.path.join(ROOT, "assets", "version.h"), encoding="utf-8") as f:
        return re.search(rf'^#define\s+{name}\s+"([^"]*)"', f.read(), re.M).group(1)


def check_signing(args, work):
    cert, pkcs12, password_file = certificate(args, work, secrets.token_hex(12))
    z = made_zip(args, os.path.join(work, "out"), SIGN_PKCS12=pkcs12, SIGN_PASSWORD_FILE=password_file)
    if z is None:
        return
    sums = dict(reversed(line.split("  ", 1)) for line in z.read("SHA256SUMS").decode().splitlines())
    # What the signature must say, as osslsigncode prints it.
    expected = (
        ("the digest", r"^\s*Message digest algorithm\s*: SHA256\s*$"),
        ("the program's name", rf"^\s*Text description: {re.escape(version_header('KESTRANA_PRODUCT_NAME'))}\s*$"),
        ("the project's address", r"^\s*URL description: https://\S+\s*$"),
    )
    for program in PROGRAMS:
        data = z.read(program)
        path = os.path.join(work, program)
        with open(path, "wb") as f:
            f.write(data)
        status, said = verify(args, cert, path)
        if status != 0:
            problem(f"{program}: expected a signature that verifies against the test certificate, "
                    f"found exit status {status}:\n{said}")
            continue
        for what, pattern in expected:
            if not re.search(pattern, said, re.M):
                problem(f"{program}: expected {what} in the signature (/{pattern}/), found:\n{said}")
        if sums.get(program) != hashlib.sha256(data).hexdigest():
            problem(f"SHA256SUMS: {program}: expected {hashlib.sha256(data).hexdigest()} (the signed file), "
                    f"found {sums.get(program)}")
        # One byte of the code changed: the signature must no longer hold.
        tampered = bytearray(data)
        tampered[0x400] ^= 0x01
        path = os.path.join(work, "tampered-" + program)
        with open(path, "wb") as f:
            f.write(tampered)
        status, said = verify(args, cert, path)
        if status == 0:
            problem(f"{program} with byte 0x400 changed: expected the verification to fail, found it passes")
    if not problems:
        print(f"ok: {' and '.join(PROGRAMS)} are signed (SHA-256, named), verify against the test "
              f"certificate, fail it when changed, and SHA256SUMS lists the signed files")


def check_signing_errors(args, work):
    cert, pkcs12, password_file = certificate(args, work, secrets.token_hex(12))
    wrong = os.path.join(work, "wrong-password")
    with open(wrong, "w") as f:
        f.write("not the password\n")
    missing = os.path.join(work, "missing")
    earlier = made_zip(args, os.path.join(work, "earlier"))
    if earlier is None:
        return
    cases = (
        ("a wrong password", pkcs12, wrong),
        ("a missing certificate file", missing, password_file),
        ("a missing password file", pkcs12, missing),
    )
    for index, (case, pkcs12_path, password_path) in enumerate(cases):
        out = os.path.join(work, f"case{index}")
        os.makedirs(out)
        # A zip from an earlier run must not survive to pass for a signed one.
        shutil.copy(earlier.filename, out)
        status, stdout, stderr, path = make_dist(args, out, SIGN_PKCS12=pkcs12_path,
                                                 SIGN_PASSWORD_FILE=password_path)
        lines = stderr.splitlines()
        if status != 1 or len(lines) != 1 or not lines[0].startswith("dist: ") or stdout:
            problem(f"{case}: expected exit status 1 and one line on stderr, found exit status {status}, "
                    f"stderr {lines}, stdout {stdout.splitlines()}")
        if path is not None or os.listdir(out):
            problem(f"{case}: expected no zip, found {sorted(os.listdir(out))}")
        if not problems:
            print(f"ok: {case}: {lines[0]}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=("notices", "signing", "signing-errors"))
    parser.add_argument("--make-dist", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--exe64", required=True)
    parser.add_argument("--osslsigncode", default="osslsigncode")
    parser.add_argument("--openssl", default="openssl")
    args = parser.parse_args()
    for exe in (args.exe, args.exe64):
        if not os.path.isfile(exe):
            print(f"FAIL: {exe} is missing: make test builds it first", file=sys.stderr)
            return 1
    with tempfile.TemporaryDirectory(prefix="kestrana-release.") as work:
        {"notices": check_notices, "signing": check_signing,
         "signing-errors": check_signing_errors}[args.case](args, work)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
