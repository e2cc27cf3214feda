#!/usr/bin/env bash
# Runs the collection's playbook against a development daemon on a scratch work directory.
# Usage: run.sh QUVANE QUVANED_DEV. Exits 77 (skipped) where ansible-playbook is missing or the
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
trap 'kill "$daemon_pid" 2>/dev/null; wait "$daemon_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
"$daemon" -w "$scratch/run" >"$scratch/daemon.log" 2>&1 &
daemon_pid=$!
for _ in $(seq 100); do
    [ -S "$scratch/run/quvaned.sock" ] && break
    sleep 0.05
done

export ANSIBLE_COLLECTIONS_PATH="$here/.." ANSIBLE_LOCAL_TEMP="$scratch/tmp" \
    ANSIBLE_REMOTE_TEMP="$scratch/tmp" ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 \
    ANSIBLE_HOME="$scratch/ansible"
ansible-playbook -i localhost, -c local -e ansible_python_interpreter=/usr/bin/python3 \
    -e "quvane=$quvane" -e "work_dir=$scratch/run" "$here/playbook.yml"
