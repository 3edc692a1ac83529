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

# Waits up to $2 tenths of a second for process $1 to end; fails if it does not.
ends_within() {
  for _ in $(seq 1 "$2"); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$1" 2>/dev/null
}

# The saver's settings: the smallest mode and no waiting for the retrace.
"$wine" reg add 'HKLM\Software\Qbn\Lumenveil\1.1\Display' /v Mode /t REG_DWORD /d 2 /f >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Qbn\Lumenveil\1.1\Display' /v Divisor /t REG_DWORD /d 0 /f >/dev/null 2>&1

"$wine" "$scr" /s1 &
pid=$!
win=""
for _ in $(seq 1 300); do
  for w in $(xdotool search --name '^Lumenveil & Astrel-1$' 2>/dev/null); do
    # The visible one: the application's own window stays hidden.
    if xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 1024x768'; then win=$w; fi
  done
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "FAIL: no full-screen saver window"; kill "$pid"; exit 1; }
echo "saver window $win covers the screen"

xdotool windowfocus "$win" 2>/dev/null
xdotool key space
sleep 0.5
kill -0 "$pid" 2>/dev/null || { echo "FAIL: a key in the first two seconds ended the saver"; exit 1; }
echo "key in the grace time ignored"

# Past the grace time, where a loss of activation would end the saver.
sleep 2
timeout 60 "$wine" "$scr" /s >/dev/null 2>&1
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: a second copy ended with $code"; kill "$pid"; exit 1; }
sleep 0.5
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the second copy ended the first"; exit 1; }
echo "a second copy returned at once"

xdotool windowfocus "$win" 2>/dev/null
xdotool key space
if ! ends_within "$pid" 200; then
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
