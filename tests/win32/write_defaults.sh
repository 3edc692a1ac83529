#!/usr/bin/env bash
# The switches that need no saver window, in the Windows program under Wine:
# /d writes the default settings into the registry, leaves the power group as
# it was and says so in a box; /a returns at once on Windows NT.
# Usage: write_defaults.sh WINE lumenveil.scr   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
scr="$2"
export WINEDEBUG=-all
key='HKLM\Software\Qbn\Lumenveil\1.1'
source "$(dirname "$0")/../window/windowtest.sh"

"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v Mode /t REG_DWORD /d 4 /f >/dev/null 2>&1
"$wine" reg add "$key\\PowerManagement" /v "Low Power Timeout" /t REG_DWORD /d 33 /f >/dev/null 2>&1

"$wine" "$scr" /d &
pid=$!
# Its box: a window of the program's (Wine names the windows' class after it).
box_shown() {
  gone "$pid" && fail "/d ended without waiting for its box"
  [ -n "$(xdotool search --class 'lumenveil.scr' 2>/dev/null)" ]
}
poll 30 box_shown || { echo "FAIL: /d showed no box"; kill "$pid"; exit 1; }
# Only time shows that /d waits for an answer: it is still there a second
# after its box showed.
lives_until "$(clock_us 1)" "$pid" || fail "/d ended without waiting for its box"
# The box answers Return. A key sent before the box has the focus is lost:
# Return is pressed again until /d ends.
answer() {
  for w in $(xdotool search --class 'lumenveil.scr' 2>/dev/null); do xdotool windowfocus "$w" 2>/dev/null; done
  xdotool key Return
  ends_within 3 "$pid"
}
if ! poll 20 answer; then echo "FAIL: the box of /d did not close on Return"; kill "$pid"; exit 1; fi
wait "$pid"
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: /d ended with $code"; exit 1; }

mode=$("$wine" reg query "$key\\Display" /v Mode 2>/dev/null | tr -d '\r' | awk '/Mode/{print $3}')
[ "$mode" = "0x0" ] || { echo "FAIL: /d left Mode at '$mode'"; exit 1; }
factor=$("$wine" reg query "$key\\Lumenveil" /v TimeFactor 2>/dev/null | tr -d '\r' | awk '/TimeFactor/{print $3}')
[ "$factor" = "0x64" ] || { echo "FAIL: /d wrote TimeFactor '$factor'"; exit 1; }
low=$("$wine" reg query "$key\\PowerManagement" /v "Low Power Timeout" 2>/dev/null | tr -d '\r' | awk '/Timeout/{print $NF}')
[ "$low" = "0x21" ] || { echo "FAIL: /d changed the power group ('$low')"; exit 1; }
echo "/d wrote the defaults, kept the power group, and waited for its box"

timeout 30 "$wine" "$scr" /a 1234
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: /a ended with $code"; exit 1; }
echo "/a returned at once"
"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
exit 0
