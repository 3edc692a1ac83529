#!/usr/bin/env bash
# The Windows saver in its Native display mode, which it takes where no mode
# is stored, under Wine and a virtual X server: the frames are drawn at the
# screen's own size and shown as they are
# (the centering grid lies on the screen's own pixels, see lvscreen.cpp), at
# 1280 x 720 and again after the display changes to 1024 x 768 and to
# 1920 x 1080 while the saver runs; no mode is stored by it. The run is kept
# in a Wine desktop of its own, whose display modes can be changed, and is
# driven from inside it by one program of the test.
# Usage: native_mode.sh WINE lumenveil.scr lvscreen.exe   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
scr="$2"
driver="$3"
export WINEDEBUG=-all
key='HKLM\Software\Qbn\Lumenveil\1.1'
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
# The saver's path as Wine's programs see it.
winscr="Z:$(printf '%s' "$scr" | tr '/' '\\')"

# A Wine server left from an earlier test still holds that test's X display,
# where no desktop of this one can open: it is let go first.
timeout 60 "$wineserver" -w

"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v Divisor /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v "Image centering aid" /t REG_DWORD /d 1 /f >/dev/null 2>&1

out=$(set -o pipefail; timeout 150 "$wine" explorer "/desktop=lumenveil-native,1280x720" "$driver" \
  mode 1280 720 start "\"$winscr\" /s1" grid 40 \
  mode 1024 768 grid 15 \
  mode 1920 1080 grid 15 \
  close 2>&1 | tr -d '\r')
code=$?
echo "$out"
# The desktop may not pass its program's exit code on: the steps' own lines tell.
[ "$(echo "$out" | grep -c "^grid [0-9]*x[0-9]*: at the screen's size;")" -eq 3 ] || code=1
echo "$out" | grep -qx 'close: the saver ended with 0' || code=1
mode=$("$wine" reg query "$key\\Display" /v Mode 2>/dev/null | tr -d '\r' | awk '/Mode/{print $3}')
"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
[ "$code" -eq 0 ] || { echo "FAIL: the native frames are not drawn at the screen's size (see above)"; exit 1; }
[ -z "$mode" ] || { echo "FAIL: the saver stored the mode '$mode'"; exit 1; }
echo "PASS"
exit 0
