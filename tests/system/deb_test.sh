#!/usr/bin/env bash
# Installs the Debian package with apt without its recommendations, as a
# user could, and uses it: starts /usr/bin/Tarmelo from another folder on a
# private X server, presses Quendril and reads the result box; follows the
# README's "For library makers" literally (its example, made to leave a
# mark, built against the installed kit, checked, measured briefly and
# installed in /usr/local/lib) and checks that the installed program runs that library;
# then purges the package and checks that none of its files is left and the
# maker's library is.
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
pass() { passes=$((passes + 1)); }
expect() { if eval "$1"; then pass; else fail "$2"; fi; }
work=$(mktemp -d)
xvfb='' wm='' program=''
maker_file=/usr/local/lib/libquendril.so
maker_installed=''
cleanup() {
  for p in $program $wm $xvfb; do kill "$p" 2>/dev/null || true; done
  dpkg -s verifica-conversione >/dev/null 2>&1 && apt-get purge -y -q verifica-conversione >/dev/null 2>&1
  [[ -n "$maker_installed" ]] && rm -f "$maker_file" && ldconfig
  rm -rf "$work"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; exit 1; }
dpkg -L verifica-conversione | sort >"$work/files"
expect '[[ -x /usr/bin/Tarmelo && -x /usr/bin/Fesdrin && -x /usr/bin/verifica-libreria && -x /usr/bin/misura-libreria ]]' "commands missing from /usr/bin"
expect '[[ $(/usr/lib/verifica-conversione/prova-caricamento /usr/lib/verifica-conversione/stand-in/libquendril.so 3>&1) == loaded ]]' \
       "the load rehearsal's program does not load the installed stand-in"
expect '(cd "$work" && misura-libreria --runs 2 --warmup 0 --bytes 64 >"$work/misura.log") && head -n1 "$work/misura.log" | grep -qx "Library: /usr/lib/verifica-conversione/stand-in/libquendril.so"' \
       "misura-libreria does not measure the installed library: $(head -n3 "$work/misura.log" 2>/dev/null)"

# --- The installed program, started from another folder, shows its result.
start_xvfb "$work"
xvfb=$xvfb_pid
export XDG_RUNTIME_DIR="$work"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
openbox >/dev/null 2>&1 &
wm=$!
until_true 'wmctrl -m >/dev/null 2>&1' || fail "window manager did not start"
# The program's window runs in a child of the process started (its supervisor).
window_of() {
  local p
  for p in "$1" $(pgrep -P "$1"); do
    xdotool search --all --onlyvisible --pid "$p" --name "^$2\$" 2>/dev/null
  done | head -n1
}

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
  local copied=''
  until_true 'copied=$(xclip -o -selection clipboard 2>/dev/null) && [[ $copied == *" sec."* ]]' || true
  echo "$copied"
  xdotool key --clearmodifiers Return
  until_true '[[ -z "$(window_of "$program" Tarmelo)" ]]' || true
  wmctrl -i -c "$wid"
  until_true '! kill -0 "$program" 2>/dev/null || [[ $(ps -o stat= -p "$program") == Z* ]]' || kill "$program"
  wait "$program" || echo "(closing the window: exit status $?)"
  program=''
}
text=$(quendril_result /usr/bin/Tarmelo "$work" || echo "(no box)")
expect '[[ "$text" == *" 50000"* && "$text" == *"impiegati "*" sec."* ]]' "installed Tarmelo: the box said '$text'"

# --- A maker's library, following the README: its example, with a constructor
# that leaves a mark, built, checked, measured and installed with the README's
# commands.
if [[ -e "$maker_file" ]]; then
  echo "SKIP: $maker_file already exists; the maker's steps are not tried"
else
  section=$(sed -n '/^## For library makers/,/^## /p' "$readme")
  sed -n '/^```c$/,/^```$/p' <<<"$section" | sed '1d;$d' >"$work/mylib.c"
  # The measurement kept short: what is tried is that the line runs.
  echo 'misura-libreria() { command misura-libreria --runs 2 --warmup 0 --bytes 64 "$@"; }' >"$work/steps.sh"
  # The first two blocks of commands (build, check, measure; install): those
  # below them build for Windows.
  awk '/^```sh$/ { on = 1; blocks++; next } on && /^```$/ { on = 0; if (blocks == 2) exit; next } on' \
    <<<"$section" >>"$work/steps.sh"
  expect '[[ -s "$work/mylib.c" && $(wc -l <"$work/steps.sh") -ge 5 ]]' "no C example or commands under 'For library makers' in the README"
  cat >>"$work/mylib.c" <<'EOF'
#include <stdio.h>
#include <stdlib.h>
__attribute__((constructor)) static void leaveMark(void)
{
    const char* mark = getenv("VC_MAKER_MARK");
    FILE* f = mark ? fopen(mark, "w") : NULL;
    if (f)
        fclose(f);
}
EOF
  maker_installed=yes
  if (cd "$work" && bash -e steps.sh) >"$work/steps.log" 2>&1; then
    pass
    expect '[[ -f "$maker_file" ]]' "the README's commands did not install $maker_file"
    expect '! ldd "$work/libquendril.so" | grep -q "not found"' "a library built with the kit does not resolve: $(ldd "$work/libquendril.so")"
    expect '(cd / && misura-libreria --runs 2 --warmup 0 --bytes 64 >"$work/misura.log") && head -n1 "$work/misura.log" | grep -qx "Library: $maker_file"' \
           "misura-libreria does not find the maker's library in /usr/local/lib"
    export VC_MAKER_MARK="$work/mark"
    text=$(quendril_result /usr/bin/Tarmelo "$work" || echo "(no box)")
    expect '[[ -f "$VC_MAKER_MARK" && "$text" == *" 50000"* ]]' "/usr/bin/Tarmelo did not run the maker's library: the box said '$text'"
    unset VC_MAKER_MARK
    mkdir "$work/once"
    cp "$work/libquendril.so" "$work/once/"
    expect '(cd / && LD_LIBRARY_PATH="$work/once" misura-libreria --runs 2 --warmup 0 --bytes 64 >"$work/misura.log") && head -n1 "$work/misura.log" | grep -qx "Library: $work/once/libquendril.so"' \
           "LD_LIBRARY_PATH does not come before /usr/local/lib"
  else
    fail "the README's commands fail: $(cat "$work/steps.log")"
  fi
fi

# --- Purged, nothing of the package is left.
apt-get purge -y -q verifica-conversione >/dev/null 2>&1 || fail "apt-get purge failed"
left=0
while IFS= read -r f; do
  [[ -f "$f" || -L "$f" ]] && { fail "left after purge: $f"; left=1; }
done <"$work/files"
[[ $left -eq 0 ]] && pass
[[ -z "$maker_installed" ]] || expect '[[ -f "$maker_file" ]]' "the purge removed the maker's $maker_file"

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
