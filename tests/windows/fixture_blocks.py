#!/usr/bin/env python3
"""Prints the blocks of a snapshot that belong to a test fixture.

A block is a header line ("[HKEY_CURRENT_USER\\Software\\X]" in the registry
section, "[\\folder]" in the file system section) with the lines under it,
up to the next header or empty line. Only blocks whose header starts with
one of the given prefixes (after the "[") are printed, byte for byte, in
the order of the snapshot.

    fixture_blocks.py SNAPSHOT PREFIX... [--no-times]

--no-times blanks the date and time of file lines (their first 16 bytes).
"""
import sys


def main() -> int:
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    no_times = "--no-times" in sys.argv
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    data = open(args[0], "rb").read()
    prefixes = [("[" + p).encode("cp1252") for p in args[1:]]
    out = sys.stdout.buffer
    taking = False
    for line in data.split(b"\r\n"):
        if line.startswith(b"["):
            taking = any(line.startswith(p) for p in prefixes)
        elif not line:
            taking = False
        elif taking and no_times and len(line) > 16:
            line = b"dd/MM/yyyy HH:mm" + line[16:]
        if taking:
            out.write(line + b"\r\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
