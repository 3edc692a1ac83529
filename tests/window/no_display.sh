#!/usr/bin/env bash
# A display that cannot be reached: every windowed switch says which display
# could not be opened and ends with a non-zero code, never an abort, and the
# settings file stays as it was.
set -u
exe="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export LUMENVEIL_REGISTRY="$work/registry.reg" TMPDIR="$work"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:00000001\n' > "$LUMENVEIL_REGISTRY"
cp "$LUMENVEIL_REGISTRY" "$work/before"

# No X server serves a display number this high.
check() {
  local what="$1" expect="$2"
  shift 2
  env "$@" timeout 20 "$exe" $what > "$work/out" 2>&1
  local code=$?
  echo "$* $what: exit $code: $(head -c 200 "$work/out" | tr '\n' ' ')"
  # 124 is the time limit; 129 to 192 a signal (134 an abort).
  if [ "$code" -eq 0 ] || [ "$code" -eq 124 ] || { [ "$code" -gt 128 ] && [ "$code" -le 192 ]; }; then
    fail "$what ended with $code"
  fi
  grep -q -- "$expect" "$work/out" || fail "$what does not say '$expect'"
  cmp -s "$LUMENVEIL_REGISTRY" "$work/before" || fail "$what changed the settings file"
}
for what in /s /c "/p 0" -root "-window-id 12345"; do
  check "$what" 'cannot open display ":7391"' -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:7391
done
check /s 'cannot open Wayland display' QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=lumenveil-none XDG_RUNTIME_DIR="$work"
# A platform the toolkit cannot start at all.
check /s 'cannot open the display (QT_QPA_PLATFORM=no-such-platform' QT_QPA_PLATFORM=no-such-platform
echo PASS
