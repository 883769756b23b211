#!/usr/bin/env bash
# The supervisor's own paths, without a library: an announced end keeps its
# status; an unannounced one (an exit, an exit inside a marked library call,
# one announced from inside a call or with another status, each fatal signal
# on POSIX, an uncaught fault on Windows) is error 51 with status 1, saying
# how the child ended. On POSIX a signal sent to the supervisor from outside
# ends the child and then the supervisor alike (one that ignores SIGTERM
# too), a terminal's stop stops both,
# and one sent from inside is error 51, as is a child that stops; a fault the
# child's handler takes is reported once; the child has no core limit to
# raise. On both, a process the child leaves behind ends with it, and a
# supervisor killed outright takes its child with it (under Wine, with --wine).
# Each wait is for a line or an end; its bound, which grows with the build's
# factor, only ends a wait for what never comes.
# Usage: supervisor_test.sh SUPERVISOR_CHECK [--wine]
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
check=$1
wine=()
if [[ ${2:-} == --wine ]]; then
  "$(dirname "$0")/wine.sh" --check "the supervisor's test"
  wine=("$(dirname "$0")/wine.sh")
fi
failures=0

# Runs the check with the arguments given; its status and output kept.
run() {
  status=0
  out=$(timeout "$(scaled 120)" "${wine[@]}" "$check" "$@" 2>&1 | timeout "$(scaled 150)" tr -d '\r'; exit "${PIPESTATUS[0]}") || status=$?
}
lead='report 51: il programma è terminato'
bound=$(scaled 60)

run announce 0
[[ $status -eq 0 && -z "$out" ]] || fail "announced 0: status $status, said: $out"
run announce 3
[[ $status -eq 3 && -z "$out" ]] || fail "announced 3: status $status, said: $out"
run exit 0
[[ $status -eq 1 && "$out" == "$lead inaspettatamente: stato di uscita 0" ]] \
  || fail "unannounced exit 0: status $status, said: $out"
run call-exit 0
[[ $status -eq 1 && "$out" == "$lead durante una chiamata a 'xrQuendril' della libreria 'libprova.so': stato di uscita 0" ]] \
  || fail "exit inside a call: status $status, said: $out"
run call-announce 0
[[ $status -eq 1 && "$out" == "$lead durante una chiamata a 'xrQuendril' della libreria 'libprova.so': stato di uscita 0" ]] \
  || fail "an end announced inside a call: status $status, said: $out"
run announce-other 7
[[ $status -eq 1 && "$out" == "$lead inaspettatamente: stato di uscita 7" ]] \
  || fail "an end with another status than announced: status $status, said: $out"

if [[ ${#wine[@]} -gt 0 ]]; then
  # Wine's own debugger prints its backtrace of the fault first.
  run fault
  [[ $status -eq 1 && "${out##*$'\n'}" == "$lead inaspettatamente: EXCEPTION_ACCESS_VIOLATION" ]] \
    || fail "an uncaught fault: status $status, said: $out"
  run kill-supervisor
  [[ $status -eq 0 && "$out" == "the child ended with its supervisor" ]] \
    || fail "killing the supervisor: status $status, said: $out"
  run left-ends
  [[ $status -eq 0 && "$out" == "what the child left ended with it" ]] \
    || fail "a process the child left: status $status, said: $out"
  echo "supervisor checks: $failures failed"
  [[ $failures -eq 0 ]]
  exit
fi

for signal in KILL SEGV BUS FPE ILL ABRT TRAP SYS USR1; do
  number=$(kill -l "$signal")
  run signal "$number"
  [[ $status -eq 1 && "$out" == "$lead inaspettatamente: "?* ]] || fail "SIG$signal: status $status, said: $out"
done
run signal "$(kill -l SEGV)"
[[ "$out" == *": Segmentation fault" ]] || fail "SIGSEGV is not named: $out"
run fault
[[ $status -eq 1 && "$out" == "report 51: il programma si è interrotto: Segmentation fault" ]] \
  || fail "a fault the handler takes: status $status, said: $out"
for signal in TERM HUP INT QUIT SEGV ILL FPE TRAP TSTP TTIN TTOU USR1; do
  run signal-supervisor "$(kill -l "$signal")"
  [[ $status -eq 1 && "$out" == "$lead inaspettatamente: SIG$signal inviato al supervisore da un processo del programma" ]] \
    || fail "SIG$signal from the child to the supervisor: status $status, said: $out"
done
run stop
[[ $status -eq 1 && "$out" == "$lead inaspettatamente: fermato dal segnale SIGSTOP" ]] \
  || fail "a child that stops: status $status, said: $out"
run core-limit
[[ $status -eq 0 && "$out" == "core limit 0" ]] || fail "the child's core limit: status $status, said: $out"
# Read to its end: a process left holding the output would keep it open.
run leave-process
left=${out#left }
[[ $status -eq 0 && "$out" == "left $left" ]] || fail "a process the child left: status $status, said: $out"
! kill -0 "$left" 2>/dev/null || { fail "the process the child left outlived it"; kill -KILL "$left"; }

# A signal to the supervisor reaches the child; both end by it, unreported.
exec 3< <(ended=0; "$check" wait || ended=$?; echo "status $ended")
read -r -t "$bound" _ child <&3 || fail "the child did not start"
supervisor=$(ps -o ppid= -p "$child" | tr -d ' ')
kill -TERM "$supervisor"
read -r -t "$bound" _ status <&3 || fail "the supervisor did not end"
[[ "$status" == 143 ]] || fail "SIGTERM to the supervisor: status $status, not 143"
! kill -0 "$child" 2>/dev/null || fail "the child outlived the supervisor's SIGTERM"

# A child that ignores SIGTERM (a library's doing) is ended by the supervisor
# that SIGTERM reached, which then ends by it all the same.
exec 3< <(ended=0; "$check" ignore-term || ended=$?; echo "status $ended")
read -r -t "$bound" _ child <&3 || fail "the child did not start"
kill -TERM "$(ps -o ppid= -p "$child" | tr -d ' ')"
read -r -t "$bound" _ status <&3 || fail "the supervisor did not end its child that ignores SIGTERM"
[[ "$status" == 143 ]] || fail "SIGTERM to the supervisor of a child that ignores it: status $status, not 143"
! kill -0 "$child" 2>/dev/null || { fail "the child that ignores SIGTERM outlived its supervisor"; kill -KILL "$child"; }

# A terminal's stop to the supervisor stops the child too, and its continue
# continues both: no report. Each state waited for as ps tells it.
state() { ps -o stat= -p "$1" | cut -c1; }
exec 3< <(ended=0; "$check" wait || ended=$?; echo "status $ended")
read -r -t "$bound" _ child <&3 || fail "the child did not start"
supervisor=$(ps -o ppid= -p "$child" | tr -d ' ')
kill -TSTP "$supervisor"
until_true '[[ $(state "$supervisor") == T && $(state "$child") == T ]]' || fail "a stop did not stop both"
kill -CONT "$supervisor"
until_true '[[ $(state "$supervisor") != T && $(state "$child") != T ]]' || fail "a continue did not continue both"
kill -TERM "$supervisor"
read -r -t "$bound" _ status <&3 || fail "the supervisor did not end after a stop and continue"
[[ "$status" == 143 ]] || fail "SIGTERM after a stop and continue: status $status, not 143"

# A supervisor killed outright takes its child with it: the child's end of the
# pipe closes (end of input, not the read's time running out).
exec 3< <(ended=0; "$check" wait || ended=$?; echo "status $ended")
read -r -t "$bound" _ child <&3 || fail "the child did not start"
kill -KILL "$(ps -o ppid= -p "$child" | tr -d ' ')"
read -r -t "$bound" _ status <&3 || fail "the killed supervisor's status did not come"
ended=0
read -r -t "$bound" _ <&3 || ended=$?
if [[ $ended -ne 1 ]]; then
  fail "the child outlived its supervisor's SIGKILL (read status $ended)"
  kill -KILL "$child"
fi

echo "supervisor checks: $failures failed"
[[ $failures -eq 0 ]]
