#!/usr/bin/env bash
# ansible-test sanity on a copy of the collection, with Debian's packages only (see
# sanity_offline.py): the copy keeps ansible-test's output out of the source tree. Exits 77
# (skipped) where ansible-test or the tools of its tests are not installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Debian's own Python and tools, whatever else the PATH holds.
export PATH=/usr/bin:/bin
if ! command -v ansible-test >/dev/null; then
    echo "ansible-test is not installed (Debian: ansible-core): skipped"
    exit 77
fi
for module in pylint pycodestyle yamllint voluptuous; do
    if ! python3 -c "import $module" 2>/dev/null; then
        echo "Python module $module is not installed (scripts/install-deps.sh installs it): skipped"
        exit 77
    fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
copy="$scratch/ansible_collections/quvane/livepatch"
mkdir -p "$(dirname "$copy")"
cp -r "$here/../ansible_collections/quvane/livepatch" "$copy"
cd "$copy"
# ansible-test lists the collection's files with git when it can.
git init -q . && git add -A
HOME="$scratch/home" python3 "$here/sanity_offline.py" --python "$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
