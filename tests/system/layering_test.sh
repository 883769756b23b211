#!/usr/bin/env bash
# The window's code sees no C type of the platform's counted strings and no
# library binder: none of the ui objects depends on those headers.
# Usage: layering_test.sh BUILD_DIR (a Ninja build)
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools ninja
deps=$(ninja -C "$1" -t deps | awk '/^[^ ].*: #deps/ { ui = ($1 ~ /(^|\/)ui[.\/]/ || $1 ~ /\/ui\/main/) } ui')
[[ -n "$deps" ]] || { echo "FAIL: no dependencies recorded for ui objects"; exit 1; }
if grep -E 'platform/(sysstring|bstr|library)\.h|contract/quendril\.h' <<<"$deps"; then
  echo "FAIL: ui code includes the headers above"
  exit 1
fi
echo "layering: ui objects include no platform C types"

# The contract checker is an outside program: of the project it includes only its own folder.
checker=$(ninja -C "$1" -t deps | awk '/^[^ ].*: #deps/ { c = ($1 ~ /verifica-libreria/) } c')
[[ -n "$checker" ]] || { echo "FAIL: no dependencies recorded for the checker's objects"; exit 1; }
if grep -E '/(platform|core|ui|contract|quendril|stand_in)/' <<<"$checker"; then
  echo "FAIL: the checker includes the headers above"
  exit 1
fi
echo "layering: the checker includes nothing of the programs"
