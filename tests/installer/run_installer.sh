#!/usr/bin/env bash
# The installer under Wine, in a fresh prefix on its own Xvfb: a silent install, the
# installed program started, a reinstall over it while it runs, the installer's pages
# clicked through, a silent uninstall while it runs, and an install into a folder whose
# path has blanks.
#   run_installer.sh PelorinSetup.exe Pelorin.exe driver.exe VERSION OUTDIR
# Screenshots of the pages (welcome, folder, components, finish) are left in OUTDIR.
set -uo pipefail
setup=$1
exe=$2
driver=$3
version=$4
out=$5
desk=pelorin_setup
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.png

. "$root/tests/e2e/e2e-lib.sh"

# Every program started with the plain loader (the installer, the program it starts) joins
# the desktop the helper and start_program use.
"$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d "$desk" /f >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$desk" /d 800x600 /f >/dev/null 2>&1
cp "$setup" "$work/setup.exe"
uninst_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelorin'

# regval KEY NAME: the value's data, or nothing when it is absent.
regval() { "$WINE" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^    $2    REG_[A-Z_]*    //p"; }
winpath() { "$WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
# Installs silently with the arguments given; fails the check on a nonzero exit.
install_silently() {
  local rc=0
  # Through the command interpreter: /D= takes the rest of the line as it is, blanks and
  # all, and the loader would quote it.
  timeout 180 "$WINE" cmd /c "$(winpath "$work/setup.exe") /S $*" >/dev/null 2>&1 || rc=$?
  [ $rc = 0 ] || fail "the silent install $* ended with $rc"
  # The folder the install went to, as the Uninstall key names it.
  local loc
  loc=$(regval "$uninst_key" InstallLocation)
  dir=$(realpath -m "$("$WINE" winepath -u "$loc" 2>/dev/null | tr -d '\r')")
}
shortcut() { find "$WINEPREFIX/drive_c/users" -path '*/Start Menu/Programs/Pelorin.lnk' 2>/dev/null; }
running() { [ "$(drv procs Pelorin.exe)" != none ]; }
# Waits up to 30 s for the command to succeed; fails with $1 otherwise.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 60); do "$@" && return 0; sleep 0.5; done
  fail "$what"
  return 1
}
not() { ! "$@"; }
# The installed files, shortcut and registry entries of an install in $dir; $1 the Run value
# expected.
check_installed() {
  local want_run=$1 f
  for f in Pelorin.exe categories.ini Uninstall.exe; do [ -f "$dir/$f" ] || fail "no $f in \"$dir\""; done
  cmp -s "$exe" "$dir/Pelorin.exe" || fail "the installed Pelorin.exe is not the build's"
  [ -n "$(shortcut)" ] || fail "no Start-menu shortcut"
  local wdir
  wdir=$(winpath "$dir")
  local name value
  while IFS='|' read -r name value; do
    [ "$(regval "$uninst_key" "$name")" = "$value" ] || fail "$name is \"$(regval "$uninst_key" "$name")\", expected \"$value\""
  done <<TABLE
DisplayName|Pelorin
DisplayVersion|$version
Publisher|Varnoth
DisplayIcon|$wdir\\Pelorin.exe,0
UninstallString|"$wdir\\Uninstall.exe"
TABLE
  local size
  size=$(regval "$uninst_key" EstimatedSize)
  [[ $size =~ ^0x[0-9a-f]+$ && $size != 0x0 ]] || fail "EstimatedSize is \"$size\""
  [ "$(regval "$runkey" Pelorin)" = "$want_run" ] || fail "Run value is \"$(regval "$runkey" Pelorin)\", expected \"$want_run\""
}
# The installer's window (the uninstaller's is "Pelorin Uninstall"): its caption, with a
# blank after it on the pages that have a heading in the band at the top.
setup_caption="Pelorin Setup"
setup_drv() {
  local s
  s=$(drv "$@" "$setup_caption")
  [ "$s" = none ] && s=$(drv "$@" "$setup_caption ")
  echo "$s"
}
page_shown() { [[ $(setup_drv texts) =~ $1 ]]; }
# Clicks the button $1 of the installer's window once it is there; fails with $2 otherwise.
click_button() {
  local pos=""
  for _ in $(seq 20); do
    pos=$(setup_drv button "$1")
    if [[ $pos =~ ^[0-9]+\ [0-9]+$ ]]; then
      # shellcheck disable=SC2086
      click_at $pos
      return 0
    fi
    sleep 0.5
  done
  fail "$2 ($pos)"
  return 1
}
# Waits for the page whose heading matches $1, takes its picture as $2, then clicks $3.
page() {
  wait_for "no page \"$1\"" page_shown "$1" || return 1
  sleep 0.5
  shot "$2"
  click_button "$3" "no button \"$3\" on the page \"$1\""
}

echo "== a silent install puts the files and registry entries in place"
install_silently
check_installed "$(winpath "$dir")\\Pelorin.exe"

echo "== the installed program starts hidden, with its tray icon"
app=$dir
start_program
expect_state 'form=1 visible=0 .* taskbar=0' "a window or taskbar button is visible after start"
shot 00-installed-running

echo "== a reinstall closes the running program and keeps the edited settings and no start with Windows"
"$WINE" reg delete "$runkey" /v Pelorin /f >/dev/null 2>&1
printf '[Settings]\r\nRefresh=45\r\nDuration=9\r\n' >"$dir/settings.ini"
settings=$(md5sum <"$dir/settings.ini")
# An installed copy that differs, so that the overwrite shows.
printf 'old' >"$dir/categories.ini"
install_silently
not running || fail "the reinstall left Pelorin running"
[ "$(md5sum <"$dir/settings.ini")" = "$settings" ] || fail "the reinstall changed settings.ini"
cmp -s "$root/app/categories.ini" "$dir/categories.ini" || fail "the reinstall did not replace categories.ini"
check_installed ""

echo "== the pages, clicked through; the finish page starts Pelorin"
"$WINE" "$work/setup.exe" >/dev/null 2>&1 &
page "Welcome to Pelorin Setup" 01-welcome "&Next >"
page "Choose Install Location" 02-folder "&Next >"
page "Choose Components" 03-components "&Install"
page "Completing Pelorin Setup" 04-finish "&Finish"
wait_for "the finish page did not start Pelorin" running
wait_for "no tray icon after the finish page" icon_shown
[ "$(md5sum <"$dir/settings.ini")" = "$settings" ] || fail "the install through the pages changed settings.ini"

echo "== a silent uninstall closes the program, removes everything and keeps the settings"
"$WINE" "$dir/Uninstall.exe" /S >/dev/null 2>&1
# The uninstaller runs on from a copy of itself; the Uninstall key goes last.
wait_for "the Uninstall key is still there" not "$WINE" reg query "$uninst_key" >/dev/null 2>&1
not running || fail "the uninstall left Pelorin running"
for f in Pelorin.exe categories.ini Uninstall.exe; do [ ! -e "$dir/$f" ] || fail "the uninstall left $f"; done
[ -z "$(shortcut)" ] || fail "the uninstall left the Start-menu shortcut"
[ -z "$(regval "$runkey" Pelorin)" ] || fail "the uninstall left the Run value"
[ "$(md5sum <"$dir/settings.ini")" = "$settings" ] || fail "the silent uninstall did not keep settings.ini"

echo "== /D= installs into a folder with blanks, and the Run value is quoted"
install_silently '/D=C:\Pelorin Test Folder'
[ "$dir" = "$WINEPREFIX/drive_c/Pelorin Test Folder" ] || fail "installed into \"$dir\""
check_installed "\"C:\\Pelorin Test Folder\\Pelorin.exe\""

echo "== the uninstaller's pages: asked, it lets the settings go too"
printf '[Settings]\r\nRefresh=45\r\n' >"$dir/settings.ini"
# What the program writes beside itself: the items shown and the last feed.
echo http://example.invalid/item >"$dir/seenitems.txt"
echo '<rss/>' >"$dir/data.txt"
"$WINE" "$dir/Uninstall.exe" >/dev/null 2>&1 &
setup_caption="Pelorin Uninstall"
page "Uninstall Pelorin" 05-uninstall "&Uninstall"
click_button "&No" "no question whether to keep the settings"
click_button "&Close" "no Close button at the uninstall's end"
wait_for "the uninstall through its pages left the folder" not test -e "$dir"
[ -z "$(regval "$runkey" Pelorin)" ] || fail "the uninstall left the quoted Run value"

finish
