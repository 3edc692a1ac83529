#!/usr/bin/env bash
# A screen-saver daemon's window with no display mode stored: the hack draws
# at the window's own size (Native), and when the window is resized mid-run
# the next frames are drawn at the new size and shape, edge to edge, by the
# same run. The sizes the board's screen was opened at are read from the
# run's trace; the pictures from the window.
#
#   native_window.sh LUMENVEIL LVXWIN [SHOTS_DIR]
# With SHOTS_DIR, screenshots before and after each resize are kept there.
set -u
exe="$1"
xwin="$2"
shots="${3:-}"
source "$(dirname "$0")/windowtest.sh"
start_scratch
: > "$LUMENVEIL_REGISTRY" # nothing stored

# The sizes the board's screen was opened at, in order.
opened() { grep -a '^screenSize ' "$1" | awk '{printf "%sx%s ", $2, $3}'; }

shot() {
  [ -n "$shots" ] && command -v import > /dev/null && import -window "$parent" "$shots/${1#-}.png" 2> /dev/null
  return 0
}

# The parent window is covered by a scene.
covered() { grab "$parent" && holds 'bg == 0 && lit > 500' "$how: the window is not covered by a scene"; }

# Frames reach an edge of the resized window:
#   reaches WHAT X Y W H   (the part of the window along that edge)
# and both edges, which frames of the old shape, scaled into the middle, do
# not (the lines seen are in reached):
#   reach_both WHAT X Y W H WHAT X Y W H
reaches() {
  local what="$1"
  shift
  grab "$parent" "$@" &&
    reached+="$how: $what lit $lit, background $bg"$'\n' &&
    holds 'bg == 0 && lit > 0' "$how: the frames do not reach $what after the resize"
}
reach_both() {
  reached=""
  reaches "${@:1:5}" && reaches "${@:6:5}"
}

run_native() {
  local how="$1" trace="$2"
  wait_until "$patience" covered
  echo "$how: ${w}x${h} window: lit $lit, background $bg"
  shot "$how-200x150"
  # Wide: frames of the old shape would be scaled into the middle with black
  # sides; frames of the new size reach both edges.
  xdotool windowsize "$parent" 480 150
  wait_until "$patience" reach_both "the left edge of 480x150" 0 0 60 150 "the right edge of 480x150" 420 0 60 150
  echo -n "$reached"
  shot "$how-480x150"
  # Tall.
  xdotool windowsize "$parent" 150 300
  wait_until "$patience" reach_both "the top of 150x300" 0 0 150 60 "the bottom of 150x300" 0 240 150 60
  echo -n "$reached"
  shot "$how-150x300"
  kill -0 "$saver" 2> /dev/null || fail "$how: the run ended"
  kill -TERM "$saver"
  wait "$saver"
  local sizes
  sizes=$(opened "$trace")
  echo "$how: the board's screen opened at: $sizes"
  [ "$sizes" = "200x150 480x150 150x300 " ] || fail "$how: not reopened at each new size (opened at: $sizes)"
  # One run throughout: the board was started, and the textures loaded, once.
  [ "$(grep -ac '^grGlideInit' "$trace")" -eq 1 ] || fail "$how: the run started the board more than once"
  [ "$(grep -ac '^guTexAllocateMemory ' "$trace")" -le 16 ] || fail "$how: the textures were loaded again"
}

make_parent 200 150
"$exe" --scene 2 -window-id "$parent" --trace "$work/window.trace" 2> /dev/null &
saver=$!
pids+=("$saver")
run_native "-window-id" "$work/window.trace"
kill "$parent_pid"

make_parent 200 150
XSCREENSAVER_WINDOW="$parent" "$exe" -root --scene 1 --trace "$work/root.trace" 2> /dev/null &
saver=$!
pids+=("$saver")
run_native "-root" "$work/root.trace"

# A scaled desktop (a device pixel ratio of 2): the frames are drawn at the
# window's own pixels, not at its size in the toolkit's units, scaled up.
make_parent 200 150
QT_SCALE_FACTOR=2 "$exe" --scene 2 -window-id "$parent" --trace "$work/scaled.trace" 2> /dev/null &
saver=$!
pids+=("$saver")
how="scale 2"
wait_until "$patience" covered
kill -TERM "$saver"
wait "$saver"
sizes=$(opened "$work/scaled.trace")
[ "$sizes" = "200x150 " ] || fail "scale 2: the board's screen opened at $sizes, not at the window's 200x150 pixels"
echo "scale 2: the board's screen opened at the window's own pixels, $sizes"

# A mode of the user's own is kept: the frames stay 640 x 480, scaled.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:00000001\n' > "$LUMENVEIL_REGISTRY"
"$exe" --scene 2 -window-id "$parent" --trace "$work/stored.trace" 2> /dev/null &
saver=$!
pids+=("$saver")
how="stored mode 1"
wait_until "$patience" covered
xdotool windowsize "$parent" 480 150
# Once the saver's window fills the wider window (no background showing) with
# a picture in the middle, its left edge is black.
scaled() {
  grab "$parent" && holds 'bg == 0' "$how: the saver's window did not follow the resize" &&
    grab "$parent" 180 0 120 150 && holds 'lit > 0' "$how: no picture in the middle of 480x150" &&
    grab "$parent" 0 0 60 150 && holds 'lit == 0 && bg == 0' "a stored mode did not keep its 4:3 frames"
}
wait_until "$patience" scaled
echo "stored mode 1 in a 480x150 window: left edge lit $lit, background $bg"
kill -TERM "$saver"
wait "$saver"
grep -aq '^screenSize ' "$work/stored.trace" && fail "a stored mode opened the screen at the window's size"
grep -aq '^grSstWinOpen [0-9]* 7 ' "$work/stored.trace" ||
  fail "a stored mode 1 did not open 640 x 480"
echo "PASS"
