# python3 capture_syslog.py [--stalled | --drained-after SECONDS] SCRATCH_DIR COMMAND...: runs
# COMMAND with a private /dev whose /dev/log is a datagram socket of this script's, then prints
# COMMAND's exit status, its standard output and error, and every record it sent, as one JSON
# object. With --stalled the socket's queue is full before COMMAND starts and nothing is read
# while it runs, as with a journal stuck on a slow disk; with --drained-after it is full until
# SECONDS after the start, as with a journal that catches up. Run it in a private mount
# namespace (unshare -rm): the machine's own /dev is not touched.
import json
import os
import socket
import subprocess
import sys
import threading
import time

stalled = sys.argv[1] == "--stalled"
drained_after = float(sys.argv[2]) if sys.argv[1] == "--drained-after" else None
args = sys.argv[3:] if drained_after is not None else sys.argv[2:] if stalled else sys.argv[1:]
scratch, command = args[0], args[1:]
log = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
log.bind(os.path.join(scratch, "log"))
filler_count = 0
if stalled or drained_after is not None:
    filler = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    filler.setblocking(False)
    try:
        while True:
            filler.sendto(b"x", os.path.join(scratch, "log"))
            filler_count += 1
    except BlockingIOError:
        pass
old_dev = os.path.join(scratch, "dev")
os.mkdir(old_dev)


def mount(*args):
    subprocess.run(["mount", *args], check=True)


mount("--rbind", "/dev", old_dev)
mount("-t", "tmpfs", "tmpfs", "/dev")
for name in ("null", "zero", "urandom"):
    open(os.path.join("/dev", name), "w").close()
    mount("--bind", os.path.join(old_dev, name), os.path.join("/dev", name))
open("/dev/log", "w").close()
mount("--bind", os.path.join(scratch, "log"), "/dev/log")

records = []


def drain():
    time.sleep(drained_after)
    for _ in range(filler_count):
        log.recv(65536)
    while True:  # the records that waited for room
        record = log.recv(65536).decode("utf-8", "replace")
        if record == "":
            break
        records.append(record)


if drained_after is not None:
    threading.Thread(target=drain, daemon=True).start()
run = subprocess.run(command, capture_output=True)
if drained_after is not None:
    time.sleep(0.1)
else:
    log.setblocking(False)
while not stalled and drained_after is None:
    try:
        records.append(log.recv(65536).decode("utf-8", "replace"))
    except BlockingIOError:
        break
json.dump({"status": run.returncode, "out": run.stdout.decode("utf-8", "replace"),
           "err": run.stderr.decode("utf-8", "replace"), "records": records}, sys.stdout)
