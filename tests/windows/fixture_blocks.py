#!/usr/bin/env python3
"""Prints the blocks of a snapshot that belong to a test fixture.

A block is a header line ("[HKEY_CURRENT_USER\\Software\\X]" in the registry
section, "[\\folder]" in the file system section) with the lines under it,
up to the next header or empty line. Only blocks whose header starts with
one of the given prefixes (after the "[") are printed, byte for byte, in
the order of the snapshot.

    fixture_blocks.py SNAPSHOT PREFIX... [--no-times] [--any-order]

--no-times blanks the date and time of file lines (their first 16 bytes).
--any-order prints the blocks sorted by their headers and the lines of each
block sorted, for platforms whose folders list their entries in different
orders (the host's directory order, or name order as on NTFS and Wine).
"""
import sys


def main() -> int:
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    no_times = "--no-times" in sys.argv
    any_order = "--any-order" in sys.argv
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    data = open(args[0], "rb").read()
    prefixes = [("[" + p).encode("cp1252") for p in args[1:]]
    blocks = []
    taking = False
    for line in data.split(b"\r\n"):
        if line.startswith(b"["):
            taking = any(line.startswith(p) for p in prefixes)
            if taking:
                blocks.append([line])
            continue
        if not line:
            taking = False
        elif taking and no_times and len(line) > 16:
            line = b"dd/MM/yyyy HH:mm" + line[16:]
        if taking:
            blocks[-1].append(line)
    if any_order:
        blocks = sorted([block[0]] + sorted(block[1:]) for block in blocks)
    out = sys.stdout.buffer
    for block in blocks:
        for line in block:
            out.write(line + b"\r\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
