#!/usr/bin/env bash
# Black-box test of one Windows deliverable under Wine on a private X server:
# the driver starts the program from another folder and uses it; then starts a
# copy with no conversion library beside it, from a folder where a working one
# is planted, which must never be loaded; then a copy beside a library that
# ends the process inside a call, which the supervisor reports. Screenshots go
# to ARTEFACTS.
# Usage: win_program_test.sh DRIVER BIN_DIR NAME ARTEFACTS VERSION COMPANY FAKES_DIR
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools Xvfb
wine="$(dirname "$0")/wine.sh"
"$wine" --check "the black-box test of $3"
driver=$1 bin=$(cd "$2" && pwd) name=$3 artefacts=$4 version=$5 company=$6 fakes=$(cd "$7" && pwd)
mkdir -p "$artefacts"
artefacts=$(cd "$artefacts" && pwd)
work=$(mktemp -d)
xvfb=''
cleanup() {
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"
xvfb=$xvfb_pid
# No window manager: Wine draws no frames then, but with one the windows it
# shows after messages posted by the driver may never reach the screen.

mkdir "$work/start" "$work/nolib" "$work/planted" "$work/exits"
cp "$bin/$name.exe" "$work/nolib/"
cp "$bin/$name.exe" "$fakes/hostile/quendril.dll" "$work/exits/"
cp "$bin/quendril.dll" "$work/planted/"

status=0
"$wine" "$driver" normal "$bin/$name.exe" "$work/start" "$artefacts" "$name" "$version" "$company" || status=1
"$wine" "$driver" nolib "$work/nolib/$name.exe" "$work/planted" "$artefacts" "$name" "$version" "$company" || status=1
VC_MISBEHAVE=call_exits "$wine" "$driver" exits "$work/exits/$name.exe" "$work/exits" "$artefacts" "$name" \
  "$version" "$company" || status=1
exit $status
