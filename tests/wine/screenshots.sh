#!/usr/bin/env bash
# Screenshots of extractor.exe under Wine on a virtual display: the main
# window during an extraction, then the About box opened with a real click
# on the About button, closed with a real key press.
#   screenshots.sh BIGFILE.exe EXTRACTOR.exe OUT_DIR
set -euo pipefail
bigfile=$(realpath "$1") extractor=$(realpath "$2") out=$(mkdir -p "$3" && cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb xdotool import; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/orvobf-shots.XXXXXX")
export ORVOBF_WINEPREFIX=$work/prefix
display=:$((90 + RANDOM % 100))
Xvfb $display -screen 0 640x400x24 >/dev/null 2>&1 &
xvfb=$!
cleanup() { "$here/run-wine.sh" --kill "$work/prefix" || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
export DISPLAY=$display
# shot WINDOW FILE: the window's rectangle of the screen, into OUT_DIR/FILE.
shot() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$out/$2"
}
sleep 1
mkdir -p "$work/source/Maps" "$work/run/Data/Out"
# Enough data that the window stays up for a while.
for i in $(seq 1 120); do head -c 8000000 /dev/urandom > "$work/source/Maps/level$i.map"; done
cd "$work/run"
"$here/run-wine.sh" "$bigfile" create 'BigTest.bf' '../source' >/dev/null
"$here/run-wine.sh" reg add 'HKLM\Software\Orvo\AshenThrone' /ve /d "Z:${work//\//\\}\\run\\Data\\Out" /f >/dev/null
"$here/run-wine.sh" "$extractor" &
app=$!
main=$(xdotool search --sync --name '^Orvo BigFile Extractor$' | head -1)
sleep 0.5
shot "$main" extractor-main.png
# The About button sits at dialog units (99..149, 43..57) of the 250x63
# client: the middle of its width, 50/63 of its height. Click it (again if
# the first click came before the window took input) until the box opens.
eval "$(xdotool getwindowgeometry --shell "$main")"
about=
for attempt in 1 2 3; do
  xdotool mousemove --window "$main" $((WIDTH / 2)) $((HEIGHT * 50 / 63)) click 1
  for wait in $(seq 1 20); do
    about=$(xdotool search --name '^About Orvo BigFile Sample$' 2>/dev/null | head -1 || true)
    [ -n "$about" ] && break 2
    sleep 0.25
  done
done
[ -n "$about" ] || { echo "the About box did not open"; exit 1; }
sleep 0.5
shot "$about" extractor-about.png
xdotool windowfocus --sync "$about" key Return
wait $app
echo "screenshots in $out"
