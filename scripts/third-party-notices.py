#!/usr/bin/env python3
"""Writes THIRD-PARTY-NOTICES.txt for a build of the program.

    third-party-notices.py --libpng LIBRARY --zlib LIBRARY --out FILE

The program links libpng and zlib statically, so their licences travel with
it. Both texts are taken from Debian, not typed here, so that they follow the
libraries actually linked:
- libpng: the libpng16.a the build links, which scripts/build-libpng.sh
  built from Debian's source package into a prefix of its own; its version
  from the png.h of that prefix, its licence from the copy of the source
  package's debian/copyright kept there;
- zlib: the libz.a the build links; its version from the zlib.h beside it,
  its licence from the copyright file of the Debian package that installed
  it (found with dpkg-query).
"""

import argparse
import os
import re
import subprocess
import sys


def fail(message):
    print(f"third-party-notices: {message}", file=sys.stderr)
    sys.exit(1)


def read(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError as e:
        fail(f"cannot read {path}: {e.strerror}")


def define(header, name):
    match = re.search(rf'^#\s*define\s+{name}\s+"([^"]+)"', read(header), re.M)
    if not match:
        fail(f"no {name} in {header}")
    return match.group(1)


def dpkg(*args):
    try:
        return subprocess.run(["dpkg-query", *args], check=True, capture_output=True,
                              text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError) as e:
        fail(f"dpkg-query {' '.join(args)} failed: {getattr(e, 'stderr', '') or e}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--libpng", required=True, help="the libpng16.a the build links")
    parser.add_argument("--zlib", required=True, help="the libz.a the build links")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    png_prefix = os.path.dirname(os.path.dirname(os.path.abspath(args.libpng)))
    png_version = define(os.path.join(png_prefix, "include", "png.h"), "PNG_LIBPNG_VER_STRING")
    png_copyright = read(os.path.join(png_prefix, "share", "doc", "libpng", "copyright"))

    zlib = os.path.realpath(args.zlib)
    zlib_version = define(os.path.join(os.path.dirname(os.path.dirname(zlib)), "include", "zlib.h"),
                          "ZLIB_VERSION")
    # "package: path"; a path installed by one package only.
    zlib_package = dpkg("-S", zlib).split(":", 1)[0]
    zlib_package_version = dpkg("-W", "-f=${Version}", zlib_package)
    zlib_copyright = read(f"/usr/share/doc/{zlib_package}/copyright")

    libraries = [
        (f"libpng {png_version}", "built from Debian's source package libpng1.6",
         "the copyright file of Debian's source package libpng1.6", png_copyright),
        (f"zlib {zlib_version}", f"from Debian's package {zlib_package} {zlib_package_version}",
         f"the copyright file of Debian's package {zlib_package}", zlib_copyright),
    ]
    width = max(len(name) for name, *_ in libraries) + 3
    lines = [
        "Kestrana: third-party notices",
        "=============================",
        "",
        "The programs of this package (Kestrana.exe and Kestrana64.exe) contain",
        "two libraries, linked statically, which decode the picture of the About",
        "window:",
        "",
        *(f"  {name:<{width}}{origin}" for name, origin, _, _ in libraries),
        "",
        "Their copyright and licence terms follow, as Debian records them for the",
        "source the programs were built from. Such a record covers the library's",
        "whole source package; the programs contain the library itself, under the",
        "licence named for its own source files (libpng: License: libpng; zlib:",
        "License: Zlib).",
    ]
    for name, _, record, text in libraries:
        heading = f"{name}: {record}"
        lines += ["", "", heading, "-" * len(heading), "", text.rstrip("\n")]
    text = "\n".join(lines) + "\n"

    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    partial = args.out + ".part"
    with open(partial, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    os.replace(partial, args.out)


if __name__ == "__main__":
    main()
