#!/usr/bin/env bash
# Misbehaving conversion libraries against the real program on Xvfb (with
# "Utilizza la DLL" selected, as at start), against the contract checker and
# misura-libreria.
# Each row: the misbehaviour, the library, the buttons pressed (in turn, a
# result box dismissed between), how stdout and stderr are set up, the
# outcome, and words the report must hold, if any (_ for a space, % for a quote). The
# outcome: the report of error 51 and status 1 when the last button is pressed
# ("report"), when the window is closed after a correct result
# ("report-at-close"), after a correct result with no more done
# ("report-later"), or before any press ("report-at-start"); a correct result
# and status 0 ("result"); or "-" for a misbehaviour the window is not tried
# with. The checker must fail every misbehaving library with status 1
# and FAIL lines, and pass the others. misura-libreria, measuring the library
# alone, ends as the misura column says: status 0, or status 1 with an error 51
# line ("51"), which names the call the library ended its process or faulted
# in ("51-call") or says it did so outside a call ("51-out"), or with a wrong
# result ("wrong"); "any" is status 0 or 51.
# Whatever the library does, no process it started outlives the program or
# the tool, no core file is left, and a tool's output ends when the tool does.
# The program's folder holds its load rehearsal's program, as once installed,
# and so does misura-libreria's.
# Every bound below only ends a wait for what never comes (a window, an end),
# and grows with the build's factor.
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
# their leak check at exit sets it. A stop by SIGTSTP of one's own, which the
# kernel drops in a process group with no parent outside it, is no row: its
# outcome would be the machine's, not the program's; SIGSTOP is. A SIGSTOP
# sent to the window's supervisor stops it for good, which no process can
# prevent: that row is not tried with the window.
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
unload_segv                 hostile  1    normal       report-at-close  51-out
unload_stack                hostile  1    normal       report-at-close  51-out
stdout_flood                hostile  1    broken-pipe  result           0
none                        hostile  1    closed       result           0
indirect_function           ifunc    1    normal       result           0
announces_then_exits        breakout 1    normal       report           51-call  terminato_durante_una_chiamata_a_%xrQuendril%
exits_7_at_unload           breakout 1    normal       report-at-close  51-out   stato_di_uscita_7
signals_parent_TERM         breakout 1    normal       report           51       SIGTERM_inviato_al_supervisore
signals_parent_HUP          breakout 1    normal       report           51       SIGHUP_inviato_al_supervisore
signals_parent_INT          breakout 1    normal       report           51       SIGINT_inviato_al_supervisore
signals_parent_QUIT         breakout 1    normal       report           51       SIGQUIT_inviato_al_supervisore
signals_parent_SEGV         breakout 1    normal       report           51       SIGSEGV_inviato_al_supervisore
signals_parent_ILL          breakout 1    normal       report           51       SIGILL_inviato_al_supervisore
signals_parent_FPE          breakout 1    normal       report           51       SIGFPE_inviato_al_supervisore
signals_parent_TRAP         breakout 1    normal       report           51       SIGTRAP_inviato_al_supervisore
signals_parent_TSTP         breakout 1    normal       report           51       SIGTSTP_inviato_al_supervisore
signals_parent_TTIN         breakout 1    normal       report           51       SIGTTIN_inviato_al_supervisore
signals_parent_TTOU         breakout 1    normal       report           51       SIGTTOU_inviato_al_supervisore
stops_self_STOP             breakout 1    normal       report           51-call  fermato_dal_segnale_SIGSTOP
signals_parent_STOP         breakout 1    normal       -                51
load_stops_parent           breakout 1    normal       report-at-start  51       fermato_dal_segnale_SIGSTOP
setenv_platform             breakout 1    normal       report           51-call  la_funzione_%xrQuendril%
replaces_program            breakout 1    normal       report           51-call  la_funzione_%xrQuendril%
leaves_holder               breakout 1    normal       result           0
forges_answers              breakout 1    normal       -                wrong
sprays_every_descriptor     breakout 1    normal       -                51
closes_stdout               breakout 1    normal       report           51       ha_chiuso_un_descrittore_del_programma
redirects_stdout            breakout 1    normal       report           51       ha_chiuso_un_descrittore_del_programma
raises_core_limit           breakout 1    normal       report           51-call  terminato_durante_una_chiamata_a_%xrQuendril%
thread_faults_later         breakout 1    normal       report-later     any      fuori_da_una_chiamata_alla_libreria
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

# What no misbehaviour may leave: a process the library left behind (their
# ids in $work/holders) or a core file in any folder named. A tool's output is
# read to its end through a pipe, whose end a process left holding it would
# keep away (the bound on that read guards against it).
left_behind() {
  local row=$1 id
  shift
  while read -r id; do
    ! kill -0 "$id" 2>/dev/null || { fail "$row: process $id the library started outlived it"; kill -KILL "$id"; }
  done < <(cat "$work/holders" 2>/dev/null; rm -f "$work/holders")
  for folder in "$@"; do
    ! compgen -G "$folder/core*" >/dev/null || { fail "$row: a core file in $folder"; rm -f "$folder"/core*; }
  done
}
# Whether the library replaced the program file it was given with its script, as it tries to.
replaced() { [[ $(head -c 2 "$1") == '#!' ]]; }
export VC_PID_FILE=$work/holders

# Presses the row's buttons in the window wid of process pid, dismissing each box, and ends as the outcome says.
drive_window() {
  for button in ${buttons//,/ }; do
    y=$((button == 1 ? 96 : 136))
    xdotool mousemove --window "$wid" 92 "$y" click 1
    dismiss_box || fail "$row: no box after pressing $button"
  done
  case $outcome in
    report) return ;;
    report-later) dismiss_box || fail "$row: no report after the result" ;;
    *)
      ended "$pid" && fail "$row: the program ended after a correct result"
      wmctrl -i -c "$wid"
      [[ $outcome != report-at-close ]] || dismiss_box || fail "$row: no report when the window was closed"
      ;;
  esac
}

# The program, each library beside it in a folder of its own.
while read -r misbehaviour library buttons output outcome misura words; do
  skipped "$misbehaviour" && continue
  [[ $outcome == - ]] && continue
  row="$misbehaviour ($library)"
  folder="$work/$misbehaviour"
  mkdir "$folder"
  cp "$bin/$name" "$bin"/libsysstring.so.[0-9]* "$rehearsal" "$fakes/$library/libquendril.so" "$folder/"
  export VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour VC_REPLACE_PROGRAM=$folder/$name
  case $output in
    normal) "$folder/$name" 2>"$work/err" & ;;
    broken-pipe) "$folder/$name" > >(exit 0) 2>"$work/err" & ;;
    closed) "$folder/$name" >&- 2>&- & ;;
  esac
  pid=$!
  pids+=("$pid")
  wid=''
  if [[ $outcome == report-at-start ]]; then
    dismiss_box || fail "$row: no report at start"
  elif until_true 'wid=$(window_of "$pid" "$title"); [[ -n "$wid" ]]'; then
    drive_window
  else
    fail "$row: no window"
  fi
  wait_for_end
  left_behind "$row" "$folder"
  [[ $misbehaviour != replaces_program ]] || replaced "$folder/$name" || fail "$row: the program file was not replaced"
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
unset VC_REPLACE_PROGRAM

# The checker: a FAIL line and status 1 for every misbehaving library, a pass
# for the others; its output, read to its end, ends when the checker does.
while read -r misbehaviour library buttons output outcome misura words; do
  skipped "$misbehaviour" && continue
  row="verifica-libreria, $misbehaviour ($library)"
  status=0
  out=$(cd "$fakes/$library" && VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour \
    timeout "$(scaled 120)" "$bin/verifica-libreria" libquendril.so 2>"$work/err" | timeout "$(scaled 150)" cat) || status=$?
  left_behind "$row" "$fakes/$library"
  grep -qx "checking $fakes/$library/libquendril.so" <<<"$out" || fail "$row: does not name the file it checked"
  grep -Eqx '[0-9]+ passed, [0-9]+ failed' <<<"$out" || fail "$row: no summary"
  if [[ $outcome == result ]]; then
    [[ $status -eq 0 ]] || fail "$row: exit status $status, expected 0: $(grep FAIL <<<"$out")"
  else
    [[ $status -eq 1 ]] || fail "$row: exit status $status, expected 1"
    grep -q '^FAIL' <<<"$out" || fail "$row: no FAIL line"
  fi
done <<<"$rows"

# misura-libreria, from a folder of its own with its load rehearsal's
# program: every misbehaviour ends in its status, with error 51 in English
# when it fails; its report, read to its end, ends when the command does.
tool=$work/tool
mkdir "$tool"
cp "$bin/misura-libreria" "$bin"/libsysstring.so.[0-9]* "$rehearsal" "$tool/"
measure() {
  (cd "$tool" && timeout "$(scaled 120)" "$tool/misura-libreria" --runs 1 --warmup 0 --bytes 8 --method library "$@" 2>"$work/err")
}
while read -r misbehaviour library buttons output outcome misura words; do
  skipped "$misbehaviour" && continue
  row="misura-libreria, $misbehaviour ($library)"
  status=0
  VC_MISBEHAVE=$misbehaviour VC_FAULT=$misbehaviour VC_REPLACE_PROGRAM=$tool/misura-libreria \
    measure "$fakes/$library/libquendril.so" | timeout "$(scaled 150)" cat >/dev/null || status=$?
  left_behind "$row" "$tool"
  if [[ $misbehaviour == replaces_program ]]; then
    replaced "$tool/misura-libreria" || fail "$row: the program file was not replaced"
    cp "$bin/misura-libreria" "$tool/"
  fi
  case $misura in
    0) [[ $status -eq 0 ]] || fail "$row: exit status $status, expected 0: $(head -c 300 "$work/err")" ;;
    any) [[ $status -eq 0 || ($status -eq 1 && $(head -c 10 "$work/err") == 'error 51: ') ]] \
           || fail "$row: exit status $status, expected 0 or error 51: $(head -c 300 "$work/err")" ;;
    wrong) [[ $status -eq 1 ]] && grep -q '^wrong result: ' "$work/err" \
             || fail "$row: exit status $status, expected a wrong result: $(head -c 300 "$work/err")" ;;
    *)
      [[ $status -eq 1 ]] || fail "$row: exit status $status, expected 1"
      grep -q '^error 51: ' "$work/err" || fail "$row: no error 51 line: $(head -c 300 "$work/err")"
      [[ $misura != 51-call ]] || grep -Eq "^error 51: (the program ended during a call to|function) 'xr" "$work/err" \
        || fail "$row: the call is not named: $(head -c 300 "$work/err")"
      [[ $misura != 51-out ]] || grep -Eq "^error 51: the program (ended|failed) outside a call into library" "$work/err" \
        || fail "$row: not said to be outside a call: $(head -c 300 "$work/err")"
      ;;
  esac
done <<<"$rows"

# A library whose path holds a line break is measured and checked as any other.
odd=$work/$'line\nbreak'
mkdir "$odd"
cp "$bin/libquendril.so" "$odd/"
status=0
measure "$odd/libquendril.so" >"$work/out" || status=$?
[[ $status -eq 0 ]] && grep -qF "$odd/libquendril.so" "$work/out" \
  || fail "misura-libreria, a path with a line break: status $status: $(head -c 300 "$work/err")"
status=0
"$bin/verifica-libreria" "$odd/libquendril.so" >/dev/null 2>&1 || status=$?
[[ $status -eq 0 ]] || fail "verifica-libreria, a path with a line break: status $status"

mkfifo "$work/libquendril.so"
status=0
(cd "$work" && timeout "$(scaled 60)" "$bin/verifica-libreria" libquendril.so) >"$work/out" 2>&1 || status=$?
[[ $status -eq 1 ]] && grep -q 'not a regular file' "$work/out" || fail "verifica-libreria, a FIFO: status $status"
"$bin/verifica-libreria" --help | grep -q '^Usage: verifica-libreria' || fail "verifica-libreria --help: no usage"

echo "misbehaving libraries: $failures failed"
[[ $failures -eq 0 ]]
