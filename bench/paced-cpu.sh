#!/bin/bash
# The share of one processor core that the saver takes in a window while its
# frames are held to the screen's 60 Hz pace: the frame work, the presenter
# and the window system's side of the process together, and the frame rate
# the window showed. Runs each binary in turn, round after round, so that
# they share the machine's slow and fast spells, and prints every run and
# each binary's median.
set -u

usage() {
  cat <<'EOF'
usage: bench/paced-cpu.sh [--scene 1|2] [--size WxH] [--seconds S] [--settle S] [--rounds N] BINARY...

Runs "BINARY /sSCENE" full screen (800 x 600 with the default
settings, kept in a scratch settings file; with --size, the display mode
"Native": frames drawn at the screen's size), waits --settle seconds (default
8; the scene's time, as long as the frames keep their pace: 60 for a scene at
its steady state), then measures the process's processor time over --seconds
(default 15) and prints it as a share of one core, with the frames a second
the window showed (each new frame the presenter converted for the window,
counted by gdb at a breakpoint). A window's scene runs on the real clock (the
saver takes no seed or fixed clock), so runs differ in detail: compare medians.
Each of --rounds rounds (default 3)
runs every binary once, in the order given.

Without a display (DISPLAY unset) it runs itself under xvfb-run with a screen
of --size (default 800x600).
EOF
}

scene=1 seconds=15 settle=8 rounds=3 size=
bins=()
while [ $# -gt 0 ]; do
  case "$1" in
    --scene) scene=${2:-}; shift 2 ;;
    --seconds) seconds=${2:-}; shift 2 ;;
    --size) size=${2:-}; shift 2 ;;
    --settle) settle=${2:-}; shift 2 ;;
    --rounds) rounds=${2:-}; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "paced-cpu: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) bins+=("$1"); shift ;;
  esac
done
number() { [[ "$1" =~ ^[0-9]+$ ]] && [ "$1" -gt 0 ]; }
if [ ${#bins[@]} -eq 0 ] || ! number "$seconds" || ! number "$settle" || ! number "$rounds" ||
   { [ "$scene" != 1 ] && [ "$scene" != 2 ]; } || { [ -n "$size" ] && [[ ! "$size" =~ ^[0-9]+x[0-9]+$ ]]; }; then
  usage >&2
  exit 2
fi
for b in "${bins[@]}"; do
  if [ ! -x "$b" ]; then echo "paced-cpu: $b is not an executable file" >&2; exit 2; fi
done

if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "paced-cpu: no DISPLAY and no xvfb-run" >&2; exit 2; }
  exec xvfb-run -a -s "-screen 0 ${size:-800x600}x24" "$0" --scene "$scene" --seconds "$seconds" \
    --settle "$settle" --rounds "$rounds" ${size:+--size "$size"} "${bins[@]}"
fi

scratch=$(mktemp -d /tmp/lumenveil-paced.XXXXXX) || exit 1
trap 'rm -rf -- "$scratch"' EXIT
ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null; }
hz=$(getconf CLK_TCK)
if [ -n "$size" ]; then
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display]\n"Mode"=dword:00000006\n' \
    >"$scratch/settings.reg"
fi
# Frames a second converted for the window, after the processor time is
# taken: gdb counts the hits of a breakpoint it never stops at, from when
# the breakpoint is set until it is interrupted `seconds` later ("" without
# gdb; while gdb attaches, the program stands still).
shown() {
  command -v gdb >/dev/null || return 0
  timeout -s INT "$(($2 + 10))" gdb -q -nx -batch -p "$1" -ex 'set pagination off' \
    -ex 'break FrameConverter::toRgb32' -ex 'ignore 1 1000000000' -ex 'shell date +T%s.%N' \
    -ex "shell (sleep $2; kill -INT \$PPID) &" -ex continue -ex 'shell date +T%s.%N' -ex 'info breakpoints' \
    2>/dev/null | awk '/^T[0-9]/ { t[++n] = substr($0, 2) } /already hit/ { for (i = 1; i <= NF; ++i) if ($i == "hit") h = $(i + 1) }
      END { if (n == 2 && t[2] > t[1]) printf "%.1f", (h + 0) / (t[2] - t[1]) }'
}

declare -A shares
for round in $(seq 1 "$rounds"); do
  for b in "${bins[@]}"; do
    LUMENVEIL_REGISTRY="$scratch/settings.reg" "$b" "/s$scene" \
      >/dev/null 2>"$scratch/stderr" &
    pid=$!
    sleep "$settle"
    t0=$(ticks "$pid"); s0=$(date +%s.%N)
    sleep "$seconds"
    t1=$(ticks "$pid"); s1=$(date +%s.%N)
    rate=$(shown "$pid" "$seconds")
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    if [ -z "$t0" ] || [ -z "$t1" ]; then
      echo "paced-cpu: $b stopped before the measurement ended:" >&2
      cat "$scratch/stderr" >&2
      exit 1
    fi
    share=$(awk -v t="$((t1 - t0))" -v hz="$hz" -v a="$s0" -v z="$s1" \
      'BEGIN { printf "%.1f", 100 * t / hz / (z - a) }')
    fps=${rate:+  $rate frames a second shown}
    echo "round $round  $b  scene $scene  ${size:-800x600}  $share % of a core$fps"
    shares[$b]="${shares[$b]:-} $share"
  done
done
for b in "${bins[@]}"; do
  echo "${shares[$b]}" | tr ' ' '\n' | grep . | sort -n |
    awk -v b="$b" '{ v[NR] = $1 } END {
      m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "%s: median %.1f %% (%.1f to %.1f, %d runs)\n", b, m, v[1], v[NR], NR }'
done
