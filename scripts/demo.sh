#!/usr/bin/env bash
# Installs what is needed, builds quvane, and takes it on a short tour against the
# development daemon on a temporary work directory.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== Checking the Debian packages the build needs"
scripts/install-deps.sh build
echo "== Building quvane and the development daemon in build-demo/ (a few minutes the first time)"
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DQUVANE_TESTS=OFF >/dev/null
cmake --build build-demo -j"$(nproc)" --target quvane quvaned-dev |
  grep --line-buffered -E '^\[ *[0-9]+%\] (Building|Linking)' | sed -u 's/^/   /'

work=$(mktemp -d)
echo "== Starting the development daemon on $work"
# The record of what the next boot restores stays in the tour's own directory, never in the
# host's /var/lib/quvane.
export QUVANE_STATE_DIR="$work/state"
build-demo/tools/quvaned-dev -w "$work" >"$work/daemon.log" 2>&1 &
daemon=$!
cleanup() { kill "$daemon" 2>/dev/null || true; wait "$daemon" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 50); do [ -S "$work/quvaned.sock" ] && break; sleep 0.1; done

# The patch subcommands need the superuser. An ordinary user becomes uid 0 inside a user
# namespace, which is enough for the development daemon.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if unshare -r true 2>/dev/null; then
    as_root=(unshare -r)
  else
    echo "Not root, and this machine allows no user namespace (unshare -r): run the demo as root." >&2
    exit 1
  fi
fi

echo "== The tour: each command as you would type it"
quvane() {
  printf '\n$ quvane -w %s %s\n' "$work" "$*"
  "${as_root[@]}" build-demo/src/quvane -w "$work" "$@" || true
}

quvane list
quvane info CVE-2024-1086
quvane target CVE-2024-1086
quvane apply CVE-2024-1086
quvane status CVE-2024-1086
quvane list
quvane remove CVE-2024-1086
quvane apply CVE-2023-4911
quvane accept CVE-2023-4911
quvane save
quvane boot
