#!/usr/bin/env bash
# The example library and its build lines, as the README, the kit's reference
# (docs/kit.md) and the Windows kit's read-me show them, against the kit as
# this build installs it: the kit's example file is the README's; on Linux the
# pkg-config line builds it and the checker passes it, and the checker's
# advice and manual page show that line; for 32-bit Windows every copy of each line is the
# same, the MinGW-w64 line builds it and, where clang's compatible driver is
# installed, so does the line for Microsoft's compiler with the kit's
# quendril.def; each DLL's exports read with objdump (the two functions under
# their plain names, and imports of system DLLs only).
# Usage: readme_example_test.sh SOURCE_DIR BUILD_DIR posix CHECKER
#        readme_example_test.sh SOURCE_DIR BUILD_DIR win
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
source_dir=$(realpath "$1")
build=$(realpath "$2")
mode=$3
if [[ $mode == posix ]]; then
  require_tools cc pkg-config
  checker=$(realpath "$4")
else
  require_tools i686-w64-mingw32-gcc i686-w64-mingw32-objdump
fi
begin_test

section=$(sed -n '/^## For library makers/,/^## /p' "$source_dir/README.md")
awk '/^```c$/ { on = 1; next } on && /^```$/ { exit } on' <<<"$section" >"$work/mylib.c"
[[ -s "$work/mylib.c" ]] || { echo "FAIL: no C example under 'For library makers'"; exit 1; }
cmp -s "$work/mylib.c" "$source_dir/contract/example/mylib.c" || fail "the kit's example/mylib.c is not the README's"
cmake --install "$build" --prefix "$work/kit" >/dev/null

# The distinct lines starting with $2 in file $1 (indented in the read-me): one when every copy is the same.
lines_of() { sed -n "s|^ *\($2.*\)|\1|p" "$1" | sort -u; }

# Checks that the DLL $1 exports both functions by plain name and imports system DLLs only.
check_dll() {
  local headers exports dll
  headers=$(i686-w64-mingw32-objdump -p "$1" 2>&1)
  exports=$(sed -n '/Ordinal\/Name Pointer/,/^$/p' <<<"$headers" | awk '/^[ \t]+\[/ { print $3 }' | sort | tr '\n' ' ')
  [[ "$exports" == "xrQuendril xrStringToArray " ]] || fail "$1 exports: '$exports'"
  for dll in $(awk '/DLL Name:/ { print $3 }' <<<"$headers"); do
    [[ "${dll,,}" =~ ^(kernel32|oleaut32|msvcrt)\.dll$ ]] || fail "$1 imports $dll"
  done
}

if [[ $mode == posix ]]; then
  line=$(grep -m1 '^cc -shared' <<<"$section") || { echo "FAIL: no Linux build line"; exit 1; }
  # pkg-config finds the kit where this test installed it, as it would in /usr.
  mkdir "$work/path"
  printf '#!/bin/sh\nexec %s --define-prefix "$@"\n' "$(command -v pkg-config)" >"$work/path/pkg-config"
  chmod +x "$work/path/pkg-config"
  (cd "$work" && PATH="$work/path:$PATH" PKG_CONFIG_PATH="$work/kit/lib/pkgconfig" bash -ec "$line") \
    >"$work/log" 2>&1 || fail "the Linux build line fails: $(cat "$work/log")"
  status=0
  (cd "$work" && "$checker" libquendril.so) >"$work/out" 2>&1 || status=$?
  [[ $status -eq 0 ]] || fail "the checker fails the example, status $status: $(grep FAIL "$work/out")"
  man_line=$(sed 's/\\-/-/g' "$source_dir/resources/verifica-libreria.1.in" | grep -m1 '^cc -shared' || true)
  [[ "$man_line" == "$line" ]] || fail "the checker's manual page shows '$man_line', not the README's line"
  # Built without the kit's link line, the checker's advice is the README's line.
  mkdir "$work/unlinked"
  (cd "$work/unlinked" && cc -shared -fPIC ../mylib.c -I"$work/kit/include/quendril" -o libquendril.so \
    && "$checker" libquendril.so) >"$work/out" 2>&1 || true
  grep -qF -- "$line" "$work/out" || fail "the checker's advice is not the README's line: $(grep -m1 allocator "$work/out")"
else
  line=$(grep -m1 '^i686-w64-mingw32-gcc' <<<"$section") || { echo "FAIL: no Windows build line"; exit 1; }
  for doc in docs/kit.md resources/LEGGIMI.txt; do
    [[ $(lines_of "$source_dir/$doc" i686-w64-mingw32-gcc) == "$line" ]] || fail "$doc's MinGW-w64 lines are not the README's"
  done
  mkdir "$work/mingw"
  (cd "$work/mingw" && cp ../mylib.c . && KIT="$work/kit" bash -ec "$line") >"$work/log" 2>&1 \
    || fail "the Windows build line fails: $(cat "$work/log")"
  check_dll "$work/mingw/quendril.dll"

  cl_line=$(lines_of "$source_dir/docs/kit.md" 'cl /LD')
  [[ -n $cl_line && $cl_line != *$'\n'* ]] || fail "docs/kit.md: not one line for Microsoft's compiler: $cl_line"
  [[ $(lines_of "$source_dir/resources/LEGGIMI.txt" 'cl /LD') == "$cl_line" ]] || fail "LEGGIMI.txt's cl lines are not docs/kit.md's"
  clang_cl=$(command -v clang-cl || command -v clang-cl-14 || true)
  if [[ -z $clang_cl ]] || ! command -v lld-link >/dev/null; then
    echo "SKIP: the line for Microsoft's compiler: clang-cl or lld-link is missing"
  else
    # cl is clang's compatible driver and linker, over MinGW-w64's C headers and
    # import libraries, with no C run-time start-up (the example needs none).
    mingw=$(dirname "$(realpath "$(i686-w64-mingw32-gcc -print-file-name=libmsvcrt.a)")")/..
    mkdir -p "$work/msvc/bin" "$work/msvc/lib"
    ln -s "$mingw/lib/libmsvcrt.a" "$work/msvc/lib/msvcrt.lib"
    ln -s "$mingw/lib/liboleaut32.a" "$work/msvc/lib/oleaut32.lib"
    printf '#!/bin/sh\nexec %s --target=i686-pc-windows-msvc -fuse-ld=lld -imsvc %s/include "$@" %s\n' \
      "$clang_cl" "$mingw" "/safeseh:no /noentry /nodefaultlib msvcrt.lib" >"$work/msvc/bin/cl"
    chmod +x "$work/msvc/bin/cl"
    # The command prompt's %KIT% and backslashes, as a shell here takes them.
    sh_line=$(sed 's/%KIT%/$KIT/g; s|\\|/|g' <<<"$cl_line")
    (cd "$work/msvc" && cp ../mylib.c . && PATH="$work/msvc/bin:$PATH" LIB="$work/msvc/lib" KIT="$work/kit" \
      bash -ec "$sh_line") >"$work/log" 2>&1 || fail "the line for Microsoft's compiler fails: $(cat "$work/log")"
    check_dll "$work/msvc/quendril.dll"
  fi
fi

echo "README example ($mode): $failures failed"
[[ $failures -eq 0 ]]
