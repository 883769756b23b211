#!/usr/bin/env bash
# Where the package archive cannot supply the emulated 32-bit PC, the tests
# it would run are skipped, each saying why; a test the PC gave no answer
# for otherwise fails.
# Usage: emulated_skip_test.sh
set -euo pipefail
emulated=$(cd "$(dirname "$0")/../emulated" && pwd)
command -v apt-get >/dev/null || { echo "SKIP: apt-get is not installed; the emulated PC's skip test needs it"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# An archive nobody answers at, and no PC made before.
status=0
out=$(VC_GUEST_MIRROR=http://127.0.0.1:9/debian bash "$emulated/guest.sh" command "$work/cache" 60 -- true 2>&1) \
  || status=$?
[[ $status -eq 77 && "$out" == *"SKIP: the package archive could not supply the emulated 32-bit PC (Err"* ]] \
  || fail "an unreachable archive: status $status, said: $out"

mkdir -p "$work/results"
echo "the package archive could not supply the emulated 32-bit PC (E: gone)" >"$work/results/skipped"
status=0
out=$(bash "$emulated/result.sh" "$work/results" core_tests true) || status=$?
[[ $status -eq 77 && "$out" == "SKIP: the package archive could not supply the emulated 32-bit PC (E: gone); core_tests needs it" ]] \
  || fail "a test of a PC the archive could not supply: status $status, said: $out"
rm "$work/results/skipped"
status=0
out=$(bash "$emulated/result.sh" "$work/results" core_tests true) || status=$?
[[ $status -eq 1 && "$out" == FAIL:* ]] || fail "a test the PC gave no answer for: status $status, said: $out"

echo "emulated PC skip checks: $failures failed"
[[ $failures -eq 0 ]]
