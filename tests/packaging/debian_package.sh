#!/usr/bin/env bash
# The Debian package made by CPack from a build: its fields, its Depends (a
# package for every library the program links, and the Qt platform plug-ins
# it loads), its files, a stripped program, no error from lintian; unpacked
# into a scratch root, the installed program and its hack link run.
# Usage: debian_package.sh CPACK BUILD_DIR
# Exits 77 (skipped) where lintian is not installed (Debian: lintian).
set -u
cpack="$1"
build="$2"
fail() { echo "FAIL: $*"; exit 1; }
command -v lintian >/dev/null || { echo "lintian is not installed: skipped"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack could not make the package"; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = lumenveil ] || fail "the package is named '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture '$(field Architecture)'"
depends=$(field Depends)
echo "Depends: $depends"
# depends_on PACKAGE: Depends names PACKAGE (alone, with a version, or as an alternative).
depends_on() { tr ',|' '\n\n' <<<"$depends" | awk -v p="$1" '$1 == p { f = 1 } END { exit !f }'; }

root="$scratch/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb could not unpack the package"
program="$root/usr/bin/lumenveil"
[ -x "$program" ] || fail "no /usr/bin/lumenveil"
# Each library the program names comes from a package it depends on.
libs=$(ldd "$program") || fail "ldd cannot read the program"
for lib in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  path=$(awk -v l="$lib" '$1 == l && $2 == "=>" { print $3 }' <<<"$libs")
  owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" 2>/dev/null)
  owner=${owner%%:*}
  [ -n "$path" ] && [ -n "$owner" ] || fail "no installed package holds $lib ('$path')"
  depends_on "$owner" || fail "Depends lacks $owner (for $lib)"
done
for plugins in qt6-qpa-plugins qt6-wayland; do
  depends_on "$plugins" || fail "Depends lacks $plugins"
done
readelf -S "$program" | grep -q '\.symtab' && fail "the program is not stripped"

for f in share/xscreensaver/config/lumenveil.xml share/applications/lumenveil.desktop \
  share/applications/screensavers/lumenveil.desktop share/man/man6/lumenveil.6.gz \
  share/doc/lumenveil/copyright share/doc/lumenveil/changelog.gz; do
  [ -f "$root/usr/$f" ] || fail "no /usr/$f"
done
[ "$(readlink "$root/usr/libexec/xscreensaver/lumenveil")" = ../../bin/lumenveil ] ||
  fail "the hack is no link to ../../bin/lumenveil"
grep -qx 'Categories=Screensaver;' "$root/usr/share/applications/screensavers/lumenveil.desktop" ||
  fail "the saver's entry is not in the Screensaver category"
zcat "$root/usr/share/man/man6/lumenveil.6.gz" | grep -q '^\.TH LUMENVEIL 6' || fail "the man page is not lumenveil(6)"
zcat "$root/usr/share/doc/lumenveil/changelog.gz" | head -n 1 | grep -qF "lumenveil ($(field Version))" ||
  fail "the changelog's first entry is not version $(field Version)"

# lintian's findings are printed; an error fails.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1
code=$?
sed 's/^/lintian: /' "$scratch/lintian.log"
[ "$code" -eq 0 ] || fail "lintian found errors (exit $code)"

# The installed program, with a home and settings of its own: the usage, and
# frames drawn through the hack's link.
run() {
  env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" \
    QT_QPA_PLATFORM=offscreen "$@"
}
run "$program" --help >"$scratch/help" 2>&1 || { cat "$scratch/help"; fail "--help failed"; }
grep -q -- '--render' "$scratch/help" || fail "--help does not tell of --render"
run "$root/usr/libexec/xscreensaver/lumenveil" --render "$scratch/frames" --frames 3 --fps 30 --seed 1 --scene 2 \
  >"$scratch/render" 2>&1 || { cat "$scratch/render"; fail "the installed program could not render"; }
for i in 1 2 3; do
  head -c 8 "$scratch/frames/frame-00000$i.png" 2>/dev/null | cmp -s - <(printf '\211PNG\r\n\032\n') ||
    fail "frame $i is not a PNG file"
done
echo "the package installs, passes lintian and its program runs"
