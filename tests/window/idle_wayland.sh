#!/usr/bin/env bash
# The idle watcher under a headless sway: the saver starts after the idle
# time without input and shows on the output, not while a shown window holds
# an idle inhibitor, and again after it ended; one watcher a compositor.
# Skipped (77) where sway or grim is missing.
#
#   idle_wayland.sh LUMENVEIL LVINHIBIT
set -u
exe="$1"
inhibit="$2"
source "$(dirname "$0")/windowtest.sh"
source "$(dirname "$0")/waylandtest.sh"
start_scratch
sway_start
unset DISPLAY
idle=2
output=$(sway_outputs | head -n1)
sway_shot "$output" "$work/bare.ppm" || fail "no screenshot of $output"

# The watcher has a child: it started the saver.
saver_started() { [ -n "$(pgrep -P "$watcher")" ]; }

# The saver the watcher started: its child, with a window in sway's tree and a
# picture on the output; sets saver.
saver_shown() {
  saver=$(pgrep -P "$watcher" | head -n1)
  why="no saver started: $(tail -n 3 "$work/watcher.log")"
  [ -n "$saver" ] || return 1
  why="the saver $saver has no window in sway"
  swaymsg -t get_tree | grep -q "\"pid\": $saver," || return 1
  why="the output shows nothing but the background"
  sway_shot "$output" "$work/now.ppm" && ! cmp -s "$work/bare.ppm" "$work/now.ppm"
}

# A shown window holds an idle inhibitor, as a video player does; when it
# closes the saver starts after the idle time, and a second watcher is refused.
idle_held_off_then_started "$inhibit" inhibiting \
  "Wayland (.*): the saver starts after 2 seconds without input" "a window inhibited idling"

# The saver ends (here by a signal: the compositor has no input devices); the
# watcher waits for the idle time again and starts it anew.
kill -TERM "$first"
ends_within "$patience" "$first" || fail "the saver did not end"
wait_until "$patience" saver_shown
[ "$saver" != "$first" ] || fail "the same saver"

kill -TERM "$watcher"
ends_within "$patience" "$watcher" || fail "the watcher did not end on SIGTERM"
ends_within "$patience" "$saver" || fail "the saver outlived its watcher"
echo "PASS"
