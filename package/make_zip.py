#!/usr/bin/env python3
"""Writes the release zip of Pelkorn Remote Control (run by the build's "package" target).

    make_zip.py --date 2026-12-08T00:00:00 --readme package/README.txt OUT.zip PROGRAM.exe...

The zip holds, at its top level and in this order: the programs as given, README.txt (the
repository's copy with LF line ends, written with CRLF for Notepad) and SHA256SUMS.txt (one
line per other file in the form `sha256sum` writes, but ended with CRLF so that Notepad before
Windows 10 shows one line per file; GNU `sha256sum -c` reads those lines alike).

Anyone must be able to rebuild the zip and get the same bytes, so nothing of the moment, the
place or the builder goes into it: every entry carries the given date, Unix modes 0755 for
programs and 0644 for text whatever the umask, no extra fields (no uid/gid, no extended
times), and entries are deflated at level 9 in a fixed order.  The zip is written beside its
final name and renamed into place, so a failed run never leaves a partial zip for the build to
take as up to date.
"""

import argparse
import datetime
import hashlib
import os
import sys
import zipfile

PROGRAM_MODE = 0o100755
TEXT_MODE = 0o100644
UNIX = 3  # "version made by" host system: the modes above are Unix modes


def entry(name, date, mode):
    info = zipfile.ZipInfo(name, date_time=date)
    info.create_system = UNIX
    info.external_attr = mode << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def crlf(text):
    if b"\r" in text:
        raise ValueError("README.txt must have LF line ends; the package writes them as CRLF")
    return text.replace(b"\n", b"\r\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--date", required=True, type=datetime.datetime.fromisoformat)
    parser.add_argument("--readme", required=True)
    parser.add_argument("zip")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()

    files = []
    for path in args.programs:
        with open(path, "rb") as program:
            files.append((os.path.basename(path), program.read(), PROGRAM_MODE))
    with open(args.readme, "rb") as readme:
        files.append(("README.txt", crlf(readme.read()), TEXT_MODE))
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\r\n" for name, data, _ in files)
    files.append(("SHA256SUMS.txt", sums.encode("ascii"), TEXT_MODE))

    date = args.date.timetuple()[:6]
    partial = args.zip + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data, mode in files:
            archive.writestr(entry(name, date, mode), data, compresslevel=9)
    os.replace(partial, args.zip)
    return 0


if __name__ == "__main__":
    sys.exit(main())
