#!/usr/bin/env bash
# The saver on two monitors of different sizes, under an X server of the
# test's own that keeps them (Xvnc; Xvfb keeps one whatever it is told): by
# default each monitor shows its own scene at its own shape, both animated;
# a key ends the saver on every monitor, and so does a signal to any of its
# processes; a monitor unplugged while it runs loses its copy, and one
# plugged in gets one. With "Monitors" 1 the second monitor shows the same
# picture, fitted in its shape; with 2 it stays black.
#
#   monitors_window.sh LUMENVEIL LVXWIN
set -u
exe="$1"
xwin="$2"
for tool in Xvnc xrandr xdotool pgrep; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/windowtest.sh"
start_scratch
: > "$LUMENVEIL_REGISTRY" # nothing stored

# The first monitor 1600x900 (16:9) at the left, the second 1024x768 (4:3)
# beside it, its top 132 rows below the desktop's.
exec 3> "$work/display"
Xvnc -displayfd 3 -geometry 2624x900 -depth 24 -SecurityTypes None -nolisten tcp -localhost \
  > "$work/xvnc.log" 2>&1 &
xvnc=$!
pids+=("$xvnc")
exec 3>&-
have_display() { [ -s "$work/display" ]; }
wait_until "$patience" have_display
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY XDG_SESSION_TYPE
# The first monitor takes the server's one output, which would otherwise
# stay a monitor of its own across both.
monitors() {
  local output
  output=$(xrandr 2> /dev/null | awk '$2 == "connected" { print $1; exit }')
  why="no output on the X server"
  [ -n "$output" ] && xrandr --setmonitor first 1600/423x900/238+0+0 "$output" > /dev/null &&
    xrandr --setmonitor second 1024/270x768/203+1600+0 none > /dev/null
}
wait_until "$patience" monitors

# Monitor 1 (first) or 2 (second), or a strip of it:
#   look 1|2 [X Y W H]   (inside the monitor)
look() {
  local x0=0 w0=1600 h0=900
  [ "$1" = 2 ] && x0=1600 w0=1024 h0=768
  if [ $# -gt 1 ]; then grab root $((x0 + $2)) "$3" "$4" "$5"; else grab root "$x0" 0 "$w0" "$h0"; fi
}
lit_scene() {
  gone "$saver" && fail "the saver ended by itself"
  look "$1" && holds 'coloured > 1000' "no scene on monitor $1"
}
# Monitor N shows a picture other than the last time this was asked.
declare -A last=()
animated() {
  look "$1" || return 1
  local now="$lit $grey $coloured" before="${last[$1]:-}"
  last[$1]=$now
  why="monitor $1 shows the same picture"
  [ -n "$before" ] && [ "$before" != "$now" ]
}
# The top and the bottom rows of monitor N are drawn: its picture has its
# own shape (a picture of the other shape fitted in leaves them black).
own_shape() {
  look "$1" 0 0 "$2" 40 && holds 'lit > 0' "the top of monitor $1 is black" &&
    look "$1" 0 $(($3 - 40)) "$2" 40 && holds 'lit > 0' "the bottom of monitor $1 is black"
}
start_saver() {
  "$exe" "$@" 2>> "$work/saver.log" &
  saver=$!
  pids+=("$saver")
}
# The saver's copy on the second monitor; sets copy.
has_copy() {
  copy=$(pgrep -P "$saver")
  why="not one copy, for the second monitor: ${copy:-none}"
  [ -n "$copy" ] && [ "$(echo "$copy" | wc -l)" -eq 1 ]
}
ended_together() {
  ends_within 5 "$saver" || fail "$1: the saver did not end"
  ends_within 5 "$copy" || fail "$1: the copy on the second monitor did not end"
  echo "$1: the saver and its copy ended"
}

start_saver /s
for m in 1 2; do
  wait_until "$patience" lit_scene "$m"
  echo "monitor $m: $seen"
  wait_until "$patience" animated "$m"
done
wait_until "$patience" has_copy
wait_until "$patience" own_shape 2 1024 768
wait_until "$patience" own_shape 1 1600 900
echo "each monitor its own scene at its own shape, both animated"

# Unplugged, the second monitor's copy ends and the saver goes on; plugged
# in again, it gets a new one.
xrandr --delmonitor second > /dev/null
ends_within "$patience" "$copy" || fail "the unplugged monitor's copy did not end"
gone "$saver" && fail "unplugging a monitor ended the saver"
xrandr --setmonitor second 1024/270x768/203+1600+0 none > /dev/null
wait_until "$patience" has_copy
wait_until "$patience" lit_scene 2
echo "a monitor unplugged and plugged in again is followed"

# Past the grace time, a key ends the saver everywhere.
lives_until "$(clock_us 2.5)" "$saver" || fail "the saver ended by itself"
xdotool key space
ended_together "a key"
wait "$saver"
[ $? -eq 0 ] || fail "the saver ended on a key with exit code $?"

# A signal to the copy ends the saver too.
start_saver /s
wait_until "$patience" has_copy
wait_until "$patience" lit_scene 2
kill -TERM "$copy"
ended_together "SIGTERM to the copy"

# The same picture: the first monitor's 16:9 frames fitted in the second's
# 4:3, black above and below.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Monitors"=dword:00000001\n' > "$LUMENVEIL_REGISTRY"
start_saver /s
fitted() {
  gone "$saver" && fail "the saver ended by itself"
  look 2 0 0 1024 80 && holds 'lit == 0' "the second monitor's top is not black" &&
    look 2 0 200 1024 368 && holds 'coloured > 1000' "no picture in the second monitor's middle"
}
wait_until "$patience" fitted
wait_until "$patience" animated 2
[ -z "$(pgrep -P "$saver")" ] || fail "the same picture started a copy"
kill -TERM "$saver"
ends_within 5 "$saver" || fail "the same picture: SIGTERM did not end the saver"
echo "the same picture on both, fitted in the second's shape"

printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Monitors"=dword:00000002\n' > "$LUMENVEIL_REGISTRY"
start_saver /s
# Black, and covered by a window of the saver's.
black() {
  lit_scene 1 && look 2 && holds 'lit == 0' "the second monitor is not black" || return 1
  local c
  why="no window of the saver covers the second monitor"
  for c in $(xdotool search --onlyvisible --pid "$saver" --name '' 2> /dev/null); do
    xdotool getwindowgeometry "$c" | grep -q 'Position: 1600,0' &&
      xdotool getwindowgeometry "$c" | grep -q 'Geometry: 1024x768' && return 0
  done
  return 1
}
wait_until "$patience" black
kill -TERM "$saver"
ends_within 5 "$saver" || fail "the primary alone: SIGTERM did not end the saver"
echo "the primary alone: the second monitor black"
echo "PASS"
