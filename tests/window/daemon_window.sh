#!/usr/bin/env bash
# The saver inside a screen-saver daemon's small window (-window-id, and -root
# with XSCREENSAVER_WINDOW): the picture fills the window keeping its shape,
# the window keeps its size, and the picture follows the window's resizes.
set -u
exe="$1"
xwin="$2"
work=$(mktemp -d)
source "$(dirname "$0")/windowtest.sh"
# The second scene at 640 x 480 (4:3).
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:00000001\n' > "$LUMENVEIL_REGISTRY"

check_fills() {
  local how="$1" w h lit bg
  sleep 3
  read -r w h lit _ _ bg < <("$xwin" grab "$parent")
  echo "$how: 200x150 window: ${w}x${h}, lit $lit, background showing $bg"
  [ "$w" = 200 ] && [ "$h" = 150 ] || fail "$how: the daemon's window became ${w}x${h}"
  [ "$bg" -eq 0 ] || fail "$how: the saver does not cover the window"
  [ "$lit" -gt 500 ] || fail "$how: nothing drawn"
  # Twice as wide: the 4:3 picture is 200 wide in the middle, black at the sides.
  xdotool windowsize "$parent" 400 150
  sleep 1.5
  read -r _ _ lit _ _ bg < <("$xwin" grab "$parent" 0 0 90 150)
  echo "$how: resized to 400x150: left side lit $lit, background $bg"
  [ "$lit" -eq 0 ] && [ "$bg" -eq 0 ] || fail "$how: the picture lost its shape or left the window"
  read -r _ _ lit _ _ bg < <("$xwin" grab "$parent" 110 0 180 150)
  echo "$how: middle lit $lit, background $bg"
  [ "$lit" -gt 500 ] && [ "$bg" -eq 0 ] || fail "$how: the picture did not follow the resize"
  read -r _ _ lit _ _ bg < <("$xwin" grab "$parent" 310 0 90 150)
  [ "$lit" -eq 0 ] && [ "$bg" -eq 0 ] || fail "$how: the right side is not black"
}

# Waits up to two seconds for process $1 to end.
ends_soon() {
  for _ in $(seq 1 20); do
    kill -0 "$1" 2>/dev/null || { wait "$1"; echo "$2: ended"; return; }
    sleep 0.1
  done
  fail "$2: still running two seconds later"
}

make_parent 200 150
"$exe" --scene 2 -window-id "$parent" 2>/dev/null &
saver=$!
pids+=("$saver")
check_fills "-window-id"
first_pid=$parent_pid

# The daemon runs one copy per screen: a second copy in another window runs
# beside the first instead of taking it for itself and ending.
first_parent=$parent
make_parent 120 90
"$exe" -window-id "$parent" 2>/dev/null &
second=$!
pids+=("$second")
sleep 3
kill -0 "$second" 2>/dev/null || fail "a second copy under the daemon ended at once"
read -r _ _ lit _ _ bg < <("$xwin" grab "$parent")
echo "a second copy in its own window: lit $lit, background $bg"
[ "$bg" -eq 0 ] && [ "$lit" -gt 200 ] || fail "the second copy drew nothing"
# A daemon that dies without ending its hacks takes its window with it: the
# copy in it ends soon after.
kill "$parent_pid"
ends_soon "$second" "-window-id whose window went away"
parent=$first_parent
kill -0 "$saver" 2>/dev/null || fail "the first copy ended beside the second"
kill -TERM "$saver"
wait "$saver"
kill "$first_pid"

make_parent 200 150
XSCREENSAVER_WINDOW="$parent" "$exe" -root --scene 2 2>/dev/null &
saver=$!
pids+=("$saver")
check_fills "-root"
kill "$parent_pid"
ends_soon "$saver" "-root whose XSCREENSAVER_WINDOW went away"
echo "PASS"
