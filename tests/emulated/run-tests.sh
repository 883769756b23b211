# Sourced by the emulated PC's job: runs tests one after the other, each
# within its time limit, and leaves for each, in the results folder ($1), its
# output (NAME.out) and then its exit status (NAME.status); `finish_tests`
# writes the count last (done), so the host tells a finished run from one cut
# short.
results=$1
mkdir -p "$results"
tests_run=0

# A test's new 32-bit Wine prefix starts from the one booted when the PC was
# made (tests/system/wine.sh): booting one here takes minutes. Prefixes and
# temporary folders lie on the PC's own disk beside it, where that start is
# a matter of links, not a copy over the shared folders.
export VC_WINE_PREFIX_TEMPLATE=/var/lib/vc-wineprefix TMPDIR=/var/tmp
local_prefixes=/var/tmp/vc-prefixes

# The place on the PC's own disk of the Wine prefix a test names.
local_prefix() {
  mkdir -p "$local_prefixes$(dirname "$1")"
  echo "$local_prefixes$1"
}

# run_test NAME SECONDS FOLDER [NAME=VALUE...] -- COMMAND...
# SECONDS is the test's own limit, which already allows for this PC's slowness.
run_test() {
  local name=$1 limit=$2 folder=$3 start=$SECONDS status=0
  shift 3
  local environment=()
  while [[ "$1" != -- ]]; do
    [[ "$1" == WINEPREFIX=* ]] && environment+=("WINEPREFIX=$(local_prefix "${1#WINEPREFIX=}")") \
      || environment+=("$1")
    shift
  done
  shift
  (cd "$folder" && exec env "${environment[@]}" timeout -k 10 "$limit" "$@") \
    >"$results/$name.out" 2>&1 </dev/null || status=$?
  if [[ $status -eq 124 || $status -eq 137 ]]; then
    echo "FAIL: $name did not end within $limit s in the emulated PC" >>"$results/$name.out"
  fi
  echo "$status" >"$results/$name.status"
  tests_run=$((tests_run + 1))
  echo "guest: $name: exit status $status after $((SECONDS - start)) s"
}

finish_tests() {
  echo "$tests_run" >"$results/done"
}
