#!/usr/bin/env bash
# End-to-end test of the notifier at work: Pelorin.exe under Wine reaches the loopback
# catalogue fixture through its own proxy setting; the tray menu's commands, the popup's
# links and the fixture's request log show what it asked for and what it did.
#   run_news_e2e.sh Pelorin.exe driver.exe OUTDIR
# Screenshots of the news popup, the failure popup and the search dialog are left in OUTDIR.
set -uo pipefail
exe=$1
driver=$2
out=$3
desk=pelorin_news
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.png

. "$root/tests/e2e/e2e-lib.sh"

start_fixture 600
urls=$WINEPREFIX/drive_c/urls.txt

# The fixture's special feeds as categories of their own, so that the picker can hold them.
printf '\r\n[Test feeds]\r\nQuery in a link=amp\r\nMissing feed=missing\r\nLong list=many\r\nNothing new=empty\r\n' >>"$app/categories.ini"

# The test's web browser: every address the shell is asked to open lands in $urls.
"$WINE" reg add 'HKCR\http\shell\open\command' /ve /d "\"$("$WINE" winepath -w "$app/driver.exe")\" record-url \"%1\"" /f >/dev/null 2>&1

# settings.ini as the options form writes it; $1: category ID, $2: 1 for "Top 10", $3: proxy port.
settings() {
  printf '[Settings]\r\nLastAdditions=%d\r\nTop10=%d\r\nID=%s\r\nRefresh=30\r\nDuration=%d\r\nProxyUse=1\r\nProxyServer=127.0.0.1\r\nProxyPort=%s\r\nProxyAuth=0\r\n' \
    $((1 - $2)) "$2" "$1" "$duration" "$3" >"$app/settings.ini"
}
# Showing the options reads the file again; Cancel leaves it as it is.
reload_settings() {
  tray_double_click
  expect_state 'visible=1' "double-click did not show the form"
  click_control Button "Cancel"
  expect_state 'visible=0' "Cancel did not hide the form"
}
expect_popup() { expect_drv popup "$1" "$2" 20; }
# The n-th link of the popup (from 1), as "x y".
link() { drv links | sed -n "${1}p"; }
click_link() {
  local pos
  pos=$(link "$1")
  [[ $pos =~ ^[0-9]+\ [0-9]+$ ]] || { fail "the popup has no link $1 ($pos)"; return 1; }
  # shellcheck disable=SC2086
  click_at $pos
}
check_news() { tray_menu && menu_pick 6; }
requested() { grep -c "^conn [0-9]*: GET $1 HTTP/1.0" "$log" 2>/dev/null; }

duration=8
settings 175 0 "$port"
echo "== start"
start_program

echo "== \"Check for News...\" asks the catalogue through the proxy and rolls up the items"
check_news
expect_popup 'popup=1' "no popup rose after \"Check for News...\""
sleep 1.5
shot 10-news-popup
news_url="http://www.quenlow.com/rss/rss.php?id=175&type=last&pport=pl4712"
[ "$(requested "$news_url")" = 1 ] || fail "the fixture did not see one request for $news_url: $(tail -3 "$log")"
nlinks=$(drv links | wc -l)
# Close, the feed's four items and the four footer links.
[ "$nlinks" = 9 ] || fail "the popup shows $nlinks links, not 9: $(drv links | tr '\n' '|')"

echo "== \"Show Latest Popup\" repeats it; the popup timer rolls it down"
tray_menu && menu_pick 1
expect_popup 'popup=1' "\"Show Latest Popup\" showed nothing"
sleep $((duration + 2))
expect_popup 'popup=0' "the popup did not roll down after $duration s"
[ "$(requested "$news_url")" = 1 ] || fail "\"Show Latest Popup\" downloaded again"

echo "== \"Close\" hides the popup and opens nothing"
tray_menu && menu_pick 1
expect_popup 'popup=1' "\"Show Latest Popup\" showed nothing"
click_link 1
expect_popup 'popup=0' "\"Close\" did not hide the popup"
[ -s "$urls" ] && fail "\"Close\" opened something in the browser: $(cat "$urls")"

echo "== a search asks the search service with the dialog's values, the phrase encoded"
search() { tray_menu && menu_pick 5 && expect_drv "dialog Search for Software..." 'dialog=1' "\"Search for Software...\" opened no dialog" 20; }
search_url='http://search.quenlow.com/rss/rss_search.php'
search
xdotool type --delay 60 zip
xdotool key Return
expect_popup 'popup=1' "no popup after a search for \"zip\""
[ "$(requested "$search_url?srch_type=any&type=0&fs=0&os=0&terms=zip")" = 1 ] || fail "no search with the defaults for zip: $(tail -3 "$log")"
sleep 1.5
click_link 1
search
# The phrase, then each list by the keyboard: the last phrase mode, "Shareware",
# "Less than 1MB" and the last system.
xdotool type --delay 60 'zip tools'
xdotool key Tab End Tab Down Down Tab Down Down Down Down Down Tab End
sleep 0.5
shot 12-search-dialog
xdotool key Return
expect_popup 'popup=1' "no popup after a search with filters"
[ "$(requested "$search_url?srch_type=exact&type=2&fs=1000&os=wxp&terms=zip%20tools")" = 1 ] || fail "no filtered search for \"zip tools\": $(tail -3 "$log")"
sleep 1.5
shot 13-search-popup
click_link 1
search
xdotool key Escape
expect_drv "dialog Search for Software..." 'dialog=0' "Escape did not close the search dialog" 10
tray_menu && menu_pick 1
expect_popup 'popup=1' "\"Show Latest Popup\" showed nothing after the searches"
click_link 1

echo "== an item link opens in the browser, its entities decoded once, and hides the popup"
settings amp 0 "$port"
reload_settings
check_news
expect_popup 'popup=1' "no popup for the feed whose link has \"&amp;\""
sleep 1.5
click_link 2
expect_popup 'popup=0' "the popup stayed after an item link was clicked"
for _ in $(seq 20); do [ -s "$urls" ] && break; sleep 0.25; done
want='http://www.quenlow.com/download.php?id=4711&src=rss'
[ "$(tr -d '\r' <"$urls" 2>/dev/null)" = "$want" ] || fail "the browser was asked for \"$(cat "$urls" 2>/dev/null)\", not \"$want\""
sleep $((duration + 1))
expect_popup 'popup=0' "the popup came back by itself after a link was clicked"

echo "== a feed longer than the screen shows the items that fit, then the footer"
settings many 0 "$port"
reload_settings
check_news
expect_popup 'popup=1' "no popup for the long feed"
sleep 3
shot 14-long-feed
read -r _ _ top _ bottom < <(drv popup)
[ "${top:-0}" -ge 0 ] && [ "${bottom:-9999}" -le 580 ] || fail "the long feed's popup does not fit above the taskbar: $(drv popup)"
drv links | tail -4 | awk '{ print $2 }' | sort -u | wc -l | grep -qx 1 || fail "the footer's four links are not on one line at the bottom"
click_link 1

echo "== a feed without items shows the header, its title and the footer"
settings empty 0 "$port"
reload_settings
check_news
expect_popup 'popup=1' "no popup for the feed without items"
sleep 1.5
[ "$(drv links | wc -l)" = 5 ] || fail "the empty feed's popup has other links than Close and the footer: $(drv links | tr '\n' '|')"
click_link 1

echo "== a 404 gives the failure popup; its \"settings\" link opens the Connection page"
settings missing 1 "$port"
reload_settings
check_news
expect_popup 'popup=1' "no failure popup after a 404"
sleep 1.5
shot 11-failure-popup
[ "$(requested "http://www.quenlow.com/rss/rss.php?id=missing&type=top10&pport=pl4712")" = 1 ] || fail "no top10 request for the missing feed: $(tail -3 "$log")"
click_link 2
expect_state 'visible=1 tab=1' "\"settings\" did not open the Connection page"
expect_popup 'popup=0' "the failure popup stayed after \"settings\""
click_control Button "Cancel"

echo "== an unreachable proxy gives the failure popup too"
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
settings 175 0 "$closed"
reload_settings
check_news
expect_popup 'popup=1' "no failure popup with nothing listening at the proxy's port"
click_link 1

echo "== the About tab shows the program's version"
tray_double_click
drv statics | grep -Eq '^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' || fail "no version text among the labels: $(drv statics | tr '\n' '|')"
click_control Button "Cancel"

echo "== Exit"
tray_menu && menu_pick 3
expect_state 'form=0' "\"Exit\" did not end the program"
finish
