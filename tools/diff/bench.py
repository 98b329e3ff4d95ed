#!/usr/bin/env python3
"""Times tovik-diff against GNU diff on two generated snapshots.

Writes two snapshots of about a million lines each (registry, file system
and databases, CR LF line ends), the second with a scattering of added,
removed and changed items, then runs both programs on them in the same run
and prints the times, their ratio and each program's peak memory.

    tools/diff/bench.py [path/to/tovik-diff] [--lines N] [--runs N]

Without a path, build-bench/tools/diff/tovik-diff is used (scripts/build.sh
bench builds it).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time


def generate(lines, seed, change):
    """Returns the lines of a snapshot; `change` perturbs it reproducibly."""
    rnd = random.Random(seed)
    mutate = random.Random(seed + 1) if change else None
    out = []

    def maybe():
        # ~1 in 1000 items changed, ~1 in 2000 removed, ~1 in 2000 added
        if not mutate:
            return None
        r = mutate.random()
        if r < 0.001:
            return "change"
        if r < 0.0015:
            return "remove"
        if r < 0.002:
            return "add"
        return None

    registry_lines = lines * 2 // 5
    files_lines = lines * 11 // 20
    roots = ["HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT"]
    per_root = registry_lines // 3
    for root in roots:
        out += ["", "[%s\\]" % root]
        written = 0
        key = 0
        while written < per_root:
            path = "Software\\Vendor%d\\Product%d\\Key%d" % (key % 50, key % 7, key)
            key += 1
            what = maybe()
            # Every random draw is made whatever the change, so that the two
            # snapshots stay alike after it.
            values = []
            for v in range(4):
                choices = ["dword:%08X" % rnd.getrandbits(32),
                           '"\\\\Windows\\\\file%d.dll"' % rnd.getrandbits(16),
                           "hex(3):" + ",".join("%02x" % rnd.getrandbits(8) for _ in range(8))]
                values.append(choices[rnd.getrandbits(2) % 3])
            if what == "remove":
                written += 6
                continue
            out += ["", "[%s\\%s]" % (root, path)]
            for v, data in enumerate(values):
                if what == "change" and v == 1:
                    data = "dword:%08X" % mutate.getrandbits(32)
                out.append('"Value%d"=%s' % (v, data))
            if what == "add":
                out.append('"Added"=dword:00000001')
            written += 6
        out.append("")
    directory = 0
    written = 0
    while written < files_lines:
        out.append("[\\Folder%d\\Sub%d]" % (directory % 100, directory))
        directory += 1
        written += 1
        for f in range(20):
            what = maybe()
            size = rnd.getrandbits(20)
            crc = rnd.getrandbits(32)
            stamp = "%02d/%02d/2026 %02d:%02d" % (rnd.randint(1, 28), rnd.randint(1, 12),
                                                  rnd.randint(0, 23), rnd.randint(0, 59))
            if what == "remove":
                written += 1
                continue
            if what == "change":
                size += 1
            out.append("%s   %10d %08X file %d of folder %d.txt" % (stamp, size, crc, f,
                                                                   directory))
            if what == "add":
                out.append("%s   %10d %08X added %d.txt" % (stamp, size, crc, f))
            written += 1
    out += ["", "[Databases]"]
    db = 0
    while len(out) < lines:
        what = maybe()
        size = rnd.getrandbits(16)
        records = rnd.getrandbits(10)
        if what == "change":
            size += 1
        if what != "remove":
            out.append("B 07/12/2026 10:19 %12d %6d Database %d" % (size, records, db))
        db += 1
    return out


def write(path, lines, kind):
    """kind: "0" the old snapshot, "1" it with changes, "2" other data."""
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(generate(lines, 8 if kind == "2" else 7, kind == "1")) + "\n")


def run(command, runs):
    """Best wall time and best processor time (user + system) of `runs`
    runs, and the peak resident memory in KiB."""
    best = None
    best_cpu = None
    peak = 0
    for _ in range(runs):
        start = time.perf_counter()
        proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
        code = os.waitstatus_to_exitcode(status)
        if code not in (0, 1):
            sys.exit("%s failed with %d: %s" % (command[0], code, proc.stderr.read().decode()))
        proc.stderr.close()
        cpu = usage.ru_utime + usage.ru_stime
        best = elapsed if best is None else min(best, elapsed)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
        peak = max(peak, usage.ru_maxrss)
    return best, best_cpu, peak


def main():
    parser = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("binary", nargs="?",
                        default=os.path.join(here, "..", "..", "build-bench", "tools", "diff",
                                             "tovik-diff"))
    parser.add_argument("--lines", type=int, default=1000000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--unrelated", action="store_true",
                        help="make the new snapshot from other random data: nearly every line differs")
    parser.add_argument("--write", nargs=2, metavar=("PATH", "CHANGED"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.write:
        write(args.write[0], args.lines, args.write[1])
        return
    if not os.access(args.binary, os.X_OK):
        sys.exit("no tovik-diff at %s (run scripts/build.sh bench)" % args.binary)
    gnu_diff = shutil.which("diff")
    if not gnu_diff:
        sys.exit("GNU diff is not installed")

    folder = tempfile.mkdtemp(prefix="tovik-diff-bench-")
    try:
        paths = []
        for name, change in (("old.tvk", "0"), ("new.tvk", "2" if args.unrelated else "1")):
            # Written by a child process: the peak memory the kernel reports
            # for a program includes that of the process it was started
            # from, which must therefore stay small.
            path = os.path.join(folder, name)
            subprocess.run([sys.executable, os.path.abspath(__file__), "--lines", str(args.lines),
                            "--write", path, change], check=True)
            paths.append(path)
        sizes = [os.path.getsize(p) for p in paths]
        counts = [sum(1 for _ in open(p, "rb")) for p in paths]
        print("snapshots: %d and %d lines, %.1f and %.1f MB" %
              (counts[0], counts[1], sizes[0] / 1e6, sizes[1] / 1e6))
        ours, our_cpu, our_memory = run([args.binary] + paths, args.runs)
        theirs, their_cpu, their_memory = run([gnu_diff] + paths, args.runs)
        summary = subprocess.run([args.binary] + paths, capture_output=True, text=True,
                                 errors="replace").stdout.splitlines()[:4]
        print("\n".join(summary))
        print("tovik-diff: %.3f s (processor %.3f s), peak memory %.0f MB (%.2f x the old snapshot)"
              % (ours, our_cpu, our_memory / 1024, our_memory * 1024 / sizes[0]))
        print("GNU diff:   %.3f s (processor %.3f s), peak memory %.0f MB" %
              (theirs, their_cpu, their_memory / 1024))
        print("ratio tovik-diff / GNU diff: %.2f wall-clock, %.2f processor" %
              (ours / theirs, our_cpu / their_cpu))
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
