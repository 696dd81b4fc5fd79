# Shared by the end-to-end scripts: Pelorin.exe and the driver copied into a fresh Wine
# prefix, a Wine virtual desktop on an Xvfb of its own, and the helpers that drive the tray
# the way a person would. The caller sets exe, driver, out, desk and root, then sources this;
# it may set app_folder, a folder under C:\ to install the program in instead of one outside
# the prefix. PELORIN_E2E_DISPLAY is the first X display number tried for the Xvfb.
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

n=${PELORIN_E2E_DISPLAY:-110}
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$n

# Callers add their own clean-up steps here (a fixture to stop, say).
on_exit=""
cleanup() {
  eval "$on_exit"
  wineserver -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# start_fixture LIFETIME [ARGS...]: the loopback catalogue in $work/fixture, stopped on exit
# (its request log copied into $out); sets fixture, port and log.
start_fixture() {
  local lifetime=$1
  shift
  fixture=$work/fixture
  python3 "$root/tests/fixtures/http_fixture.py" start --dir "$fixture" --lifetime "$lifetime" "$@" >/dev/null ||
    { echo "FAIL: the fixture did not start"; exit 1; }
  on_exit='python3 "$root/tests/fixtures/http_fixture.py" stop --dir "$fixture" >/dev/null 2>&1; cp "$fixture/requests.log" "$out/" 2>/dev/null'
  read -r port _ <"$fixture/port"
  log=$fixture/requests.log
}

for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# A copy of the build tree's prepared prefix, with its own named desktop below rather than
# the default one the unit-test prefixes get.
PELORIN_WINEPREFIX=$WINEPREFIX PELORIN_WINE_DESKTOP=none "$root/scripts/wine-run.sh" --init "$arch" || exit 1
# PELORIN_E2E_DPI: the screen's DPI in this copy of the prefix (its LogPixels), for pictures
# of the program at another scale.
if [ -n "${PELORIN_E2E_DPI:-}" ]; then
  for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    "$WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$PELORIN_E2E_DPI" /f >/dev/null 2>&1
  done
  wineserver -w >/dev/null 2>&1
fi

app=$work/app
[ -z "${app_folder:-}" ] || app=$WINEPREFIX/drive_c/$app_folder
mkdir -p "$app"
cp "$exe" "$app/Pelorin.exe"
cp "$driver" "$app/driver.exe"
# The helper runs from a path without blanks, wherever the program is installed.
drvexe=$work/driver.exe
cp "$driver" "$drvexe"
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
# once the helper has run, so wait for it, briefly). The explorer is not waited for: when
# the desktop ended with its last program, this one holds the new desktop and stays.
drv() {
  local f
  f=$(mktemp "$work/drv.XXXXXX")
  "$WINE" explorer /desktop=$desk,800x600 "$drvexe" "$@" >"$f" 2>/dev/null &
  for _ in $(seq 200); do [ -s "$f" ] && break; sleep 0.1; done
  sleep 0.1
  tr -d '\r' <"$f"
}
# Asks the helper ($1: state, combo, ...) every half second, up to $4 times, until its
# answer matches $2; else fails with $3.
expect_drv() {
  local cmd=$1 want=$2 what=$3 tries=$4 s=""
  for _ in $(seq "$tries"); do
    # shellcheck disable=SC2086 # the command's words are the helper's arguments
    s=$(drv $cmd)
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
# Clicks a line of the open tray menu by its index in the menu: rows of 17 pixels below a
# 3-pixel border; the separator (index 4) is 9 pixels high.
menu_pick() {
  local l t r b y
  read -r _ l t r b < <(drv menu | head -1)
  if [ -z "${t:-}" ]; then
    fail "no open menu to pick line $1 from"
    return 1
  fi
  y=$((t + 3 + 17 * $1 + 8))
  [ "$1" -gt 4 ] && y=$((y - 8))
  click_at $((l + 40)) $y
}
tab() {
  local x='' y=''
  # The form may have just come up: ask again until the tab row's place is two numbers.
  for _ in $(seq 20); do
    read -r x y < <(drv tabs)
    [[ $x =~ ^-?[0-9]+$ && $y =~ ^-?[0-9]+$ ]] && break
    x='' y=''
    sleep 0.25
  done
  if [ -z "$x" ]; then
    fail "no tab row on the form"
    return 1
  fi
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


# Starts the desktop, then Pelorin in it, and waits for the tray icon; sets start_ms.
start_program() {
  "$WINE" explorer /desktop=$desk,800x600 >/dev/null 2>&1 &
  for _ in $(seq 100); do
    [ "$(import -window root -crop 1x1+400+300 -format '%[pixel:p{0,0}]' info: 2>/dev/null)" != "srgb(0,0,0)" ] && break
    sleep 0.1
  done
  sleep 2
  local start shown=0
  start=$(date +%s%N)
  # From its own folder: the program keeps its download in the current one.
  (cd "$app" && exec "$WINE" explorer /desktop=$desk,800x600 "$app/Pelorin.exe" >/dev/null 2>&1) &
  for _ in $(seq 300); do
    if icon_shown; then shown=1; break; fi
    sleep 0.05
  done
  start_ms=$((($(date +%s%N) - start) / 1000000))
  [ $shown = 1 ] || fail "the tray icon did not appear"
}
# Ends the run: the count of failed checks decides.
finish() {
  if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed; screenshots in $out"
    exit 1
  fi
  echo "all end-to-end checks passed; screenshots in $out"
  exit 0
}
