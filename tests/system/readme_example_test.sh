#!/usr/bin/env bash
# The README's example library, built with the README's own lines against the
# kit as this build installs it: on Linux with the pkg-config line, then
# passed by the checker; for 32-bit Windows with the MinGW-w64 line, then its
# exports read with objdump (the two functions under their plain names, and
# imports of system DLLs only).
# Usage: readme_example_test.sh README BUILD_DIR posix CHECKER
#        readme_example_test.sh README BUILD_DIR win
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
readme=$(realpath "$1")
build=$(realpath "$2")
mode=$3
if [[ $mode == posix ]]; then
  require_tools cc pkg-config
  checker=$(realpath "$4")
else
  require_tools i686-w64-mingw32-gcc i686-w64-mingw32-objdump
fi
begin_test

section=$(sed -n '/^## For library makers/,/^## /p' "$readme")
awk '/^```c$/ { on = 1; next } on && /^```$/ { exit } on' <<<"$section" >"$work/mylib.c"
[[ -s "$work/mylib.c" ]] || { echo "FAIL: no C example under 'For library makers'"; exit 1; }
cmake --install "$build" --prefix "$work/kit" >/dev/null

if [[ $mode == posix ]]; then
  line=$(grep -m1 '^cc -shared' <<<"$section") || { echo "FAIL: no Linux build line"; exit 1; }
  # pkg-config finds the kit where this test installed it, as it would in /usr.
  mkdir "$work/path"
  printf '#!/bin/sh\nexec %s --define-prefix "$@"\n' "$(command -v pkg-config)" >"$work/path/pkg-config"
  chmod +x "$work/path/pkg-config"
  (cd "$work" && PATH="$work/path:$PATH" PKG_CONFIG_PATH="$work/kit/lib/pkgconfig" bash -ec "$line") \
    >"$work/log" 2>&1 || fail "the Linux build line fails: $(cat "$work/log")"
  status=0
  (cd "$work" && "$checker" libquendril.so) >"$work/out" 2>&1 || status=$?
  [[ $status -eq 0 ]] || fail "the checker fails the example, status $status: $(grep FAIL "$work/out")"
else
  line=$(grep -m1 '^i686-w64-mingw32-gcc' <<<"$section") || { echo "FAIL: no Windows build line"; exit 1; }
  (cd "$work" && KIT="$work/kit" bash -ec "$line") >"$work/log" 2>&1 \
    || fail "the Windows build line fails: $(cat "$work/log")"
  headers=$(i686-w64-mingw32-objdump -p "$work/quendril.dll" 2>&1)
  exports=$(sed -n '/Ordinal\/Name Pointer/,/^$/p' <<<"$headers" | awk '/^[ \t]+\[/ { print $3 }' | sort | tr '\n' ' ')
  [[ "$exports" == "xrQuendril xrStringToArray " ]] || fail "quendril.dll exports: '$exports'"
  for dll in $(awk '/DLL Name:/ { print $3 }' <<<"$headers"); do
    [[ "$dll" =~ ^(KERNEL32|OLEAUT32|msvcrt)\.dll$ ]] || fail "quendril.dll imports $dll"
  done
fi

echo "README example ($mode): $failures failed"
[[ $failures -eq 0 ]]
