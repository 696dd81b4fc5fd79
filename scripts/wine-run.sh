#!/usr/bin/env bash
# Runs a Windows program under Wine in this build tree's private prefix.
#   wine-run.sh --init   makes the prefix (once) and starts its server
#   wine-run.sh --kill   stops this prefix's server only
#   wine-run.sh prog.exe args...
# Without a DISPLAY it runs inside its own Xvfb, since Wine needs one for any window.
set -euo pipefail
build=${PELORIN_BUILD_DIR:-$PWD}
# ctest runs tests from their build subfolder; use the tree's top (where CMakeCache.txt is).
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ "$build" = / ] && build=$PWD
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win32

if [ -z "${DISPLAY:-}" ] && [ "${1:-}" != --kill ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

case "${1:-}" in
  --init)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1 || true
    fi
    wineserver -w >/dev/null 2>&1 || true
    exit 0 ;;
  --kill)
    wineserver -k >/dev/null 2>&1 || true
    exit 0 ;;
esac
exec wine "$@"
