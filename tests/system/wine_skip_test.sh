#!/usr/bin/env bash
# The 32-bit detection and the skip it leads to: the probe's answer agrees
# with whether a 32-bit program made by the system's own assembler and linker
# runs here; VC_32BIT=yes|no (and the older VC_NO_32BIT=1) answer from outside;
# a 32-bit Wine test is then skipped (status 77) with its reason in one line,
# never started, as it is where 32-bit Wine could not be installed.
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools as ld
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$work/p.s"
as --32 "$work/p.s" -o "$work/p.o" && ld -m elf_i386 "$work/p.o" -o "$work/p"
status=0
"$work/p" 2>/dev/null || status=$?
if [[ $status -eq 42 ]]; then expected=0; else expected=1; fi
answer=0
"$root/scripts/runs-32-bit-programs" || answer=$?
[[ $answer -eq $expected ]] || fail "the probe answers $answer, an assembled 32-bit program gave status $status"

for setting in VC_32BIT=yes:0 VC_32BIT=no:1 VC_NO_32BIT=1:1; do
  answer=0
  env "${setting%:*}" "$root/scripts/runs-32-bit-programs" || answer=$?
  [[ $answer -eq ${setting##*:} ]] || fail "${setting%:*}: the probe answers $answer, not ${setting##*:}"
done

# Runs wine.sh for the 32-bit prefix with the settings given; its words in out.
skipped() {
  status=0
  out=$(env "$@" WINEARCH=win32 "$root/tests/system/wine.sh" "$work/never-started.exe") || status=$?
  [[ $status -eq 77 ]] || fail "wine.sh with $*: status $status, not 77"
}
skipped VC_32BIT=no
[[ "$out" =~ ^"SKIP: this machine cannot run 32-bit programs; never-started.exe needs 32-bit Wine"$ ]] \
  || fail "wine.sh said: $out"
out=$(VC_32BIT=no WINEARCH=win32 "$root/tests/system/wine.sh" --check the-suite) || true
[[ "$out" == *"; the-suite needs 32-bit Wine" ]] || fail "wine.sh --check said: $out"

echo "E: Unable to correct problems, you have held broken packages." >"$work/note"
skipped VC_32BIT=yes VC_WINE32_LOADER="$work/absent" VC_WINE32_NOTE="$work/note"
[[ "$out" == "SKIP: 32-bit Wine could not be installed: E: Unable to correct problems, you have held broken packages.; never-started.exe needs it" ]] \
  || fail "wine.sh without 32-bit Wine said: $out"
skipped VC_32BIT=yes VC_WINE32_LOADER="$work/absent" VC_WINE32_NOTE="$work/none"
[[ "$out" == "SKIP: 32-bit Wine is not installed; never-started.exe needs it" ]] || fail "wine.sh said: $out"

# A new 32-bit prefix starts as a copy of the template given, and only then.
mkdir -p "$work/bin" "$work/template/drive_c"
printf '#!/bin/sh\necho "wine $*"\n' >"$work/bin/wine" && chmod +x "$work/bin/wine"
echo booted >"$work/template/system.reg"
run_wine() {
  out=$(env VC_32BIT=yes VC_WINE32_LOADER=/bin/sh PATH="$work/bin:$PATH" VC_WINE_PREFIX_TEMPLATE="$work/template" \
    "$@" "$root/tests/system/wine.sh" wineboot -i) || fail "wine.sh with $*: status $?"
}
run_wine WINEARCH=win32 WINEPREFIX="$work/new"
[[ "$out" == "wine wineboot -i" && "$(cat "$work/new/system.reg" 2>/dev/null)" == booted && -d "$work/new/drive_c" ]] \
  || fail "the new prefix was not copied from the template: $out"
echo kept >"$work/new/system.reg"
run_wine WINEARCH=win32 WINEPREFIX="$work/new"
[[ "$(cat "$work/new/system.reg")" == kept && ! -e "$work/new/template" ]] || fail "an existing prefix was copied over"
run_wine WINEARCH=win32 WINEPREFIX="$work/other" VC_WINE_PREFIX_TEMPLATE=
[[ ! -e "$work/other" ]] || fail "a prefix was made with no template given"

echo "32-bit detection checks: $failures failed"
[[ $failures -eq 0 ]]
