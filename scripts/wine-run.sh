#!/usr/bin/env bash
# Runs a Windows program under Wine in this build tree's private prefix.
#   wine-run.sh --init win32|win64   makes the prefix (once), with the fonts our dialogs use
#   wine-run.sh --kill               stops this prefix's server only
#   wine-run.sh prog.exe args...     runs it with the loader of its architecture
# A 32-bit program on a machine that cannot run one exits with the skip status, after
# saying why. Without a DISPLAY it runs inside its own Xvfb, since Wine needs one.
# PELORIN_WINEPREFIX chooses another prefix (the end-to-end test uses a copy of ours).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
build=${PELORIN_BUILD_DIR:-$PWD}
# ctest runs tests from their build subfolder; use the tree's top (where CMakeCache.txt is).
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ "$build" = / ] && build=$PWD
export WINEPREFIX=${PELORIN_WINEPREFIX:-"$build/wineprefix"}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# A booted, unused prefix that every prefix of this tree starts as a copy of: booting one
# takes many seconds (about a minute for a first 64-bit start), copying it a fraction.
template=$build/wineprefix-template

case "${1:-}" in
  --kill)
    wineserver -k >/dev/null 2>&1 || true
    exit 0 ;;
  --init) arch=${2:?wine-run.sh --init needs win32 or win64} ;;
  *)
    if [ -f "${1:-}" ]; then
      arch=$(pe_arch "$1")
    else
      arch=$(sed -n 's/^#arch=//p' "$WINEPREFIX/system.reg" 2>/dev/null || true)
    fi
    [ -n "$arch" ] && [ "$arch" != unknown ] || arch=win64 ;;
esac

if [ "$arch" = win32 ] && reason=$(why_no_32bit); then
  echo "skipped: 32-bit Windows programs cannot run here: $reason"
  exit $wine_skip_status
fi
use_wine "$arch"

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# boot DIR: a fresh prefix in DIR with Windows' dialog fonts, its server stopped, or a loud
# failure that leaves nothing half made behind.
boot() {
  local dir=$1 tmp="$1.boot.$$" log
  rm -rf "$tmp"
  log=$(WINEPREFIX=$tmp "$WINE" wineboot -i 2>&1) && WINEPREFIX=$tmp wineserver -w >/dev/null 2>&1 || true
  if [ ! -f "$tmp/system.reg" ] || [ ! -d "$tmp/drive_c/windows/Fonts" ]; then
    echo "wine-run: could not make a $arch Wine prefix with '$WINE wineboot -i':"
    echo "$log" | tail -n 20
    WINEPREFIX=$tmp wineserver -k >/dev/null 2>&1 || true
    rm -rf "$tmp"
    exit 1
  fi
  # Windows has Tahoma and Marlett; Wine's own copies keep dialog metrics close to it.
  for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
    if [ -f "/usr/share/wine/fonts/$f" ]; then cp "/usr/share/wine/fonts/$f" "$tmp/drive_c/windows/Fonts/"; fi
  done
  mv "$tmp" "$dir"
}

# clone SRC DST: a prefix of its own in DST. Windows' system folders (over a gigabyte in a
# 64-bit prefix) are shared as hard links: Wine writes into them only when it updates a
# prefix, which the copied time stamp rules out. Everything else is copied.
clone() {
  local big=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs) d excl=()
  for d in "${big[@]}"; do excl+=("--exclude=./$d"); done
  mkdir -p "$2.part"
  tar -C "$1" "${excl[@]}" -cf - . | tar -C "$2.part" -xf -
  for d in "${big[@]}"; do
    if [ -d "$1/$d" ]; then cp -al "$1/$d" "$2.part/$d"; fi
  done
  mv "$2.part" "$2"
}

if [ "${1:-}" = --init ]; then
  if [ ! -f "$template/system.reg" ] || [ "$(sed -n 's/^#arch=//p' "$template/system.reg")" != "$arch" ]; then
    rm -rf "$template"
    boot "$template"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX" "$WINEPREFIX.part"
    clone "$template" "$WINEPREFIX"
  fi
  # Windows of the tests live on a Wine virtual desktop: without a window manager on
  # the bare Xvfb, every hide or move waits for an answer that never comes (seconds
  # each). PELORIN_WINE_DESKTOP=none keeps the prefix without one (the end-to-end test
  # opens its own named desktop).
  size=${PELORIN_WINE_DESKTOP:-1024x768}
  if [ "$size" != none ] && ! grep -q '^\[Software\\\\Wine\\\\Explorer\\\\Desktops\]' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1 || true
  fi
  exit 0
fi
exec "$WINE" "$@"
