#!/usr/bin/env bash
# Builds the 32-bit stub twice from the same source, in two fresh build
# folders whose paths differ (also in length), and compares the two
# sfxstub.exe files byte for byte: a vendor can then check the stub inside
# an installer (`sfxpack list` shows its SHA-256) against a published hash.
#
# Only the sfxstub target is built, without tests and benchmarks, and
# without a compiler cache, so that each build compiles every source itself.
#
# Usage: build_twice.sh SOURCE_DIR SCRATCH_DIR
set -euo pipefail
source_dir=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
for folder in a second-folder; do
  if ! { cmake -S "$source_dir" -B "$scratch/$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
           -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-i686-w64-mingw32.cmake" \
           -DSFX_BUILD_TESTS=OFF -DSFX_BUILD_BENCH=OFF -DSFX_WERROR=ON &&
         nice cmake --build "$scratch/$folder" --target sfxstub -j2; } >"$scratch/$folder.log" 2>&1; then
    cat "$scratch/$folder.log" >&2
    echo "build_twice: the build in $scratch/$folder failed" >&2
    exit 1
  fi
done
first=$scratch/a/bin/sfxstub.exe
second=$scratch/second-folder/bin/sfxstub.exe
if ! cmp "$first" "$second"; then
  echo "build_twice: two builds of the stub differ" >&2
  exit 1
fi
echo "build_twice: both builds give $(sha256sum <"$first" | cut -d' ' -f1)"
rm -rf "$scratch"
