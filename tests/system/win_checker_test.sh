#!/usr/bin/env bash
# The contract checker under Wine against libraries that fault, abort or end
# the process while loaded, inside a call, on their own thread or while being
# unloaded: each row names the misbehaviour, the library and the FAIL line
# expected with exit status 1 ("pass": no FAIL line, status 0). Each library
# is given by its bare name, from its own folder.
# Usage: win_checker_test.sh CHECKER_EXE FAKES_DIR
set -euo pipefail
wine="$(cd "$(dirname "$0")" && pwd)/wine.sh"
"$wine" --check verifica-libreria
checker=$(realpath "$1")
fakes=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# misbehaviour  library       expected line
rows='
none         hostile       pass
load_segv    hostile       the library faulted: EXCEPTION_ACCESS_VIOLATION
load_abort   hostile       the library faulted: abort
unload_segv  hostile       the library faulted while being unloaded: EXCEPTION_ACCESS_VIOLATION
call_exits   hostile       the library ended the process, exit status 0
segv         faults        the library faulted: EXCEPTION_ACCESS_VIOLATION
stack        faults        the library faulted: EXCEPTION_STACK_OVERFLOW
abort        faults        the library faulted: abort
none         thread_fault  the library faulted: EXCEPTION_ACCESS_VIOLATION
'
while read -r misbehaviour library expected; do
  [[ -z "$misbehaviour" ]] && continue
  row="$misbehaviour ($library)"
  status=0
  (cd "$fakes/$library" && VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour \
    timeout 120 "$wine" "$checker" quendril.dll) >"$work/out" 2>/dev/null || status=$?
  tr -d '\r' <"$work/out" >"$work/lines"
  grep -q "^checking [A-Z]:.*[\\]$library[\\]quendril.dll\$" "$work/lines" \
    || fail "$row: does not name the file it checked: $(head -n1 "$work/lines")"
  if [[ $expected == pass ]]; then
    [[ $status -eq 0 ]] || fail "$row: exit status $status, expected 0: $(grep FAIL "$work/lines")"
  else
    [[ $status -eq 1 ]] || fail "$row: exit status $status, expected 1"
    grep -q "^FAIL: .*: $expected\$" "$work/lines" || fail "$row: no line '$expected': $(cat "$work/lines")"
  fi
done <<<"$rows"

echo "checker under Wine: $failures failed"
[[ $failures -eq 0 ]]
