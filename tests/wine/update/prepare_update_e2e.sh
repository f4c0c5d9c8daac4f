#!/usr/bin/env bash
# Builds the installers of the update decision's end-to-end tests, with the
# host's sfxpack and sfx_craft_installer and the cross-built stub, probe and
# version-resource fixtures. Every payload holds Setup.exe (the probe) and
# two files that the stub writes only when it does not stop early
# (readme.txt and data\after.txt):
#
#   update.exe          sfxpack pack: Setup.cfg (versions 4.x of "Mivor"),
#                       Setup.exe, the rest
#   syntax_error.exe    the same with a Setup.cfg that does not parse
#   mp3.exe             the same with a Setup.cfg that says MP3_INSTALL
#   cfg_after_setup.exe Setup.exe, then the version-4 Setup.cfg, the rest
#   second_bad_cfg.exe  the version-4 Setup.cfg, then a bad SETUP.CFG, Setup.exe, the rest
#   second_good_cfg.exe a bad Setup.cfg, then the version-4 setup.CFG, Setup.exe, the rest
#
# and the installed products that the tests register:
#
#   product/v4/mivor.exe          file version 4.0.3.0, product name "Mivor"
#   product/v2/mivor.exe          file version 2.3.4.5 (out of range)
#   player/MivorMediaPlayer.exe   the media player, with player/MivorFiles/
#
# Usage: prepare_update_e2e.sh HOST_BIN_DIR WIN32_BIN_DIR OUT_DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../prepare_common.sh"
prepare_dirs prepare_update_e2e "$@"
require_tools prepare_update_e2e "$host_bin/sfxpack" "$host_bin/sfx_craft_installer" "$stub" "$probe" \
  "$win_bin/update_fixture_v4_0_3_0.exe" "$win_bin/update_fixture_wide_components.exe"

rm -rf "$out"
mkdir -p "$out/tmp" "$out/src" "$out/product/v4" "$out/product/v2" "$out/player/MivorFiles"
cp "$win_bin/update_fixture_v4_0_3_0.exe" "$out/product/v4/mivor.exe"
cp "$win_bin/update_fixture_wide_components.exe" "$out/product/v2/mivor.exe"
cp "$probe" "$out/player/MivorMediaPlayer.exe"

src=$out/src
printf 'VERSION_LO 04000000\r\nVERSION_HI 04FFFFFF\r\nPRODUCT_NAME "Mivor"\r\n"Setup.exe"\r\n' > "$src/version4.cfg"
printf 'VERSION_LO 04000000\r\nWIN95\r\n' > "$src/syntax_error.cfg"
printf 'MP3_INSTALL\r\nVERSION_LO 09000000\r\n' > "$src/mp3.cfg"
printf 'Read me.\r\n' > "$src/readme.txt"
printf 'written after the setup program\r\n' > "$src/after.txt"

# One folder per sfxpack-made installer.
pack_folder() {
  local name=$1 cfg=$2
  shift 2
  local tree=$src/$name
  mkdir -p "$tree/data"
  cp "$cfg" "$tree/Setup.cfg"
  cp "$probe" "$tree/Setup.exe"
  cp "$src/readme.txt" "$tree/readme.txt"
  cp "$src/after.txt" "$tree/data/after.txt"
  "$host_bin/sfxpack" pack "$tree" -o "$out/$name.exe" --stub "$stub" "$@" >/dev/null
}
pack_folder update "$src/version4.cfg"
pack_folder syntax_error "$src/syntax_error.cfg" --allow-bad-config
pack_folder mp3 "$src/mp3.cfg"

rest=(readme.txt="$src/readme.txt" 'data\after.txt'="$src/after.txt")
craft() { "$host_bin/sfx_craft_installer" "$stub" "$@" >/dev/null; }
craft "$out/cfg_after_setup.exe" Setup.exe="$probe" Setup.cfg="$src/version4.cfg" "${rest[@]}"
craft "$out/second_bad_cfg.exe" Setup.cfg="$src/version4.cfg" SETUP.CFG="$src/syntax_error.cfg" \
  Setup.exe="$probe" "${rest[@]}"
craft "$out/second_good_cfg.exe" Setup.cfg="$src/syntax_error.cfg" setup.CFG="$src/version4.cfg" \
  Setup.exe="$probe" "${rest[@]}"
echo "prepare_update_e2e: installers in $out"
