#!/usr/bin/env python3
"""Times tovik as a whole process against the tools a user would pick for
the same job, and prints tovik's time divided by the tool's.

Each row runs the two commands alternately, five times each after one run
of each to warm the page cache, and compares the medians of their processor
time (user and system of the process and its children, which other work on
a shared machine disturbs less than the wall clock). Peak memory is the
largest resident size of a run.

    bench/compare.sh [--work FOLDER] [--large-files N] [--runs N] [ROW ...]

ROW is one of checksum, listing, registry, diff (all when none is named).
The data are made in FOLDER (default: a new folder in ${TMPDIR:-/tmp},
removed at the end; a given folder is kept and its data reused): 1 GiB of
random bytes, 50,000 files of 0 to 8 KiB (about 200 MB), 500,000 files
without data blocks for the listing without checksums (--large-files 0
leaves that row out), a registry of 100,000 keys and 1,000,000 values
(about 130 MB), two snapshots of a million lines (about 110 MB). Expect
about 2 GB of space.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
BUILD = os.path.join(SOURCE, "build-bench")
TOVIK = os.path.join(BUILD, "tovik")
TOVIK_DIFF = os.path.join(BUILD, "tools", "diff", "tovik-diff")
GIB = 1 << 30


def settings(device, registry=0, files=0, crc32=0):
    """Writes the device's settings file: only the named sections, no
    dialog, earlier snapshots left out of the listing."""
    folder = os.path.join(device, "root", "My Documents")
    os.makedirs(folder, exist_ok=True)
    lines = ["Registry %d" % registry, "Files %d" % files, "FileInROM 1", "crc32 %d" % crc32,
             "Databases 0", "Setup 0", "Exclude .TVK", "Default_path "]
    with open(os.path.join(folder, "tovik.cfg"), "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def tovik(device):
    """The command that takes a snapshot of `device` into \\bench.tvk."""
    return ([TOVIK, "\\bench.tvk"], dict(os.environ, TOVIK_DEVICE=device))


def make_checksum_device(work, size):
    device = os.path.join(work, "checksum")
    big = os.path.join(device, "root", "big.bin")
    if not os.path.exists(big) or os.path.getsize(big) != size:
        os.makedirs(os.path.dirname(big), exist_ok=True)
        with open(big, "wb") as f:
            subprocess.run(["head", "-c", str(size), "/dev/urandom"], stdout=f, check=True)
    settings(device, files=1, crc32=1)
    return device, big


def make_tree(device, folders, per_folder, with_data):
    """`folders` folders of `per_folder` files each, as top folders of 39
    subfolders; sizes 0 to 8 KiB, random bytes or (without data) holes."""
    tree = os.path.join(device, "root", "tree")
    done = os.path.join(device, "made")
    if os.path.exists(done):
        return tree
    shutil.rmtree(tree, ignore_errors=True)
    rnd = random.Random(1)
    paths = []
    for i in range(folders // 40):
        top = os.path.join(tree, "dir%03d" % i)
        paths.append(top)
        paths += [os.path.join(top, "sub%02d" % j) for j in range(39)]
    for folder in paths:
        os.makedirs(folder)
        for k in range(per_folder):
            size = rnd.randint(0, 8192)
            with open(os.path.join(folder, "file%03d.dat" % k), "wb") as f:
                if with_data:
                    f.write(os.urandom(size))
                else:
                    f.truncate(size)
    open(done, "w").close()
    return tree


def make_registry_device(work, keys):
    """A registry.reg as a desktop editor exports it (UTF-16LE with a byte
    order mark, CR LF): `keys` keys of ten values each, strings, dwords,
    binary and multi-string values."""
    device = os.path.join(work, "registry")
    path = os.path.join(device, "registry.reg")
    os.makedirs(os.path.join(device, "root"), exist_ok=True)
    settings(device, registry=1)
    done = path + ".made"
    if os.path.exists(done):
        return device, path
    roots = ["HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT"]

    def hex_bytes(seed, count):
        return ",".join("%02x" % ((seed * 31 + i * 7) & 0xFF) for i in range(count))

    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + "Windows Registry Editor Version 5.00\r\n".encode("utf-16-le"))
        for k in range(keys):
            text = ["\r\n[%s\\Software\\Vendor %03d\\Product %03d\\Item %06d]\r\n"
                    % (roots[k % 3], k // 10000, (k // 100) % 100, k)]
            for v in range(10):
                if v < 4:
                    data = '"C:\\\\Program Files\\\\App %d\\\\file%d.dat"' % (k, v)
                elif v == 4:
                    data = '"say \\"hello\\""'
                elif v < 8:
                    data = "dword:%08x" % ((k * 2654435761 + v) & 0xFFFFFFFF)
                elif v == 8:
                    data = "hex:" + hex_bytes(k, 16)
                else:
                    data = "hex(7):" + hex_bytes(k, 24) + ",00,00,00,00"
                text.append('"Value%d"=%s\r\n' % (v, data))
            f.write("".join(text).encode("utf-16-le"))
    open(done, "w").close()
    return device, path


def make_snapshots(work, lines):
    """Two snapshots of `lines` lines, the second with scattered changes,
    written by tools/diff/bench.py in a process of its own."""
    folder = os.path.join(work, "diff")
    os.makedirs(folder, exist_ok=True)
    paths = []
    for name, kind in (("old.tvk", "0"), ("new.tvk", "1")):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            subprocess.run([sys.executable, os.path.join(SOURCE, "tools", "diff", "bench.py"),
                            "--lines", str(lines), "--write", path + ".part", kind], check=True)
            os.rename(path + ".part", path)
        paths.append(path)
    return paths


class Runner:
    def __init__(self, work, runs):
        self.work = work
        self.runs = runs
        self.output = os.path.join(work, "tool.out")
        self.memory = os.path.join(work, "memory.txt")

    def once(self, command, env=None, discard=False):
        """Runs one command under /usr/bin/time, which starts it from a small
        process, so that the peak memory is the command's own. Returns
        (processor seconds, wall seconds, peak resident bytes). The output
        goes to a file, or with `discard` to /dev/null."""
        with open(os.devnull if discard else self.output, "wb") as out:
            start = time.perf_counter()
            proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", self.memory] + command,
                                    stdout=out, stderr=subprocess.PIPE, env=env)
            _, status, usage = os.wait4(proc.pid, 0)
            wall = time.perf_counter() - start
        errors = proc.stderr.read().decode(errors="replace")
        proc.stderr.close()
        code = os.waitstatus_to_exitcode(status)
        # diff and tovik-diff say 1 when the files differ.
        if code not in (0, 1):
            sys.exit("%s failed with %d: %s" % (" ".join(command), code, errors))
        with open(self.memory) as f:
            peak = int(f.read().split()[-1]) * 1024
        return usage.ru_utime + usage.ru_stime, wall, peak

    def pair(self, ours, theirs):
        """Runs the two commands alternately; returns for each the medians
        of processor and wall time and the largest peak memory."""
        self.once(*ours)
        self.once(*theirs)
        results = ([], [])
        for _ in range(self.runs):
            for i, command in enumerate((ours, theirs)):
                results[i].append(self.once(*command))
        return [(statistics.median(r[0] for r in rs), statistics.median(r[1] for r in rs),
                 max(r[2] for r in rs)) for rs in results]


class Table:
    def __init__(self):
        print("%-60s %10s %10s %7s %7s %9s %9s" % ("tovik vs peer (processor time, median)",
                                                     "tovik s", "peer s", "ratio", "wall",
                                                     "tovik MB", "peer MB"))

    def row(self, label, ours, theirs, goal=""):
        print("%-60s %10.3f %10.3f %7.2f %7.2f %9.1f %9.1f  %s" %
              (label, ours[0], theirs[0], ours[0] / theirs[0], ours[1] / theirs[1],
               ours[2] / 1e6, theirs[2] / 1e6, goal), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("rows", nargs="*", metavar="ROW")
    parser.add_argument("--work", help="folder for the data, kept and reused")
    parser.add_argument("--large-files", type=int, default=500000,
                        help="files of the large listing (0 leaves it out)")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    every = ["checksum", "listing", "registry", "diff"]
    rows = args.rows or every
    if set(rows) - set(every):
        parser.error("rows are %s" % ", ".join(every))
    for program in (TOVIK, TOVIK_DIFF):
        if not os.access(program, os.X_OK):
            sys.exit("no %s (run scripts/build.sh bench)" % program)
    if args.work:
        work = os.path.abspath(args.work)
        os.makedirs(work, exist_ok=True)
    else:
        work = tempfile.mkdtemp(prefix="tovik-compare-", dir=os.environ.get("TMPDIR", "/tmp"))
    try:
        run = Runner(work, args.runs)
        load = os.getloadavg()
        print("load average at the start: %.2f %.2f %.2f on %d processors; %d runs each"
              % (load + (os.cpu_count(), args.runs)))
        table = Table()
        if "checksum" in rows:
            device, big = make_checksum_device(work, GIB)
            ours, theirs = run.pair(tovik(device), (["cksum", big], None))
            table.row("checksum of a 1 GiB cached file vs cksum", ours, theirs, "goal <= 1.0")
            ours, theirs = run.pair(tovik(device), (["cat", big], None, True))
            table.row("  tovik vs cat of the file", ours, theirs)
        if "listing" in rows:
            utc = dict(os.environ, TZ="UTC")
            printf = "%Td/%Tm/%TY %TH:%TM %s %p\\n"
            sizes = [("50k", 2000, 25, True)]
            if args.large_files:
                sizes.append(("%dk" % (args.large_files // 1000), args.large_files // 50, 50, False))
            for name, folders, per_folder, with_data in sizes:
                device = os.path.join(work, "files" + name)
                tree = make_tree(device, folders, per_folder, with_data)
                settings(device, files=1, crc32=0)
                ours, theirs = run.pair(tovik(device), (["find", tree, "-printf", printf], utc))
                table.row("listing, %s files, no CRC vs TZ=UTC find -printf" % name, ours, theirs,
                          "goal <= 1.45")
                if not with_data:
                    continue
                settings(device, files=1, crc32=1)
                ours, theirs = run.pair(
                    tovik(device), (["find", tree, "-type", "f", "-exec", "cksum", "{}", "+"], None))
                table.row("listing, %s files, CRC vs find -exec cksum {} +" % name, ours, theirs,
                          "goal <= 1.0")
                ours, theirs = run.pair(
                    tovik(device), (["mtree", "-c", "-K", "cksum,size,time", "-p", tree], None))
                table.row("listing, %s files, CRC vs mtree -c -K cksum,size,time" % name, ours,
                          theirs, "goal <= 0.8")
                config = os.path.join(work, "aide.conf")
                with open(config, "w") as f:
                    f.write("database_out=file:%s\ngzip_dbout=no\nreport_url=stdout\n"
                            "Bench = s+m+crc32\n%s Bench\n" % (os.path.join(work, "aide.db"), tree))
                ours, theirs = run.pair(tovik(device),
                                        (["aide", "--config=" + config, "--init"], None))
                table.row("listing, %s files, CRC vs AIDE --init (size, mtime, crc32)" % name,
                          ours, theirs, "keep")
        if "registry" in rows:
            device, path = make_registry_device(work, 100000)
            ours, theirs = run.pair(tovik(device),
                                    (["iconv", "-f", "UTF-16", "-t", "UTF-8", path], None))
            table.row("registry, 100k keys / 1M values vs iconv of the file", ours, theirs,
                      "goal <= 16")
            size = os.path.getsize(path)
            print("  tovik's peak memory: %.2f x the file (%.1f MB); goal <= 2"
                  % (ours[2] / size, size / 1e6))
        if "diff" in rows:
            old, new = make_snapshots(work, 1000000)
            ours, theirs = run.pair(([TOVIK_DIFF, old, new], None), (["diff", old, new], None))
            table.row("tovik-diff vs GNU diff, 1M lines", ours, theirs, "keep")
        load = os.getloadavg()
        print("load average at the end: %.2f %.2f %.2f" % load)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
