#!/usr/bin/env bash
# scripts/wine-prefix leaves a folder it did not make as it is: an exported
# WINEPREFIX that holds no Wine prefix is refused, not emptied.
#
# Usage: wine_prefix_test.sh SCRIPTS_DIR. Exit code 77 (skipped) without Wine.
set -euo pipefail
scripts=$1
[ -x /usr/lib/wine/wine ] || { echo "skipped: 32-bit Wine is not installed"; exit 77; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sfx-prefix.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/mine"
echo keep >"$scratch/mine/notes.txt"
if WINEPREFIX=$scratch/mine SFX_WINE_ARCH=win32 "$scripts/wine-prefix" >"$scratch/out" 2>&1; then
  echo "FAIL: wine-prefix accepted a folder that is no Wine prefix"; exit 1
fi
grep -q "is not empty and is no Wine prefix; it is left as it is" "$scratch/out" || { cat "$scratch/out"; exit 1; }
[ "$(ls -A "$scratch/mine")" = notes.txt ] && [ "$(cat "$scratch/mine/notes.txt")" = keep ] ||
  { echo "FAIL: the folder was changed"; exit 1; }
echo "ok: a foreign WINEPREFIX is left as it is"
