#!/usr/bin/env bash
# The idle watcher under a virtual X server: the saver starts after the idle
# time without input, not while a player resets the server's screen saver,
# and again after input ended it; one watcher a display; XScreenSaver running,
# or a server without the screen-saver extension, is told.
#
#   idle_x11.sh LUMENVEIL LVXRESET
set -u
exe="$1"
xreset="$2"
source "$(dirname "$0")/windowtest.sh"
start_scratch
export XDG_RUNTIME_DIR="$work"
idle=2

# The watcher has a child: it started the saver.
saver_started() { [ -n "$(pgrep -P "$watcher")" ]; }

# The saver the watcher started: its child, whose window covers the screen; sets saver.
saver_shown() {
  saver=$(pgrep -P "$watcher" | head -n1)
  why="no saver started: $(tail -n 3 "$work/watcher.log")"
  [ -n "$saver" ] || return 1
  why="the saver $saver shows no window"
  xdotool search --onlyvisible --pid "$saver" > /dev/null 2>&1
}

# A player holds the saver off while it runs; when it stops the saver starts
# after the idle time, and a second watcher for the display is refused.
idle_held_off_then_started "$xreset" resetting "after 2 seconds without input" \
  "a player reset the screen saver"

# Input ends the saver (past its first two seconds); the watcher waits for
# the idle time again and starts it anew.
input_ends_saver() {
  xdotool mousemove 100 100 && xdotool mousemove 400 400
  why="the saver did not end on input"
  gone "$first"
}
wait_until "$patience" input_ends_saver
saver_started && fail "the watcher started the saver again at once"
wait_until "$patience" saver_shown
[ "$saver" != "$first" ] || fail "the same saver"

# Ending the watcher ends the saver it started.
kill -TERM "$watcher"
ends_within "$patience" "$watcher" || fail "the watcher did not end on SIGTERM"
ends_within "$patience" "$saver" || fail "the saver outlived its watcher"
wait "$watcher"
code=$?
[ "$code" = 0 ] || fail "the watcher ended with $code after SIGTERM"

# Beside the XScreenSaver daemon, which starts the savers itself.
"$xreset" daemon > "$work/daemon.out" &
pids+=("$!")
wait_until "$patience" grep -q daemon "$work/daemon.out"
"$exe" --idle 2> "$work/daemon.log" && fail "the watcher ran beside XScreenSaver"
grep -q "XScreenSaver runs on this display" "$work/daemon.log" ||
  fail "beside XScreenSaver the watcher said: $(cat "$work/daemon.log")"

# An X server without the screen-saver extension, and no display at all.
Xvfb -displayfd 3 -extension MIT-SCREEN-SAVER -screen 0 640x480x24 3> "$work/bare.display" 2> /dev/null &
pids+=("$!")
wait_until "$patience" test -s "$work/bare.display"
DISPLAY=":$(cat "$work/bare.display")" "$exe" --idle 2> "$work/bare.log" && fail "the watcher ran without the extension"
grep -q "no screen-saver extension (MIT-SCREEN-SAVER)" "$work/bare.log" ||
  fail "without the extension the watcher said: $(cat "$work/bare.log")"
env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --idle 2> "$work/none.log" && fail "the watcher ran without a session"
grep -q "no session to watch" "$work/none.log" || fail "without a session the watcher said: $(cat "$work/none.log")"
echo "PASS"
