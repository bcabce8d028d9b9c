#!/usr/bin/env bash
# CI: the Debian package of a built tree (default build/default). Makes it
# with cpack, installs it with dpkg -i, checks the installed tool, its
# manual page and completion, and a consumer built with find_package(OrvoBF)
# against the installed files; then removes it again. The removal is
# clean-up: it never decides the result.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$src/build/default}" && pwd)
work=$(mktemp -d /tmp/orvobf-package.XXXXXX)
cleanup() {
  dpkg -r orvobf >/dev/null 2>&1 || echo "note: dpkg -r orvobf did not succeed"
  rm -rf "$work"
}
trap cleanup EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out"
deb=$(echo "$work"/out/orvobf_*.deb)
dpkg-deb --field "$deb" Package Version Architecture Depends Suggests
dpkg -i "$deb"

[ "$(command -v bigfile)" = /usr/bin/bigfile ]
bigfile --version
man -w bigfile
[ -f /usr/share/bash-completion/completions/bigfile ]
dpkg -L orvobf | grep -q '/usr/include/orvobf/ORVOBF.H$'
pkg-config --exists orvobf

cmake -S "$src/tests/install/consumer" -B "$work/consumer" >/dev/null
grep -qx 'OrvoBF_DIR:PATH=/usr/lib/cmake/OrvoBF' "$work/consumer/CMakeCache.txt"
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" write "$work/consumer.bf"
read_back=$("$work/consumer/consumer" read "$work/consumer.bf")
if [ "$read_back" != "2 files, 1 directories, hello" ]; then
  echo "the consumer read back: '$read_back'"
  exit 1
fi
echo "package checks passed"
