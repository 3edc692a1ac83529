#!/usr/bin/env bash
# The Windows saver in a real window under Wine and a virtual X server: full
# screen, a key during its first two seconds is ignored and one after ends
# it, and a second copy started while it runs returns at once and leaves it
# running.
# Usage: saver_window.sh WINE lumenveil.scr   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
scr="$2"
export WINEDEBUG=-all
source "$(dirname "$0")/../window/windowtest.sh"

# The saver's settings: the smallest mode and no waiting for the retrace.
"$wine" reg add 'HKLM\Software\Qbn\Lumenveil\1.1\Display' /v Mode /t REG_DWORD /d 2 /f >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Qbn\Lumenveil\1.1\Display' /v Divisor /t REG_DWORD /d 0 /f >/dev/null 2>&1

"$wine" "$scr" /s1 &
pid=$!
# The saver's window; sets win.
full_screen() {
  gone "$pid" && fail "the saver ended before it showed its window"
  why="no full-screen saver window"
  win=""
  for w in $(xdotool search --name '^Lumenveil & Astrel-1$' 2>/dev/null); do
    # The visible one: the application's own window stays hidden.
    if xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 1024x768'; then win=$w; fi
  done
  [ -n "$win" ]
}
poll 30 full_screen || { echo "FAIL: $why"; kill "$pid"; exit 1; }
shown=$(clock_us)
echo "saver window $win covers the screen"

xdotool windowfocus "$win" 2>/dev/null
xdotool key space
# The grace time runs from the first frame, a moment after the window shows:
# nothing here reads the screen, so the window stands for it, with half a
# second for that moment. Past the grace time a loss of activation would end
# the saver: the second copy comes then. Until then the saver runs on;
# nothing shows that it has read the key.
lives_until "$(clock_us 2.5 "$shown")" "$pid" || fail "a key in the first two seconds ended the saver"
echo "key in the grace time ignored"

timeout 60 "$wine" "$scr" /s >/dev/null 2>&1
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: a second copy ended with $code"; kill "$pid"; exit 1; }
# A raise that cost the first copy its activation would end it within moments.
lives_until "$(clock_us 0.5)" "$pid" || fail "the second copy ended the first"
echo "a second copy returned at once"

xdotool windowfocus "$win" 2>/dev/null
xdotool key space
if ! ends_within 20 "$pid"; then
  echo "FAIL: a key after the grace time did not end the saver"
  kill "$pid"
  exit 1
fi
wait "$pid"
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; exit 1; }
echo "key after the grace time ended the saver (exit 0)"
"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
exit 0
