#!/usr/bin/env python3
"""Writes the release zip of Pelkorn Remote Control (run by the build's "package" target).

    make_zip.py --date 2026-12-08T00:00:00 --platform win32 --readme package/README.txt
                --sample samples/remote-keys.ir OUT.zip PROGRAM.exe...

The zip holds, at its top level and in this order: the programs as given, remote-keys.ir (the
sample recording, so that `ir-monitor remote-keys.ir` shows good output before anything is
wired), README.txt and SHA256SUMS.txt (one line per other file in the form `sha256sum` writes).
The three text files are written with CRLF line ends: Notepad before Windows 10 shows a file
with bare LF ends as one long line, and a user opens the sample there to see what a recording
looks like or to add a note to a copy; ir-monitor's replay reads CRLF and LF alike, as does GNU
`sha256sum -c`.  The repository keeps the sample and README.txt with LF ends.

README.txt describes the 32-bit programs.  For the 64-bit twin (--platform win64) its paragraph
on what Windows the program runs on is replaced by one for the x64 build; the build fails when
README.txt no longer holds that paragraph, rather than ship a wrong one.

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
import re
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


# The paragraph of README.txt that names the 32-bit build, up to the blank line after it, and
# what the 64-bit twin says instead.
THIRTY_TWO_BIT_PARAGRAPH = re.compile(rb"^The program is a 32-bit Windows program\..*?\n\n", re.M | re.S)
SIXTY_FOUR_BIT_PARAGRAPH = b"""\
The programs in this zip are 64-bit Windows programs: they run on 64-bit
Windows for x64 processors, not on 32-bit Windows. A zip whose name ends in
-win32 holds the same programs as 32-bit Windows programs, which run on every
32-bit and 64-bit Windows from Windows 95 and Windows NT 4.0 to Windows 11,
on any PC from a 386 on; use this one only where 32-bit programs cannot run.

"""


def read_lf_text(path):
    with open(path, "rb") as text_file:
        text = text_file.read()
    if b"\r" in text:
        raise ValueError(f"{path} must have LF line ends; the package writes them as CRLF")
    return text


def crlf(text):
    return text.replace(b"\n", b"\r\n")


def readme_for(platform, text):
    if platform == "win32":
        return text
    text, found = THIRTY_TWO_BIT_PARAGRAPH.subn(SIXTY_FOUR_BIT_PARAGRAPH, text)
    if found != 1:
        raise ValueError("README.txt: expected one paragraph beginning 'The program is a 32-bit Windows "
                         f"program.' to replace for {platform}, found {found}")
    return text


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--date", required=True, type=datetime.datetime.fromisoformat)
    parser.add_argument("--platform", required=True, choices=["win32", "win64"])
    parser.add_argument("--readme", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("zip")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()

    files = []
    for path in args.programs:
        with open(path, "rb") as program:
            files.append((os.path.basename(path), program.read(), PROGRAM_MODE))
    files.append(("remote-keys.ir", crlf(read_lf_text(args.sample)), TEXT_MODE))
    files.append(("README.txt", crlf(readme_for(args.platform, read_lf_text(args.readme))), TEXT_MODE))
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
