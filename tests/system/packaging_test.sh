#!/usr/bin/env bash
# What each deliverable carries and installs: the ELF package-metadata note,
# the Windows resource script (compiled where windres is available), and an
# installed tree whose desktop entries and metainfo validate and whose
# programs find their libraries.
# Usage: packaging_test.sh BUILD_DIR VERSION FILEVERSION COMPANY APP_ID_PREFIX REHEARSAL_PROGRAM
set -euo pipefail
# shellcheck source=tests/system/common.sh
source "$(dirname "$0")/common.sh"
require_tools readelf desktop-file-validate appstreamcli
build=$1 version=$2 fileversion=${3//,/, } company=$4 app_prefix=$5 rehearsal=$6
failures=0

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

for name in Tarmelo Fesdrin; do
  note=$(readelf -n "$build/bin/$name")
  for field in '"type":"app"' "\"name\":\"$name\"" "\"version\":\"$version\"" "\"fileVersion\":\"$version\"" \
               "\"productVersion\":\"$version\"" "\"productName\":\"$name\"" "\"internalName\":\"$name\"" \
               "\"originalFilename\":\"$name.exe\"" "\"companyName\":\"$company\"" \
               '"language":"0x0410"' '"codePage":1200'; do
    grep -qF "$field" <<<"$note" || fail "$name: package note lacks $field"
  done

  rc="$build/resources/$name/$name.rc"
  if command -v x86_64-w64-mingw32-windres >/dev/null; then
    x86_64-w64-mingw32-windres --preprocessor=cpp "$rc" -O coff -o "$stage/$name.res"
    decompiled=$(x86_64-w64-mingw32-windres -i "$stage/$name.res" -J coff -O rc)
    for line in "FILEVERSION $fileversion" "PRODUCTVERSION $fileversion" 'BLOCK "041004b0"' \
                "VALUE \"CompanyName\", \"$company\"" "VALUE \"FileVersion\", \"$version\"" \
                "VALUE \"InternalName\", \"$name\"" "VALUE \"OriginalFilename\", \"$name.exe\"" \
                "VALUE \"ProductName\", \"$name\"" "VALUE \"ProductVersion\", \"$version\"" \
                'VALUE "Translation", 0x410, 1200' 'Has 3 elements'; do
      grep -qF "$line" <<<"$decompiled" || fail "$name: resources lack $line"
    done
  else
    echo "SKIP: windres not installed, $name.rc not compiled"
  fi
done

# The committed icons are what the generator makes.
src=$(cd "$(dirname "$0")/../.." && pwd)
if command -v python3 >/dev/null; then
  mkdir "$stage/icons"
  python3 "$src/scripts/make-icon" "$stage/icons"
  for f in "$stage/icons"/*; do
    cmp -s "$f" "$src/resources/$(basename "$f")" || fail "resources/$(basename "$f") differs from what scripts/make-icon makes"
  done
else
  echo "SKIP: python3 not installed, icons not regenerated"
fi

DESTDIR="$stage/root" cmake --install "$build" --prefix /usr >/dev/null
root="$stage/root/usr"
for name in Tarmelo Fesdrin; do
  id="$app_prefix.$name"
  [[ -L "$root/bin/$name" ]] || fail "$name: no link in bin/"
  desktop-file-validate "$root/share/applications/$id.desktop" || fail "$name: desktop entry invalid"
  appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >/dev/null \
    || fail "$name: metainfo invalid: $(appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml")"
  for size in 16 32 48 128; do
    [[ -f "$root/share/icons/hicolor/${size}x$size/apps/$id.png" ]] || fail "$name: no ${size}px icon"
  done
  # With no display the installed program still loads its libraries, then says what is missing.
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/$name" 2>"$stage/err" || status=$?
  [[ $status -eq 1 ]] || fail "$name: installed program exited $status: $(cat "$stage/err")"
done
# No ELF file of the build or the install has a run path entry the loader
# would take relative to the current directory (empty, relative, or ".").
while IFS= read -r -d '' f; do
  [[ $(head -c 4 "$f" | od -An -c | tr -d ' ') == '177ELF' ]] || continue
  runpath=$(readelf -d "$f" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
  [[ -n "$runpath" ]] || continue
  IFS=: read -r -a entries <<<"$runpath:"
  [[ "$runpath" == *: || "$runpath" == :* || "$runpath" == *::* ]] && fail "$f: empty run path entry in '$runpath'"
  for e in "${entries[@]}"; do
    [[ -z "$e" || "$e" == /* || "$e" == '$ORIGIN' || "$e" == '$ORIGIN/'* ]] || fail "$f: relative run path entry '$e'"
  done
done < <(find "$build/bin" "$build/fakes" "$stage/root" -type f -print0)

# The stand-in below the programs' folder, where it is searched last; the
# counted-string library beside them under its soname, with its link.
lib="$root/lib/verifica-conversione"
[[ -f "$lib/stand-in/libquendril.so" && ! -e "$lib/libquendril.so" ]] || fail "the stand-in is not in stand-in/ alone"
soname=$(readelf -d "$lib/libsysstring.so" 2>/dev/null | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[[ "$soname" == libsysstring.so.[0-9]* && -f "$lib/$soname" && -L "$lib/libsysstring.so" ]] \
  || fail "libsysstring: soname '$soname', not installed as a versioned file with its link"
readelf -d "$lib/Tarmelo" | grep -q "NEEDED.*\[$soname\]" || fail "Tarmelo does not need $soname"
ldd "$lib/stand-in/libquendril.so" | grep -q 'not found' && fail "the stand-in does not resolve: $(ldd "$lib/stand-in/libquendril.so")"
readelf -d "$lib/Tarmelo" | grep -q 'RUNPATH.*\[\$ORIGIN\]' || fail "Tarmelo: run path is not \$ORIGIN"
# The load rehearsal's program beside the programs, not in bin/, loading the
# installed stand-in and telling so on its report descriptor.
[[ -x "$lib/$rehearsal" && ! -e "$root/bin/$rehearsal" ]] || fail "$rehearsal is not beside the programs alone"
report=$("$lib/$rehearsal" "$lib/stand-in/libquendril.so" 3>&1) || fail "$rehearsal ended with status $?"
[[ $report == loaded ]] || fail "$rehearsal reported '$report' for the installed stand-in"

echo "packaging checks: $failures failed"
[[ $failures -eq 0 ]]
