#!/usr/bin/env bash
# Runs a Windows test program in a copy of this build tree's Wine prefix whose screen is set
# to DPI dots per inch (the prefix's LogPixels); the shared prefix is never changed. The
# program learns the DPI from PELORIN_EXPECT_DPI, so that a setting that did not take fails.
#   run_at_dpi.sh DPI prog.exe args...
set -euo pipefail
dpi=$1
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"
arch=$(pe_arch "$1")
work=$(mktemp -d /tmp/pelorin-dpi.XXXXXX)
export PELORIN_WINEPREFIX=$work/prefix
cleanup() {
  WINEPREFIX=$PELORIN_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$root/scripts/wine-run.sh" --init "$arch"
use_wine "$arch"
for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
  WINEPREFIX=$PELORIN_WINEPREFIX WINEDEBUG=-all "$WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
done
WINEPREFIX=$PELORIN_WINEPREFIX wineserver -w >/dev/null 2>&1 || true
PELORIN_EXPECT_DPI=$dpi "$root/scripts/wine-run.sh" "$@"
