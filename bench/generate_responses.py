"""Writes the response files that the benchmark's stand-in daemon answers with."""
import json
import sys
import uuid
from pathlib import Path

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
statuses = ["NotApplied", "Deactived", "Actived", "Accepted"]


def response(result):
    return json.dumps({"jsonrpc": "2.0", "result": result, "id": 1}, separators=(",", ":"))


def patch_list(count):
    return [{"uuid": str(uuid.UUID(int=i * 7919 + 1)), "name": f"CVE-2024-{10000 + i}-kernel-fix",
             "status": statuses[i % 4]} for i in range(count)]


for count in (0, 1000, 100000):
    (out / f"list_{count}.json").write_text(response(patch_list(count)))
# Every patch accepted, for save, restore and boot; what they call besides answers null.
for count in (1000, 10000, 100000):
    (out / f"list_accepted_{count}.json").write_text(
        response([dict(record, status="Accepted") for record in patch_list(count)]))
(out / "null.json").write_text(response(None))
# Every name with a non-ASCII character, escaped as a daemon that writes ASCII only sends it.
escaped = [dict(record, name=record["name"].replace("-fix", "-fix-\u00e9")) for record in patch_list(100000)]
(out / "list_escaped_100000.json").write_text(
    json.dumps({"jsonrpc": "2.0", "result": escaped, "id": 1}, separators=(",", ":"), ensure_ascii=True))

package = {"name": "kernel", "kind": "SourcePackage", "arch": "x86_64", "epoch": "0", "version": "5.10.0",
           "release": "136.12.0", "license": "GPL-2.0-only", "source_pkg": "kernel-5.10.0-136.12.0.src.rpm"}
info = {"uuid": str(uuid.UUID(int=42)), "name": "CVE-2024-1086", "version": "1", "release": 1, "arch": "x86_64",
        "kind": "KernelPatch", "depends": "", "target": package,
        "entities": [{"uuid": str(uuid.UUID(int=i)), "patch_name": {"Unix": list(f"module_{i}.ko".encode())},
                      "patch_target": f"/lib/modules/5.10.0/kernel/drivers/module_{i}.ko",
                      "checksum": f"{i:064x}"} for i in range(10000)],
        "description": "netfilter fix", "patches": [], "others": {"severity": "important"}}
(out / "info_10000.json").write_text(response(info))


def unix_name(text):
    return {"Unix": list(text.encode())}


# As a real kernel patch names its parts: 30 to 40 bytes, each name an array of byte numbers.
realistic = dict(info, entities=[
    {"uuid": str(uuid.UUID(int=i)), "patch_name": unix_name(f"nf_tables_{i:05d}_verdict_fix{'x' * (i % 11)}.ko"),
     "patch_target": f"/lib/modules/5.10.0-136.12.0/kernel/net/netfilter/nf_tables_{i:05d}.ko",
     "checksum": f"{i:064x}"} for i in range(10000)],
    patches=[{"name": unix_name(f"0001-netfilter-nf_tables-reject-{i:05d}{'y' * (i % 9)}.patch"),
              "path": f"/usr/lib/quvane/patches/CVE-2024-1086/0001-netfilter-{i:05d}.patch",
              "digest": f"{i * 31:064x}"} for i in range(10000)],
    description="netfilter: nf_tables: reject verdict parameters\n\"NF_DROP\" with a positive errno is "
                "rejected, since it can be taken for NF_ACCEPT\n")
(out / "info_realistic_10000.json").write_text(response(realistic))
(out / "apply.json").write_text(response([{"name": "CVE-2024-1086", "status": "Actived"}]))
