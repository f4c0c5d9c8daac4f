# Shell functions shared by the scripts that build the installers of the
# tests under Wine (prepare_e2e.sh, faults/prepare_faults.sh,
# update/prepare_update_e2e.sh); they source this file.

# prepare_dirs SCRIPT_NAME HOST_BIN_DIR WIN32_BIN_DIR OUT_DIR
#   Checks the arguments of the calling script and sets host_bin, win_bin and
#   out (absolute paths; OUT_DIR is created) and stub and probe, the
#   cross-built stub and Setup.exe probe.
prepare_dirs() {
  local name=$1
  shift
  [ $# -eq 3 ] || { echo "usage: $name.sh HOST_BIN_DIR WIN32_BIN_DIR OUT_DIR" >&2; exit 2; }
  host_bin=$(cd "$1" && pwd)
  win_bin=$(cd "$2" && pwd)
  mkdir -p "$3"
  out=$(cd "$3" && pwd)
  stub=$win_bin/sfxstub.exe
  probe=$win_bin/sfx_setup_probe.exe
}

# require_tools SCRIPT_NAME FILE...
#   Stops the calling script when one of the files is missing.
require_tools() {
  local name=$1 tool
  shift
  for tool in "$@"; do
    [ -f "$tool" ] || { echo "$name: missing $tool (build the native preset first)" >&2; exit 1; }
  done
}
