#!/usr/bin/env bash
# The preview in a real window under a virtual X server: drawn into a window
# another program made (filling it, whatever its size, following its
# resizes), ending when that window goes away; a handle that names no window
# is refused with -1.
set -u
exe="$1"
xwin="$2"
source "$(dirname "$0")/windowtest.sh"
start_scratch

# Waits up to $2 seconds for process $1 to end; its code in $code.
wait_end() {
  ends_within "$2" "$1" || return 1
  wait "$1"
  code=$?
  return 0
}

# The display settings' own size.
make_parent 152 112
"$exe" /p "$parent" 2> "$work/err" &
preview=$!
pids+=("$preview")
# The picture fills the parent: grey static with the title fading in.
titled() {
  grab "$parent" &&
    holds 'w == 152 && h == 112' "parent size changed" &&
    holds 'bg == 0' "the preview does not cover its parent" &&
    holds "lit > 152 * 112 / 2" "the preview drew nothing" &&
    holds 'coloured > 500' "no title in the picture"
}
wait_until "$patience" titled
echo "152x112 parent: ${w}x${h}, lit $lit, grey $grey, coloured $coloured, background $bg"
kill "$parent_pid"
wait_end "$preview" 2 || fail "the preview outlived its parent window"
[ "$code" -eq 0 ] || fail "exit code $code after the parent went away"
echo "ended with its parent window (exit 0)"

# Another size: the picture fills it, and follows a resize.
make_parent 400 300
"$exe" /l "$parent" 2> "$work/err" &
preview=$!
pids+=("$preview")
# The lower right corner of the parent is filled.
corner_filled() {
  grab "$parent" "$1" "$2" 100 100 && holds 'lit > 5000 && bg == 0' "$3"
}
wait_until "$patience" corner_filled 300 200 "the picture does not fill a larger parent"
echo "400x300 parent, lower right corner: lit $lit of 10000, background $bg"
xdotool windowsize "$parent" 600 200
wait_until "$patience" corner_filled 500 100 "the picture did not follow the resize"
echo "resized to 600x200, lower right corner: lit $lit of 10000, background $bg"
kill "$parent_pid"
wait_end "$preview" 2 || fail "the preview outlived its parent window"

# A handle that names no window.
"$exe" /p 4000000000 > /dev/null 2> "$work/err"
code=$?
[ "$code" -eq 255 ] || fail "a missing window gave exit code $code"
grep -q 'no window 4000000000' "$work/err" || fail "no message for a missing window: $(cat "$work/err")"
echo "a handle naming no window: exit -1, \"$(tail -n1 "$work/err")\""

# Handle 0: a small window of its own.
"$exe" /p 0 2> "$work/err" &
preview=$!
pids+=("$preview")
own_window() {
  why="handle 0 opened no window"
  own=$(xdotool search --name '^Lumenveil Preview$' 2>/dev/null | head -n1)
  [ -n "$own" ]
}
wait_until "$patience" own_window
read -r w h _ _ _ _ < <("$xwin" grab "$own")
echo "handle 0: a window of its own, ${w}x${h}"
[ "$w" = 152 ] && [ "$h" = 112 ] || fail "own window is ${w}x${h}"
kill -TERM "$preview"
wait_end "$preview" 2 || fail "the preview did not end on a stop signal"
echo "PASS"
