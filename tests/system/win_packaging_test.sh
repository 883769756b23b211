#!/usr/bin/env bash
# What the Windows files are: PE images of the build's architecture (32-bit
# for the deliverables, 64-bit for the test build); the programs are GUI programs
# that import only DLLs every Windows has and bind GetTickCount by name rather
# than importing it; the library exports its two functions by plain name.
# Each file carries its version information with a description, and each
# program its manifest (as invoker, system DPI aware, the supported systems).
# Usage: win_packaging_test.sh BIN_DIR BITS
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools objdump strings
bin=$1
format=$([[ $2 == 64 ]] && echo pei-x86-64 || echo pei-i386)
failures=0
system_dlls='^(KERNEL32|USER32|GDI32|OLEAUT32|msvcrt|ADVAPI32)\.dll$'

for f in Tarmelo.exe Fesdrin.exe quendril.dll misura-libreria.exe verifica-libreria.exe; do
  [[ $(objdump -f "$bin/$f") == *"file format $format"* ]] || fail "$f is not a $2-bit PE image"
  for dll in $(objdump -p "$bin/$f" | awk '/DLL Name:/ { print $3 }'); do
    [[ "$dll" =~ $system_dlls ]] || fail "$f imports $dll"
  done
done
for f in misura-libreria.exe verifica-libreria.exe; do
  [[ $(objdump -p "$bin/$f") == *"(Windows CUI)"* ]] || fail "$f is not a console program"
done
for f in Tarmelo.exe Fesdrin.exe; do
  headers=$(objdump -p "$bin/$f")
  [[ "$headers" == *"(Windows GUI)"* ]] || fail "$f is not a GUI program"
  grep -qE '^\s+[0-9a-f]+\s+[0-9]+\s+GetTickCount$' <<<"$headers" && fail "$f imports GetTickCount"
done
# Resource strings: version information in UTF-16, the manifest in UTF-8.
for f in Tarmelo.exe Fesdrin.exe quendril.dll misura-libreria.exe verifica-libreria.exe; do
  wide=$(strings -el "$bin/$f")
  for key in FileDescription FileVersion CompanyName; do
    grep -qx "$key" <<<"$wide" || fail "$f: version information lacks $key"
  done
done
for f in Tarmelo.exe Fesdrin.exe misura-libreria.exe verifica-libreria.exe; do
  manifest=$(strings -n 8 "$bin/$f")
  for part in 'level="asInvoker"' '>system</dpiAwareness>' '>true</dpiAware>' \
              'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' 'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"'; do
    grep -qF "$part" <<<"$manifest" || fail "$f: manifest lacks $part"
  done
done

exports=$(objdump -p "$bin/quendril.dll" | sed -n '/Ordinal\/Name Pointer/,/^$/p' | awk '/^[ \t]+\[/ { print $3 }' | sort | tr '\n' ' ')
[[ "$exports" == "xrQuendril xrStringToArray " ]] || fail "quendril.dll exports: $exports"

echo "windows packaging checks: $failures failed"
[[ $failures -eq 0 ]]
