#!/usr/bin/env bash
# Times the file checksum and the file system listing against standard
# tools on the same data in one run, and prints the ratios (tovik's time
# divided by the tool's: below 1 is faster). Medians of five runs, files in
# the page cache.
#   bench/files-bench.sh [WORK-FOLDER]
# Needs about 1.3 GB of space in WORK-FOLDER (default: a new folder in
# ${TMPDIR:-/tmp}, removed at the end).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh bench
bench=build-bench/bench/files_bench

work="${1:-}"
if [ -z "$work" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/tovik-bench-XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
device="$work/device"
mkdir -p "$device/root"
big="$device/root/big.bin"
tree="$device/root/tree"

# 1 GiB of random bytes; 50,000 files of 0 to 8 KiB in 2,000 folders
# (50 folders of 39 subfolders each, 25 files in every folder).
[ -s "$big" ] || head -c $((1 << 30)) /dev/urandom > "$big"
[ -d "$tree" ] || python3 - "$tree" <<'PY'
import os, random, sys
random.seed(1)
root = sys.argv[1]
folders = []
for i in range(50):
    top = os.path.join(root, "dir%02d" % i)
    folders.append(top)
    folders += [os.path.join(top, "sub%02d" % j) for j in range(39)]
for folder in folders:
    os.makedirs(folder, exist_ok=True)
    for k in range(25):
        with open(os.path.join(folder, "file%02d.dat" % k), "wb") as f:
            f.write(os.urandom(random.randint(0, 8192)))
PY

python3 - "$bench" "$device" "$big" "$tree" "$work" <<'PY'
# Each time is reported twice: wall-clock, and processor time (user and
# system, of the tool and its children), which other work on a shared
# machine disturbs less.
import json, os, resource, statistics, subprocess, sys, time
bench, device, big, tree, work = sys.argv[1:]
runs = 5

def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime

def median_times(command, env=None):
    wall, cpu = [], []
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), children_cpu()
        subprocess.run(command, shell=True, check=True, env=env)
        wall.append(time.perf_counter() - start)
        cpu.append(children_cpu() - start_cpu)
    return statistics.median(wall), statistics.median(cpu)

# Warm the page cache.
subprocess.run(f"cat '{big}' > /dev/null; find '{tree}' -type f -exec cat {{}} + > /dev/null",
               shell=True, check=True)
out = os.path.join(work, "tool.out")
tools = {
    "cksum": median_times(f"cksum '{big}' > '{out}'"),
    "cat": median_times(f"cat '{big}' > /dev/null"),
    "find-cksum": median_times(f"find '{tree}' -type f -exec cksum {{}} + > '{out}'"),
    "find-printf": median_times(f"find '{tree}' -printf '%TY %s %p\\n' > '{out}'",
                                env=dict(os.environ, TZ="UTC")),
}

result = os.path.join(work, "bench.json")
subprocess.run([bench, "--benchmark_format=console", f"--benchmark_out={result}",
                "--benchmark_out_format=json"], check=True,
               env=dict(os.environ, TOVIK_DEVICE=device))
ours, rates = {}, {}
for b in json.load(open(result))["benchmarks"]:
    if b.get("aggregate_name", "") in ("", "median"):
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        name = b["run_name"].split("/iterations")[0]
        ours[name] = (b["real_time"] * scale, b["cpu_time"] * scale)
        if "bytes_per_second" in b:
            rates[name] = b["bytes_per_second"] / 1e9

def line(label, mine, tool, tool_name):
    print("%-24s %.3f s (cpu %.3f)   %s %.3f s (cpu %.3f)   ratio %.2f (cpu %.2f)"
          % (label, mine[0], mine[1], tool_name, tool[0], tool[1],
             mine[0] / tool[0], mine[1] / tool[1]))

print()
line("FileCrc32, 1 GiB:", ours["BM_FileCrc32"], tools["cksum"], "cksum")
line("  cat to /dev/null:", tools["cat"], tools["cksum"], "cksum")
print("  in memory: table %.2f GB/s, fast %.2f GB/s" % (rates["BM_Crc32Table"], rates["BM_Crc32Fast"]))
line("Listing with checksums:", ours["BM_Listing/crc:1/window:1"], tools["find-cksum"],
     "find -exec cksum")
line("Listing without:", ours["BM_Listing/crc:0/window:1"], tools["find-printf"], "find -printf")
line("  the searches alone:", ours["BM_SearchesOnly"], tools["find-printf"], "find -printf")
line("Progress window:", ours["BM_Listing/crc:0/window:1"], ours["BM_Listing/crc:0/window:0"],
     "without")
PY
