#!/usr/bin/env bash
# CI: the Debian package of a built tree (default build/default). Makes it
# with cpack, installs it with dpkg -i, checks the installed tool, its
# manual page and completion, and the install test's consumers built with
# find_package(OrvoBF) and pkg-config against the installed files; then
# removes it again. The removal is clean-up: it never decides the result.
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

/usr/bin/bigfile --version
[ "$(man -w bigfile)" = /usr/share/man/man1/bigfile.1.gz ]
[ -f /usr/share/bash-completion/completions/bigfile ]
dpkg -L orvobf | grep -qx /usr/include/orvobf/ORVOBF.H

# The consumers of the install test (find_package and pkg-config), built
# against the installed package.
cmake -DPREFIX=/usr -DCONSUMER_DIR="$src/tests/install/consumer" -DWORK_DIR="$work/consumer" \
  "-DGENERATOR=Unix Makefiles" -DCXX="$(command -v c++)" -DCC="$(command -v cc)" \
  -DPKG_CONFIG="$(command -v pkg-config)" \
  -P "$src/tests/install/consumer_test.cmake"
echo "package checks passed"
