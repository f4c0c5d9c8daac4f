#!/usr/bin/env bash
# Mounts (or unmounts) a 2 MB tmpfs at OUT_DIR/disk and maps it as drive
# LETTER: in the Wine prefix that the tests use, so that the stub can run
# into a full disk. Mounting needs root; when it is not permitted, the
# reason is written to OUT_DIR/disk.state and the full-disk test skips.
#
# Usage: small_disk.sh mount|unmount OUT_DIR LETTER
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: small_disk.sh mount|unmount OUT_DIR LETTER" >&2; exit 2; }
action=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)
letter=$3
scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../scripts" && pwd)
prefix=$("$scripts/wine-prefix")
disk=$out/disk
link=$prefix/dosdevices/$letter:

case "$action" in
  mount)
    mkdir -p "$disk"
    mountpoint -q "$disk" && umount "$disk"
    if mount -t tmpfs -o size=2m tmpfs "$disk" 2>"$out/disk.err"; then
      ln -sfn "$disk" "$link"
      echo "mounted" > "$out/disk.state"
    else
      echo "a 2 MB tmpfs cannot be mounted here ($(tr '\n' ' ' < "$out/disk.err"))" > "$out/disk.state"
    fi
    ;;
  unmount)
    rm -f "$link"
    mountpoint -q "$disk" && umount "$disk"
    rm -f "$out/disk.state"
    ;;
  *) echo "small_disk.sh: unknown action $action" >&2; exit 2 ;;
esac
