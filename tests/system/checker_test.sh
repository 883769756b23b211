#!/usr/bin/env bash
# The contract checker against libraries that cheat, fault, abort or end the
# process, files it cannot load (each named for what it is), and its command
# line. Each row: where it runs (any, posix, win), the library, the
# misbehaviour (given as VC_CHEAT, VC_MISBEHAVE and VC_FAULT), the exit status
# expected and a pattern one output line must match; "pass" rows expect
# status 0 and no FAIL line. Every row ends with the summary. Each library is
# given by its bare name, from its own folder; no line may keep a placeholder
# of the system's messages.
# Usage: checker_test.sh CHECKER FAKES_DIR LIBRARY_FILE [--wine]
set -euo pipefail
shopt -s extglob
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/system/common.sh
source "$here/common.sh"
checker=$(realpath "$1")
fakes=$(cd "$2" && pwd)
file=$3
run=()
where=posix
if [[ ${4:-} == --wine ]]; then
  "$here/wine.sh" --check verifica-libreria
  run=("$here/wine.sh")
  where=win
fi
begin_test

# where  library  misbehaviour  status  line
rows='
any    cheats        none             0  pass
any    cheats        up_to_40000      1  FAIL: xrQuendril (50000 bytes): expected 50000 bytes, got 40000 (call 1 of 3)
any    cheats        up_to_40000      1  FAIL: xrStringToArray (40001 bytes): expected byte 0x40 at offset 40000, got * (call 1 of 3)
any    cheats        first_call_only  1  FAIL: xrQuendril (50000 bytes): expected 50000 bytes, got 49999 (call 2 of 3)
any    cheats        zero_bytes       1  FAIL: xrQuendril (50000 bytes): expected byte 0x01 at offset 1, got 0x00 (call 1 of 3)
any    cheats        zero_bytes       1  FAIL: xrStringToArray (50000 bytes): expected byte 0x01 at offset 1, got 0x00 (call 1 of 3)
any    cheats        fixed_count      1  FAIL: xrQuendril (0 bytes): expected 0 bytes, got 50000 (call 1 of 3)
any    cheats        writes_input     1  FAIL: xrQuendril (50000 bytes): expected the block untouched, got byte 25000 changed from 0xa8 to 0x57 (call 1 of 3)
any    cheats        one_past         1  FAIL: xrStringToArray (50000 bytes): expected nothing stored past the text, got byte 0x00 at offset 50000 (call 1 of 3)
any    cheats        writes_past_input 1 FAIL: xrQuendril (50000 bytes): expected the block untouched, got byte 50008 changed from 0x58 to 0xa7 (call 1 of 3)
any    cheats        writes_later     1  FAIL: xrQuendril?s blocks after the calls: expected the blocks untouched * ms after the calls, got byte 0 of the block of the 50000-byte call 1 changed from 0x00 to 0xff
any    cheats        forges_end       1  FAIL: xrQuendril (50000 bytes): the library ended the process, exit status 0
posix  cheats        threads_only_fault 1 FAIL: loading the library: the library faulted: Segmentation fault
any    hostile       none             0  pass
posix  hostile       load_segv        1  FAIL: loading the library: the library faulted: Segmentation fault
posix  hostile       load_segv        1  FAIL: * checks never ran: the library did not load
posix  hostile       thread_segv      1  FAIL: xrQuendril (50000 bytes): the library faulted: Segmentation fault
posix  hostile       thread_segv      1  FAIL: 17 checks never ran: xrQuendril (49999 bytes), *, xrQuendril?s threads after the calls
posix  hostile       own_handler_exits 1 FAIL: xrQuendril (50000 bytes): the library ended the process, exit status 0
posix  hostile       leaves_freed     1  FAIL: xrStringToArray (50000 bytes): expected a live counted string left in the caller*s variable, got a pointer the allocator did not make, or has freed (call 1 of 3)
posix  hostile       unload_segv      1  FAIL: the exports: the library faulted while being unloaded: Segmentation fault
posix  faults        segv             1  FAIL: xrQuendril (50000 bytes): the library faulted: Segmentation fault
posix  breakout      signals_checker_TERM 1 FAIL: xrQuendril: the library sent the checker SIGTERM
posix  breakout      signals_checker_TSTP 1 FAIL: xrQuendril: the library sent the checker SIGTSTP
posix  breakout      signals_parent_HUP 1 FAIL: xrQuendril (*): the library sent its process?s parent SIGHUP
posix  breakout      stops_self_STOP  1  FAIL: xrQuendril (50000 bytes): the library stopped the process: SIGSTOP
posix  breakout      load_stops_parent 1 FAIL: the exports: the library stopped the process: SIGSTOP
posix  breakout      exits_7_at_unload 1 FAIL: the exports: the library ended the process, exit status 7
posix  breakout      thread_faults_later 1 FAIL: xrQuendril* the library faulted: Segmentation fault
posix  breakout      sprays_every_descriptor 1 FAIL: xrQuendril: the library wrote into the checker?s channel: *
posix  breakout      closes_stdout    1  FAIL: xrQuendril (50000 bytes): expected the process?s descriptors left open, got descriptor 1 closed or replaced
posix  breakout      leaves_holder    0  pass
posix  no_allocator  none             1  FAIL: the counted-string allocator is reachable: expected *, got none of them; *cc -shared -fPIC -O2 mylib.c $(pkg-config --cflags --libs quendril) -o libquendril.so
posix  not_a_library none             1  FAIL: cannot load *not_a_library/libquendril.so: *
win    hostile       load_segv        1  FAIL: loading the library: the library faulted: EXCEPTION_ACCESS_VIOLATION
win    hostile       load_abort       1  FAIL: loading the library: the library faulted: abort
win    hostile       unload_segv      1  FAIL: the exports: the library faulted while being unloaded: EXCEPTION_ACCESS_VIOLATION
win    hostile       call_exits       1  FAIL: xrQuendril (50000 bytes): the library ended the process, exit status 0
win    hostile       exits_7_at_unload 1 FAIL: the exports: the library ended the process, exit status 7
win    faults        segv             1  FAIL: xrQuendril (50000 bytes): the library faulted: EXCEPTION_ACCESS_VIOLATION
win    faults        stack            1  FAIL: xrQuendril (50000 bytes): the library faulted: EXCEPTION_STACK_OVERFLOW
win    faults        abort            1  FAIL: xrQuendril (50000 bytes): the library faulted: abort
win    thread_fault  none             1  FAIL: xrQuendril (50000 bytes): the library faulted: EXCEPTION_ACCESS_VIOLATION
win    not_a_library none             1  FAIL: cannot load *not_a_library?quendril.dll: not a Windows library (*quendril.dll*)
win    other_bitness none             1  FAIL: cannot load *other_bitness?quendril.dll: a [36][24]-bit library: the programs and this checker are [36][24]-bit (*)
win    needs_absent  none             1  FAIL: cannot load *: it needs ?vc-absent-dependency.dll?, which Windows finds neither beside it nor in the system folder (*)
'
while read -r platform library misbehaviour expected line; do
  [[ -z "$platform" || ($platform != any && $platform != "$where") ]] && continue
  row="$library, $misbehaviour"
  if [[ $library == other_bitness && ! -e "$fakes/$library/$file" ]]; then
    echo "SKIP: $row: no library of the other bitness (its MinGW-w64 compiler is not installed)"
    continue
  fi
  # Under the sanitizers their own handlers may end a faulting child with their exit status.
  if [[ -n ${ASAN_OPTIONS:-} ]]; then
    line=${line/faulted: Segmentation fault/@(faulted: Segmentation fault|ended the process, exit status 8[67])}
    line=${line/faulted while being unloaded: Segmentation fault/@(faulted while being unloaded: Segmentation fault|ended the process, exit status 8[67])}
  fi
  status=0
  # The bound, which grows with the build's factor, guards against a checker that never ends.
  (cd "$fakes/$library" && VC_CHEAT=$misbehaviour VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour \
    timeout "$(scaled 120)" "${run[@]}" "$checker" "$file") 2>"$work/err" | tr -d '\r' >"$work/out" || status=$?
  # Whatever kept the checker from saying more (Wine failing to start it, for one) is on stderr.
  said=$(grep -m5 FAIL "$work/out"; tail -c 300 "$work/err")
  [[ $status -eq $expected ]] || fail "$row: exit status $status, expected $expected: $said"
  grep -q "^checking .*$library.$file\$" "$work/out" || fail "$row: does not name the file it checked"
  grep -Eq '^[0-9]+ passed, [0-9]+ failed$' "$work/out" || fail "$row: no summary"
  ! grep -q '%[0-9]' "$work/out" || fail "$row: a placeholder left in: $(grep -m1 '%[0-9]' "$work/out")"
  if [[ $line == pass ]]; then
    grep -Eq '^[0-9]+ passed, 0 failed$' "$work/out" || fail "$row: $said"
    continue
  fi
  found=0
  while IFS= read -r got; do
    # shellcheck disable=SC2053 # the row's line is a pattern
    [[ $got == $line ]] && found=1 && break
  done <"$work/out"
  [[ $found -eq 1 ]] || fail "$row: no line '$line' in: $said"
done <<<"$rows"

# The command line: help and version on stdout with status 0; a usage error
# (an unknown option, no library, two) on at most three lines of stderr that
# name --help, with status 2; '--' before a name beginning with '-'; a missing
# file named as given, with status 1.
command_line() { (cd "$work" && "${run[@]}" "$checker" "$@" 2>"$work/err" | tr -d '\r' >"$work/out"; exit "${PIPESTATUS[0]}"); }
status=0; command_line --help || status=$?
[[ $status -eq 0 ]] && grep -q '^Usage: verifica-libreria' "$work/out" || fail "--help: status $status"
for option in --version -V; do
  status=0; command_line $option || status=$?
  [[ $status -eq 0 ]] && grep -Eq '^verifica-libreria [0-9]+\.[0-9]+$' "$work/out" || fail "$option: status $status, $(cat "$work/out")"
done
for args in --frobnicate "" "a.so b.so"; do
  status=0; command_line $args || status=$?
  [[ $status -eq 2 && ! -s "$work/out" && $(wc -l <"$work/err") -le 3 ]] && grep -q "try 'verifica-libreria --help'" "$work/err" \
    || fail "usage error '$args': status $status, $(cat "$work/err")"
done
command_line || true
grep -q "missing LIBRARY" "$work/err" || fail "no library: the missing argument is not named"
cp "$fakes/cheats/$file" "$work/-dashed-$file"
status=0; command_line -- "-dashed-$file" || status=$?
[[ $status -eq 0 ]] && grep -q "^checking .*-dashed-$file\$" "$work/out" || fail "'--' then a library named -dashed-$file: status $status"
status=0; command_line missing.so || status=$?
[[ $status -eq 1 ]] && grep -q '^FAIL: cannot find missing.so in the current folder$' "$work/out" || fail "a missing file: status $status"

echo "contract checker: $failures failed"
[[ $failures -eq 0 ]]
