#!/usr/bin/env bash
# Optional extras: cross compilers, Wine, X tools for the Windows build's
# tests and screenshots, the peers the benchmarks compare against, and FUSE 3
# for `bigfile mount` and its tests.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth xdotool x11-apps imagemagick \
  clang libclang-rt-14-dev zlib1g-dev liblz4-dev hyperfine pkgconf \
  fuse3 libfuse3-dev
