#!/usr/bin/env bash
# The emulated 32-bit PC in which the 32-bit Windows tests run where this
# machine cannot run 32-bit programs: Debian's i386 packages unpacked here,
# configured and their Wine prefix booted in the PC's first start, with
# Debian's 686 kernel, under QEMU's processor emulation. The PC is made once
# and kept in CACHE under a key of its exact package list; each run boots a
# throwaway copy of it, without network, with the host's folders shared at
# their own paths, so a test's command runs there unchanged.
# Usage: guest.sh image CACHE
#        guest.sh ctest CACHE BUILD [SECONDS]   the build's emulated tests
#        guest.sh command CACHE SECONDS [FOLDER...] -- COMMAND...
#          one command, run in the current folder with FOLDERs shared
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
mirror=${VC_GUEST_MIRROR:-http://deb.debian.org/debian}

# A shell and the tools the tests use, 32-bit Wine and an X server.
packages=(
  base-files base-passwd usr-is-merged bash dash coreutils debianutils diffutils findutils grep gzip
  mawk sed tar util-linux mount procps libc-bin ncurses-base bsdutils dpkg busybox-static
  wine wine32 fonts-wine fonts-liberation2 fonts-dejavu-core xvfb xauth xdotool
)
kernel=linux-image-686
# What the first program loads, in order, to reach the disk and the shares.
modules=(crc32c_generic virtio_ring virtio_pci_modern_dev virtio_pci_legacy_dev virtio virtio_pci virtio_blk
  jbd2 mbcache crc16 ext4 9pnet netfs fscache 9p 9pnet_virtio)

# Changed whenever the way the PC is made changes, so that a PC made the old
# way is made again.
image_format=1

# Runs "$@" as the step named $1, saying how long it took; its status is the
# step's (where a failure does not end the script at once).
step() {
  local name=$1 start=$SECONDS status
  shift
  "$@"
  status=$?
  echo "emulated PC: $name: $((SECONDS - start)) s"
  return "$status"
}

# apt-get on the PC's own index of i386 packages, kept in $cache/apt.
papt() { APT_CONFIG="$cache/apt/apt.conf" "$@"; }

write_apt_config() {
  local dir=$cache/apt
  mkdir -p "$dir"/{state/lists/partial,cache/archives/partial,etc/apt.conf.d,etc/preferences.d,etc/trusted.gpg.d}
  touch "$dir/state/status"
  local signed=signed-by=/usr/share/keyrings/debian-archive-keyring.gpg
  # The security suite's i386 index may fail to download; main and updates suffice.
  printf 'deb [arch=i386 %s] %s bookworm main\ndeb [arch=i386 %s] %s bookworm-updates main\n' \
    "$signed" "$mirror" "$signed" "$mirror" >"$dir/etc/sources.list"
  cat >"$dir/apt.conf" <<EOF
Dir::Etc "$dir/etc";
Dir::State "$dir/state";
Dir::State::status "$dir/state/status";
Dir::Cache "$dir/cache";
APT::Architecture "i386";
APT::Architectures { "i386"; };
APT::Install-Recommends "false";
Debug::NoLocking "true";
EOF
}

read_index() { papt apt-get update -q >"$cache/index.log" 2>&1; }

# Ends with status 77 (skipped) when the package archive cannot supply the
# PC, which is the archive's state and not the project's: says why, with
# apt's words from log $1, and leaves the reason in $skip_note for the tests
# that would have run in the PC.
archive_failed() {
  local why
  why=$(grep -E '^(E|Err):' "$1" | head -n 3 | paste -sd ';' | sed 's/;/; /g')
  why="the package archive could not supply the emulated 32-bit PC (${why:-see $1})"
  [[ -z "${skip_note:-}" ]] || echo "$why" >"$skip_note"
  echo "SKIP: $why"
  exit 77
}

# The archive files the PC is made of, one a line, kernel last.
resolve() {
  local image
  image=$(papt apt-cache depends "$kernel" | awk '/Depends: linux-image-/ { print $2; exit }')
  [[ -n "$image" ]] || { echo "emulated PC: the archive offers no $kernel" >&2; return 1; }
  # Packages need not name the essential ones they use: all are taken.
  local essential
  mapfile -t essential < <(awk '/^Package:/ { p = $2 } /^Essential: yes/ { print p }' \
    "$cache"/apt/state/lists/*_Packages | sort -u)
  # Against an empty archive folder, so apt lists every file, not just those to fetch.
  mkdir -p "$cache/apt/none/partial"
  { papt apt-get install -qq --print-uris -o Dir::Cache::Archives="$cache/apt/none" "${packages[@]}" \
      "${essential[@]}"
    papt apt-get download -qq --print-uris "$image"; } | awk '{ print $2 }'
}

# Fetches the files listed in $1; fails as soon as apt does.
download() {
  local files
  mapfile -t files < <(sed -e 's/_.*//' "$1")
  papt apt-get install -q -y --download-only "${files[@]::${#files[@]}-1}" >"$cache/download.log" 2>&1 \
    || return 1
  (cd "$cache/apt/cache/archives" && papt apt-get download -q "$(tail -n1 "$1" | sed 's/_.*//')" \
    >>"$cache/download.log" 2>&1)
}

# Unpacks the packages into $1 with the host's dpkg, which records them as
# unpacked; the PC configures them at its first start. A package's preinst
# would run here, so it is left out: on a first install they only create
# /etc/passwd and /etc/group (written here from base-passwd's own lists)
# or tidy what an upgrade leaves.
unpack() {
  local rootfs=$1 list=$2 debs=() f
  rm -rf "$rootfs" "$cache/repack"
  mkdir -p "$rootfs"/usr/{bin,sbin,lib} "$rootfs"/var/lib/dpkg/{info,updates} "$rootfs/etc" "$cache/repack"
  for d in bin sbin lib; do ln -s "usr/$d" "$rootfs/$d"; done
  touch "$rootfs"/var/lib/dpkg/{status,available}
  while read -r f; do
    f=$cache/apt/cache/archives/$f
    [[ "$f" == *"/linux-image-"* ]] && continue
    if dpkg-deb --info "$f" preinst >/dev/null 2>&1; then
      rm -rf "$cache/repack/tree"
      dpkg-deb -R "$f" "$cache/repack/tree"
      rm "$cache/repack/tree/DEBIAN/preinst"
      dpkg-deb -Znone -b "$cache/repack/tree" "$cache/repack/${f##*/}" >/dev/null
      f=$cache/repack/${f##*/}
    fi
    debs+=("$f")
  done <"$list"
  dpkg-deb -x "$cache/apt/cache/archives/$(grep '^base-passwd_' "$list")" "$cache/repack/base-passwd"
  cp "$cache/repack/base-passwd/usr/share/base-passwd/passwd.master" "$rootfs/etc/passwd"
  cp "$cache/repack/base-passwd/usr/share/base-passwd/group.master" "$rootfs/etc/group"
  dpkg --root="$rootfs" --add-architecture i386
  dpkg --root="$rootfs" --force-architecture --force-depends --force-unsafe-io --no-triggers --unpack "${debs[@]}" \
    >"$cache/unpack.log" 2>&1 || { echo "emulated PC: dpkg could not unpack (see $cache/unpack.log)" >&2; return 1; }
  echo i386 >"$rootfs/var/lib/dpkg/arch"
  rm -rf "$cache/repack"
  install -D -m 755 "$here/guest-init" "$rootfs/usr/local/sbin/vc-guest-init"
  install -D -m 755 "$here/guest-setup" "$rootfs/usr/local/sbin/vc-guest-setup"
}

# The kernel and a first program of our own with the modules it loads.
boot_files() {
  local out=$1 list=$2 tree=$cache/kernel-tree
  rm -rf "$tree" && mkdir -p "$tree" "$tree/initrd/bin" "$tree/initrd/modules"
  dpkg-deb -x "$cache/apt/cache/archives/$(tail -n1 "$list")" "$tree/deb"
  cp "$tree"/deb/boot/vmlinuz-* "$out/vmlinuz"
  cp "$rootfs/usr/bin/busybox" "$tree/initrd/bin/busybox"
  cp "$here/initramfs-init" "$tree/initrd/init"
  local m file
  for m in "${modules[@]}"; do
    file=$(find "$tree"/deb/lib/modules -name "$m.ko" -o -name "${m//_/-}.ko" | head -n1)
    [[ -n "$file" ]] || { echo "emulated PC: the kernel has no module $m" >&2; return 1; }
    cp "$file" "$tree/initrd/modules/$m.ko"
    echo "$m" >>"$tree/initrd/modules.order"
  done
  (cd "$tree/initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$out/initrd.img"
  rm -rf "$tree"
}

# Boots the PC once, for at most $2 seconds, running job $3 with the folders
# "$@" (after the first three) shared; extra QEMU options in qemu_extra.
# Fails when the PC does not power off in time.
boot() {
  local dir=$1 limit=$2 job=$3 shares=() line='' i=0 p
  shift 3
  for p in $(printf '%s\n' "$@" | LC_ALL=C sort -u | awk '{ for (i = 1; i <= n; i++) if (index($0 "/", kept[i] "/") == 1) next; kept[++n] = $0; print }'); do
    [[ "$p" != *[[:space:]]* ]] || { echo "emulated PC: cannot share $p: its path has a space" >&2; return 1; }
    shares+=(-virtfs "local,path=$p,mount_tag=share$i,security_model=none,id=share$i")
    line+=" vc.share=share$i:$p"
    i=$((i + 1))
  done
  local status=0
  timeout -k 10 "$limit" qemu-system-i386 -m 3072 -smp 2 -cpu max,-smap,-smep -accel tcg,thread=multi \
    -display none -monitor none -serial "file:$dir/console.log" -no-reboot -nic none \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" "${qemu_extra[@]}" "${shares[@]}" \
    -append "console=ttyS0 panic=-1 loglevel=4 vc.job=$job$line" </dev/null || status=$?
  if [[ $status -eq 124 || $status -eq 137 ]]; then
    echo "emulated PC: did not power off within $limit s (its console: $dir/console.log)" >&2
    return 1
  fi
  [[ $status -eq 0 ]] || { echo "emulated PC: QEMU failed with status $status" >&2; return 1; }
}

# An ext4 file system holding folder $1, in file $2 (sparse; room to spare).
make_disk() { mke2fs -q -t ext4 -d "$1" -L vc-guest "$2" 6G >/dev/null; }

make_image() {
  local key=$1 list=$2 dir=$cache/pc-$key
  rm -rf "$dir" && mkdir -p "$dir"
  rootfs=$cache/rootfs
  step download download "$list" || archive_failed "$cache/download.log"
  step unpack unpack "$rootfs" "$list"
  step "kernel and first program" boot_files "$dir" "$list"
  step "disk image" make_disk "$rootfs" "$dir/root.img"
  rm -rf "$rootfs"
  qemu_extra=(-drive "file=$dir/root.img,if=virtio,format=raw,cache=unsafe")
  step "first start (configure, boot Wine)" boot "$dir" 1500 /usr/local/sbin/vc-guest-setup "$dir"
  if [[ "$(cat "$dir/setup.status" 2>/dev/null)" != 0 ]]; then
    echo "emulated PC: its first start failed; the end of its console:" >&2
    tail -n 30 "$dir/console.log" >&2
    return 1
  fi
  touch "$dir/ready"
}

# Makes the PC unless the one for today's package list is there; sets pc.
image() {
  write_apt_config
  local list=$cache/packages.list key
  if ! step index read_index || ! resolve >"$list.new"; then
    pc=$(ls -td "$cache"/pc-*/ready 2>/dev/null | head -n1 || true)
    [[ -n "$pc" ]] || archive_failed "$cache/index.log"
    pc=${pc%/ready}
    echo "emulated PC: the package archive cannot be read; using the PC made before, ${pc##*/}"
    return 0
  fi
  mv "$list.new" "$list"
  key=$( (cat "$list" "$here/guest-init" "$here/guest-setup" "$here/initramfs-init"
    echo "${modules[*]} $image_format") | sha256sum | cut -c1-16)
  pc=$cache/pc-$key
  if [[ -f "$pc/ready" ]]; then
    echo "emulated PC: made before for this package list ($key)"
  else
    make_image "$key" "$list"
  fi
  # Only the PC for today's list is kept.
  find "$cache" -maxdepth 1 -name 'pc-*' ! -name "pc-$key" -exec rm -rf {} +
}

# ctest's list of the tests of build $1 (an absolute path), as JSON, read
# from a copy of its test files, whose folder is then named as the build's:
# listing them writes ctest's log, and the ctest running this test would
# lose its own.
list_tests() {
  local copy status=0
  copy=$(mktemp -d)
  (cd "$1" && find . -name CTestTestfile.cmake -exec cp --parents {} "$copy" \;)
  ctest --test-dir "$copy" --show-only=json-v1 >"$copy.json" || status=$?
  sed "s|$copy|$1|g" "$copy.json"
  rm -rf "$copy" "$copy.json"
  return "$status"
}

# Boots a throwaway copy of the PC running job $2 (a file in a shared
# folder) for at most $1 seconds, the source tree and "$@" shared.
run_job() {
  local limit=$1 job=$2
  shift 2
  qemu_extra=(-drive "file=$pc/root.img,if=virtio,format=raw,snapshot=on")
  step "run" boot "$pc" "$limit" "$job" "$source_root" "$@"
  grep -a '^guest: ' "$pc/console.log" || true
}

command=${1:?usage: guest.sh image|ctest|command CACHE ...}
cache=${2:?usage: guest.sh $command CACHE ...}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
case "$command" in
  image) step "ready" image ;;
  ctest)
    build=$(cd "${3:?usage: guest.sh ctest CACHE BUILD [SECONDS]}" && pwd)
    limit=${4:-1500}
    work=$build/emulated
    rm -rf "$work/results" && mkdir -p "$work/results"
    skip_note=$work/results/skipped
    step "ready" image
    list_tests "$build" | python3 "$here/jobs.py" "$here/run-tests.sh" "$work/results" 600 >"$work/job.sh"
    run_job "$limit" "$work/job.sh" "$build" || true
    [[ -f "$work/results/done" ]] || { echo "emulated PC: the tests did not all run"; exit 1; }
    echo "emulated PC: $(cat "$work/results/done") tests ran"
    ;;
  command)
    limit=${3:?usage: guest.sh command CACHE SECONDS [FOLDER...] -- COMMAND...}
    shift 3
    folders=()
    while [[ "${1:-}" != -- ]]; do folders+=("$(cd "${1:?no command given}" && pwd)"); shift; done
    shift
    step "ready" image
    work=$(mktemp -d "$cache/command.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # Everything runs slower in the PC: the command has twice its limit here.
    printf 'source %q %q\nrun_test command %q %q --' "$here/run-tests.sh" "$work" "$((2 * limit))" "$PWD" >"$work/job.sh"
    printf ' %q' "$@" >>"$work/job.sh"
    printf '\nfinish_tests\n' >>"$work/job.sh"
    run_job "$((2 * limit + 180))" "$work/job.sh" "$work" "$PWD" "${folders[@]}" || true
    [[ -f "$work/done" ]] || { echo "FAIL: the emulated PC did not run the command to its end"; exit 1; }
    cat "$work/command.out"
    exit "$(cat "$work/command.status")"
    ;;
  *) echo "guest.sh: unknown command $command" >&2; exit 2 ;;
esac
