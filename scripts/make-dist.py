#!/usr/bin/env python3
"""Makes the release zip, build/dist/Kestrana-<version>.zip.

    make-dist.py [--exe EXE] [--exe64 EXE] [--out DIR]

It holds the program twice, Kestrana.exe (the 32-bit build, EXE) and
Kestrana64.exe (the 64-bit build, EXE64), exactly as built; the two guides;
CHANGES.txt, headed by the version, the commit and its date; the licence;
the third-party notices the builds wrote beside the programs; the Group
Policy templates in the folders an administrator copies into
PolicyDefinitions; and SHA256SUMS over all of them. The zip depends on
nothing but its inputs and the time of the last commit (SOURCE_DATE_EPOCH
when set): members in a fixed order, every time that one time, fixed
attributes, no extra fields, so that the same commit gives the same bytes on
any machine.

Signing, only when asked for through the environment:
    SIGN_PKCS12=FILE SIGN_PASSWORD_FILE=FILE [SIGN_TIMESTAMP_URL=URL]
signs each program with osslsigncode (Authenticode, SHA-256, the program's
name and the project's address, an RFC 3161 time stamp when a URL is given)
before SHA256SUMS is written. A signature holds its signing time, so a
signed zip is not reproducible; the programs under the signature are the
built ones. Any failure prints one line and leaves no zip.
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (name in the zip, source in the tree or None for a text made here, how
# it is written). Texts are kept as plain UTF-8 with LF in the tree; Notepad
# on every supported Windows reads them right only with CR LF, and those
# that are not ASCII only with a byte-order mark as well (the notices get
# one too: Debian's records may name people in any script). The licence
# gets the .txt that makes a double-click open it.
TEXTS = [
    ("使用说明.txt", "dist/使用说明.txt", "guide"),
    ("README.txt", "dist/README.txt", "guide"),
    ("CHANGES.txt", None, "guide"),
    ("LICENSE.txt", "LICENSE", "crlf"),
    ("THIRD-PARTY-NOTICES.txt", None, "guide"),
    ("PolicyDefinitions/kestrana.admx", "dist/PolicyDefinitions/kestrana.admx", "crlf"),
    ("PolicyDefinitions/en-US/kestrana.adml", "dist/PolicyDefinitions/en-US/kestrana.adml", "crlf"),
    ("PolicyDefinitions/zh-CN/kestrana.adml", "dist/PolicyDefinitions/zh-CN/kestrana.adml", "crlf"),
]
# CHANGES.txt: the notes of this release under a heading made here.
CHANGES = "dist/CHANGES.txt"
# Each build writes the notices of the libraries it links beside its program.
NOTICES = "THIRD-PARTY-NOTICES.txt"

# Named in every signature, shown by Windows as the signed program's
# description and "more information" link.
SIGNED_NAME = "Kestrana"
PROJECT_ADDRESS = "https://kestrana.example.org/"

FILE_ATTRIBUTE_ARCHIVE = 0x20


def fail(message):
    print(f"dist: {message}", file=sys.stderr)
    sys.exit(1)


def version():
    with open(os.path.join(ROOT, "assets", "version.h"), encoding="utf-8") as f:
        match = re.search(r'^#define\s+KESTRANA_VERSION_TEXT\s+"([0-9.]+)"', f.read(), re.M)
    if not match:
        fail("no KESTRANA_VERSION_TEXT in assets/version.h")
    return match.group(1)


def source_date_epoch():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"],
                             check=True, capture_output=True, text=True).stdout
        return int(out.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        fail("no commit to take the time from: set SOURCE_DATE_EPOCH")


def commit():
    """The commit the zip is built from, marked when the tree differs from it."""
    try:
        head = subprocess.run(["git", "-C", ROOT, "rev-parse", "HEAD"],
                              check=True, capture_output=True, text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown (not built from a git checkout)"
    dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout
    if dirty:
        print("dist: note: the tree has uncommitted changes; a clean checkout of the last commit "
              "may not give these bytes", file=sys.stderr)
        return head + " with uncommitted changes"
    return head


def read_text(path):
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        fail(f"cannot read {path}: {e.strerror}")
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError as e:
        fail(f"{path} is not UTF-8: {e}")


def windows_text(text, form):
    text = text.removeprefix("\ufeff").replace("\r\n", "\n")
    if not text.endswith("\n"):
        text += "\n"
    data = text.replace("\n", "\r\n").encode("utf-8")
    return b"\xef\xbb\xbf" + data if form == "guide" else data


def changes(epoch):
    date = time.strftime("%Y-%m-%d", time.gmtime(epoch))
    heading = (f"Kestrana {version()}\n"
               f"提交 / Commit: {commit()}\n"
               f"日期 / Date:   {date}\n\n")
    return heading + read_text(os.path.join(ROOT, CHANGES))


def notices(exes):
    """The notices beside the programs; both builds must link the same libraries."""
    texts = {}
    for exe in exes:
        path = os.path.join(os.path.dirname(exe), NOTICES)
        if not os.path.isfile(path):
            fail(f"{path} is missing: the build writes it beside the program")
        texts[path] = read_text(path)
    if len(set(texts.values())) != 1:
        fail(f"the builds link different libraries: {' and '.join(texts)} differ")
    return next(iter(texts.values()))


def signing_request():
    """The signing inputs from the environment, or None when none is asked for."""
    pkcs12 = os.environ.get("SIGN_PKCS12", "")
    password = os.environ.get("SIGN_PASSWORD_FILE", "")
    timestamp = os.environ.get("SIGN_TIMESTAMP_URL", "")
    if not (pkcs12 or password or timestamp):
        return None
    if not (pkcs12 and password):
        fail("signing needs both SIGN_PKCS12 (the certificate and key) and SIGN_PASSWORD_FILE")
    for variable, path in (("SIGN_PKCS12", pkcs12), ("SIGN_PASSWORD_FILE", password)):
        if not os.path.isfile(path):
            fail(f"{variable}: {path} does not exist or is not a file")
        if not os.access(path, os.R_OK):
            fail(f"{variable}: {path} cannot be read")
    tool = shutil.which("osslsigncode")
    if not tool:
        fail("signing needs osslsigncode: run scripts/setup.sh")
    return tool, pkcs12, password, timestamp


def sign(request, name, data):
    """Gives the program signed: Authenticode over SHA-256, named, time-stamped on request."""
    tool, pkcs12, password, timestamp = request
    with tempfile.TemporaryDirectory(prefix="kestrana-sign.") as work:
        unsigned, signed = os.path.join(work, "unsigned-" + name), os.path.join(work, name)
        with open(unsigned, "wb") as f:
            f.write(data)
        command = [tool, "sign", "-pkcs12", pkcs12, "-readpass", password, "-h", "sha256",
                   "-n", SIGNED_NAME, "-i", PROJECT_ADDRESS]
        if timestamp:
            command += ["-ts", timestamp]
        result = subprocess.run(command + ["-in", unsigned, "-out", signed],
                                capture_output=True, text=True)
        if result.returncode != 0 or not os.path.isfile(signed):
            # osslsigncode says what went wrong first, then OpenSSL's stack and "Failed".
            said = [line.strip() for line in (result.stderr + result.stdout).splitlines()
                    if line.strip() and line.strip() != "Failed"]
            fail(f"signing {name} failed: {said[0] if said else f'osslsigncode exited {result.returncode}'}")
        with open(signed, "rb") as f:
            return f.read()


def member(name, epoch):
    # DOS times hold local time from 1980 on; UTC keeps the zip independent
    # of the builder's time zone.
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(epoch, 315532800))[:6])
    # Made on Unix: Info-ZIP's unzip (Debian's included) reads the names of
    # archives made on MS-DOS as OEM text even when they are marked UTF-8.
    # The low byte keeps the DOS attribute Windows reads; the high half the
    # mode unzip gives the file.
    info.create_system = 3
    info.external_attr = (0o100644 << 16) | FILE_ATTRIBUTE_ARCHIVE
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", default=os.path.join(ROOT, "build", "win32", "Kestrana.exe"))
    parser.add_argument("--exe64", default=os.path.join(ROOT, "build", "win64", "Kestrana.exe"))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "dist"))
    args = parser.parse_args()

    # A failed run leaves no zip behind, not even an older one under the
    # same name that could pass for this one.
    path = os.path.join(args.out, f"Kestrana-{version()}.zip")
    partial = path + ".part"
    for stale in (path, partial):
        if os.path.exists(stale):
            os.remove(stale)

    request = signing_request()
    programs = [("Kestrana.exe", args.exe), ("Kestrana64.exe", args.exe64)]
    files = []
    for name, exe in programs:
        if not os.path.isfile(exe):
            fail(f"{exe} is missing: build it first")
        with open(exe, "rb") as f:
            data = f.read()
        files.append((name, sign(request, name, data) if request else data))
    epoch = source_date_epoch()
    made = {"CHANGES.txt": changes(epoch), NOTICES: notices([exe for _, exe in programs])}
    for name, source, form in TEXTS:
        text = made[name] if source is None else read_text(os.path.join(ROOT, source))
        files.append((name, windows_text(text, form)))
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    files.append(("SHA256SUMS", sums.encode("utf-8")))

    os.makedirs(args.out, exist_ok=True)
    # Python marks a name that is not ASCII as UTF-8 (general-purpose flag
    # bit 11), which is how Windows' own extraction knows to read it so.
    with zipfile.ZipFile(partial, "w") as z:
        for name, data in files:
            z.writestr(member(name, epoch), data, compresslevel=9)
    os.replace(partial, path)

    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    signed = " (programs signed)" if request else ""
    shown = os.path.relpath(path, ROOT) if path.startswith(ROOT + os.sep) else path
    print(f"dist: {shown}{signed}  {os.path.getsize(path)} bytes  sha256 {digest}")


if __name__ == "__main__":
    main()
