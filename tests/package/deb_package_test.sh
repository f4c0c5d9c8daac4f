#!/usr/bin/env bash
# Builds the Debian package of this build folder with cpack, unpacks it into
# a scratch folder with `dpkg -x`, and packs installers with the unpacked
# sfxpack alone: its default stubs must be the ones the package installed.
#
# Usage: deb_package_test.sh BUILD_DIR VERSION STUB_WIN32 STUB_WIN64
# Exit code 77 (a skipped test for ctest) when the build was configured
# without both stubs or dpkg-deb is missing.
set -euo pipefail
build_dir=$1 version=$2 stub_win32=$3 stub_win64=$4

if [ -z "$stub_win32" ] || [ -z "$stub_win64" ]; then
  echo "skipped: this build was configured without both stubs; pass" \
    "-DSFX_STUB_FILES=\"win32=PATH;win64=PATH\" (scripts/test does) to build and check the package"
  exit 77
fi
if ! command -v dpkg-deb >/dev/null || ! command -v cpack >/dev/null; then
  echo "skipped: dpkg-deb or cpack is missing (scripts/install-deps installs them)"
  exit 77
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/sfx-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
scratch=$(cd "$scratch" && pwd -P)  # /proc/self/exe names the program without symbolic links
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack could not build the package"; }
deb=$scratch/out/sfxpack_${version}_amd64.deb
[ -f "$deb" ] || { ls "$scratch/out" >&2; fail "no package named $(basename "$deb")"; }

root=$scratch/root
dpkg -x "$deb" "$root"
for file in usr/bin/sfxpack usr/bin/sfxpack-try-installer usr/share/man/man1/sfxpack.1.gz \
  usr/share/man/man1/sfxpack-try-installer.1.gz \
  usr/share/man/man5/sfxpack-config.5.gz usr/share/doc/sfxpack/copyright usr/share/doc/sfxpack/changelog.gz \
  usr/share/sfxpack/tools/win32/sfx_installer_driver.exe usr/share/sfxpack/tools/win64/sfx_installer_driver.exe \
  usr/share/sfxpack/stubs/win32/sfxstub.exe usr/share/sfxpack/stubs/win64/sfxstub.exe; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
zcat "$root/usr/share/doc/sfxpack/changelog.gz" | head -n 1 | grep -qF "sfxpack ($version)" ||
  fail "the changelog's first entry is not version $version"
# lintian, where installed: no errors.
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reports errors"
else
  echo "note: lintian is not installed; the package was not linted"
fi
cmp -s "$root/usr/share/sfxpack/stubs/win32/sfxstub.exe" "$stub_win32" || fail "the packaged win32 stub is not the built one"
cmp -s "$root/usr/share/sfxpack/stubs/win64/sfxstub.exe" "$stub_win64" || fail "the packaged win64 stub is not the built one"

sfxpack=$root/usr/bin/sfxpack
[ "$("$sfxpack" --version)" = "sfxpack $version" ] || fail "--version says '$("$sfxpack" --version)', not 'sfxpack $version'"

mkdir -p "$scratch/src"
printf '"readme.txt"\r\n' >"$scratch/src/Setup.cfg"
printf 'MZ setup' >"$scratch/src/Setup.exe"
printf 'Read me.\r\n' >"$scratch/src/readme.txt"
for arch in win32 win64; do
  installer=$scratch/Setup-$arch.exe
  args=()
  [ $arch = win64 ] && args=(--arch win64)
  "$sfxpack" pack "$scratch/src" -o "$installer" "${args[@]}" >"$scratch/pack.log" ||
    { cat "$scratch/pack.log" >&2; fail "pack with the unpacked program ($arch) failed"; }
  stub=$root/usr/share/sfxpack/stubs/$arch/sfxstub.exe
  grep -qF "stub $stub," "$scratch/pack.log" || { cat "$scratch/pack.log" >&2; fail "pack did not use $stub"; }
  "$sfxpack" list "$installer" >"$scratch/list.log" || { cat "$scratch/list.log" >&2; fail "list does not read the $arch installer"; }
  grep -q "installer, payload at offset" "$scratch/list.log" || fail "list does not name where the $arch payload is"
  # The installer's stub part is the packaged stub, byte for byte.
  grep -qF "stub SHA-256: $(sha256sum "$stub" | cut -d' ' -f1)" "$scratch/list.log" ||
    { cat "$scratch/list.log" >&2; fail "the $arch installer was not packed from the packaged stub"; }
done
echo "ok: $(basename "$deb") ($(stat -c %s "$deb") bytes) installs a sfxpack that packs with its own stubs"
