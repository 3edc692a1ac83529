#!/usr/bin/env bash
# The Windows control panel under Wine and a virtual X server, between
# copies of the program: a second /c only raises the first; a saver started
# while the panel is open closes it (which saves the settings) and runs.
# Usage: control_panel.sh WINE lumenveil.scr   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
scr="$2"
export WINEDEBUG=-all
key='HKLM\Software\Qbn\Lumenveil\1.1'
source "$(dirname "$0")/../window/windowtest.sh"

# The shown window whose caption matches $1 (the application's own stays
# hidden at 1x1); sets win.
shown_window() {
  win=$(xdotool search --name "^$1\$" 2>/dev/null | while read -r c; do
    xdotool getwindowgeometry "$c" 2>/dev/null | grep -q 'Geometry: 1x1' || echo "$c"
  done | tail -n1)
  [ -n "$win" ]
}

"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v Mode /t REG_DWORD /d 2 /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v Divisor /t REG_DWORD /d 0 /f >/dev/null 2>&1

"$wine" "$scr" /c &
panel=$!
poll 30 shown_window 'Lumenveil & Astrel-1 Control Panel.*' || { echo "FAIL: no control panel"; kill "$panel"; exit 1; }
echo "control panel $win open"

timeout 60 "$wine" "$scr" /c:1234 >/dev/null 2>&1
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: a second /c ended with $code"; kill "$panel"; exit 1; }
kill -0 "$panel" 2>/dev/null || { echo "FAIL: a second /c ended the first"; exit 1; }
echo "a second /c returned at once"

"$wine" "$scr" /s2 &
saver=$!
if ! ends_within 30 "$panel"; then
  echo "FAIL: the saver did not close the control panel"
  kill "$panel" "$saver"
  exit 1
fi
wait "$panel"
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: the closed control panel ended with $code"; kill "$saver"; exit 1; }
factor=$("$wine" reg query "$key\\Lumenveil" /v TimeFactor 2>/dev/null | tr -d '\r' | awk '/TimeFactor/{print $3}')
[ "$factor" = "0x64" ] || { echo "FAIL: the closed control panel did not save ('$factor')"; kill "$saver"; exit 1; }
echo "the saver closed the control panel, which saved"

poll 30 shown_window 'Lumenveil & Astrel-1' || { echo "FAIL: no saver window"; kill "$saver"; exit 1; }
# A key ends the saver once its grace time is over: two seconds from its first
# frame, which comes a moment after its window shows. Nothing here reads the
# screen: the window stands for the first frame, with a second to spare.
lives_until "$(clock_us 3)" "$saver" || fail "the saver ended by itself"
xdotool windowfocus "$win" 2>/dev/null
xdotool key space
ends_within 20 "$saver" || { echo "FAIL: the saver did not end on a key"; kill "$saver"; exit 1; }
wait "$saver"
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: the saver ended with $code"; exit 1; }
echo "the saver ran and ended on a key"
"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
exit 0
