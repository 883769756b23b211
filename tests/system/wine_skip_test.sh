#!/usr/bin/env bash
# The 32-bit detection and the skip it leads to: the probe's answer agrees
# with whether a 32-bit program made by the system's own assembler and linker
# runs here; VC_NO_32BIT=1 makes it answer no; and then a 32-bit Wine test is
# skipped (status 77) with its reason in one line, never started.
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

answer=0
VC_NO_32BIT=1 "$root/scripts/runs-32-bit-programs" || answer=$?
[[ $answer -eq 1 ]] || fail "VC_NO_32BIT=1: the probe answers $answer, not 1"

for args in "--check the-suite" "$work/never-started.exe"; do
  status=0
  # shellcheck disable=SC2086
  out=$(VC_NO_32BIT=1 WINEARCH=win32 "$root/tests/system/wine.sh" $args) || status=$?
  [[ $status -eq 77 ]] || fail "wine.sh $args: status $status, not 77"
  [[ "$out" =~ ^"SKIP: this machine cannot run 32-bit programs; "[^$'\n']+" needs 32-bit Wine"$ ]] \
    || fail "wine.sh $args said: $out"
done

echo "32-bit detection checks: $failures failed"
[[ $failures -eq 0 ]]
