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
