#!/usr/bin/env bash
# The saver on a Wayland desktop, a headless sway of the test's own: full
# screen on its output, and on each of two outputs of different sizes (a
# window on every one, never one window across them), animated, ended by
# SIGTERM with whatever it started; the preview's own window; and, with the
# Wayland session present, a screen-saver daemon's X window drawn into
# through the X server (run under xvfb-run, which gives the X server).
#
#   wayland_window.sh LUMENVEIL LVXWIN
set -u
exe="$1"
xwin="$2"
source "$(dirname "$0")/windowtest.sh"
source "$(dirname "$0")/waylandtest.sh"
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so > /dev/null 2>&1 ||
  { echo "SKIP: the toolkit's Wayland plug-in (qt6-wayland) is not installed"; exit 77; }
start_scratch
: > "$LUMENVEIL_REGISTRY" # nothing stored
sway_start
# A Wayland session, as a desktop names it; the X server stays reachable
# (XWayland's place) for the daemons' windows.
export XDG_SESSION_TYPE=wayland
wait_until "$patience" sway_bare HEADLESS-1

# The saver covers output NAME: nothing of the background left, a scene drawn.
covers() {
  gone "$saver" && fail "the saver ended by itself"
  sway_look "$1" && holds 'bg == 0 && coloured > 1000' "the saver does not cover $1: $seen"
}
# N windows are full screen, each on an output of its own (so without a
# title bar or borders).
full_screen() {
  local n
  # A window is a "con" node; the keys of one node share their indentation.
  n=$(swaymsg -t get_tree | awk 'match($0, /^ */) {
        i = RLENGTH
        if ($1 == "\"type\":") type[i] = $2
        if ($1 == "\"fullscreen_mode\":" && $2 == "1," && type[i] == "\"con\",") n++
      } END { print n + 0 }')
  why="$n windows full screen, not $1"
  [ "$n" -eq "$1" ]
}
# Ends the saver with SIGTERM: it, and every copy it started, end with 0.
ends_on_sigterm() {
  local copies
  copies=$(pgrep -P "$saver")
  kill -TERM "$saver"
  ends_within 5 "$saver" || fail "$1: SIGTERM did not end the saver"
  wait "$saver"
  local code=$?
  [ "$code" -eq 0 ] || fail "$1: exit code $code on SIGTERM"
  for c in $copies; do ends_within 5 "$c" || fail "$1: its copy $c outlived it"; done
  echo "$1: SIGTERM ended the saver${copies:+ and its copies ($(echo $copies))}"
}

"$exe" /s1 2> "$work/one.log" &
saver=$!
pids+=("$saver")
wait_until "$patience" covers HEADLESS-1
echo "one output: $seen"
wait_until "$patience" sway_animates HEADLESS-1
wait_until "$patience" full_screen 1
echo "one output: animated, full screen"
ends_on_sigterm "one output"

sway_add_output
second=$output
sway_output "$second" resolution 1024x768
wait_until "$patience" sway_bare "$second"
"$exe" /s2 2> "$work/two.log" &
saver=$!
pids+=("$saver")
for o in HEADLESS-1 "$second"; do
  wait_until "$patience" covers "$o"
  echo "two outputs, $o: $seen"
  wait_until "$patience" sway_animates "$o"
  echo "two outputs, $o: animated"
done
wait_until "$patience" full_screen 2
echo "two outputs: a window full screen on each"
ends_on_sigterm "two outputs"
wait_until "$patience" sway_bare "$second"

# "Monitors" 2: the primary alone; the other output is black, still covered.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Monitors"=dword:00000002\n' > "$LUMENVEIL_REGISTRY"
"$exe" /s 2> "$work/primary.log" &
saver=$!
pids+=("$saver")
wait_until "$patience" covers HEADLESS-1
black() { sway_look "$second" && holds 'bg == 0 && lit == 0' "$second is not black: $seen"; }
wait_until "$patience" black
echo "the primary alone: $second $seen"
ends_on_sigterm "the primary alone"
: > "$LUMENVEIL_REGISTRY"

# The preview in a window of its own.
"$exe" /p 0 2> "$work/preview.log" &
saver=$!
pids+=("$saver")
shows() {
  gone "$saver" && fail "the preview ended"
  sway_look HEADLESS-1 && holds 'coloured - bg > 100' "no preview shows: $seen"
}
wait_until "$patience" shows
echo "the preview's own window: $seen"
ends_on_sigterm "the preview"

# A daemon's X window, with the Wayland session present: drawn through the
# X server, whatever the session prefers, and the picture fills it.
if [ -n "${DISPLAY:-}" ]; then
  make_parent 200 150
  "$exe" -window-id "$parent" 2> "$work/daemon.log" &
  saver=$!
  pids+=("$saver")
  drawn() {
    gone "$saver" && fail "-window-id ended: $(cat "$work/daemon.log")"
    grab "$parent" && holds 'bg == 0 && lit > 500' "nothing drawn in the daemon's window"
  }
  wait_until "$patience" drawn
  echo "-window-id with a Wayland session: $seen"
  ends_on_sigterm "-window-id"
else
  echo "no X server: the daemon's window is not tried"
fi
echo "PASS"
