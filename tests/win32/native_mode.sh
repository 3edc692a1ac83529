#!/usr/bin/env bash
# The Windows saver in its Native display mode, under Wine and a virtual X
# server: the frames are drawn at the screen's own size and shown as they are,
# so the centering grid lies on the screen's first and last columns and rows
# and on its quarters, one pixel wide (a frame of another size, scaled or
# placed on black, moves, widens, blurs or loses lines). When the display
# changes size while it runs, the saver covers the new screen and draws at
# its size. The run is kept in a Wine desktop of its own, whose display modes
# can be changed.
# Usage: native_mode.sh WINE lumenveil.scr lvscreen.exe   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
scr="$2"
screen="$3"
export WINEDEBUG=-all
key='HKLM\Software\Qbn\Lumenveil\1.1'
desktop="lumenveil-native"
in_desktop() { "$wine" explorer "/desktop=$desktop,1280x720" "$@"; }

ends_within() {
  for _ in $(seq 1 "$2"); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$1" 2>/dev/null
}
fail() {
  echo "FAIL: $*"
  if [ -n "${pid:-}" ]; then
    in_desktop "$screen" close >/dev/null 2>&1
    ends_within "$pid" 100 || kill "$pid" 2>/dev/null
  fi
  "$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
  exit 1
}

# Whether the lines listed on stdin ("columns ..." or "rows ...") are the
# grid of a screen side of $1 pixels: five, at 0, the quarters and $1 - 1,
# each one pixel wide (a line lies within a pixel of its place).
grid_lines() {
  awk -v side="$1" '{
    if (NF != 6) exit 1
    for (i = 0; i <= 4; i++) {
      want = (side - 1) * i / 4
      d = $(i + 2) - want
      if (d < -1 || d > 1) exit 1
    }
    if ($2 != 0 || $6 != side - 1) exit 1
  }'
}

# Waits up to $3 seconds for the screen to be $1 x $2 with the saver window
# covering it and the grid of frames of that size on it.
shows_grid() {
  local w="$1" h="$2" look="" until=$((SECONDS + $3))
  while [ "$SECONDS" -lt "$until" ]; do
    look=$(in_desktop "$screen" grid 2>/dev/null | tr -d '\r')
    if echo "$look" | grep -qx "screen $w $h" && echo "$look" | grep -qx "window 0 0 $w $h" &&
      echo "$look" | grep '^columns' | grid_lines "$w" && echo "$look" | grep '^rows' | grid_lines "$h"; then
      echo "${w}x${h}: $(echo "$look" | grep -E '^(columns|rows)' | tr '\n' ' ')"
      return 0
    fi
    sleep 1
  done
  echo "$look" | cut -c1-300
  return 1
}

"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v Mode /t REG_DWORD /d 6 /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v Divisor /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v "Image centering aid" /t REG_DWORD /d 1 /f >/dev/null 2>&1

# The desktop starts at 1280 x 720 (a wide screen, not 4:3) whatever an
# earlier run left it at.
in_desktop "$screen" mode 1280 720 >/dev/null 2>&1 || fail "the Wine desktop did not take 1280x720"

in_desktop "$scr" /s1 &
pid=$!
shows_grid 1280 720 40 || fail "the native frames do not fill the 1280x720 screen at its size"

for size in "1024 768" "1920 1080"; do
  set -- $size
  in_desktop "$screen" mode "$1" "$2" >/dev/null 2>&1 || fail "the Wine desktop did not take $1x$2"
  shows_grid "$1" "$2" 15 || fail "after the display changed to $1x$2 the frames are not of its size"
done
kill -0 "$pid" 2>/dev/null || fail "the saver ended when the display changed"

mode=$("$wine" reg query "$key\\Display" /v Mode 2>/dev/null | tr -d '\r' | awk '/Mode/{print $3}')
[ "$mode" = "0x6" ] || fail "the stored mode became '$mode'"

# A key ends it, as always.
for w in $(xdotool search --name "^$desktop" 2>/dev/null); do xdotool windowfocus "$w" 2>/dev/null; done
xdotool key space
ends_within "$pid" 200 || fail "a key did not end the saver"
wait "$pid"
pid=""
echo "the saver ended on a key"
"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
exit 0
