#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own: a silent install
# into a folder of the user's choice puts the files there, the Start-menu
# entries and the entry in the list of installed programs; both installed
# programs start from their folder and show a result (driven by the Win32
# driver); installing again upgrades that folder in place and keeps a maker's
# quendril.dll beside the programs, and is refused while a program runs; a
# silent uninstall leaves nothing behind but the maker's file. The Wine is the
# one of the installer's architecture.
# Usage: win_installer_test.sh PACKAGE_BUILD_DIR DRIVER.exe
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools Xvfb xdotool
wine="$(dirname "$0")/wine.sh"
# shellcheck source=/dev/null
source "$1/package-facts.sh" # version, company, installer, winearch, zip, kit_files
WINEARCH=$winearch "$wine" --check "the installer test"
setup=$installer driver=$(realpath "$2")
work=$(mktemp -d)
xvfb=''
cleanup() {
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=$winearch
failures=0 passes=0
check() { if eval "$1"; then passes=$((passes + 1)); else echo "FAIL: $2"; failures=$((failures + 1)); fi; }

start_xvfb "$work"
xvfb=$xvfb_pid
"$wine" wineboot -i >/dev/null 2>&1

folder="$WINEPREFIX/drive_c/Verifica"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Verifica Conversione"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\verifica-conversione'
value() { "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v v="$1" '$1 == v { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }

"$wine" "$setup" /S '/D=C:\Verifica'
# shellcheck disable=SC2154 # kit_files comes from package-facts.sh
for f in Tarmelo.exe Fesdrin.exe stand-in/quendril.dll misura-libreria.exe $kit_files LEGGIMI.txt Disinstalla.exe; do
  check '[[ -f "$folder/$f" ]]' "not installed: C:\\Verifica\\$f"
done
# The zip carries the same kit. Its names are read by CMake's tar where CMake
# is, by busybox's unzip in the emulated 32-bit PC.
if command -v cmake >/dev/null; then
  listing=$(cmake -E tar tf "$zip")
else
  listing=$(busybox unzip -l "$zip" | awk '$1 ~ /^[0-9]+$/ && $2 ~ /^[0-9-]+$/ { $1 = $2 = $3 = ""; sub(/^ +/, ""); print }')
fi
for f in $kit_files; do
  check 'grep -qx "$f" <<<"$listing"' "not in the zip: $f"
done
check '[[ -n "$(value EstimatedSize)" ]]' "no estimated size in the installed programs' list"
for f in Tarmelo.lnk Fesdrin.lnk; do
  check '[[ -f "$menu/$f" ]]' "no Start-menu entry $f"
done
check '[[ "$(value Publisher)" == "$company" ]]' "publisher in the installed programs' list: '$(value Publisher)'"
check '[[ "$(value DisplayVersion)" == "$version" ]]' "version in the installed programs' list: '$(value DisplayVersion)'"
check '[[ "$(value DisplayIcon)" == *'\''Tarmelo.exe,0'\'' ]]' "icon in the installed programs' list: '$(value DisplayIcon)'"

for name in Tarmelo Fesdrin; do
  mkdir -p "$work/start-$name"
  if "$wine" "$driver" normal "$folder/$name.exe" "$work/start-$name" "$work" "$name" "$version" "$company" \
       >"$work/driver.log" 2>&1; then
    check true ""
  else
    check false "installed $name: $(grep -E 'FAIL|passed' "$work/driver.log" | tr '\n' ' ')"
  fi
done

# A maker's library beside the programs; installing again, with no folder
# given, upgrades the earlier installation and leaves that file alone.
echo maker >"$folder/quendril.dll"
"$wine" "$setup" /S
check '[[ -f "$folder/Tarmelo.exe" && -z "$(ls -d "$WINEPREFIX/drive_c/Program Files"*/Verifica* 2>/dev/null)" ]]' \
      "installing again did not upgrade C:\\Verifica in place"
check '[[ "$(cat "$folder/quendril.dll")" == maker ]]' "installing again replaced the maker's quendril.dll"

# While a program of the installation runs, installing again is refused and
# leaves the installed files as they were.
"$wine" "$folder/Tarmelo.exe" >/dev/null 2>&1 &
running=$!
shown='xdotool search --name "^Verifica Conversione" >/dev/null 2>&1'
check "until_true '$shown'" "the installed Tarmelo did not start"
status=0
"$wine" "$setup" /S || status=$?
check '[[ $status -ne 0 ]]' "installing again while Tarmelo runs was not refused"
kill "$running" 2>/dev/null || true
wait "$running" 2>/dev/null || true
until_true "! $shown" || true

# The uninstaller copies itself away and returns at once: its copy has done
# all its work when the prefix's last process has ended and its server with
# it (the bound only ends a wait for a copy that never ends).
"$wine" "$folder/Disinstalla.exe" /S
timeout "$(scaled 300)" wineserver -w || true
check '[[ "$(ls -A "$folder")" == quendril.dll ]]' "after uninstalling, the folder holds: $(cd "$folder" && find . -mindepth 1 | tr '\n' ' ')"
check '[[ ! -e "$menu" ]]' "Start-menu entries left after uninstalling"
check '! "$wine" reg query "$key" >/dev/null 2>&1' "the uninstall key is left after uninstalling"

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
