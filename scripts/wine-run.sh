#!/usr/bin/env bash
# Runs a Windows program under Wine in this build tree's private prefix.
#   wine-run.sh --init   makes the prefix (once), with the fonts our dialogs are laid out for
#   wine-run.sh --kill   stops this prefix's server only
#   wine-run.sh prog.exe args...
# Without a DISPLAY it runs inside its own Xvfb, since Wine needs one for any window.
# PELORIN_WINEPREFIX chooses another prefix (the end-to-end test makes a fresh one).
set -euo pipefail
build=${PELORIN_BUILD_DIR:-$PWD}
# ctest runs tests from their build subfolder; use the tree's top (where CMakeCache.txt is).
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ "$build" = / ] && build=$PWD
export WINEPREFIX=${PELORIN_WINEPREFIX:-"$build/wineprefix"}
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
    # Windows has Tahoma and Marlett; Wine's own copies keep dialog metrics close to it.
    for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
      if [ -f "/usr/share/wine/fonts/$f" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/$f" ]; then
        cp "/usr/share/wine/fonts/$f" "$WINEPREFIX/drive_c/windows/Fonts/"
      fi
    done
    # Windows of the tests live on a Wine virtual desktop: without a window manager on
    # the bare Xvfb, every hide or move waits for an answer that never comes (seconds
    # each). PELORIN_WINE_DESKTOP=none keeps the prefix without one (the end-to-end test
    # opens its own named desktop).
    size=${PELORIN_WINE_DESKTOP:-1024x768}
    if [ "$size" != none ] && ! grep -q '^\[Software\\\\Wine\\\\Explorer\\\\Desktops\]' "$WINEPREFIX/user.reg" 2>/dev/null; then
      wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
    fi
    exit 0 ;;
  --kill)
    wineserver -k >/dev/null 2>&1 || true
    exit 0 ;;
esac
exec wine "$@"
