#!/usr/bin/env bash
# Checks that the C++ sources under src/, programs/, tests/ and bench/ are
# formatted as .clang-format says: lists every file that clang-format would
# change and fails when there is one. The clang-format used is the plain
# one, else the newest versioned one (clang-format-NN); without any, the
# check reports itself skipped (exit 77).
#
# Usage: check_format.sh SOURCE_DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: check_format.sh SOURCE_DIR" >&2; exit 2; }
cd "$1"
tool=$(command -v clang-format || true)
if [ -z "$tool" ]; then
  tool=$(compgen -c clang-format- | grep -E '^clang-format-[0-9]+$' | sort -t- -k3 -n | tail -n 1 || true)
fi
if [ -z "$tool" ]; then
  echo "SKIPPED: no clang-format found (scripts/install-deps installs it)"
  exit 77
fi
echo "using $("$tool" --version)"
# One run over every file; each file that would change is named in a
# "<file>:<line>:<column>: error:" line.
drifted=$(find src programs tests bench -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 | sort -z |
  xargs -0 "$tool" --dry-run --Werror 2>&1 >/dev/null | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' |
  sort -u || true)
if [ -n "$drifted" ]; then
  echo "not formatted (clang-format -i FILE fixes it):"
  echo "$drifted"
  exit 1
fi
echo "all formatted"
