#!/usr/bin/env bash
# The Windows extractor end to end under Wine: our bigfile.exe packs a
# folder into BigTest.bf, the registry value names the output folder, and
# extractor.exe (on a virtual X display) must end by itself with the tree
# extracted byte for byte.
#   extractor_e2e.sh BIGFILE.exe EXTRACTOR.exe
# Exits 77 (skipped) when wine64 or xvfb-run is missing.
set -euo pipefail
bigfile=$1 extractor=$2
here=$(cd "$(dirname "$0")" && pwd)
command -v xvfb-run >/dev/null || { echo "SKIPPED: xvfb-run is not installed"; exit 77; }
command -v wine64 >/dev/null || command -v wine >/dev/null || [ -x /usr/lib/wine/wine64 ] || { echo "SKIPPED: Wine is not installed"; exit 77; }
# Every Wine step runs on one virtual display: the prefix's desktop process
# starts with the first program and outlives it, and a desktop started
# without a display leaves later windows with no driver.
if [ -z "${ORVOBF_E2E_DISPLAY:-}" ]; then
  exec xvfb-run -a env ORVOBF_E2E_DISPLAY=1 bash "$0" "$@"
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/orvobf-e2e.XXXXXX")
# A prefix of its own, so no desktop of another test's (without a display)
# is reused.
export ORVOBF_WINEPREFIX=$work/prefix
# Clean-up never decides the result (it runs under set -e in a trap).
cleanup() { "$here/run-wine.sh" --kill "$work/prefix" || true; rm -rf "$work" || true; }
[ -n "${ORVOBF_E2E_KEEP:-}" ] || trap cleanup EXIT
mkdir -p "$work/source/Maps/Level One" "$work/source/empty" "$work/run/Data/Out"
head -c 3000000 /dev/urandom > "$work/source/Maps/noise.bin"
for i in $(seq 1 4000); do echo "line $i of the readme, with words that repeat"; done > "$work/source/ReadMe.TXT"
head -c 1048577 /dev/zero > "$work/source/Maps/Level One/zeros.dat"
: > "$work/source/Maps/Level One/zero-length"
cd "$work/run"
"$here/run-wine.sh" "$bigfile" create --pack-if-smaller 'BigTest.bf' '../source' >/dev/null
"$here/run-wine.sh" reg add 'HKLM\Software\Orvo\AshenThrone' /ve /d "Z:${work//\//\\}\\run\\Data\\Out" /f >/dev/null
ORVOBF_WINE_TIMEOUT=${ORVOBF_WINE_TIMEOUT:-120} "$here/run-wine.sh" "$extractor"
# The root goes into the parent of the output folder.
diff -r "$work/source" "$work/run/Data" --exclude=Out
[ -d "$work/run/Data/empty" ]
echo "extractor.exe extracted the tree byte for byte"
