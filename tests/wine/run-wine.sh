#!/usr/bin/env bash
# Runs a Windows program under Wine with a private, throw-away prefix,
# so tests never touch or depend on the user's Wine setup.
#   run-wine.sh PROGRAM.exe [ARGS...]
#   run-wine.sh --kill PREFIX    ends the Wine server of PREFIX (never fails)
# Exits 77 (skipped) when Wine is not installed.
set -u
# The `wine` package puts wine and wineserver on PATH; wine64 alone keeps
# them under /usr/lib/wine.
find_tool() { command -v "$1" 2>/dev/null || { [ -x "/usr/lib/wine/$2" ] && echo "/usr/lib/wine/$2"; }; }
WINE=$(find_tool wine64 wine64 || find_tool wine wine || true)
WINESERVER=$(find_tool wineserver wineserver64 || find_tool wineserver wineserver || true)
# Clean-up only: a missing or failing wineserver never decides a result.
kill_server() { [ -n "$WINESERVER" ] && WINEPREFIX=$1 "$WINESERVER" -k >/dev/null 2>&1; return 0; }
if [ "${1:-}" = --kill ]; then kill_server "${2:?prefix}"; exit 0; fi
[ -n "$WINE" ] || { echo "SKIPPED: Wine is not installed (scripts/install-extras.sh)"; exit 77; }
prefix=${ORVOBF_WINEPREFIX:-}
if [ -z "$prefix" ]; then
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/orvobf-wine.XXXXXX")
  trap 'kill_server "$prefix"; rm -rf "$prefix" || true' EXIT
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout "${ORVOBF_WINE_TIMEOUT:-300}" "$WINE" "$@"
