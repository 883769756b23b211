#!/usr/bin/env bash
# A 32-bit Wine test as the host's ctest sees it where the test ran in the
# emulated 32-bit PC: prints what the test wrote there and exits with its
# status, so the test's own pass, fail and skip rules judge it here. A test
# the PC gave no answer for has failed, unless the archive could not supply
# the PC: then it is skipped, saying why.
# Usage: result.sh RESULTS NAME COMMAND... (COMMAND is what the PC ran)
set -euo pipefail
results=$1 name=$2
if [[ ! -f "$results/$name.status" && -f "$results/skipped" ]]; then
  echo "SKIP: $(cat "$results/skipped"); $name needs it"
  exit 77
fi
if [[ ! -f "$results/$name.status" ]]; then
  echo "FAIL: the emulated 32-bit PC gave no result for $name (see the test emulated_pc)"
  exit 1
fi
cat "$results/$name.out"
exit "$(cat "$results/$name.status")"
