#!/usr/bin/env bash
# Runs a Windows program (or one of Wine's own, such as wineboot) under the
# Wine that matches WINEARCH: win32 (the default) with Debian's wine, win64
# with its 64-bit loader. Where this machine cannot run 32-bit programs, a
# 32-bit Wine cannot start at all: the test is skipped (exit 77) and says so;
# likewise where the package archive could not supply 32-bit Wine, with the
# reason scripts/install-deps recorded.
# `wine.sh --check WHAT` only checks, naming WHAT in the reason for a skip.
# Usage: wine.sh PROGRAM [ARGUMENTS...] | wine.sh --check WHAT
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
check=''
if [[ "${1:-}" == --check ]]; then check=$2; fi
what=${check:-$(basename "${1:-?}")}
skip() { echo "SKIP: $1"; exit 77; }
if [[ "${WINEARCH:-win32}" == win64 ]]; then
  loader=/usr/lib/wine/wine64
  [[ -x "$loader" ]] || skip "64-bit Wine is not installed; $what needs it"
  export WINELOADER=$loader
else
  "$root/scripts/runs-32-bit-programs" || skip "this machine cannot run 32-bit programs; $what needs 32-bit Wine"
  if [[ ! -x "${VC_WINE32_LOADER:-/usr/lib/wine/wine}" ]]; then
    reason=$(cat "${VC_WINE32_NOTE:-$root/.wine32-missing}" 2>/dev/null || true)
    [[ -n "$reason" ]] && skip "32-bit Wine could not be installed: $reason; $what needs it"
    skip "32-bit Wine is not installed; $what needs it"
  fi
  loader=$(command -v wine) || skip "wine is not installed; $what needs it"
fi
[[ -n "$check" ]] && exit 0
# Where booting a prefix is slow (the emulated 32-bit PC), a new 32-bit prefix
# starts from one booted before from the same Wine: its files linked where
# both lie on one file system (Wine replaces the files it changes, it does
# not write into them), copied otherwise; the registry always copied.
template=${VC_WINE_PREFIX_TEMPLATE:-}
if [[ -n "$template" && "${WINEARCH:-win32}" == win32 && -n "${WINEPREFIX:-}" && ! -e "$WINEPREFIX" ]]; then
  cp -al "$template" "$WINEPREFIX" 2>/dev/null || { rm -rf "$WINEPREFIX"; cp -a "$template" "$WINEPREFIX"; }
  for registry in "$template"/*.reg; do
    cp --remove-destination "$registry" "$WINEPREFIX/${registry##*/}"
  done
fi
exec "$loader" "$@"
