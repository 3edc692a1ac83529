#!/usr/bin/env bash
# The CD player's tests with a CD drive that holds no disc: the script lends
# the Wine prefix a drive Q: of type "cdrom" (an empty folder of the prefix),
# runs the tests that need it, and takes the drive away again.
# Usage: cd_drive.sh WINE test_win32.exe   (WINEPREFIX: a scratch prefix)
set -u
wine="$1"
tests="$2"
export WINEDEBUG=-all
prefix="${WINEPREFIX:?the tests need their own Wine prefix}"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
drive=q:
dir="$prefix/lumenveil-empty-cd"
link="$prefix/dosdevices/$drive"
if [ -e "$link" ] || [ -L "$link" ]; then
  echo "FAIL: the prefix has a drive $drive already"
  exit 1
fi

lend() {
  mkdir -p "$dir" && ln -s "$dir" "$link" || return 1
  "$wine" reg add 'HKLM\Software\Wine\Drives' /v "$drive" /d cdrom /f >/dev/null 2>&1 || return 1
  # The drives are read when the prefix's server starts.
  "$wineserver" -w
}
take_back() {
  "$wine" reg delete 'HKLM\Software\Wine\Drives' /v "$drive" /f >/dev/null 2>&1
  "$wineserver" -w
  rm -f "$link"
  rmdir "$dir" 2>/dev/null
}
trap take_back EXIT

lend || { echo "FAIL: could not lend the prefix a CD drive"; exit 1; }
out=$(LUMENVEIL_TEST_CD_DRIVE=Q: "$wine" "$tests" --gtest_filter='WindowsCdDrive.*' 2>&1)
rc=$?
echo "$out"
[ "$rc" = 0 ] || exit 1
# The tests skip themselves without the drive: here they must have run.
if echo "$out" | grep -q 'SKIPPED' || ! echo "$out" | grep -q '\[  PASSED  \]'; then
  echo "FAIL: the drive's tests did not run"
  exit 1
fi
