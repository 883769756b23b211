# Sourced by the emulated PC's job: runs tests one after the other, each
# within its time limit, and leaves for each, in the results folder ($1), its
# output (NAME.out) and then its exit status (NAME.status); `finish_tests`
# writes the count last (done), so the host tells a finished run from one cut
# short.
results=$1
mkdir -p "$results"
tests_run=0

# The Wine prefix booted when the PC was made, mounted at $1 for this run (the
# PC's disk is a throwaway copy), so the tests' wineboot finds it up to date.
use_booted_prefix() {
  [[ -d /var/lib/vc-wineprefix ]] || return 0
  mkdir -p "$1"
  mount --bind /var/lib/vc-wineprefix "$1" || echo "guest: cannot mount the booted Wine prefix on $1"
}

# run_test NAME SECONDS FOLDER [NAME=VALUE...] -- COMMAND...
run_test() {
  local name=$1 limit=$2 folder=$3 start=$SECONDS status=0
  shift 3
  local environment=()
  while [[ "$1" != -- ]]; do environment+=("$1"); shift; done
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
