#!/usr/bin/env bash
# The saver in a real window under a virtual X server: it ignores a key press
# during its first two seconds, ends on one after, and a second copy started
# while it runs only raises it.
#
#   saver_window.sh LUMENVEIL [LVXWIN]   (LVXWIN: by default beside LUMENVEIL)
set -u
exe="$1"
xwin="${2:-$(dirname "$exe")/lvxwin}"
[ -x "$xwin" ] || { echo "FAIL: no window reader at $xwin (build the lvxwin target)"; exit 1; }
source "$(dirname "$0")/windowtest.sh"
start_scratch
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:00000002\n"Divisor"=dword:00000000\n' > "$LUMENVEIL_REGISTRY"

# The saver's window, the shown one of its process, covering the screen; sets
# win, w and h. It may show at another size first, and is made anew when it
# is put on top of other windows: it is looked for again each time.
screen_width=$(xdpyinfo 2>/dev/null | awk '/dimensions/{split($2,a,"x"); print a[1]; exit}')
saver_window() {
  local c
  gone "$pid" && fail "the saver ended before it showed its window"
  why="no saver window"
  for c in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    [ "$(xdotool getwindowpid "$c" 2>/dev/null)" = "$pid" ] || continue
    win=$c
    read -r w h < <(xdotool getwindowgeometry "$c" | awk '/Geometry/{split($2,a,"x"); print a[1], a[2]}')
    why="not full screen (${w}x${h})"
    [ -z "$screen_width" ] || [ "$w" = "$screen_width" ] && return 0
  done
  return 1
}
# A scene is drawn in the window (or "root": on the screen): a picture with
# colour, which a blank window or screen never has.
#   scene_in WINDOW WHY-NOT
scene_in() { grab "$1" && holds 'coloured > 1000' "$2"; }

"$exe" /s1 &
pid=$!
pids+=("$pid")
wait_until "$patience" saver_window
echo "saver window $win ${w}x${h}"
# Straight away, well inside the grace time: a key is ignored.
xdotool key --window "$win" space
# The grace time runs from the saver's first frame: its clock starts just
# before it. The saver must go on running through the rest of the grace time,
# and half a second more (its clock moves on once a frame); nothing shows
# that it has read the key before then.
saver_drew() { saver_window && scene_in "$win" "the saver drew nothing"; }
wait_until "$patience" saver_drew
lives_until "$(clock_us 2.5)" "$pid" || fail "a key in the first two seconds ended the saver"
echo "key in the grace time ignored"

# A second copy finds the first and returns at once.
timeout 10 "$exe" /s >/dev/null 2>&1
[ $? -eq 0 ] || fail "second copy did not return 0"
gone "$pid" && fail "the second copy ended the first"
echo "a second copy returned at once"

wait_until "$patience" saver_window
xdotool key --window "$win" space
ends_within 5 "$pid" || fail "a key after the grace time did not end the saver"
wait "$pid"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code"
echo "key after the grace time ended the saver (exit 0)"

# Inside a screen-saver daemon's window: the daemon owns the input, so keys
# never end the saver; a signal does, through the exit steps.
root=$(xdotool search --maxdepth 0 --name '' 2>/dev/null | head -n1)
[ -n "$root" ] || root=$(xwininfo -root 2>/dev/null | awk '/Window id/{print $4}')
if [ -n "$root" ]; then
  "$exe" -window-id "$root" &
  pid=$!
  pids+=("$pid")
  # Past the grace time, measured from the first frame, a key would end a
  # saver of its own.
  wait_until "$patience" scene_in root "the saver drew nothing in the daemon's window"
  lives_until "$(clock_us 2.5)" "$pid" || fail "the saver in a daemon's window ended by itself"
  xdotool key space
  # A key the saver took would end it within a frame or two.
  lives_until "$(clock_us 0.5)" "$pid" || fail "a key ended the saver inside a daemon's window"
  kill -TERM "$pid"
  wait "$pid"
  code=$?
  [ "$code" -eq 0 ] || fail "-window-id run ended with $code on SIGTERM"
  echo "inside a daemon's window: keys ignored, SIGTERM ends with 0"
fi

# A window id beyond 32 bits is refused, not cut to another window; an id
# that names no window is reported and ends the run with -1.
out=$("$exe" -window-id 4294967296 2>&1)
code=$?
[ "$code" -eq 2 ] || { echo "FAIL: -window-id 2^32 gave exit $code: $out"; exit 1; }
out=$(timeout 10 "$exe" -window-id 123456789 2>&1)
code=$?
[ "$code" -eq 255 ] && [[ "$out" == *"no window 123456789"* ]] ||
  { echo "FAIL: -window-id of no window gave exit $code: $out"; exit 1; }
out=$(XSCREENSAVER_WINDOW=0x1ffffffff timeout 10 "$exe" -root 2>&1)
code=$?
[ "$code" -eq 255 ] || { echo "FAIL: a 33-bit XSCREENSAVER_WINDOW gave exit $code: $out"; exit 1; }
echo "window ids beyond 32 bits and ids of no window refused"

# A damaged settings file is reported in a box; a signal still ends the saver
# while the box waits for an answer.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:zz\n' > "$LUMENVEIL_REGISTRY"
cp "$LUMENVEIL_REGISTRY" "$work/damaged.reg"
"$exe" /s2 2>"$work/stderr" &
pid=$!
pids+=("$pid")
box_open() {
  gone "$pid" && fail "the saver with a damaged file ended by itself"
  why="the saver with a damaged file showed no message box"
  [ -n "$(xdotool search --onlyvisible --pid "$pid" --name '^Error$' 2>/dev/null)" ]
}
wait_until "$patience" box_open
kill -TERM "$pid"
ends_within 3 "$pid" || fail "SIGTERM did not end the saver while its message box was open"
wait "$pid"
echo "SIGTERM ends the saver while a message box is open (exit $?)"

# Under a daemon nothing modal is shown: the message goes to the error stream.
cp "$work/damaged.reg" "$LUMENVEIL_REGISTRY"
if [ -n "$root" ]; then
  "$exe" -window-id "$root" 2>"$work/stderr" &
  pid=$!
  pids+=("$pid")
  reported() {
    why="no message on the error stream: $(cat "$work/stderr")"
    grep -q "line 4" "$work/stderr"
  }
  wait_until "$patience" reported
  kill -TERM "$pid"
  ends_within 3 "$pid" || fail "the daemon's hack did not end on SIGTERM"
  wait "$pid"
  echo "under a daemon the damaged file is reported on the error stream"
fi
