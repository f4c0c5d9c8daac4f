#!/usr/bin/env bash
# Builds the installers of the fault-injection tests with the host's
# sfx_craft_installer and the cross-built stub and Setup.exe probe:
#
#   small.exe   Setup.exe (a short text, not a program), a.txt, b.txt: a
#               stream of about a hundred bytes, small enough to damage
#               every byte of it
#   large.exe   Setup.exe (the probe), data.bin (200 KB of random bytes),
#               docs\readme.txt: damaged at a sample of positions; a launch
#               of the probe shows that the stub went on after the checks
#   full.exe    Setup.exe (the probe) and big.bin (3 MB of random bytes),
#               for a working folder on a 2 MB drive
#
# The entries' source files stay in OUT/src/<installer>/ for comparison.
# Usage: prepare_faults.sh HOST_BIN_DIR WIN32_BIN_DIR OUT_DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../prepare_common.sh"
prepare_dirs prepare_faults "$@"
craft=$host_bin/sfx_craft_installer
require_tools prepare_faults "$craft" "$stub" "$probe"

# The disk folder may be a mount point of the full-disk fixture: keep it.
find "$out" -mindepth 1 -maxdepth 1 ! -name disk ! -name disk.state -exec rm -rf {} +
mkdir -p "$out/tmp" "$out/cases" "$out/src/small" "$out/src/large/docs" "$out/src/full"

cd "$out/src/small"
printf 'not a program\r\n' > Setup.exe
printf 'first file\r\n' > a.txt
printf 'second file, a little longer than the first\r\n' > b.txt
"$craft" "$stub" "$out/small.exe" Setup.exe=Setup.exe a.txt=a.txt b.txt=b.txt

cd "$out/src/large"
cp "$probe" Setup.exe
head -c 200000 /dev/urandom > data.bin
printf 'Read me first.\r\n' > docs/readme.txt
"$craft" "$stub" "$out/large.exe" Setup.exe=Setup.exe data.bin=data.bin 'docs\readme.txt=docs/readme.txt'

cd "$out/src/full"
cp "$probe" Setup.exe
head -c 3000000 /dev/urandom > big.bin
"$craft" "$stub" "$out/full.exe" Setup.exe=Setup.exe big.bin=big.bin
echo "prepare_faults: installers in $out"
