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

. "$root/tests/e2e/e2e-lib.sh"

echo "== start"
# The desktop first, so that the time to the icon is the program's own.
start_program
ms=$start_ms
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

finish
