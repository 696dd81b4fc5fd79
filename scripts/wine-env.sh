# Sourced by the Wine runner and the end-to-end test: which Wine loader runs a program.
# Debian's `wine` front script always tries the 32-bit loader first, and some of our
# machines' kernels refuse 32-bit programs, so each architecture names its loader itself.
wine_loader32=/usr/lib/wine/wine
wine_loader64=/usr/lib/wine/wine64

# pe_arch FILE: prints win32 or win64 from the machine field of a Windows executable.
pe_arch() {
  local off machine
  off=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  machine=$(od -An -tx2 -j$((${off:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case $machine in
    8664) echo win64 ;;
    014c) echo win32 ;;
    *) echo unknown ;;
  esac
}

# why_no_32bit: prints why 32-bit programs cannot run here and succeeds, or fails quietly
# when they can. PELORIN_NO_32BIT=1 takes the "cannot" road on any machine.
why_no_32bit() {
  if [ -n "${PELORIN_NO_32BIT:-}" ]; then
    echo "PELORIN_NO_32BIT is set"
    return 0
  fi
  if [ ! -x "$wine_loader32" ]; then
    echo "the 32-bit Wine loader $wine_loader32 is not installed"
    return 0
  fi
  local err
  if err=$("$wine_loader32" --version 2>&1); then
    return 1
  fi
  echo "this machine's kernel does not run 32-bit programs ($wine_loader32: ${err##*: })"
  return 0
}

# use_wine win32|win64: sets $WINE to that loader and exports what Wine needs to start
# further processes (wineboot, explorer, reg) with the same one.
use_wine() {
  export WINEARCH=$1
  if [ "$1" = win64 ]; then WINE=$wine_loader64; else WINE=$wine_loader32; fi
  export WINELOADER=$WINE
}

# The exit status that ctest reports as "skipped" (SKIP_RETURN_CODE in cmake/Pelorin.cmake).
wine_skip_status=77
