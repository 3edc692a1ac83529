#!/usr/bin/env bash
# The saver in a real window under a virtual X server: it ignores a key press
# during its first two seconds, ends on one after, and a second copy started
# while it runs only raises it.
set -u
exe="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Waits up to $2 tenths of a second for process $1 to end; fails if it does not.
ends_within() {
  for _ in $(seq 1 "$2"); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$1" 2>/dev/null
}
export LUMENVEIL_REGISTRY="$work/registry.reg"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:00000002\n"Divisor"=dword:00000000\n' > "$LUMENVEIL_REGISTRY"

"$exe" /s1 &
pid=$!
# Wait for the saver's window.
win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --name '' 2>/dev/null | while read -r w; do
    if [ "$(xdotool getwindowpid "$w" 2>/dev/null)" = "$pid" ]; then echo "$w"; fi
  done | head -n1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "FAIL: no saver window"; kill "$pid"; exit 1; }
read -r w h < <(xdotool getwindowgeometry "$win" | awk '/Geometry/{split($2,a,"x"); print a[1], a[2]}')
echo "saver window $win ${w}x${h}"
[ "$w" = "$(xdpyinfo 2>/dev/null | awk '/dimensions/{split($2,a,"x"); print a[1]; exit}')" ] || [ -z "$(command -v xdpyinfo)" ] || { echo "FAIL: not full screen"; kill "$pid"; exit 1; }

# Straight away, well inside the grace time: a key is ignored.
xdotool key --window "$win" space
sleep 0.5
kill -0 "$pid" 2>/dev/null || { echo "FAIL: a key in the first two seconds ended the saver"; exit 1; }
echo "key in the grace time ignored"

# A second copy finds the first and returns at once.
timeout 10 "$exe" /s >/dev/null 2>&1
[ $? -eq 0 ] || { echo "FAIL: second copy did not return 0"; kill "$pid"; exit 1; }
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the second copy ended the first"; exit 1; }
echo "a second copy returned at once"

sleep 2
xdotool key --window "$win" space
if ! ends_within "$pid" 50; then
  echo "FAIL: a key after the grace time did not end the saver"
  kill "$pid"
  exit 1
fi
wait "$pid"
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; exit 1; }
echo "key after the grace time ended the saver (exit 0)"

# Inside a screen-saver daemon's window: the daemon owns the input, so keys
# never end the saver; a signal does, through the exit steps.
root=$(xdotool search --maxdepth 0 --name '' 2>/dev/null | head -n1)
[ -n "$root" ] || root=$(xwininfo -root 2>/dev/null | awk '/Window id/{print $4}')
if [ -n "$root" ]; then
  "$exe" -window-id "$root" &
  pid=$!
  sleep 3
  xdotool key space
  sleep 0.5
  kill -0 "$pid" 2>/dev/null || { echo "FAIL: a key ended the saver inside a daemon's window"; exit 1; }
  kill -TERM "$pid"
  wait "$pid"
  code=$?
  [ "$code" -eq 0 ] || { echo "FAIL: -window-id run ended with $code on SIGTERM"; exit 1; }
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
sleep 2
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the saver with a damaged file ended by itself"; exit 1; }
kill -TERM "$pid"
if ! ends_within "$pid" 30; then
  echo "FAIL: SIGTERM did not end the saver while its message box was open"
  kill -KILL "$pid"
  exit 1
fi
wait "$pid"
echo "SIGTERM ends the saver while a message box is open (exit $?)"

# Under a daemon nothing modal is shown: the message goes to the error stream.
cp "$work/damaged.reg" "$LUMENVEIL_REGISTRY"
if [ -n "$root" ]; then
  "$exe" -window-id "$root" 2>"$work/stderr" &
  pid=$!
  sleep 2
  kill -TERM "$pid"
  ends_within "$pid" 30 || { echo "FAIL: the daemon's hack did not end on SIGTERM"; kill -KILL "$pid"; exit 1; }
  wait "$pid"
  grep -q "line 4" "$work/stderr" || { echo "FAIL: no message on the error stream: $(cat "$work/stderr")"; exit 1; }
  echo "under a daemon the damaged file is reported on the error stream"
fi
