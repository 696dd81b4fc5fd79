#!/usr/bin/env bash
# End-to-end test of the application shell: Pelorin.exe in a fresh Wine prefix inside a
# Wine virtual desktop on its own Xvfb, driven with xdotool the way a person would (tray
# clicks, the menu, the buttons). A helper exe on the same desktop reports what is shown.
#   run_e2e.sh Pelorin.exe driver.exe OUTDIR
# Screenshots of the three tabs, the open category picker and the open tray menu are left
# in OUTDIR.
set -uo pipefail
exe=$1
driver=$2
out=$3
desk=pelorin_e2e
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.png "$out"/footprint.txt

. "$root/scripts/wine-env.sh"
arch=$(pe_arch "$exe")
if [ "$arch" = win32 ] && reason=$(why_no_32bit); then
  echo "skipped: 32-bit Windows programs cannot run here: $reason"
  exit $wine_skip_status
fi
use_wine "$arch"

work=$(mktemp -d /tmp/pelorin-e2e.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER

n=110
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$n

cleanup() {
  wineserver -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# A copy of the build tree's prepared prefix, with its own named desktop below rather than
# the default one the unit-test prefixes get.
PELORIN_WINEPREFIX=$WINEPREFIX PELORIN_WINE_DESKTOP=none "$root/scripts/wine-run.sh" --init "$arch" || exit 1

app=$work/app
mkdir -p "$app"
cp "$exe" "$app/Pelorin.exe"
cp "$driver" "$app/driver.exe"
# The catalogue ships beside the program.
cp "$(dirname "$exe")/categories.ini" "$app/" || { echo "FAIL: no categories.ini beside $exe"; exit 1; }
runkey='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
failures=0

shot() { import -window root -crop 800x600+0+0 "$out/$1.png"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
  shot "failure-$failures"
}
# Runs the helper on Pelorin's desktop and prints its answer (it arrives through the pipe
# once the helper has run, so wait for it, briefly).
drv() {
  local f
  f=$(mktemp "$work/drv.XXXXXX")
  "$WINE" explorer /desktop=$desk,800x600 "$app/driver.exe" "$@" >"$f" 2>/dev/null
  for _ in $(seq 200); do [ -s "$f" ] && break; sleep 0.1; done
  sleep 0.1
  tr -d '\r' <"$f"
}
# Asks the helper ($1: state, combo, ...) every half second, up to $4 times, until its
# answer matches $2; else fails with $3.
expect_drv() {
  local cmd=$1 want=$2 what=$3 tries=$4 s=""
  for _ in $(seq "$tries"); do
    s=$(drv "$cmd")
    [[ $s =~ $want ]] && return 0
    sleep 0.5
  done
  fail "$what ($cmd: $s)"
  return 1
}
expect_state() { expect_drv state "$1" "$2" 20; }
expect_combo() { expect_drv combo "$1" "$2" 10; }
icon_shown() {
  local sd
  sd=$(import -window root -crop 16x16+782+582 png:- 2>/dev/null | convert - -format '%[fx:standard_deviation]' info: 2>/dev/null)
  awk -v s="${sd:-0}" 'BEGIN { exit !(s > 0.05) }'
}
click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.4; }
click_control() {
  local pos
  pos=$(drv where "$1" "$2")
  if [ "$pos" = none ] || [ -z "$pos" ]; then
    fail "no control $1 \"$2\""
    return 1
  fi
  # shellcheck disable=SC2086
  click_at $pos
}
tray_double_click() { xdotool mousemove 790 590 click --repeat 2 --delay 80 1; sleep 1; }
tray_menu() {
  xdotool mousemove 790 590 click 3
  expect_state 'menu=1' "right-click on the icon did not open the menu"
}
# Clicks a line of the open tray menu: rows of 17 pixels below a 3-pixel border, in the
# menu's order (the separator comes after the fourth line).
menu_pick() {
  local l t r b
  read -r _ l t r b < <(drv menu | head -1)
  if [ -z "${t:-}" ]; then
    fail "no open menu to pick line $1 from"
    return 1
  fi
  click_at $((l + 40)) $((t + 3 + 17 * $1 + 8))
}
tab() {
  local x y
  read -r x y < <(drv tabs)
  case $1 in
    0) click_at $((x + 28)) $((y + 10)) ;;
    1) click_at $((x + 95)) $((y + 10)) ;;
    2) click_at $((x + 155)) $((y + 10)) ;;
  esac
}
form_shot() {
  # The options form, centred on the 800x600 desktop.
  import -window root -crop 440x380+180+105 "$out/$1.png"
}

echo "== start"
# The desktop first, so that the time to the icon is the program's own.
"$WINE" explorer /desktop=$desk,800x600 >/dev/null 2>&1 &
for _ in $(seq 100); do
  [ "$(import -window root -crop 1x1+400+300 -format '%[pixel:p{0,0}]' info: 2>/dev/null)" != "srgb(0,0,0)" ] && break
  sleep 0.1
done
sleep 2
start=$(date +%s%N)
"$WINE" explorer /desktop=$desk,800x600 "$app/Pelorin.exe" >/dev/null 2>&1 &
shown=0
for _ in $(seq 300); do
  if icon_shown; then shown=1; break; fi
  sleep 0.05
done
ms=$((($(date +%s%N) - start) / 1000000))
[ $shown = 1 ] || fail "the tray icon did not appear"
echo "icon in the tray $ms ms after the program was started"
sleep 1
shot 01-after-start
expect_state 'form=1 visible=0 .* taskbar=0' "a window or taskbar button is visible after start"
mem=$(drv mem)
echo "memory after start-up: $mem KiB"
{
  echo "exe_bytes=$(stat -c %s "$exe")"
  echo "start_to_icon_ms=$ms"
  echo "memory_kib: $mem"
} >"$out/footprint.txt"

echo "== double-click shows the form on Settings"
tray_double_click
expect_state 'visible=1 tab=0 taskbar=1' "double-click did not show the form on Settings"
form_shot 02-settings
tab 1
expect_state 'tab=1' "the Connection tab did not open"
form_shot 03-connection
tab 2
expect_state 'tab=2' "the About tab did not open"
form_shot 04-about

echo "== Ctrl+Tab turns the pages from the keyboard"
xdotool key ctrl+Tab
expect_state 'tab=0' "Ctrl+Tab did not go round from About to Settings"
xdotool key ctrl+shift+Tab
expect_state 'tab=2' "Ctrl+Shift+Tab did not go back to About"

echo "== the category picker: the button opens the catalogue, typing and Down find a category"
tab 0
expect_state 'tab=0' "the Settings tab did not open again"
click_control PelorinDropTreeButton ""
expect_combo 'drop=1' "the drop button did not open the category tree"
# The form with the tree hanging below the picker.
import -window root -crop 560x400+170+100 "$out/02a-categories.png"
xdotool key Escape
expect_combo 'drop=0 text=$' "Escape did not close the tree and restore the empty text"
xdotool type --delay 80 puz
xdotool key Down
expect_combo 'drop=1 text=Puzzle & Word$' "typing \"puz\" and Down did not open the tree on \"Puzzle & Word\""
import -window root -crop 560x400+170+100 "$out/02b-category-found.png"
xdotool key Return
expect_combo 'drop=0 text=Puzzle & Word$' "Enter did not pick the category"

echo "== OK saves the file and the Run value"
tab 0
expect_state 'tab=0' "the Settings tab did not open again"
click_control Button "Load on Windows start up"
click_control Button "OK"
expect_state 'visible=0 .* taskbar=0' "OK did not hide the form"
[ -f "$app/settings.ini" ] || fail "OK did not write settings.ini"
grep -q '^Refresh=30' "$app/settings.ini" 2>/dev/null || fail "settings.ini lacks Refresh=30"
grep -q '^ProxyPort=8080' "$app/settings.ini" 2>/dev/null || fail "settings.ini lacks ProxyPort=8080"
grep -q '^ID=175' "$app/settings.ini" 2>/dev/null || fail "settings.ini lacks the picked category's ID=175"
want=$("$WINE" winepath -w "$app/Pelorin.exe" 2>/dev/null)
got=$("$WINE" reg query "$runkey" /v Pelorin 2>/dev/null | tr -d '\r' | awk '/Pelorin/ { $1 = ""; $2 = ""; sub(/^  */, ""); print }')
[ "$got" = "$want" ] || fail "Run value is \"$got\", expected \"$want\""

echo "== the tray menu"
tray_menu
shot 05-tray-menu
drv menu | head -1
click_at 300 200  # a click elsewhere closes it
expect_state 'menu=0' "a click outside did not close the menu"

echo "== Options from the menu; unchecking the start-up box removes the Run value"
tray_menu
menu_pick 0
expect_state 'visible=1 tab=0' "\"Options\" (the first item) did not show the form"
click_control Button "Load on Windows start up"
click_control Button "OK"
expect_state 'visible=0' "OK did not hide the form"
if "$WINE" reg query "$runkey" /v Pelorin >/dev/null 2>&1; then fail "the Run value is still there"; fi

echo "== Cancel keeps the file"
before=$(md5sum <"$app/settings.ini")
tray_double_click
expect_state 'visible=1 tab=0' "double-click did not show the form"
click_control Button "Top 10 downloads"
tab 2  # leave it on another page: the next showing must come back to "Settings"
click_control Button "Cancel"
expect_state 'visible=0' "Cancel did not hide the form"
[ "$(md5sum <"$app/settings.ini")" = "$before" ] || fail "Cancel changed settings.ini"

echo "== a settings file that cannot be written is reported and the form stays open"
mv "$app/settings.ini" "$work/settings.saved"
mkdir "$app/settings.ini"  # a folder in the way: no write can succeed
tray_double_click
expect_state 'visible=1' "double-click did not show the form"
click_control Button "OK"
box=""
for _ in $(seq 20); do
  box=$(drv msgbox)
  [ "$box" != none ] && [ -n "$box" ] && break
  sleep 0.5
done
shot 06-write-error
IFS='|' read -r title text okpos <<<"$box"
[ "${title:-}" = "Pelorin" ] || fail "the error box is titled \"${title:-}\", not \"Pelorin\""
[ "${text:-}" = "Unable to write to $("$WINE" winepath -w "$app/settings.ini" 2>/dev/null)" ] || fail "the error box says \"${text:-}\""
if [ -n "${okpos:-}" ]; then
  # shellcheck disable=SC2086
  click_at $okpos
fi
expect_state 'form=1 visible=1' "the form did not stay open after the failed save"
click_control Button "Cancel"
expect_state 'visible=0' "Cancel did not hide the form"
rmdir "$app/settings.ini"
mv "$work/settings.saved" "$app/settings.ini"

echo "== minimising hides the form to the tray"
tray_double_click
expect_state 'visible=1 tab=0' "double-click did not show the form on Settings"
read -r _ top right _ < <(drv formrect)
click_at $((right - 46)) $((top + 11))  # the caption's minimise button
expect_state 'visible=0 .* taskbar=0' "minimising left the form or its taskbar button"
icon_shown || fail "the icon is gone after minimising"

echo "== a restarted shell gets the icon back"
lost=$(drv lose-icon)
sleep 1
if icon_shown; then fail "the icon could not be taken from the shell ($lost)"; fi
drv taskbar-created >/dev/null
shown=0
for _ in $(seq 50); do
  if icon_shown; then shown=1; break; fi
  sleep 0.1
done
[ $shown = 1 ] || fail "the icon did not come back after \"TaskbarCreated\""

echo "== Exit ends the program"
tray_menu
menu_pick 3
expect_state 'form=0' "\"Exit\" (the fourth item) did not end the program"
sleep 1
shot 07-after-exit
if icon_shown; then fail "the tray icon stayed after Exit"; fi

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed; screenshots in $out"
  exit 1
fi
echo "all end-to-end checks passed; screenshots in $out"
