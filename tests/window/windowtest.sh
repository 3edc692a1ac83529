# Shared by the window tests, here and in ../win32: the waiting, reading
# windows back (grab, with xwin set), and a scratch folder for a run.
fail() { echo "FAIL: $*"; exit 1; }

# Waiting: a test waits for what it needs to see, never for a fixed time. It
# looks again every tenth of a second until the time limit, which is generous
# for a loaded machine: only passing it is a failure.

# How long a wait for the program to show or do something may take.
patience=15

# The clock in microseconds; with SECONDS (decimals allowed), that long after
# now, or after FROM (an earlier reading).
#   clock_us [SECONDS [FROM]]
clock_us() {
  local t=$EPOCHREALTIME s=${1:-0} whole frac
  whole=${s%%.*}
  frac=${s#"$whole"}
  frac=${frac#.}000000
  echo $((${2:-10#${t/[.,]/}} + 10#${whole:-0} * 1000000 + 10#${frac:0:6}))
}

# Runs COMMAND until it succeeds; 1 if the clock passes DEADLINE first.
#   poll_until DEADLINE COMMAND...
poll_until() {
  local end=$1
  shift
  until "$@"; do
    (($(clock_us) < end)) || return 1
    sleep 0.1
  done
}

# The same for up to SECONDS.
poll() {
  local end
  end=$(clock_us "$1")
  shift
  poll_until "$end" "$@"
}

# Waits up to SECONDS for COMMAND to succeed, else fails the test with the
# reason COMMAND left in why, after the last picture it read (seen).
#   wait_until SECONDS COMMAND...
why=""
seen=""
wait_until() {
  local limit=$1
  shift
  why="$*"
  seen=""
  poll "$limit" "$@" && return 0
  [ -n "$seen" ] && echo "last look: $seen"
  fail "$why (after waiting $limit s)"
}

# For a wait's COMMAND: true when the arithmetic CONDITION holds, else MESSAGE
# is the reason.
#   holds CONDITION MESSAGE
holds() {
  why=$2
  (($1))
}

# Process PID has ended (a child of the test is reaped by the shell at once).
gone() { ! kill -0 "$1" 2>/dev/null; }
# PID ends within SECONDS.
ends_within() { poll "$1" gone "$2"; }
# PID runs on until DEADLINE: for what must not end a run, where nothing
# shows that the program has taken it in and let it pass.
lives_until() { ! poll_until "$1" gone "$2"; }

# Reads what window ID shows, or a part of it, into w h lit grey coloured bg
# (see lvxwin); 1 if it cannot be read.
#   grab ID [X Y W H]
grab() {
  local out
  w=0 h=0 lit=0 grey=0 coloured=0 bg=0
  out=$("$xwin" grab "$@" 2>&1) && read -r w h lit grey coloured bg <<< "$out" && [ -n "$bg" ] || {
    seen="window $*: $out"
    why="cannot read window $1: $out"
    return 1
  }
  seen="window $1${2:+ from $2,$3}: ${w}x${h}, lit $lit, grey $grey, coloured $coloured, background $bg"
}

# Makes the run's scratch folder, work: the settings file and the sockets
# live there and go with it at the end, as does every process listed in pids,
# whatever the outcome.
start_scratch() {
  work=$(mktemp -d)
  pids=()
  trap end_scratch EXIT
  export LUMENVEIL_REGISTRY="$work/registry.reg"
  # Copies of the program find each other through sockets in the temporary
  # folder: keep other runs on this machine out of ours.
  export TMPDIR="$work"
}
end_scratch() {
  for p in "${pids[@]}"; do { kill -KILL "$p" && wait "$p"; } 2>/dev/null; done
  rm -rf "$work"
}

# Starts a parent window of the given size; sets parent and parent_pid. Each
# window writes its id to a file of its own, so a slow start never reads the
# id of the window before.
parents=0
make_parent() {
  parents=$((parents + 1))
  local idfile="$work/id.$parents"
  "$xwin" create "$1" "$2" > "$idfile" &
  parent_pid=$!
  pids+=("$parent_pid")
  poll "$patience" test -s "$idfile"
  parent=$(cat "$idfile")
  [ -n "$parent" ] || fail "no parent window"
}

# The idle watcher's tests: while PROGRAM (an inhibitor, which prints READY
# once it holds the saver off) runs, a watcher of `idle` seconds says
# ANNOUNCED and starts no saver for four idle times; once PROGRAM ends the
# saver starts (saver_started and saver_shown are the caller's), and a second
# watcher for the session is refused. Sets watcher and first (the saver).
#   idle_held_off_then_started PROGRAM READY ANNOUNCED WHAT-HOLDS-IT-OFF
idle_held_off_then_started() {
  "$1" > "$work/inhibit.out" 2>&1 &
  local player=$!
  pids+=("$player")
  wait_until "$patience" grep -q "$2" "$work/inhibit.out"
  "$exe" --idle --idle-seconds "$idle" 2> "$work/watcher.log" &
  watcher=$!
  pids+=("$watcher")
  wait_until "$patience" grep -q "$3" "$work/watcher.log"
  poll $((4 * idle)) saver_started && fail "the saver started while $4"
  gone "$watcher" && fail "the watcher ended: $(cat "$work/watcher.log")"
  kill "$player"
  wait_until "$patience" saver_shown
  first=$saver
  "$exe" --idle --idle-seconds "$idle" > /dev/null 2> "$work/second.log" && fail "a second watcher ran"
  grep -q "already runs for this session (process $watcher)" "$work/second.log" ||
    fail "the second watcher said: $(cat "$work/second.log")"
}
