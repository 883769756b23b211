#!/usr/bin/env bash
# The test command's install step against an archive that cannot supply
# 32-bit Wine, with shims for apt and dpkg: an index that fails to download
# and an i386 install apt cannot resolve cost only 32-bit Wine, whose absence
# is explained and recorded; a version skew apt can level by an upgrade is.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir "$work/bin"
# apt-get: every index update fails for one architecture; an i386 install
# breaks unless it comes with the upgrade that levels libssl3.
cat >"$work/bin/apt-get" <<'SHIM'
#!/bin/bash
echo "apt-get $*" >>"$SHIM_LOG"
case "$1" in
  update) echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (Mirror sync in progress?)"
          echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
          exit 100 ;;
  install) [[ "$*" != *:i386* || "$*" == *"libssl3:amd64=3.0.2"* ]] && exit 0
           echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages."
           exit 100 ;;
esac
SHIM
# dpkg-query: nothing installed, but for the 64-bit libssl3 when SHIM_SKEW is set.
cat >"$work/bin/dpkg-query" <<'SHIM'
#!/bin/bash
[[ "$*" == *'${Multi-Arch}'* && -n "${SHIM_SKEW:-}" ]] && echo "libssl3 amd64 same 3.0.1"
exit 1
SHIM
cat >"$work/bin/dpkg" <<'SHIM'
#!/bin/bash
[[ "$1" == --compare-versions ]] && exec /usr/bin/dpkg "$@"
echo "dpkg $*" >>"$SHIM_LOG"
SHIM
cat >"$work/bin/apt-cache" <<'SHIM'
#!/bin/bash
[[ "$*" == *libssl3:i386* ]] && printf 'libssl3:i386:\n  Installed: (none)\n  Candidate: 3.0.2\n'
exit 0
SHIM
printf '#!/bin/bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*

# Runs the install step for the tests with the shims; status, words and log kept.
install_step() {
  : >"$work/log"
  rm -f "$work/note"
  status=0
  out=$(env PATH="$work/bin:$PATH" SHIM_LOG="$work/log" VC_WINE32_NOTE="$work/note" "$@" \
    "$root/scripts/install-deps" test 2>&1) || status=$?
  [[ $status -eq 0 ]] || fail "$*: the install step exits $status: $out"
}

install_step VC_32BIT=yes VC_EMULATE_32BIT=OFF
grep -q -- '--no-install-recommends .*qt6-base-dev' "$work/log" || fail "the 64-bit packages were not asked for"
[[ $(grep -m1 'apt-get install' "$work/log") != *:i386* ]] || fail "32-bit Wine was asked for with the rest"
grep -q 'dpkg --add-architecture i386' "$work/log" || fail "the i386 architecture was not added"
grep -q 'apt-get install .*wine32:i386' "$work/log" || fail "32-bit Wine was never tried"
[[ "$out" == *"32-bit Wine could not be installed: apt-get answered \"Error, pkgProblemResolver::Resolve generated breaks"* ]] \
  || fail "the reason is not given: $out"
[[ "$out" == *"tests"*"will be skipped"* ]] || fail "the skip is not announced: $out"
grep -q 'pkgProblemResolver' "$work/note" 2>/dev/null || fail "the reason was not recorded for the tests"

install_step VC_32BIT=yes SHIM_SKEW=1
grep -q 'apt-get install .*libssl3:amd64=3.0.2 wine32:i386' "$work/log" || fail "the skew was not levelled"
[[ ! -e "$work/note" && "$out" != *"could not be installed"* ]] || fail "32-bit Wine counted as missing: $out"

# By default the 32-bit tests run in the emulated PC instead.
install_step VC_32BIT=no VC_EMULATE_32BIT=
! grep -q 'i386' "$work/log" || fail "VC_32BIT=no still asked for i386: $(cat "$work/log")"
[[ "$out" == *"cannot run 32-bit programs"* ]] || fail "VC_32BIT=no is not explained: $out"
grep -q -- '--no-install-recommends .*qemu-system-x86' "$work/log" || fail "the emulated PC's packages were not asked for"
[[ "$out" == *"tests will run in an emulated 32-bit PC"* ]] || fail "the emulated run is not announced: $out"

echo "install step checks: $failures failed"
[[ $failures -eq 0 ]]
