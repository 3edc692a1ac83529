#!/usr/bin/env bash
# The Windows saver on two monitors of different sizes, under Wine and a VNC
# X server that keeps the monitors it is given (Xvfb keeps one whatever it is
# told). Wine takes them from the X server's Xinerama list, its RandR being
# turned off in the prefix for the test: the primary 1920 x 1080 and a
# 1024 x 768 monitor to its left, which starts the virtual screen at
# -1024. By default each monitor shows a scene of its own (a copy of the
# program for the second) and both move; a mouse move on the second monitor
# ends both copies. "The same picture" lights both from one copy; "the
# primary alone" leaves the second dark.
# Usage: monitors.sh WINE lumenveil.scr lvscreen.exe   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
scr="$2"
driver="$3"
export WINEDEBUG=-all
source "$(dirname "$0")/../window/windowtest.sh"
for tool in Xvnc xrandr xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: no $tool (tigervnc-standalone-server, x11-xserver-utils, xdotool)"; exit 77; }
done
key='HKLM\Software\Qbn\Lumenveil\1.1'
x11='HKCU\Software\Wine\X11 Driver'
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
winscr="Z:$(printf '%s' "$scr" | tr '/' '\\')"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lumenveil-monitors.XXXXXX")

# A Wine server left from an earlier test holds that test's X display.
timeout 60 "$wineserver" -w
# A display number no server holds, nor left a socket for.
xvnc=""
for n in $(seq 70 169); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvnc ":$n" -geometry 2944x1080 -depth 24 -SecurityTypes None -rfbport -1 -nolisten tcp \
    >"$scratch/xvnc.log" 2>&1 &
  xvnc=$!
  echo "$n" >"$scratch/display"
  break
done
[ -n "$xvnc" ] || fail "no free X display number"
finish() {
  "$wine" reg delete "$x11" /v UseXRandR /f >/dev/null 2>&1
  "$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
  timeout 60 "$wineserver" -k
  kill "$xvnc" 2>/dev/null
  wait "$xvnc" 2>/dev/null
  rm -rf "$scratch"
}
trap finish EXIT
display_ready() { [ -S "/tmp/.X11-unix/X$(cat "$scratch/display")" ] || gone "$xvnc"; }
poll 20 display_ready && ! gone "$xvnc" || fail "the VNC X server did not start: $(cat "$scratch/xvnc.log")"
export DISPLAY=":$(cat "$scratch/display")"
xrandr --setmonitor +A 1920/508x1080/286+1024+0 VNC-0 >/dev/null || fail "xrandr --setmonitor"
xrandr --setmonitor B 1024/271x768/203+0+0 none >/dev/null || fail "xrandr --setmonitor"
xrandr --listmonitors
"$wine" reg add "$x11" /v UseXRandR /t REG_SZ /d N /f >/dev/null 2>&1
"$wine" reg delete 'HKLM\Software\Qbn' /f >/dev/null 2>&1
"$wine" reg add "$key\\Display" /v Divisor /t REG_DWORD /d 0 /f >/dev/null 2>&1
# The prefix's desktop lists the monitors when its server starts: again, now
# with the setting read.
timeout 60 "$wineserver" -w
xdotool mousemove 1500 500

# Runs the saver with the "Monitors" setting given (none: not stored) and
# checks what the monitors show and how many copies run; sets pid.
run_saver() {
  local setting="$1" looks="$2" copies="$3"
  if [ -n "$setting" ]; then
    "$wine" reg add "$key\\Display" /v Monitors /t REG_DWORD /d "$setting" /f >/dev/null 2>&1
  fi
  "$wine" "$scr" /s &
  pid=$!
  # Into a file, not a pipe: the Wine desktop this may start keeps the
  # output it was given open, and a pipe would never end.
  timeout 120 "$wine" "$driver" monitors "$looks" 60 processes lumenveil.scr "$copies" 20 >"$scratch/out" 2>&1
  code=$?
  tr -d '\r' <"$scratch/out"
  [ "$code" -eq 0 ] || { kill "$pid" 2>/dev/null; fail "Monitors ${setting:-unset}: not as wanted (see above)"; }
}

# A second copy started while the saver runs returns at once and leaves it
# running (what it brings to the front is the saver's own window).
second_copy() {
  timeout 60 "$wine" "$scr" /s >/dev/null 2>&1 || fail "a second copy ended with $?"
  lives_until "$(clock_us 1)" "$pid" || fail "the second copy ended the saver"
  echo "a second copy returned at once"
}

# Moves the mouse to and fro over X Y (a saver takes the first move it sees
# as its start) until the saver has ended.
moved_to_end() {
  local x=$1 y=$2
  xdotool mousemove $((x + (RANDOM % 2) * 40)) $((y + (RANDOM % 2) * 40))
  gone "$pid"
}

ended() {
  ends_within 30 "$pid" || { kill "$pid"; fail "$1"; }
  wait "$pid"
  local code=$?
  [ "$code" -eq 0 ] || fail "the saver ended with $code"
  timeout 60 "$wine" "$driver" processes lumenveil.scr 0 20 >"$scratch/out" 2>&1
  local ended=$?
  tr -d '\r' <"$scratch/out"
  [ "$ended" -eq 0 ] || fail "a copy outlived the saver"
}

run_saver "" LL 2
echo "each monitor its own scene: both lit and moving, one copy for the second"
second_copy
poll 30 moved_to_end 300 300
ended "a mouse move on the second monitor did not end the saver"
echo "a mouse move on the second monitor ended both"

run_saver 1 LL 1
echo "the same picture: both lit from one copy"
second_copy
poll 30 moved_to_end 300 300
ended "a mouse move did not end the saver"

run_saver 2 LD 1
echo "the primary alone: the second dark"
poll 30 moved_to_end 1500 500
ended "a mouse move did not end the saver"
echo "PASS"
exit 0
