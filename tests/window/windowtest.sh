# Shared by the window tests that draw into a window another program made:
# sourced after exe, xwin and work are set.
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
export LUMENVEIL_REGISTRY="$work/registry.reg"
# Copies of the program find each other through sockets in the temporary
# folder: keep other runs on this machine out of ours.
export TMPDIR="$work"
fail() { echo "FAIL: $*"; exit 1; }

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
  for _ in $(seq 1 100); do [ -s "$idfile" ] && break; sleep 0.1; done
  parent=$(cat "$idfile")
  [ -n "$parent" ] || fail "no parent window"
}
