# Shared by the Wayland tests: a headless sway compositor of the test's own
# (software rendering, no input devices), its outputs, and screenshots of
# them read back with the window reader. Source windowtest.sh and call
# start_scratch first; the compositor then goes with the scratch folder.
#
#   sway_start            starts sway with one output, HEADLESS-1 (1280x720);
#                         exits 77 (a skipped test) where sway, swaymsg or grim
#                         is missing; sets and exports WAYLAND_DISPLAY (the
#                         socket's full path), SWAYSOCK and XDG_RUNTIME_DIR
#                         (a folder of the test's own user), and sway_pid
#   sway_add_output       adds an output; sets output to its name
#   sway_output NAME ARGS...   swaymsg output NAME ARGS (e.g. resolution 1280x720)
#   sway_outputs          the outputs' names, one a line
#   sway_shot NAME FILE   a screenshot of output NAME as a binary PPM
#   sway_look NAME        reads output NAME into w h lit grey coloured bg, as
#                         grab does for an X window (needs xwin; bg: pixels of
#                         the compositor's green background); 1 if it cannot
#   sway_bare NAME        output NAME shows the green background alone (for
#                         wait_until: a new output is drawn in a moment)
#   sway_animates NAME    output NAME shows another picture than when this was
#                         last asked (for wait_until, which asks again)
#
# sway refuses to run as root: it runs as sway_user (nobody unless set) with
# a runtime folder of its own in the scratch folder (mode 0700, that user's).
# The program and the screenshots run as the test's own user (root), which
# reaches the compositor's socket there, with a runtime folder of its own.

sway_user=${sway_user:-nobody}

sway_start() {
  local tool
  for tool in sway swaymsg grim setpriv; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  [ "$(id -u)" -eq 0 ] || id -un | grep -qx "$sway_user" ||
    { echo "SKIP: needs root to start sway as $sway_user"; exit 77; }
  # The scratch folder must be passable for sway's user, the runtime folder its own.
  chmod 711 "$work"
  local runtime="$work/sway-runtime"
  mkdir -m 700 "$runtime" "$work/runtime"
  chown "$sway_user:" "$runtime"
  # A pure green background, as the window reader's own windows have, which
  # nothing the program draws is: bg counts what the program left uncovered.
  printf 'output * bg #00FF00 solid_color\n' > "$work/sway.config"
  chmod 644 "$work/sway.config"
  setpriv --reuid="$sway_user" --regid="$(id -g "$sway_user")" --clear-groups \
    env -i PATH="$PATH" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.config" > "$work/sway.log" 2>&1 &
  sway_pid=$!
  pids+=("$sway_pid")
  export XDG_RUNTIME_DIR="$work/runtime"
  sway_ready() {
    gone "$sway_pid" && fail "sway ended: $(tail -n 5 "$work/sway.log")"
    SWAYSOCK=$(ls "$runtime"/sway-ipc.*.sock 2> /dev/null | head -n1)
    WAYLAND_DISPLAY=$(ls "$runtime"/wayland-[0-9] 2> /dev/null | head -n1)
    why="sway did not start: $(tail -n 3 "$work/sway.log")"
    [ -n "$SWAYSOCK" ] && [ -n "$WAYLAND_DISPLAY" ] && SWAYSOCK=$SWAYSOCK swaymsg -t get_outputs > /dev/null 2>&1
  }
  wait_until "$patience" sway_ready
  export SWAYSOCK WAYLAND_DISPLAY
}

sway_outputs() { swaymsg -t get_outputs 2> /dev/null | sed -n 's/^    "name": "\(.*\)",$/\1/p'; }

sway_add_output() {
  local before
  before=$(sway_outputs)
  swaymsg create_output > /dev/null || fail "sway made no output"
  output_added() {
    output=$(sway_outputs | grep -vxF "$before" | head -n1)
    why="no new output"
    [ -n "$output" ]
  }
  wait_until "$patience" output_added
}

sway_output() { swaymsg output "$@" > /dev/null || fail "swaymsg output $*"; }

sway_shot() { grim -t ppm -o "$1" "$2" 2> /dev/null; }

sway_look() {
  local out
  w=0 h=0 lit=0 grey=0 coloured=0 bg=0
  sway_shot "$1" "$work/look.ppm" && out=$("$xwin" ppm "$work/look.ppm" 2>&1) &&
    read -r w h lit grey coloured bg <<< "$out" && [ -n "$bg" ] || {
    seen="output $1: ${out:-no screenshot}"
    why="cannot read output $1: ${out:-no screenshot}"
    return 1
  }
  seen="output $1: ${w}x${h}, lit $lit, grey $grey, coloured $coloured, background $bg"
}

sway_bare() { sway_look "$1" && holds 'bg == w * h' "output $1 is not bare: $seen"; }

sway_animates() {
  local last="$work/last-$1.ppm"
  why="output $1 shows the same picture twice"
  sway_shot "$1" "$work/now.ppm" || return 1
  if [ -f "$last" ] && ! cmp -s "$last" "$work/now.ppm"; then
    rm -f "$last"
    return 0
  fi
  mv "$work/now.ppm" "$last"
  return 1
}
