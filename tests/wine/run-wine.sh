#!/usr/bin/env bash
# Runs a Windows program under wine64 with a private, throw-away prefix,
# so tests never touch or depend on the user's Wine setup.
#   run-wine.sh PROGRAM.exe [ARGS...]
# Exits 77 (skipped) when wine64 is not installed.
set -u
WINE=$(command -v wine64 || command -v /usr/lib/wine/wine64 || command -v wine || true)
[ -n "$WINE" ] || { echo "SKIPPED: wine64 is not installed (scripts/install-extras.sh)"; exit 77; }
prefix=${ORVOBF_WINEPREFIX:-}
if [ -z "$prefix" ]; then
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/orvobf-wine.XXXXXX")
  trap 'wineserver -k >/dev/null 2>&1; rm -rf "$prefix"' EXIT
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout "${ORVOBF_WINE_TIMEOUT:-300}" "$WINE" "$@"
