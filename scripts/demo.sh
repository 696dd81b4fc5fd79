#!/usr/bin/env bash
# The demo: Pelorin.exe under Wine in a fresh prefix, on a Wine virtual desktop, fed by the
# loopback catalogue (tests/fixtures/http_fixture.py) through its own proxy setting. It
# picks "Check for News..." from the tray menu the way a person would, so that the news
# popup rises above the tray.
#   With a DISPLAY: the desktop opens there and stays until Pelorin's "Exit" or Ctrl-C.
#   Without one: it runs on its own Xvfb, waits for the popup, saves a screenshot, prints
#   where, and stops everything.
# It sets up what is missing (scripts/setup.sh) and builds the win64 preset first.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
# Its own name, so that a second demo on the same display finds its own desktop window.
desk=pelorin_demo_$$
width=800
height=600
build=$root/build/win64
shot_file=$build/demo/pelorin-demo.png

bash scripts/setup.sh || exit 1
echo "== building the win64 preset"
cmake --preset win64 >/dev/null || exit 1
# Ninja's progress lines are thinned out, as in the test command.
if ! cmake --build --preset win64 --target Pelorin e2e_driver 2>&1 | { grep -Ev '^\[[0-9]+/[0-9]+\] ' || true; }; then
  echo "demo: the win64 build failed"
  exit 1
fi
exe=$build/app/Pelorin.exe
driver=$build/tests/e2e/e2e_driver.exe

. scripts/wine-env.sh
use_wine win64
work=$(mktemp -d /tmp/pelorin-demo.XXXXXX)
app=$work/app
fixture=$work/fixture
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER
xvfb=""
interactive=1
[ -n "${DISPLAY:-}" ] || interactive=0

cleanup() {
  trap - EXIT INT TERM
  wineserver -k >/dev/null 2>&1
  python3 "$root/tests/fixtures/http_fixture.py" stop --dir "$fixture" >/dev/null 2>&1
  # Wine's launchers end with their server; the X server goes last, when nothing draws on it.
  for _ in $(seq 50); do
    jobs -pr | grep -qvx "${xvfb:-none}" || break
    sleep 0.1
  done
  for pid in $(jobs -pr); do
    [ "$pid" = "$xvfb" ] || kill "$pid" 2>/dev/null
  done
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo; echo "demo: interrupted"; exit 130' INT TERM

if [ $interactive = 0 ]; then
  # Our own X server, on the first free display from 200 up.
  for n in $(seq 200 299); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break 2; sleep 0.1; done
    kill "$xvfb" 2>/dev/null
    xvfb=""
  done
  [ -n "$xvfb" ] || { echo "demo: could not start Xvfb"; exit 1; }
elif ! xdpyinfo >/dev/null 2>&1; then
  echo "demo: cannot open the display $DISPLAY"
  exit 1
fi

echo "== a fresh Wine prefix"
PELORIN_BUILD_DIR=$build PELORIN_WINEPREFIX=$WINEPREFIX PELORIN_WINE_DESKTOP=none scripts/wine-run.sh --init win64 || exit 1

echo "== the catalogue on 127.0.0.1"
# Bounded like every fixture: four hours for a person at the screen, minutes for a screenshot.
lifetime=300
[ $interactive = 1 ] && lifetime=14400
read -r port _ < <(python3 tests/fixtures/http_fixture.py start --dir "$fixture" --lifetime $lifetime) || true
[ -n "${port:-}" ] || { echo "demo: the catalogue server did not start"; exit 1; }
echo "catalogue and proxy at 127.0.0.1:$port"

mkdir -p "$app"
cp "$exe" "$app/Pelorin.exe"
cp "$driver" "$app/driver.exe"
cp "$build/app/categories.ini" "$app/" || { echo "demo: no categories.ini beside $exe"; exit 1; }
# The news of all categories, through the catalogue server as the HTTP proxy.
printf '%s\r\n' '[Settings]' 'LastAdditions=1' 'Top10=0' 'ID=AA' 'ProxyServer=127.0.0.1' 'Refresh=30' \
  'Duration=60' "ProxyPort=$port" 'ProxyName=' 'ProxyPass=' 'ProxyUse=1' 'ProxyAuth=0' >"$app/settings.ini"

# The helper on Pelorin's desktop reports what is shown (see tests/e2e/driver.cpp).
drv() {
  local f
  f=$(mktemp "$work/drv.XXXXXX")
  "$WINE" explorer /desktop=$desk,${width}x$height "$app/driver.exe" "$@" >"$f" 2>/dev/null
  for _ in $(seq 200); do [ -s "$f" ] && break; sleep 0.1; done
  sleep 0.1
  tr -d '\r' <"$f"
}
# Screen work goes through the desktop's X window, wherever a window manager put it.
grab() { import -window "$wid" "$@" 2>/dev/null; }
click_at() { xdotool mousemove --window "$wid" "$1" "$2" click "${3:-1}"; sleep 0.4; }
icon_shown() {
  local sd
  sd=$(grab -crop 16x16+$((width - 18))+$((height - 18)) png:- | convert - -format '%[fx:standard_deviation]' info: 2>/dev/null)
  awk -v s="${sd:-0}" 'BEGIN { exit !(s > 0.05) }'
}
# The area above the tray where the popup rises (the taskbar and its animated icon left out).
popup_area() { grab -crop 400x440+$((width - 400))+$((height - 480)) "$1"; }
area_differs() {
  local ae
  ae=$(compare -metric AE "$1" "$2" null: 2>&1)
  [ "${ae%% *}" -gt 2000 ] 2>/dev/null
}

echo "== Pelorin on the Wine desktop \"$desk\""
cd "$app" || exit 1 # the program keeps its download in its current folder
"$WINE" explorer /desktop=$desk,${width}x$height >/dev/null 2>&1 &
wid=""
for _ in $(seq 300); do
  wid=$(xdotool search --name "^$desk - " 2>/dev/null | head -1)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "demo: the Wine desktop did not open"; exit 1; }
sleep 2
"$WINE" explorer /desktop=$desk,${width}x$height "$app/Pelorin.exe" >/dev/null 2>&1 &
shown=0
for _ in $(seq 300); do
  if icon_shown; then shown=1; break; fi
  sleep 0.1
done
[ $shown = 1 ] || { echo "demo: Pelorin's tray icon did not appear"; exit 1; }
sleep 1
popup_area "$work/before.png"

echo "== the tray menu: Check for News..."
opened=0
for _ in $(seq 3); do
  click_at $((width - 10)) $((height - 10)) 3
  for _ in $(seq 10); do
    [[ $(drv state) =~ menu=1 ]] && { opened=1; break 2; }
    sleep 0.3
  done
done
[ $opened = 1 ] || { echo "demo: a right-click on the icon did not open the menu"; exit 1; }
# "Check for News..." is the menu's last line: 17 pixels high above a 3-pixel border. (The
# menu's items cannot be read from another process under Wine, only its frame.)
read -r _ l _ _ b < <(drv menu | grep '^rect ')
[ -n "${b:-}" ] || { echo "demo: the open menu could not be found"; exit 1; }
click_at $((l + 40)) $((b - 3 - 17 + 8))
for _ in $(seq 10); do
  [[ $(drv state) =~ menu=0 ]] && break
  sleep 0.3
done

# Waits up to $1 tenths of a second for the program to ask the catalogue for its news.
news_asked() {
  for _ in $(seq "$1"); do
    grep -q 'rss/rss\.php' "$fixture/requests.log" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
asked() { grep -m1 'rss/rss\.php' "$fixture/requests.log" | sed 's/^conn [0-9]*: //'; }

if [ $interactive = 1 ]; then
  if news_asked 100; then
    echo "Pelorin asked: $(asked)"
  else
    echo "demo: Pelorin has not asked the catalogue for news"
  fi
  echo "Pelorin runs on the Wine desktop \"$desk\": right-click its tray icon (bottom right) for"
  echo "the menu. Its \"Exit\" or Ctrl-C here ends the demo."
  # Pelorin's end, or the desktop window's, ends the demo. (The helper is asked only while
  # the window is there: it would open the desktop anew.)
  while xdotool getwindowname "$wid" >/dev/null 2>&1; do
    state=$(drv state)
    if [[ $state =~ form=0 ]]; then
      echo "demo: Pelorin has ended"
      exit 0
    fi
    # No answer: Ctrl-C reached the helper rather than this script.
    [[ $state =~ form=1 ]] || { echo "demo: stopped"; exit 130; }
    sleep 3
  done
  echo "demo: the Wine desktop was closed"
  exit 0
fi

status=0
if ! news_asked 300; then
  echo "demo: Pelorin did not ask the catalogue for news within 30 s"
  status=1
else
  echo "Pelorin asked: $(asked)"
  # The popup rolls up above the tray: wait until that area changes, then until it is still.
  risen=0
  for _ in $(seq 60); do
    popup_area "$work/now.png"
    if area_differs "$work/before.png" "$work/now.png"; then
      risen=1
      break
    fi
    sleep 0.5
  done
  if [ $risen = 1 ]; then
    for _ in $(seq 20); do
      sleep 0.5
      popup_area "$work/later.png"
      area_differs "$work/now.png" "$work/later.png" || break
      mv "$work/later.png" "$work/now.png"
    done
  else
    echo "demo: no popup rose above the tray within 30 s"
    status=1
  fi
fi
mkdir -p "$(dirname "$shot_file")"
grab "$shot_file" || { echo "demo: the screenshot could not be taken"; exit 1; }
echo "screenshot: $shot_file"
exit $status
