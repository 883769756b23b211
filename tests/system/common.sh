# Helpers the black-box and install tests share; sourced, not run.

# Skips the test (exit 77, saying which) when a tool it needs is missing.
require_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

# Seconds $1 for the ordinary build on a busy machine, times this build's
# factor (VC_TEST_TIME_SCALE, set per build by tests/CMakeLists.txt).
scaled() { echo $(($1 * ${VC_TEST_TIME_SCALE:-1})); }

# Polls condition $1 every 0.1 s until it holds, where no event tells when it
# does (a window shown or gone, a server up); false after $2 seconds (default
# 60, scaled: the bound only ends the wait for what never happens).
until_true() {
  local end=$((SECONDS + ${2:-$(scaled 60)}))
  until eval "$1"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

# Starts a private X server and exports its DISPLAY; its pid goes in xvfb_pid.
# $1 is a folder for the server's answer.
start_xvfb() {
  xvfb_answer="$1/display"
  exec 3>"$xvfb_answer"
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  until_true '[[ -s "$xvfb_answer" ]]' || { echo "FAIL: Xvfb did not start"; exit 1; }
  DISPLAY=":$(head -n1 "$xvfb_answer")"
  export DISPLAY
}

# Starts a private X server with a window manager, for the X11 platform only,
# and defines ended and window_of; their pids go in desktop_pids. $1 is a
# scratch folder.
start_desktop() {
  start_xvfb "$1"
  desktop_pids=("$xvfb_pid")
  unset QT_QPA_PLATFORM WAYLAND_DISPLAY
  export XDG_RUNTIME_DIR="$1/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  openbox >/dev/null 2>&1 &
  desktop_pids+=($!)
  until_true 'wmctrl -m >/dev/null 2>&1' || { echo "FAIL: window manager did not start"; kill "${desktop_pids[@]}"; exit 1; }
}

# Whether process $1 has ended (a child that ended stays a zombie until waited for).
ended() { ! kill -0 "$1" 2>/dev/null || [[ $(ps -o stat= -p "$1") == Z* ]]; }
# The visible window of process $1 titled exactly $2 (both conditions, not either).
# The program's window runs in a child of the process started (its supervisor).
window_of() {
  local p
  for p in "$1" $(pgrep -P "$1"); do
    xdotool search --all --onlyvisible --pid "$p" --name "^$2\$" 2>/dev/null
  done | head -n1
}

# A scratch folder in work, the processes in pids killed and work removed at
# exit, and fail, which counts a failure in failures after saying it.
begin_test() {
  work=$(mktemp -d)
  pids=()
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
  failures=0
}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
