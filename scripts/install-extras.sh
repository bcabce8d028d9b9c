#!/usr/bin/env bash
# Optional extras: cross compilers, Wine, X tools for the Windows build's
# tests and screenshots, and the peers the benchmarks compare against;
# the tool's JSON library (a build dependency, also named in the README),
# Debian's python3 for the JSON test, help2man for the manual page, and
# man-db for CI's check of the installed package; FUSE 3 for `bigfile
# mount` and its tests.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth xdotool x11-apps imagemagick \
  clang libclang-rt-14-dev zlib1g-dev liblz4-dev hyperfine \
  nlohmann-json3-dev python3 help2man man-db dpkg-dev pkgconf fuse3 libfuse3-dev
