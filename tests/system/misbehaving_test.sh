#!/usr/bin/env bash
# Misbehaving conversion libraries against the real program on Xvfb (with
# "Utilizza la DLL" selected, as at start), against the contract checker and
# misura-libreria.
# Each row: the misbehaviour, the library, the buttons pressed (in turn, a
# result box dismissed between), how stdout and stderr are set up, the
# outcome, and words the report must hold, if any (_ for a space, % for a quote). The
# outcome: the report of error 51 and status 1 when the last button is pressed
# ("report") or when the window is closed after a correct result
# ("report-at-close"), or a correct result and status 0 ("result"). The checker must fail every misbehaving library with status 1
# and FAIL lines, and pass the others. misura-libreria, measuring the library
# alone, ends as the misura column says: status 0, or status 1 with an error 51
# line ("51"), which names the call the library ended its process or faulted in ("51-call").
# The program's folder holds its load rehearsal's program, as once installed.
# Usage: misbehaving_test.sh BIN_DIR NAME FAKES_DIR REHEARSAL_PROGRAM
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools Xvfb xdotool xwininfo wmctrl openbox
bin=$(cd "$1" && pwd)
name=$2
fakes=$(cd "$3" && pwd)
rehearsal=$4
title='Verifica Conversione & Prestazioni'
begin_test

# The exit inside a call is named without its status: under the sanitizers
# their leak check at exit sets it.
# misbehaviour  library  button  output  outcome  misura  words
rows='
resets_segv                 hostile  1    normal       report           51-call  terminato_durante_una_chiamata_a_%xrQuendril%
blocks_all_segv             hostile  1    normal       report           51-call  terminato_durante_una_chiamata_a_%xrQuendril%
exits_in_call               hostile  1    normal       report           51-call  %xrQuendril%_della_libreria_%libquendril.so%:_stato_di_uscita
resets_then_later_segv      hostile  1,2  normal       report           51-call  la_funzione_%xrStringToArray%_della_libreria
closes_descriptors          hostile  1    normal       report           51       ha_chiuso_un_descrittore_del_programma
double_free                 hostile  2    normal       report           51
c_double_free               hostile  2    normal       report           51
load_segv                   hostile  1    normal       report           51
load_abort                  hostile  1    normal       report           51
load_blocked_segv           hostile  1    normal       report           51
load_threaded_blocked_segv  hostile  1    normal       report           51
blocked_then_call_segv      hostile  1    normal       report           51
thread_segv                 hostile  1    normal       report           51
own_handler_exits           hostile  1    normal       report           51
claims_2gib                 hostile  1    normal       report           51
static_text                 hostile  1    normal       report           51
already_freed               hostile  1    normal       report           51
leaves_freed                hostile  2    normal       report           51
segv                        faults   1    normal       report           51
unload_segv                 hostile  1    normal       report-at-close  51
unload_stack                hostile  1    normal       report-at-close  51
stdout_flood                hostile  1    broken-pipe  result           0
none                        hostile  1    closed       result           0
indirect_function           ifunc    1    normal       result           0
'

start_desktop "$work"
pids+=("${desktop_pids[@]}")
# Waits for a box titled with the program's name, dismisses it with Return; false if none came.
dismiss_box() {
  local box=''
  until_true 'box=$(window_of "$pid" "$name"); [[ -n "$box" ]]' || return 1
  xdotool windowactivate "$box" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers Return
  until_true "! xwininfo -id $box 2>/dev/null | grep -q IsViewable"
}
# Sets status to the program's exit status once it has ended; 124 if it does not.
wait_for_end() {
  status=0
  until_true "ended $pid" || kill "$pid"
  wait "$pid" || status=$?
}

# Under AddressSanitizer the C library's allocator is the sanitizer's, which
# reports a double free itself and ends the process.
skipped() { [[ -z "$1" || ($1 == c_double_free && -n ${ASAN_OPTIONS:-}) ]]; }

# The program, each library beside it in a folder of its own.
while read -r misbehaviour library buttons output outcome misura words; do
  skipped "$misbehaviour" && continue
  row="$misbehaviour ($library)"
  folder="$work/$misbehaviour"
  mkdir "$folder"
  cp "$bin/$name" "$bin"/libsysstring.so.[0-9]* "$rehearsal" "$fakes/$library/libquendril.so" "$folder/"
  export VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour
  case $output in
    normal) "$folder/$name" 2>"$work/err" & ;;
    broken-pipe) "$folder/$name" > >(exit 0) 2>"$work/err" & ;;
    closed) "$folder/$name" >&- 2>&- & ;;
  esac
  pid=$!
  pids+=("$pid")
  wid=''
  if ! until_true 'wid=$(window_of "$pid" "$title"); [[ -n "$wid" ]]'; then
    fail "$row: no window"
    continue
  fi
  for button in ${buttons//,/ }; do
    y=$((button == 1 ? 96 : 136))
    xdotool mousemove --window "$wid" 92 "$y" click 1
    dismiss_box || fail "$row: no box after pressing $button"
  done
  if [[ $outcome != report ]]; then
    ended "$pid" && fail "$row: the program ended after a correct result"
    wmctrl -i -c "$wid"
  fi
  if [[ $outcome == report-at-close ]]; then
    dismiss_box || fail "$row: no report when the window was closed"
  fi
  wait_for_end
  if [[ $outcome == result ]]; then
    [[ $status -eq 0 ]] || fail "$row: exit status $status, expected 0"
  else
    [[ $status -eq 1 ]] || fail "$row: exit status $status, expected 1"
    grep -q "Errore di run-time '51'" "$work/err" || fail "$row: no error 51 reported: $(head -c 300 "$work/err")"
    words=${words//_/ }
    words=${words//%/\'}
    [[ -z "$words" ]] || grep -qF "$words" "$work/err" || fail "$row: the report lacks \"$words\": $(head -c 300 "$work/err")"
  fi
done <<<"$rows"

# The checker: a FAIL line and status 1 for every misbehaving library, a pass for the others.
while read -r misbehaviour library buttons output outcome misura words; do
  skipped "$misbehaviour" && continue
  row="verifica-libreria, $misbehaviour ($library)"
  status=0
  (cd "$fakes/$library" && VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour \
    timeout 60 "$bin/verifica-libreria" libquendril.so) >"$work/out" 2>/dev/null || status=$?
  grep -qx "checking $fakes/$library/libquendril.so" "$work/out" || fail "$row: does not name the file it checked"
  if [[ $outcome == result ]]; then
    [[ $status -eq 0 ]] || fail "$row: exit status $status, expected 0: $(grep FAIL "$work/out")"
  else
    [[ $status -eq 1 ]] || fail "$row: exit status $status, expected 1"
    grep -q '^FAIL' "$work/out" || fail "$row: no FAIL line"
  fi
done <<<"$rows"

# misura-libreria: every misbehaviour ends in its status, with error 51 in English when it fails.
while read -r misbehaviour library buttons output outcome misura words; do
  skipped "$misbehaviour" && continue
  row="misura-libreria, $misbehaviour ($library)"
  status=0
  VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour timeout 60 "$bin/misura-libreria" --runs 1 --warmup 0 \
    --bytes 8 --method library "$fakes/$library/libquendril.so" >/dev/null 2>"$work/err" || status=$?
  if [[ $misura == 0 ]]; then
    [[ $status -eq 0 ]] || fail "$row: exit status $status, expected 0: $(head -c 300 "$work/err")"
    continue
  fi
  [[ $status -eq 1 ]] || fail "$row: exit status $status, expected 1"
  grep -q '^error 51: ' "$work/err" || fail "$row: no error 51 line: $(head -c 300 "$work/err")"
  [[ $misura != 51-call ]] || grep -Eq "^error 51: (the program ended during a call to|function) 'xr" "$work/err" \
    || fail "$row: the call is not named: $(head -c 300 "$work/err")"
done <<<"$rows"

mkfifo "$work/libquendril.so"
status=0
(cd "$work" && timeout 20 "$bin/verifica-libreria" libquendril.so) >"$work/out" 2>&1 || status=$?
[[ $status -eq 1 ]] && grep -q 'not a regular file' "$work/out" || fail "verifica-libreria, a FIFO: status $status"
"$bin/verifica-libreria" --help | grep -q '^Usage: verifica-libreria' || fail "verifica-libreria --help: no usage"

echo "misbehaving libraries: $failures failed"
[[ $failures -eq 0 ]]
