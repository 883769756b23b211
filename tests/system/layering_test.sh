#!/usr/bin/env bash
# Includes point down, read from what the compiler recorded for each object:
# the window's code sees no C type of the counted strings and no library
# binder; the kit's commands include nothing of the window; the contract
# needs nothing of the platform layer, the core or the window; the checker
# includes nothing of the project outside its own folder.
# Usage: layering_test.sh BUILD_DIR (a Ninja build)
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools ninja
root=$(cd "$(dirname "$0")/../.." && pwd)
# The source root as a literal in an extended regular expression.
src=$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$root")
all=$(ninja -C "$1" -t deps)
# Every object file this build makes, whether built yet or not.
graph=$(ninja -C "$1" -t targets all | awk -F: '$1 ~ /\.o(bj)?$/ { print $1 }')
failures=0

# forbid FOLDER OBJECTS HEADERS: no object whose build path matches OBJECTS
# includes a header matching HEADERS; where this build makes objects of
# FOLDER, their dependencies must have been recorded.
forbid() {
  local folder=$1 objects=$2 headers=$3 deps
  if ! grep -Eq "$objects" <<<"$graph"; then
    echo "layering: this build makes no objects of $folder"
    return
  fi
  deps=$(awk -v objects="$objects" '/^[^ ].*: #deps/ { keep = ($1 ~ objects) } keep' <<<"$all")
  if [[ -z "$deps" ]]; then
    fail "no dependencies recorded for $folder objects"
  elif grep -E "$headers" <<<"$deps"; then
    fail "$folder code includes the headers above"
  else
    echo "layering: $folder objects include none of $headers"
  fi
}

forbid ui '(^|/)ui[./]' "$src/(contract/(sysstring|quendril)|platform/(bstr|library))\.h"
forbid tools '^tools/' "$src/ui/"
forbid contract '^contract/' "$src/(platform|core|ui)/"
# The contract checker is an outside program: of the project it includes only its own folder.
forbid verifica-libreria '^tools/verifica-libreria/' "$src/(platform|core|ui|contract|quendril|stand_in)/"
exit $((failures > 0))
