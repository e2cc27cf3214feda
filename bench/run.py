"""Times quvane against the floor client, interleaved, on the same socket and responses.

Usage: run.py QUVANE QUVANE_STATIC FLOOR FAST_DAEMON MEASURE RESPONSES_DIR EMPTY_PROGRAM [PAIRS]
Prints one row per case: medians of the interleaved runs and their ratio, the peak memory of
each, and how many socket reads quvane made for the response.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

quvane, quvane_static, floor, daemon, measure, responses, empty = sys.argv[1:8]
pairs = int(sys.argv[8]) if len(sys.argv) > 8 else 31
devnull = os.open(os.devnull, os.O_WRONLY)


def run(argv):
    """Wall time in seconds and peak resident memory in KiB of one run, output to /dev/null."""
    result = subprocess.run([measure] + argv, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    nanoseconds, kib = result.stdout.split()
    return int(nanoseconds) / 1e9, int(kib)


def request(method, params, request_id):
    return f'{{"method":"{method}","params":[{params}],"id":{request_id},"jsonrpc":"2.0"}}'


identifiers = [f"CVE-2024-{i}" for i in range(100)]
cases = [
    ("empty program linked like quvane", "list_0.json", [], [request("get_patch_list", "", 1)], empty),
    ("list, 0 records", "list_0.json", ["list"], [request("get_patch_list", "", 1)], quvane),
    ("list, 0 records, static runtime", "list_0.json", ["list"], [request("get_patch_list", "", 1)], quvane_static),
    ("list, 1 000 records", "list_1000.json", ["list"], [request("get_patch_list", "", 1)], quvane),
    ("list, 100 000 records", "list_100000.json", ["list"], [request("get_patch_list", "", 1)], quvane),
    ("list, 100 000 escaped names", "list_escaped_100000.json", ["list"],
     [request("get_patch_list", "", 1)], quvane),
    ("--json list, 100 000 records", "list_100000.json", ["--json", "list"],
     [request("get_patch_list", "", 1)], quvane),
    ("info, 10 000 entities", "info_10000.json", ["info", "CVE-2024-1086"],
     [request("get_patch_info", '"CVE-2024-1086"', 1)], quvane),
    ("info, 10 000 realistic entities", "info_realistic_10000.json", ["info", "CVE-2024-1086"],
     [request("get_patch_info", '"CVE-2024-1086"', 1)], quvane),
    ("--json info, 10 000 realistic entities", "info_realistic_10000.json",
     ["--json", "info", "CVE-2024-1086"], [request("get_patch_info", '"CVE-2024-1086"', 1)], quvane),
    ("--metrics-file list, 100 000 records", "list_100000.json",
     ["--metrics-file", "{work}/quvane.prom", "list"], [request("get_patch_list", "", 1)], quvane),
    # The same against a floor that replaces a file with the answer's bytes, synced, as quvane
    # replaces its metrics file.
    ("  the floor replacing a file", "list_100000.json",
     ["--metrics-file", "{work}/quvane.prom", "list"], [request("get_patch_list", "", 1)], quvane,
     ["-o", "{work}/floor.out"]),
    ("apply, 100 identifiers", "apply.json", ["apply"] + identifiers,
     [request("apply_patch", f'"{name}"', i + 1) for i, name in enumerate(identifiers)], quvane),
]

print(f"{'case':34} {'quvane ms':>10} {'floor ms':>9} {'ratio':>6} {'quvane MiB':>10} {'floor MiB':>9} "
      f"{'response KiB':>12} {'reads':>6} {'reads/KiB':>9}")


def row(name, response_file, args, requests, binary, floor_options=(), other=None, setup=None):
    """One line of the table; `other` answers every request but the list, `setup` runs once
    before the timed runs (a save that makes the record the boot set's runs read)."""
    work = Path(tempfile.mkdtemp(prefix="quvane-bench-"))
    socket = work / "quvaned.sock"
    os.environ["QUVANE_STATE_DIR"] = str(work / "state")
    server = subprocess.Popen([daemon, str(socket), str(Path(responses) / response_file)] +
                              ([str(Path(responses) / other)] if other else []))
    while not socket.exists():
        time.sleep(0.01)
    ours = [binary, "-w", str(work)] + [a.replace("{work}", str(work)) for a in args] \
        if binary != empty else [binary]
    theirs = [floor] + [a.replace("{work}", str(work)) for a in floor_options] + \
        [str(socket)] + requests
    if setup:
        run([binary, "-w", str(work)] + setup)
    for _ in range(3):
        run(ours), run(theirs)
    times_ours, times_floor, rss_ours, rss_floor = [], [], [], []
    for _ in range(pairs):
        t, m = run(ours)
        times_ours.append(t), rss_ours.append(m)
        t, m = run(theirs)
        times_floor.append(t), rss_floor.append(m)
    reads = "-"
    if shutil.which("strace") and len(requests) == 1 and binary != empty:
        trace = work / "trace"
        subprocess.run(["strace", "-e", "trace=recvfrom,recvmsg", "-o", str(trace)] + ours, stdout=devnull, check=True)
        reads = sum(1 for line in trace.read_text().splitlines() if line.startswith(("recvfrom", "recvmsg")))
    server.terminate()
    server.wait()
    shutil.rmtree(work)
    size_kib = (Path(responses) / response_file).stat().st_size / 1024
    median_ours, median_floor = statistics.median(times_ours) * 1e3, statistics.median(times_floor) * 1e3
    per_kib = f"{reads / size_kib:.4f}" if reads != "-" else "-"
    print(f"{name:34} {median_ours:10.2f} {median_floor:9.2f} {median_ours / median_floor:6.2f} "
          f"{max(rss_ours) / 1024:10.1f} {max(rss_floor) / 1024:9.1f} {size_kib:12.1f} {reads!s:>6} {per_kib:>9}")


for name, response_file, args, requests, binary, *floor_options in cases:
    row(name, response_file, args, requests, binary, sum(floor_options, []))

# What the next boot restores: the same daemon calls, and a floor that replaces a file with the
# answers' bytes (synced and renamed) where quvane writes its record or its metrics.
listing = request("get_patch_list", "", 1)
for count in (1000, 10000, 100000):
    accepted = f"list_accepted_{count}.json"
    label = f"{count:,}".replace(",", " ")
    replace = ["-o", "{work}/floor.out"]
    row(f"save, {label} accepted", accepted, ["save"],
        [listing, request("save_patch_status", "", 2)], quvane, replace, "null.json", ["save"])
    row(f"restore --accepted, {label}", accepted, ["restore", "--accepted"],
        [request("restore_patch_status", "true", 1), request("get_patch_list", "", 2)], quvane,
        replace, "null.json", ["save"])
    row(f"boot, {label} accepted", accepted, ["boot"], [listing], quvane, (), "null.json", ["save"])
    row(f"--metrics-file boot, {label}", accepted, ["--metrics-file", "{work}/quvane.prom", "boot"],
        [listing], quvane, replace, "null.json", ["save"])
