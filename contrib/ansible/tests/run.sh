#!/usr/bin/env bash
# Builds the collection with ansible-galaxy, installs the artifact, checks that ansible-doc
# renders each module, then drives the installed modules against development daemons: one
# host through the lifecycle and its faults, five as a fleet with one daemon down and then
# back. Usage: run.sh QUVANE QUVANED_DEV. Exits 77 (skipped) where ansible is missing or the
# superuser is out of reach.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quvane=$1 daemon=$2

if ! command -v ansible-playbook >/dev/null; then
    echo "ansible-playbook is not installed (Debian: ansible-core): skipped"
    exit 77
fi
if [ "$(id -u)" -ne 0 ]; then
    # quvane needs the superuser: a user namespace makes one.
    if unshare -r true 2>/dev/null; then
        exec unshare -r "$0" "$@"
    fi
    echo "neither root nor user namespaces: skipped"
    exit 77
fi

scratch=$(mktemp -d)
chmod 755 "$scratch"
hosts=(host1 host2 host3 host4 host5)
stop_daemon() {
    local pid
    pid=$(cat "$scratch/$1.pid" 2>/dev/null) || return 0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -f "$scratch/$1.pid"
}
start_daemon() {
    "$daemon" -w "$scratch/$1" >>"$scratch/$1.log" 2>&1 &
    echo $! >"$scratch/$1.pid"
    for _ in $(seq 100); do
        [ -S "$scratch/$1/quvaned.sock" ] && return 0
        sleep 0.05
    done
    echo "the daemon of $1 did not start" >&2
    return 1
}
cleanup() {
    for host in "${hosts[@]}"; do stop_daemon "$host"; done
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

export ANSIBLE_LOCAL_TEMP="$scratch/tmp" ANSIBLE_REMOTE_TEMP="$scratch/tmp" ANSIBLE_NOCOLOR=1 \
    ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_HOME="$scratch/ansible"
# quvane's record of what the next boot restores, for every host, outside the system's place.
export QUVANE_STATE_DIR="$scratch/state"
mkdir -m 700 "$QUVANE_STATE_DIR"

# The artifact, installed as an operator would: the tests use it, not the source tree.
ansible-galaxy collection build "$here/../ansible_collections/quvane/livepatch" \
    --output-path "$scratch/artifact" >/dev/null
ansible-galaxy collection install "$scratch"/artifact/quvane-livepatch-*.tar.gz \
    -p "$scratch/collections" >/dev/null
export ANSIBLE_COLLECTIONS_PATH="$scratch/collections"
for module in quvane_patch quvane_patch_info; do
    ansible-doc "quvane.livepatch.$module" >/dev/null || fail "ansible-doc cannot render $module"
done

{
    echo "[fleet]"
    for host in "${hosts[@]}"; do echo "$host work_dir=$scratch/$host"; done
    echo "[fleet:vars]"
    echo "ansible_connection=local"
    echo "ansible_python_interpreter=/usr/bin/python3"
} >"$scratch/inventory"
for host in "${hosts[@]}"; do start_daemon "$host"; done
play() {
    ansible-playbook -i "$scratch/inventory" -e "quvane=$quvane" -e "fake=$here/fake_quvane.py" "$@"
}
# "changed=N" and "failed=N" of a host in a play's recap.
recap() {
    grep -E "^$1 +:" "$2" | grep -oE "$3=[0-9]+" | cut -d= -f2
}

play "$here/lifecycle.yml"

# A host whose daemon is down fails with a message that says so; the others reach the state.
stop_daemon host3
if play "$here/fleet.yml" >"$scratch/fleet.log" 2>&1; then
    cat "$scratch/fleet.log"
    fail "the fleet play succeeded with the daemon of host3 down"
fi
grep -qE "^fatal: \[host3\].*Cannot connect to quvane daemon at unix://$scratch/host3/quvaned.sock" \
    "$scratch/fleet.log" || { cat "$scratch/fleet.log"; fail "host3 did not say its daemon is unreachable"; }
for host in "${hosts[@]}"; do
    if [ "$host" = host3 ]; then
        [ "$(recap host3 "$scratch/fleet.log" failed)" = 1 ] || fail "host3 did not fail"
    else
        [ "$(recap "$host" "$scratch/fleet.log" changed)" = 1 ] &&
            [ "$(recap "$host" "$scratch/fleet.log" failed)" = 0 ] ||
            { cat "$scratch/fleet.log"; fail "$host did not reach the state"; }
    fi
done

# Once it is back, a rerun changes that host alone.
start_daemon host3
play "$here/fleet.yml" >"$scratch/fleet.log" 2>&1 || { cat "$scratch/fleet.log"; fail "the rerun failed"; }
for host in "${hosts[@]}"; do
    expected=0
    [ "$host" = host3 ] && expected=1
    [ "$(recap "$host" "$scratch/fleet.log" changed)" = "$expected" ] ||
        { cat "$scratch/fleet.log"; fail "$host changed $(recap "$host" "$scratch/fleet.log" changed) times on the rerun"; }
done
grep -q '"host3": {' "$scratch/fleet.log" || fail "the report has no entry for host3"

# A server's life, on host5: reboots (the daemon restarted empty, then the boot unit's own
# command, with its own retries), a removal, a missed restore, a late daemon.
unit="$here/../../../packaging/systemd/quvane-restore.service"
read -ra boot <<<"$(sed -n 's/^ExecStart=@QUVANE_SBIN@\/quvane //p' "$unit")"
restart_sec=$(sed -n 's/^RestartSec=//p' "$unit")
burst=$(sed -n 's/^StartLimitBurst=//p' "$unit")
life() {  # the module on host5 with KEY=VALUE arguments
    ansible host5 -i "$scratch/inventory" -m quvane.livepatch.quvane_patch \
        -a "executable=$quvane work_dir=$scratch/host5 saved_record=$scratch/host5.saved-accepted.json timeout=10 $*"
}
status() { "$quvane" -w "$scratch/host5" status "$1"; }
boot_unit() {  # the unit's command, tried again as Restart=on-failure does, within its limit
    for _ in $(seq "$burst"); do
        "$quvane" -w "$scratch/host5" "${boot[@]}" >/dev/null && return 0
        sleep "$restart_sec"
    done
    return 1
}
# What quvane reads of the kernel: a boot id of each boot, and its command line.
export QUVANE_PROC_DIR="$scratch/proc"
new_boot() {
    mkdir -p "$QUVANE_PROC_DIR/sys/kernel/random"
    echo "boot-$RANDOM-$RANDOM" >"$QUVANE_PROC_DIR/sys/kernel/random/boot_id"
    echo "ro quiet ${1:-}" >"$QUVANE_PROC_DIR/cmdline"
}
new_boot
reboot() { stop_daemon host5; start_daemon host5; new_boot; boot_unit; }
stop_daemon host5
rm -rf "$scratch/host5" "$scratch/host5.saved-accepted.json" "$QUVANE_STATE_DIR"/*host5.json  # a fresh host
mkdir "$scratch/host5"
start_daemon host5
boot_unit || fail "the boot unit failed on a host where nothing was ever saved"
life name=CVE-2023-4911 state=accepted >"$scratch/accept.log" || { cat "$scratch/accept.log"; false; } || fail "accepting failed"
life name=CVE-2023-4911 state=removed >/dev/null || fail "removing failed"
reboot || fail "the boot unit failed after a removal"
[ "$(status CVE-2023-4911)" = "CVE-2023-4911: NOT-APPLIED" ] || fail "a removed patch came back after a reboot"
life name=CVE-2024-1086,CVE-2023-4911 state=accepted >/dev/null || fail "accepting two failed"
stop_daemon host5
start_daemon host5  # a reboot whose restore did not run
if life name=redis-memleak-fix state=accepted >"$scratch/missed.log"; then
    fail "the module saved over a set it had not seen"
fi
grep -q "missing: CVE-2023-4911, CVE-2024-1086" "$scratch/missed.log" || { cat "$scratch/missed.log"; fail "the refusal does not name what would be lost"; }
[ "$(status redis-memleak-fix)" = "redis-memleak-fix: NOT-APPLIED" ] || fail "the refused task changed a patch"
# A hand save after the missed restore is refused too, naming the way out, which works.
if "$quvane" -w "$scratch/host5" save >"$scratch/hand.log" 2>&1; then
    fail "a hand save dropped what the next boot restores"
fi
grep -q "quvane restore --accepted" "$scratch/hand.log" || { cat "$scratch/hand.log"; fail "the refused save does not say how to go on"; }
"$quvane" -w "$scratch/host5" restore --accepted >/dev/null || fail "the restore the refusal advises failed"
# Hand commands between runs: a deliberate removal and save never wedges the module.
"$quvane" -w "$scratch/host5" remove CVE-2023-4911 >/dev/null && "$quvane" -w "$scratch/host5" save ||
    fail "a hand remove and save failed"
life name=CVE-2024-1086 state=accepted >/dev/null || fail "the module failed after a hand remove and save"
reboot || fail "the boot unit failed after a hand remove and save"
[ "$(status CVE-2023-4911)" = "CVE-2023-4911: NOT-APPLIED" ] || fail "a patch removed by hand came back"
[ "$(status CVE-2024-1086)" = "CVE-2024-1086: ACCEPTED" ] || fail "the accepted patch did not come back"
stop_daemon host5
( sleep 3; start_daemon host5 ) &  # a daemon three seconds late
late=$!
boot_unit || fail "the boot unit gave up on a daemon three seconds late"
wait "$late"
[ "$(status CVE-2024-1086)" = "CVE-2024-1086: ACCEPTED" ] || fail "the late daemon's patches were not restored"
life name=redis-memleak-fix state=accepted >/dev/null || fail "accepting after the restore failed"
# redis-memleak-fix takes the host down: a boot with the restore skipped (the unit's condition),
# the patch dropped by the module, the others back by hand, saved on the rerun, then a reboot.
stop_daemon host5
start_daemon host5
new_boot quvane.restore=0
life name=redis-memleak-fix state=removed >"$scratch/drop.log" || { cat "$scratch/drop.log"; fail "dropping after a skipped restore failed"; }
grep -q '"changed": true' "$scratch/drop.log" || { cat "$scratch/drop.log"; fail "the module took a patch the next boot restores for removed"; }
"$quvane" -w "$scratch/host5" restore --accepted >/dev/null || fail "bringing back the others failed"
[ "$(status redis-memleak-fix)" = "redis-memleak-fix: NOT-APPLIED" ] || fail "the dropped patch was applied"
[ "$(status CVE-2024-1086)" = "CVE-2024-1086: ACCEPTED" ] || fail "the others did not come back"
life name=redis-memleak-fix state=removed >"$scratch/drop.log" || fail "the rerun failed"
grep -q '"saved": true' "$scratch/drop.log" || { cat "$scratch/drop.log"; fail "the rerun did not save"; }
reboot || fail "the boot unit failed after the drop"
[ "$(status redis-memleak-fix)" = "redis-memleak-fix: NOT-APPLIED" ] || fail "the dropped patch came back"
[ "$(status CVE-2024-1086)" = "CVE-2024-1086: ACCEPTED" ] || fail "the kept patch did not come back"
ansible host5 -i "$scratch/inventory" -m quvane.livepatch.quvane_patch_info \
    -a "executable=$quvane work_dir=$scratch/host5 boot=true" >"$scratch/info.log" || fail "reading the boot set failed"
grep -q '"record_state": "recorded"' "$scratch/info.log" && grep -q '"boot": "kept"' "$scratch/info.log" ||
    { cat "$scratch/info.log"; fail "the info module does not report the boot set"; }
echo "a server's life on host5: removals stay removed, a missed restore is not saved over, a late daemon is restored, a patch dropped after a skipped restore stays out"
echo "the collection's playbooks passed on ${#hosts[@]} hosts"
