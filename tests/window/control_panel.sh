#!/usr/bin/env bash
# The control panel in a real window under a virtual X server: it opens
# centred with its own caption, and every way of closing it (Escape, a stop
# signal) saves the settings.
#
#   control_panel.sh LUMENVEIL [LVXWIN]   (LVXWIN: by default beside LUMENVEIL)
set -u
exe="$1"
xwin="${2:-$(dirname "$exe")/lvxwin}"
[ -x "$xwin" ] || { echo "FAIL: no window reader at $xwin (build the lvxwin target)"; exit 1; }
source "$(dirname "$0")/windowtest.sh"
start_scratch
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global]\n"ScreenSaver"=dword:00000005\n' > "$LUMENVEIL_REGISTRY"

# The panel's window: the one of its process with its caption; sets win.
panel_window() {
  gone "$pid" && fail "the control panel ended before it showed its window"
  why="no control panel window"
  win=$(xdotool search --name 'Control Panel' 2>/dev/null | while read -r w; do
    if [ "$(xdotool getwindowpid "$w" 2>/dev/null)" = "$pid" ]; then echo "$w"; fi
  done | head -n1)
  [ -n "$win" ]
}

# The panel's window is drawn: it shows black until then.
painted() {
  gone "$pid" && fail "the control panel ended by itself"
  grab "$win" && holds 'lit > 0' "the control panel shows nothing"
}

# Starts the panel; sets pid and win.
open_panel() {
  "$exe" /c &
  pid=$!
  pids+=("$pid")
  wait_until "$patience" panel_window
  wait_until "$patience" painted
}

# Waits for the panel to end; fails unless it ended with 0. A panel still
# starting (its window is drawn before it has loaded its scenes) ends once it
# has: seconds on a loaded machine.
expect_end() {
  ends_within "$patience" "$pid" || fail "$1 did not close the control panel"
  wait "$pid"
  code=$?
  [ "$code" -eq 0 ] || fail "exit code $code after $1"
}

open_panel
name=$(xdotool getwindowname "$win")
[ "$name" = "Lumenveil & Astrel-1 Control Panel (v1.1.11) " ] || fail "caption [$name]"
read -r w h < <(xdotool getwindowgeometry "$win" | awk '/Geometry/{split($2,a,"x"); print a[1], a[2]}')
[ "$w" = 368 ] && [ "$h" = 281 ] || fail "client area ${w}x${h}"
echo "control panel $win ${w}x${h} [$name]"
kill -TERM "$pid"
expect_end "SIGTERM"
for group in Audio Display Global Lumenveil Astrel PowerManagement; do
  grep -q "Lumenveil\\\\1.1\\\\$group\\]" "$LUMENVEIL_REGISTRY" || { echo "FAIL: $group not saved on SIGTERM"; exit 1; }
done
# An unknown scene choice is kept as it was.
grep -q '"ScreenSaver"=dword:00000005' "$LUMENVEIL_REGISTRY" || { echo "FAIL: ScreenSaver changed"; exit 1; }
echo "SIGTERM saved every group"

rm -f "$LUMENVEIL_REGISTRY"
open_panel
# A key sent before the window takes the focus is lost (a loaded machine can be
# slow to give it): Escape is pressed again until the panel ends, for 15 seconds.
escape() {
  xdotool windowfocus --sync "$win" 2>/dev/null
  xdotool key --window "$win" Escape
  ends_within 3 "$pid"
}
poll 15 escape
expect_end "Escape"
grep -q 'Lumenveil\\1.1\\PowerManagement\]' "$LUMENVEIL_REGISTRY" || { echo "FAIL: Escape did not save"; exit 1; }
echo "Escape closed and saved"
