#!/usr/bin/env bash
# The saver inside a screen-saver daemon's small window (-window-id, and -root
# with XSCREENSAVER_WINDOW): the picture fills the window keeping its shape,
# the window keeps its size, and the picture follows the window's resizes.
set -u
exe="$1"
xwin="$2"
source "$(dirname "$0")/windowtest.sh"
start_scratch
# The second scene at 640 x 480 (4:3).
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:00000001\n' > "$LUMENVEIL_REGISTRY"

# The 4:3 picture fills the 200x150 window, which keeps its size.
fills() {
  grab "$parent" &&
    holds 'w == 200 && h == 150' "$how: the daemon's window became ${w}x${h}" &&
    holds 'bg == 0' "$how: the saver does not cover the window" &&
    holds 'lit > 500' "$how: nothing drawn"
}

# Twice as wide: the 4:3 picture is 200 wide in the middle, black at the sides.
follows() {
  grab "$parent" 0 0 90 150 &&
    left="lit $lit, background $bg" &&
    holds 'lit == 0 && bg == 0' "$how: the picture lost its shape or left the window" &&
    grab "$parent" 110 0 180 150 &&
    middle="lit $lit, background $bg" &&
    holds 'lit > 500 && bg == 0' "$how: the picture did not follow the resize" &&
    grab "$parent" 310 0 90 150 &&
    holds 'lit == 0 && bg == 0' "$how: the right side is not black"
}

check_fills() {
  how="$1"
  wait_until "$patience" fills
  echo "$how: 200x150 window: ${w}x${h}, lit $lit, background showing $bg"
  xdotool windowsize "$parent" 400 150
  wait_until "$patience" follows
  echo "$how: resized to 400x150: left side $left"
  echo "$how: middle $middle"
}

# Process $1 ends within two seconds of its window going away ($2: how it ran).
ends_soon() {
  ends_within 2 "$1" || fail "$2: still running two seconds later"
  wait "$1"
  echo "$2: ended"
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
second_draws() {
  gone "$second" && fail "a second copy under the daemon ended at once"
  grab "$parent" && holds 'bg == 0 && lit > 200' "the second copy drew nothing"
}
wait_until "$patience" second_draws
echo "a second copy in its own window: lit $lit, background $bg"
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
