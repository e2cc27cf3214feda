#!/usr/bin/env bash
# Installs the Debian packages that are missing: `build` for building quvane and the
# development daemon (what the demo needs), `test` (the default) for everything the test
# command runs as well.
set -euo pipefail

build=(cmake make g++ libsimdjson-dev libfmt-dev libexpected-dev util-linux)
test=(
  "${build[@]}"
  clang libclang-rt-14-dev clang-format clang-tidy git dpkg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  man-db groff-base bash bash-completion zsh python3 strace ansible-core lintian systemd
  init-system-helpers jq pylint python3-pycodestyle yamllint python3-voluptuous python3-venv
  prometheus prometheus-node-exporter
)
case ${1:-test} in
  build) packages=("${build[@]}") ;;
  test) packages=("${test[@]}") ;;
  *) echo "usage: $0 [build|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
