#!/usr/bin/env python3
"""Joins Wine's registry exports into one registry file, or compares two
registry snapshots of the same registry.

    registry_round_trip.py join OUT.reg EXPORT.reg...
    registry_round_trip.py compare WINE.tvk HOST.tvk

join writes one version 5 file (UTF-16LE with its mark) holding the keys of
every export in the order given.

compare reads the registry section of both snapshots: the same keys must
come in the same order, and each key's value lines must be equal as sets
(Wine keeps a key's values sorted by name, the host in the order the file
defines them). Two kinds of key are passed over, each named with its
reason:
  - the order of subkeys whose names hold characters between the upper- and
    lower-case letters (_ [ ] ^ and the like) or letters beyond ASCII:
    Wine sorts subkeys by their lower case, Windows and the host by their
    upper case. Such a parent's subkeys must still be the same set.
  - text data in hex(1), hex(2) and hex(7) that Wine holds without its
    terminating unit: the export writes it so, and importing adds the unit.
  - keys under Control\\Video and Control\\Class that Wine makes anew, with
    new names, at every start.
"""
import re
import sys

TEXT_TYPES = re.compile(rb'^"(?:[^"\\]|\\.)*"=hex\((?:1|2|7)\):')
RENAMED = ("\\Control\\Video\\", "\\Control\\Class\\")


def join(out, exports):
    parts = []
    for i, path in enumerate(exports):
        text = open(path, "rb").read().decode("utf-16")
        lines = text.lstrip("\ufeff").split("\r\n")
        parts.append("\r\n".join(lines if i == 0 else lines[1:]))
    open(out, "wb").write(b"\xff\xfe" + "\r\n".join(parts).encode("utf-16-le"))
    return 0


def keys(path):
    """The registry section: [(header, set of value lines)] in order."""
    out = []
    for line in open(path, "rb").read().split(b"\r\n"):
        if line.startswith(b"[HKEY_"):
            out.append((line.decode("cp1252"), set()))
        elif line.startswith(b"[\\"):
            break  # the file system section
        elif line and out:
            out[-1][1].add(line)
    return out


def renamed(header):
    return any(part in header for part in RENAMED)


def parent(header):
    body = header[1:-1].rstrip("\\")
    return body.rsplit("\\", 1)[0] if "\\" in body else ""


def folds_differently(name):
    return any(not ("a" <= c.lower() <= "z" or c.isdigit() or c in " .-{}()!#$%&'+,;=@~`")
               for c in name)


def children(order):
    kids = {}
    for header in order:
        kids.setdefault(parent(header), []).append(header)
    return kids


def compare(wine_path, host_path):
    wine, host = keys(wine_path), keys(host_path)
    wine_order = [h for h, _ in wine if not renamed(h)]
    host_order = [h for h, _ in host if not renamed(h)]
    skipped = sorted({h for h, _ in wine + host if renamed(h)})
    failures = []
    for h in skipped[:5]:
        print(f"skipped (Wine renames it at every start): {h}")
    if len(skipped) > 5:
        print(f"skipped: {len(skipped) - 5} more under Control\\Video and Control\\Class")
    if wine_order != host_order:
        wk, hk = children(wine_order), children(host_order)
        for p in sorted(set(wk) | set(hk)):
            a, b = wk.get(p, []), hk.get(p, [])
            if a == b:
                continue
            if sorted(a) == sorted(b) and any(folds_differently(h[1:-1].rsplit("\\", 1)[-1])
                                              for h in a):
                print(f"skipped subkey order (Wine sorts by lower case, Windows and the host "
                      f"by upper case): [{p}]")
                continue
            only_w = sorted(set(a) - set(b))[:3]
            only_h = sorted(set(b) - set(a))[:3]
            failures.append(f"subkeys of [{p}] differ; only Wine: {only_w}; only host: {only_h}")
    values_w = {h: v for h, v in wine}
    values_h = {h: v for h, v in host}
    for h in wine_order:
        if h in values_h and values_w[h] != values_h[h]:
            # Text in hex(1), hex(2) and hex(7) without its terminating
            # unit is exported as it is, and gets one when imported.
            added = {line + b",00,00" for line in values_w[h] - values_h[h]
                     if TEXT_TYPES.search(line)}
            if added and values_w[h] - values_h[h] and added == values_h[h] - values_w[h]:
                print(f"skipped: text without its terminator, which importing adds: {h}")
                continue
            only_w = sorted(values_w[h] - values_h[h])[:3]
            only_h = sorted(values_h[h] - values_w[h])[:3]
            failures.append(f"values of {h} differ; only Wine: {only_w}; only host: {only_h}")
    for f in failures[:20]:
        print("DIFFERENT: " + f)
    print(f"{len(wine_order)} keys compared, {sum(len(v) for _, v in wine)} values; "
          f"{len(failures)} differences")
    return 1 if failures or not wine_order else 0


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "join":
        return join(sys.argv[2], sys.argv[3:])
    if len(sys.argv) == 4 and sys.argv[1] == "compare":
        return compare(sys.argv[2], sys.argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
