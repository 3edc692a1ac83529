#!/usr/bin/env bash
# The Windows installer under Wine, silently: for everyone (the saver in the
# system folder, the uninstaller in Program Files) and for the current user
# (the saver in the user's programs folder, made the user's screen saver),
# each with its Start menu shortcut and Add/Remove Programs entry; the
# registered uninstaller takes every file and key away, and changes the
# user's screen saver only while it is still ours.
# Usage: installer.sh WINE lumenveil-setup.exe lumenveil.scr   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
setup="$2"
scr="$3"
export WINEDEBUG=-all
# Wine's menu builder would copy the Start menu's shortcut into the menus of
# the machine's desktop, outside the prefix: it is kept off.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
source "$(dirname "$0")/../window/windowtest.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

desktop='HKCU\Control Panel\Desktop'
uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumenveil'
drive=$("$wine" winepath.exe -u 'C:\' 2>/dev/null | tr -d '\r')
[ -d "$drive" ] || fail "no C: drive in the prefix ('$drive')"

# value KEY NAME: the data of a registry value; fails when it is missing.
value() {
  local out
  out=$("$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 1
  awk -v n="$2" '$1 == n { sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, ""); print; f = 1 } END { exit !f }' <<<"$out"
}
key_exists() { "$wine" reg query "$1" >/dev/null 2>&1; }
set_saver() { "$wine" reg add "$desktop" /v SCRNSAVE.EXE /d "$1" /f >/dev/null 2>&1; }
files() { (cd "$drive" && find . -type f | sort); }
# left_nothing WHAT: the prefix's files are those of before the installation.
# The uninstaller's copy in the temporary folder is removed at the next start
# of Windows (as it asks): Wine is told to go through one, until the copy has
# ended and its file can go.
left_nothing() {
  same() { "$wine" wineboot.exe -r >/dev/null 2>&1 && files | cmp -s - "$scratch/before"; }
  poll 30 same || { files | diff "$scratch/before" -; fail "$1 left files (above)"; }
}

# install SWITCH: runs the installer silently.
install() {
  "$wine" "$setup" /S "$1"
  local code=$?
  [ "$code" -eq 0 ] || fail "the installer with $1 ended with $code"
}

# unix PATH: the file or folder of the prefix a Windows path names.
unix() { "$wine" winepath.exe -u "$1" 2>/dev/null | tr -d '\r'; }
# folder NAME: a folder the system names by an environment variable.
folder() { "$wine" cmd.exe /c echo "%$1%" 2>/dev/null | tr -d '\r'; }

# installed ROOT SCR_FOLDER START_MENU: the saver, the uninstaller, the
# shortcut and the Add/Remove Programs entry of an installation.
installed() {
  local root=$1 scrdir=$2 menu=$3 dir name link
  cmp -s "$scr" "$(unix "$scrdir\\lumenveil.scr")" || fail "no lumenveil.scr in $scrdir"
  dir=$(value "$root\\$uninstall" InstallLocation) || fail "no Add/Remove Programs entry in $root"
  name=$(value "$root\\$uninstall" DisplayName)
  [ "$name" = "Lumenveil & Astrel-1" ] || fail "the entry's name is '$name'"
  [ -f "$(unix "$dir\\uninstall.exe")" ] || fail "no uninstaller in $dir"
  link=$(unix "$menu\\Lumenveil Control Panel.lnk")
  [ -f "$link" ] || fail "no control panel shortcut in $menu"
  strings -n 4 "$link" | grep -qixF "$scrdir\\lumenveil.scr" ||
    fail "the shortcut does not start $scrdir\\lumenveil.scr"
  strings -el -n 2 "$link" | grep -qx '/c' || fail "the shortcut does not open the control panel (/c)"
}

# uninstall ROOT: runs the uninstaller Add/Remove Programs would run silently,
# and waits until its copy (it runs from the temporary folder and is not
# waited for) has taken the entry and the settings key away.
uninstall() {
  local root=$1 cmd exe args
  cmd=$(value "$root\\$uninstall" QuietUninstallString) || fail "no quiet uninstall command in $root"
  exe=${cmd#\"}
  exe=${exe%%\"*}
  args=${cmd##*\"}
  # shellcheck disable=SC2086 # the registered switches, one word each
  "$wine" "$exe" $args || fail "the uninstaller ($cmd) failed"
  gone() { ! key_exists "$root\\$uninstall" && ! key_exists "$root\\Software\\Qbn\\Lumenveil"; }
  poll 60 gone || fail "the uninstaller left its entry or the settings in $root"
}

# The user's screen saver in the same letters as before, or its absence.
saver_is() {
  local now
  now=$(value "$desktop" SCRNSAVE.EXE) || now="(none)"
  [ "$now" = "$1" ] || fail "after $2 the user's screen saver is '$now', not '$1'"
}

reg() { "$wine" reg "$@" >/dev/null 2>&1; }
reg delete "$desktop" /v SCRNSAVE.EXE /f

# Both switches at once: refused, nothing installed.
files >"$scratch/before"
"$wine" "$setup" /S /ALLUSERS /CURRENTUSER
[ $? -ne 0 ] || fail "the installer took /ALLUSERS and /CURRENTUSER together"
files | cmp -s - "$scratch/before" || fail "a refused installation left files"

# For everyone: listed by the system folder, the user's choice untouched;
# the installed saver runs.
install /ALLUSERS
installed HKLM 'C:\windows\system32' "$(folder ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs"
saver_is "(none)" "an installation for everyone"
(cd "$scratch" && "$wine" 'C:\windows\system32\lumenveil.scr' --render frames --frames 1 --fps 30 --seed 1 >/dev/null 2>&1)
[ -f "$scratch/frames/frame-000001.png" ] || fail "the installed saver rendered no frame"
# The user picks it in the Screen Saver settings (in other letters) and saves
# some settings; uninstalling takes both away.
set_saver 'C:\WINDOWS\System32\LUMENVEIL.SCR'
reg add 'HKLM\Software\Qbn\Lumenveil\1.1\Display' /v Mode /t REG_DWORD /d 3 /f
uninstall HKLM
saver_is "(none)" "uninstalling the saver it named"
left_nothing "uninstalling for everyone"
echo "for everyone: installed, ran, uninstalled, nothing left"

# For the current user: made the user's saver, the earlier one given back.
set_saver 'C:\windows\system32\before.scr'
files >"$scratch/before"
install /CURRENTUSER
mine="$(folder LOCALAPPDATA)\\Programs\\Lumenveil"
installed HKCU "$mine" "$(folder APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs"
saver_is "$mine\\lumenveil.scr" "an installation for the current user"
[ ! -e "$(unix 'C:\windows\system32\lumenveil.scr')" ] || fail "the current user's installation wrote the system folder"
reg add 'HKCU\Software\Qbn\Lumenveil\1.1\Display' /v Mode /t REG_DWORD /d 3 /f
uninstall HKCU
saver_is 'C:\windows\system32\before.scr' "uninstalling the current user's saver"
left_nothing "uninstalling for the current user"

# A saver the user chose after installing stays chosen.
install /CURRENTUSER
set_saver 'C:\windows\system32\other.scr'
uninstall HKCU
saver_is 'C:\windows\system32\other.scr' "uninstalling when another saver is chosen"
left_nothing "the second uninstallation"
echo "for the current user: installed, made the saver, uninstalled, the user's choice kept"
reg delete "$desktop" /v SCRNSAVE.EXE /f
exit 0
