#!/usr/bin/env bash
# The control panel in a real window under a virtual X server: it opens
# centred with its own caption, and every way of closing it (Escape, a stop
# signal) saves the settings.
set -u
exe="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LUMENVEIL_REGISTRY="$work/registry.reg"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global]\n"ScreenSaver"=dword:00000005\n' > "$LUMENVEIL_REGISTRY"

# Starts the panel; sets pid and win.
open_panel() {
  "$exe" /c &
  pid=$!
  win=""
  for _ in $(seq 1 100); do
    win=$(xdotool search --name 'Control Panel' 2>/dev/null | while read -r w; do
      if [ "$(xdotool getwindowpid "$w" 2>/dev/null)" = "$pid" ]; then echo "$w"; fi
    done | head -n1)
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "FAIL: no control panel window"; kill "$pid"; exit 1; }
}

# Waits for the panel to end; fails unless it ended with 0.
expect_end() {
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: $1 did not close the control panel"
    kill "$pid"
    exit 1
  fi
  wait "$pid"
  code=$?
  [ "$code" -eq 0 ] || { echo "FAIL: exit code $code after $1"; exit 1; }
}

open_panel
name=$(xdotool getwindowname "$win")
[ "$name" = "Lumenveil & Astrel-1 Control Panel (v1.1.11) " ] || { echo "FAIL: caption [$name]"; kill "$pid"; exit 1; }
read -r w h < <(xdotool getwindowgeometry "$win" | awk '/Geometry/{split($2,a,"x"); print a[1], a[2]}')
[ "$w" = 368 ] && [ "$h" = 281 ] || { echo "FAIL: client area ${w}x${h}"; kill "$pid"; exit 1; }
echo "control panel $win ${w}x${h} [$name]"
sleep 1
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
sleep 1
# A key sent before the window takes the focus is lost (a loaded machine can be
# slow to give it): Escape is pressed again until the panel ends, for 15 seconds.
for _ in 1 2 3 4 5; do
  xdotool windowfocus --sync "$win" 2>/dev/null
  xdotool key --window "$win" Escape
  for _ in $(seq 1 30); do
    kill -0 "$pid" 2>/dev/null || break 2
    sleep 0.1
  done
done
expect_end "Escape"
grep -q 'Lumenveil\\1.1\\PowerManagement\]' "$LUMENVEIL_REGISTRY" || { echo "FAIL: Escape did not save"; exit 1; }
echo "Escape closed and saved"
