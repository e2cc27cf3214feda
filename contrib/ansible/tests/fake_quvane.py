#!/usr/bin/python3
# A quvane that misbehaves in one way, for the collection's tests; anything else goes to the
# real one. FAKE_QUVANE_MODE says how: "lie" (apply reports ACTIVED and does nothing),
# "fail-accept" (accept fails), "fail-accept-first" (accept fails for the first identifier
# alone), "parts" (status adds a second part that stays NOT-APPLIED). With FAKE_QUVANE_LOG,
# each run appends its subcommand and how many identifiers it was given to that file.
import json
import os
import subprocess
import sys

real = os.environ["REAL_QUVANE"]
mode = os.environ.get("FAKE_QUVANE_MODE", "")
args = sys.argv[1:]
words = {"status", "list", "info", "apply", "accept", "active", "deactive", "remove", "save"}
subcommand = next((word for word in args if word in words), "")
identifiers = args[args.index("--") + 1:] if "--" in args else []


if os.environ.get("FAKE_QUVANE_LOG"):
    with open(os.environ["FAKE_QUVANE_LOG"], "a") as log:
        log.write("%s %d\n" % (subcommand, len(identifiers)))


def answer(document, status):
    print(json.dumps(document))
    sys.exit(status)


if mode == "lie" and subcommand == "apply":
    answer({"results": [{"identifier": i, "patches": [{"name": i, "status": "ACTIVED"}]} for i in identifiers],
            "failures": []}, 0)
if mode == "fail-accept" and subcommand == "accept":
    answer({"results": [], "failures": [{"identifier": i, "error": "Accepting is refused"} for i in identifiers]}, 1)
if mode == "fail-accept-first" and subcommand == "accept":
    rest = args[:args.index("--") + 1] + identifiers[1:]
    run = subprocess.run([real] + rest, capture_output=True, text=True)
    document = json.loads(run.stdout)
    document["failures"].insert(0, {"identifier": identifiers[0], "error": "Accepting is refused"})
    answer(document, 1)
if mode == "parts" and subcommand == "status":
    run = subprocess.run([real] + args, capture_output=True, text=True)
    document = json.loads(run.stdout)
    for result in document.get("results", []):
        result["patches"].append({"name": result["identifier"] + "-part-2", "status": "NOT-APPLIED"})
    answer(document, run.returncode)
os.execv(real, [real] + args)
