#!/usr/bin/env python3
"""Makes the release zip, build/dist/Kestrana-<version>.zip.

    make-dist.py [--exe EXE] [--out DIR]

It holds the program file exactly as built, the two guides, the Group Policy
templates in the folders an administrator copies into PolicyDefinitions, and
SHA256SUMS over all of them. The zip depends on nothing but its inputs and
the time of the last commit (SOURCE_DATE_EPOCH when set): members in a fixed
order, every time that one time, fixed attributes, no extra fields, so that
the same commit gives the same bytes on any machine.
"""

import argparse
import hashlib
import os
import re
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (name in the zip, source under dist/, how it is written). The guides are
# kept as plain UTF-8 with LF in the tree; Notepad on every supported Windows
# reads them right only with a byte-order mark and CR LF.
TEXTS = [
    ("使用说明.txt", "使用说明.txt", "guide"),
    ("README.txt", "README.txt", "guide"),
    ("PolicyDefinitions/kestrana.admx", "PolicyDefinitions/kestrana.admx", "crlf"),
    ("PolicyDefinitions/en-US/kestrana.adml", "PolicyDefinitions/en-US/kestrana.adml", "crlf"),
    ("PolicyDefinitions/zh-CN/kestrana.adml", "PolicyDefinitions/zh-CN/kestrana.adml", "crlf"),
]

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


def text_bytes(path, form):
    with open(path, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        fail(f"{path} is not UTF-8: {e}")
    text = text.removeprefix("\ufeff").replace("\r\n", "\n")
    if not text.endswith("\n"):
        text += "\n"
    data = text.replace("\n", "\r\n").encode("utf-8")
    return b"\xef\xbb\xbf" + data if form == "guide" else data


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
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "dist"))
    args = parser.parse_args()

    if not os.path.isfile(args.exe):
        fail(f"{args.exe} is missing: build it first")
    with open(args.exe, "rb") as f:
        files = [("Kestrana.exe", f.read())]
    for name, source, form in TEXTS:
        files.append((name, text_bytes(os.path.join(ROOT, "dist", source), form)))
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    files.append(("SHA256SUMS", sums.encode("utf-8")))

    epoch = source_date_epoch()
    dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout
    if dirty:
        print("dist: note: the tree has uncommitted changes; a clean checkout of the last commit "
              "may not give these bytes", file=sys.stderr)
    os.makedirs(args.out, exist_ok=True)
    path = os.path.join(args.out, f"Kestrana-{version()}.zip")
    partial = path + ".part"
    # Python marks a name that is not ASCII as UTF-8 (general-purpose flag
    # bit 11), which is how Windows' own extraction knows to read it so.
    with zipfile.ZipFile(partial, "w") as z:
        for name, data in files:
            z.writestr(member(name, epoch), data, compresslevel=9)
    os.replace(partial, path)

    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    print(f"dist: {os.path.relpath(path, ROOT)}  {os.path.getsize(path)} bytes  sha256 {digest}")


if __name__ == "__main__":
    main()
