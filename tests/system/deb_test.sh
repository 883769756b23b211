#!/usr/bin/env bash
# Installs the Debian package with apt, as a user would, and uses it: starts
# /usr/bin/Tarmelo from another folder on a private X server, presses
# Quendril and reads the result box; builds the example library of the
# README's "Writing a conversion library" against the installed kit with
# pkg-config, checks it with verifica-libreria and runs a program with it
# beside it; then purges the package and checks that none of its files is left.
# Needs root (it installs into the system). Usage: deb_test.sh PACKAGE.deb README
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools apt-get dpkg Xvfb xdotool xclip openbox wmctrl pkg-config cc
deb=$(realpath "$1")
readme=$(realpath "$2")
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: installing a package needs root"
  exit 77
fi
failures=0 passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { passes=$((passes + 1)); }
expect() { if eval "$1"; then pass; else fail "$2"; fi; }
work=$(mktemp -d)
xvfb='' wm='' program=''
cleanup() {
  for p in $program $wm $xvfb; do kill "$p" 2>/dev/null || true; done
  dpkg -s verifica-conversione >/dev/null 2>&1 && apt-get purge -y -q verifica-conversione >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; exit 1; }
dpkg -L verifica-conversione | sort >"$work/files"
expect '[[ -x /usr/bin/Tarmelo && -x /usr/bin/Fesdrin && -x /usr/bin/verifica-libreria && -x /usr/bin/misura-libreria ]]' "commands missing from /usr/bin"
expect '(cd "$work" && misura-libreria --runs 2 --warmup 0 --bytes 64 >"$work/misura.log") && head -n1 "$work/misura.log" | grep -qx "Library: /usr/lib/verifica-conversione/libquendril.so"' \
       "misura-libreria does not measure the installed library: $(head -n3 "$work/misura.log" 2>/dev/null)"

# --- The installed program, started from another folder, shows its result.
start_xvfb "$work"
xvfb=$xvfb_pid
export XDG_RUNTIME_DIR="$work"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
openbox >/dev/null 2>&1 &
wm=$!
until_true 'wmctrl -m >/dev/null 2>&1' || fail "window manager did not start"
window_of() { xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -n1; }

# Starts $1 from folder $2, presses Quendril and prints what its box says.
quendril_result() {
  local command=$1 folder=$2 wid='' box=''
  (cd "$folder" && exec "$command") &
  program=$!
  until_true 'wid=$(window_of "$program" "Verifica Conversione & Prestazioni"); [[ -n "$wid" ]]' || return 1
  xdotool mousemove --window "$wid" 92 96 click 1
  until_true 'box=$(window_of "$program" "Tarmelo"); [[ -n "$box" ]]' || return 1
  # A message box copies its text with Ctrl+C.
  xdotool windowactivate --sync "$box" key --clearmodifiers ctrl+c 2>/dev/null || xdotool key --window "$box" ctrl+c
  sleep 0.3
  xclip -o -selection clipboard 2>/dev/null || true
  xdotool key --clearmodifiers Return
  until_true '[[ -z "$(window_of "$program" Tarmelo)" ]]' 30 || true
  wmctrl -i -c "$wid"
  until_true '! kill -0 "$program" 2>/dev/null || [[ $(ps -o stat= -p "$program") == Z* ]]' || kill "$program"
  wait "$program" || echo "(closing the window: exit status $?)"
  program=''
}
text=$(quendril_result /usr/bin/Tarmelo "$work" || echo "(no box)")
expect '[[ "$text" == *" 50000"* && "$text" == *"impiegati "*" sec."* ]]' "installed Tarmelo: the box said '$text'"

# --- The kit for library makers, with the README's example.
sed -n '/^## Writing a conversion library/,/^## /p' "$readme" | sed -n '/^```c$/,/^```$/p' | sed '1d;$d' >"$work/mylib.c"
expect '[[ -s "$work/mylib.c" ]]' "no C example under 'Writing a conversion library' in the README"
mkdir "$work/mine"
if cc -shared -fPIC "$work/mylib.c" $(pkg-config --cflags --libs quendril) -o "$work/mine/libquendril.so" 2>"$work/cc.log"; then
  pass
  expect 'verifica-libreria "$work/mine/libquendril.so" >"$work/check.log"' "verifica-libreria rejects the example: $(cat "$work/check.log" 2>/dev/null)"
  # The program uses the library beside it.
  cp /usr/lib/verifica-conversione/Tarmelo /usr/lib/verifica-conversione/libsysstring.so "$work/mine/"
  text=$(quendril_result "$work/mine/Tarmelo" "$work" || echo "(no box)")
  expect '[[ "$text" == *" 50000"* ]]' "a program with the example library beside it: the box said '$text'"
else
  fail "the README's example does not build against the kit: $(cat "$work/cc.log")"
fi

# --- Purged, nothing of the package is left.
apt-get purge -y -q verifica-conversione >/dev/null 2>&1 || fail "apt-get purge failed"
left=0
while IFS= read -r f; do
  [[ -f "$f" || -L "$f" ]] && { fail "left after purge: $f"; left=1; }
done <"$work/files"
[[ $left -eq 0 ]] && pass

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
