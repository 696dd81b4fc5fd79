#!/usr/bin/env bash
# Pictures of the options form's tabs and the news popup with the screen at DPI dots per
# inch (a copy of the prefix with that LogPixels), to be looked at beside the 96-DPI ones.
# The keyboard turns the form's pages, whose tabs move with the scale.
#   run_dpi_shots.sh Pelorin.exe driver.exe OUTDIR DPI
set -uo pipefail
exe=$1
driver=$2
out=$3
export PELORIN_E2E_DPI=$4
desk=pelorin_dpi
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.png

. "$root/tests/e2e/e2e-lib.sh"

start_fixture 300
printf '[Settings]\r\nLastAdditions=1\r\nTop10=0\r\nID=175\r\nRefresh=30\r\nDuration=30\r\nProxyUse=1\r\nProxyServer=127.0.0.1\r\nProxyPort=%s\r\nProxyAuth=0\r\n' \
  "$port" >"$app/settings.ini"

echo "== at $PELORIN_E2E_DPI DPI"
start_program
tray_double_click
expect_state 'visible=1 tab=0' "double-click did not show the form"
sleep 0.5
shot 01-settings
# The picker has the focus: typing and Down open the tree on the category found.
xdotool type --delay 80 puz
xdotool key Down
expect_combo 'drop=1' "typing and Down did not open the category tree"
shot 01a-categories
xdotool key Escape
expect_combo 'drop=0' "Escape did not close the category tree"
xdotool key ctrl+Tab
expect_state 'tab=1' "Ctrl+Tab did not open Connection"
shot 02-connection
xdotool key ctrl+Tab
expect_state 'tab=2' "Ctrl+Tab did not open About"
shot 03-about
xdotool key Escape
expect_state 'visible=0' "Escape did not hide the form"

# Lines of the tray menu from its bottom: 17 pixels each at 96 DPI below a 3-pixel border.
row=$((17 * PELORIN_E2E_DPI / 96))
pick_from_bottom() {
  local l b
  read -r _ l _ _ b < <(drv menu | head -1)
  click_at $((l + 60)) $((b - 3 * PELORIN_E2E_DPI / 96 - row * $1 - row / 2))
}

echo "== \"Search for Software...\", the line above the last"
tray_menu
pick_from_bottom 1
sleep 1.5
shot 04-search
xdotool key Escape
sleep 0.5

echo "== \"Check for News...\", the menu's last line"
tray_menu
pick_from_bottom 0
expect_drv popup 'popup=1' "no popup rose after \"Check for News...\"" 20
sleep 1.5
shot 05-news-popup
finish
