#!/usr/bin/env bash
# The installed hack under the real XScreenSaver daemon: installed into a
# scratch folder, the daemon started as an ordinary user (it refuses to run
# hacks as root) on a virtual X server of its own, the hack activated, the
# scene checked on screen, and the hack's end within a second of the
# daemon's deactivation.
#
#   xscreensaver_daemon.sh BUILD_DIR LVXWIN
set -u
build="$1"
xwin="$2"
user=nobody
command -v xscreensaver >/dev/null && command -v Xvfb >/dev/null && command -v runuser >/dev/null ||
  { echo "SKIP: needs xscreensaver, Xvfb and runuser"; exit 77; }
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root to start the daemon as $user"; exit 77; }
source "$(dirname "$0")/windowtest.sh"

work=$(mktemp -d)
chmod 755 "$work"
xvfb=""
daemon=""
# The daemon and everything it started: they run in the scratch home.
ours() {
  for p in $(pgrep -u "$user" 2>/dev/null); do
    [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "$work/home" ] && echo "$p"
  done
}
none_left() { [ -z "$(ours)" ]; }
cleanup() {
  [ -n "$daemon" ] && kill "$daemon" 2>/dev/null
  for p in $(ours); do kill "$p" 2>/dev/null; done
  # The X server goes last, once they have let it go.
  poll 3 none_left
  # A server still going away could take the next run's display from it.
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && { ends_within 5 "$xvfb" || kill -KILL "$xvfb"; }
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$work/daemon.log" ] && tail -n 40 "$work/daemon.log"
  exit 1
}

# Install as a package would, into the scratch folder.
DESTDIR="$work/root" cmake --install "$build" --prefix /usr > "$work/install.log" 2>&1 ||
  fail "install: $(cat "$work/install.log")"
hack="$work/root/usr/libexec/xscreensaver/lumenveil"
[ -x "$hack" ] || fail "no hack at $hack"
[ -f "$work/root/usr/share/xscreensaver/config/lumenveil.xml" ] || fail "no hack description"
[ -f "$work/root/usr/share/applications/lumenveil.desktop" ] || fail "no desktop entry"
echo "installed: $hack, its description and the desktop entry"

# A virtual X server of our own, open to the daemon's user. It must not reset
# when its last client leaves: a client that came and went before the daemon
# had connected (the first "is it up?") would otherwise cut the daemon off.
exec 3> "$work/display"
Xvfb -displayfd 3 -ac -noreset -nolisten tcp -screen 0 800x600x24 > "$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
poll "$patience" test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

home="$work/home"
# No settings stored: the hack takes its own defaults (Native, the daemon's
# window's size). Its board calls go to a trace, to read the size from.
mkdir -p "$home/.config/lumenveil"
cat > "$home/.xscreensaver" <<CONF
timeout:	0:30:00
cycle:		0:00:00
lock:		False
fade:		False
unfade:		False
splash:		False
dpmsEnabled:	False
grabDesktopImages:	False
mode:		one
selected:	0
programs:	"Lumenveil" $hack -root --scene 2 --trace $home/hack.trace \\n\\
CONF
chown -R "$user" "$home"
as_user() { (cd "$home" && runuser -u "$user" -- env HOME="$home" DISPLAY="$DISPLAY" TMPDIR="$home" PATH=/usr/bin:/bin "$@"); }

as_user xscreensaver -no-splash ${LV_DAEMON_VERBOSE:+-verbose} > "$work/daemon.log" 2>&1 &
daemon=$!
daemon_up() {
  gone "$daemon" && fail "the daemon ended as it started"
  why="the daemon did not start"
  as_user xscreensaver-command -time > /dev/null 2>&1
}
wait_until 20 daemon_up
echo "daemon running as $user on $DISPLAY"

as_user xscreensaver-command -activate > /dev/null 2>&1 || fail "-activate refused"
# The hack: the daemon's lumenveil process, once it has settled.
hack_pid() {
  for p in $(pgrep -u "$user" -x lumenveil); do
    [ -n "$(tr -d '\0' < "/proc/$p/cmdline" 2>/dev/null)" ] && [ "$(awk '{print $3}' "/proc/$p/stat" 2>/dev/null)" != Z ] && echo "$p"
  done | head -n1
}
hack_started() {
  why="the daemon started no hack"
  pid=$(hack_pid)
  [ -n "$pid" ]
}
wait_until "$patience" hack_started
echo "hack running: $(tr '\0' ' ' < "/proc/$pid/cmdline")"
on_screen() {
  [ "$(hack_pid)" = "$pid" ] || fail "the hack ended by itself (now: $(hack_pid))"
  grab root && holds 'lit > 2000 && coloured > 1000' "the scene is not on screen"
}
wait_until "$patience" on_screen
echo "screen ${w}x${h}: lit $lit, grey $grey, coloured $coloured"
[ "$(hack_pid)" = "$pid" ] || fail "the hack ended by itself (now: $(hack_pid))"

# The daemon's graphics process kills the hack as it exits: the hack must be
# gone within a second of that.
gfx=$(pgrep -u "$user" -f '^xscreensaver-gfx' | head -n1)
as_user xscreensaver-command -deactivate > /dev/null 2>&1 || fail "-deactivate refused"
start=$(date +%s%N)
now_ms() { echo $(( ($(date +%s%N) - start) / 1000000 )); }
# A process that has ended but not yet been reaped still answers kill -0.
alive() { [ -e "/proc/$1" ] && [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" != Z ]; }
gfx_end=""
while alive "$pid"; do
  [ -z "$gfx_end" ] && [ -n "$gfx" ] && ! alive "$gfx" && gfx_end=$(now_ms)
  [ "$(now_ms)" -gt 5000 ] && break
  sleep 0.01
done
ms=$(now_ms)
[ -z "$gfx_end" ] && gfx_end=0
alive "$pid" && fail "the hack still runs ${ms} ms after deactivation"
echo "after deactivation: the daemon's graphics process ended at ${gfx_end} ms, the hack at ${ms} ms"
[ $((ms - gfx_end)) -le 1000 ] || fail "the hack took more than a second to end after the daemon told it to"
size=$(grep -a -m1 '^screenSize ' "$home/hack.trace" | awk '{print $2 "x" $3}')
echo "the hack's frames: ${size:-not at a size of their own}"
[ "$size" = "${w}x${h}" ] || fail "the hack did not draw at the size of the daemon's window (${w}x${h})"
[ -n "${LV_DAEMON_VERBOSE:-}" ] && tail -n 30 "$work/daemon.log"
echo "PASS"
