#!/usr/bin/env bash
# The preview in a real window under a virtual X server: drawn into a window
# another program made (filling it, whatever its size, following its
# resizes), ending when that window goes away; a handle that names no window
# is refused with -1.
set -u
exe="$1"
xwin="$2"
work=$(mktemp -d)
source "$(dirname "$0")/windowtest.sh"

# Waits up to $2 tenths of a second for process $1 to end; its code in $code.
wait_end() {
  for _ in $(seq 1 "$2"); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && return 1
  wait "$1"
  code=$?
  return 0
}

# The display settings' own size.
make_parent 152 112
"$exe" /p "$parent" 2> "$work/err" &
preview=$!
pids+=("$preview")
sleep 2
read -r w h lit grey coloured bg < <("$xwin" grab "$parent")
echo "152x112 parent: ${w}x${h}, lit $lit, grey $grey, coloured $coloured, background $bg"
[ "$w" = 152 ] && [ "$h" = 112 ] || fail "parent size changed"
[ "$bg" -eq 0 ] || fail "the preview does not cover its parent"
# Two seconds in: the second title half faded in over grey static.
[ "$lit" -gt $((152 * 112 / 2)) ] || fail "the preview drew nothing"
[ "$coloured" -gt 500 ] || fail "no title in the picture"
kill "$parent_pid"
wait_end "$preview" 20 || fail "the preview outlived its parent window"
[ "$code" -eq 0 ] || fail "exit code $code after the parent went away"
echo "ended with its parent window (exit 0)"

# Another size: the picture fills it, and follows a resize.
make_parent 400 300
"$exe" /l "$parent" 2> "$work/err" &
preview=$!
pids+=("$preview")
sleep 2
read -r w h lit _ _ bg < <("$xwin" grab "$parent" 300 200 100 100)
echo "400x300 parent, lower right corner: lit $lit of 10000, background $bg"
[ "$lit" -gt 5000 ] && [ "$bg" -eq 0 ] || fail "the picture does not fill a larger parent"
xdotool windowsize "$parent" 600 200
sleep 1
read -r w h lit _ _ bg < <("$xwin" grab "$parent" 500 100 100 100)
echo "resized to 600x200, lower right corner: lit $lit of 10000, background $bg"
[ "$lit" -gt 5000 ] && [ "$bg" -eq 0 ] || fail "the picture did not follow the resize"
kill "$parent_pid"
wait_end "$preview" 20 || fail "the preview outlived its parent window"

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
own=""
for _ in $(seq 1 50); do
  own=$(xdotool search --name '^Lumenveil Preview$' 2>/dev/null | head -n1)
  [ -n "$own" ] && break
  sleep 0.1
done
[ -n "$own" ] || fail "handle 0 opened no window"
read -r w h _ _ _ _ < <("$xwin" grab "$own")
echo "handle 0: a window of its own, ${w}x${h}"
[ "$w" = 152 ] && [ "$h" = 112 ] || fail "own window is ${w}x${h}"
kill -TERM "$preview"
wait_end "$preview" 20 || fail "the preview did not end on a stop signal"
echo "PASS"
