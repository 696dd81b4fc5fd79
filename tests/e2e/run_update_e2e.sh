#!/usr/bin/env bash
# End-to-end test of the self-update: an old build of Pelorin.exe, installed in a folder with
# a blank in its path, asks the loopback site for its update through its own proxy setting,
# downloads the new build with the wizard and hands over to the agent, which puts the new
# build in place and starts it. Also an update aborted halfway and one whose file needs a
# password.
#   run_update_e2e.sh OLD.exe NEW.exe driver.exe OUTDIR
# Screenshots of the question, the wizard and the password dialog are left in OUTDIR.
set -uo pipefail
exe=$(realpath "$1")
new=$(realpath "$2")
driver=$3
out=$4
folder=${5:-}  # the architecture's folder on the update site: "" or "x64/"
desk=pelorin_update
app_folder="Program Files/Pelorin Test"
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
rm -f "$out"/*.png

. "$root/tests/e2e/e2e-lib.sh"

start_fixture 600 --update-exe "$new" --update-version 1.0.1.0
printf '[Settings]\r\nLastAdditions=1\r\nTop10=0\r\nID=175\r\nRefresh=30\r\nDuration=8\r\nProxyUse=1\r\nProxyServer=127.0.0.1\r\nProxyPort=%s\r\nProxyAuth=0\r\n' \
  "$port" >"$app/settings.ini"

wizard="Application update wizard"  # the caption of the question and of the wizard
new_version=1.0.1.0

# Waits up to $3 half-seconds for the button $1 of the shown window of caption $2 to be
# enabled; its centre lands in $pos.
wait_button() {
  local text=$1 caption=$2 tries=$3
  pos=""
  for _ in $(seq "$tries"); do
    # shellcheck disable=SC2086 # the caption's words are the helper's arguments
    pos=$(drv button "$text" $caption)
    [[ $pos =~ ^[0-9]+\ [0-9]+$ ]] && return 0
    sleep 0.5
  done
  return 1
}
press() {
  if wait_button "$1" "$2" "${3:-30}"; then
    # shellcheck disable=SC2086
    click_at $pos
  else
    fail "no button \"$1\" in a window \"$2\" ($pos)"
    return 1
  fi
}
folder() { (cd "$app" && ls -l --time-style=+%T | tail -n +2 | tr '\n' ' ' && md5sum ./*.exe* "$new" | tr '\n' ' '); }
# The installed program: the agent names it after the update's address, whose case may differ.
installed() { find "$app" -maxdepth 1 -iname Pelorin.exe; }
is_new() { [ "$(installed | wc -l)" = 1 ] && cmp -s "$new" "$(installed)"; }
leftovers() { find "$app" -maxdepth 1 \( -iname '*.uTMP' -o -iname '*.uBAK' \) -printf '%f '; }
# The running copies of the program: "pid|command line" each.
programs() { drv procs Pelorin.exe; }
check_update() {
  tray_menu && menu_pick 2
  press "&Yes" "$wizard" 40 || return 1
}
# The version the About tab shows; a screenshot of the tab named $1.
about_version() {
  local v
  tray_double_click
  expect_state 'visible=1' "double-click did not show the form" || return 1
  tab 2
  sleep 0.3
  form_shot "$1"
  v=$(drv statics | grep -E '^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$')
  click_control Button "Cancel"
  echo "$v"
}
requested_file() { grep -c "^conn [0-9]*: GET http://download.varnoth.net\(:80\)\?/downloads/pelorin.exe HTTP" "$log" 2>/dev/null; }

echo "== start the old build from C:/$app_folder"
start_program
[ "$(about_version 19-about-old)" = 1.0.0.0 ] || fail "the installed build does not show 1.0.0.0 on its About tab"

echo "== \"Check for New Version\" asks the site through the proxy; the question comes"
echo 20 >"$fixture/update-pace"
tray_menu && menu_pick 2
if wait_button "&Yes" "$wizard" 40; then
  sleep 0.5
  shot 20-question
  grep -q '^conn [0-9]*: GET http://www.varnoth.net\(:80\)\?/downloads/'"$folder"'pelorin_upgrade.inf HTTP' "$log" ||
    fail "the information file was not asked for through the proxy: $(tail -3 "$log")"
  # shellcheck disable=SC2086
  click_at $pos
  [ "$(drv button "&Later" $wizard)" = none ] || fail "the question stayed after Yes"
else
  fail "no question after \"Check for New Version\" ($pos): $(tail -3 "$log")"
fi

echo "== Cancel in the wizard, Yes to the abort question: nothing is left, the old build runs on"
if wait_button "&Cancel" "$wizard" 30; then
  for _ in $(seq 40); do [ "$(requested_file)" -ge 1 ] && break; sleep 0.25; done
  [ "$(requested_file)" -ge 1 ] || fail "the wizard did not ask for the update's file"
  sleep 2
  shot 21-wizard-before-abort
  # shellcheck disable=SC2086
  click_at $pos
  box=$(drv msgbox)
  for _ in $(seq 20); do [ "$box" != none ] && break; sleep 0.5; box=$(drv msgbox); done
  shot 22-abort-question
  press "&Yes" "${box%%|*}"
  expect_drv "dialog $wizard" 'dialog=0' "the wizard stayed after the abort" 20
  for _ in $(seq 10); do [ -z "$(leftovers)" ] && break; sleep 0.5; done
  [ -z "$(leftovers)" ] || fail "the abort left $(leftovers): $(folder)"
  cmp -s "$exe" "$(installed)" || fail "the abort changed the installed program: $(folder)"
  [ "$(programs | wc -l)" = 1 ] || fail "not one program running after the abort: $(programs | tr '\n' ' ')"
else
  fail "no wizard after Yes ($pos)"
fi

echo "== the update through to its end: the agent puts the new build in place and starts it, with"
echo "   the restart parameter without the update method's digit"
# Unpaced, the file would arrive before the wizard could be seen at work.
echo 4 >"$fixture/update-pace"
before=$(requested_file)
if check_update && wait_button "&Cancel" "$wizard" 30; then
  sleep 1.5
  shot 23-wizard-downloading
  if wait_button "&OK" "$wizard" 60; then
    sleep 0.5
    shot 24-wizard-completed
    [ "$(requested_file)" = $((before + 1)) ] || fail "the file was not asked for once more"
    # The name comes from the address, in its case.
    cmp -s "$new" "$app/pelorin.exe.uTMP" || fail "the downloaded pelorin.exe.uTMP is not the new build: $(folder)"
    # shellcheck disable=SC2086
    click_at $pos
  else
    fail "the wizard did not reach its completion page ($pos): $(drv texts $wizard | tr '\n' ' ')"
  fi
else
  fail "no wizard for the second update"
fi
restarted=""
for _ in $(seq 60); do
  restarted=$(programs | grep -F 'Pelorin.exe' | grep -E ' /afterupgrade$')
  [ -n "$restarted" ] && is_new && break
  sleep 0.5
done
[ -n "$restarted" ] || fail "no program started with /afterupgrade: $(programs | tr '\n' ' ')"
is_new || fail "the installed Pelorin.exe is not the new build: $(folder)"
# The restart names the program by its whole path, quoted, in spite of the blank.
[[ ${restarted#*|} == \"*'\Program Files\Pelorin Test\Pelorin.exe" /afterupgrade' ]] ||
  fail "the restarted program's command line is ${restarted#*|}"
for _ in $(seq 40); do icon_shown && break; sleep 0.25; done
sleep 1
shot 25-after-restart
[ "$(programs | wc -l)" = 1 ] || fail "not one program running after the restart: $(programs | tr '\n' ' ')"
v=$(about_version 26-about-new)
[ "$v" = $new_version ] || fail "the About tab shows \"$v\" after the update, not $new_version"
for _ in $(seq 20); do [ -z "$(leftovers)" ] && break; sleep 0.5; done
[ -z "$(leftovers)" ] || fail "the update left $(leftovers)"

echo "== an update whose file needs a password: the dialog asks, the update goes through"
# Without a first update that went through there is nothing to learn from a second one.
[ -n "$restarted" ] || finish
tray_menu && menu_pick 3
for _ in $(seq 40); do [ "$(programs)" = none ] && break; sleep 0.25; done
rm -f "$(installed)"
cp "$exe" "$app/Pelorin.exe"
touch "$fixture/update-auth"
rm -f "$fixture/update-pace"
start_program
if check_update && wait_button "&OK" "Enter password" 30; then
  sleep 0.5
  shot 27-password-dialog
  # The user name field has the focus; the password is typed as a person would.
  xdotool type --delay 40 pelorin
  xdotool key Tab
  xdotool type --delay 40 Fixture-Password-2
  press "&OK" "Enter password"
  if wait_button "&OK" "$wizard" 60; then
    grep -q '^Authorization: Basic ' "$log" || fail "no credentials reached the site"
    # shellcheck disable=SC2086
    click_at $pos
  else
    fail "the protected update did not complete ($pos): $(drv texts $wizard | tr '\n' ' ')"
  fi
else
  fail "no password dialog for the protected file ($pos)"
fi
for _ in $(seq 60); do is_new && programs | grep -q ' /afterupgrade$' && break; sleep 0.5; done
programs | grep -q ' /afterupgrade$' || fail "the protected update did not restart the program: $(programs | tr '\n' ' ')"
is_new || fail "the protected update did not install the new build: $(folder)"

echo "== Exit"
for _ in $(seq 40); do icon_shown && break; sleep 0.25; done
tray_menu && menu_pick 3
expect_state 'form=0' "\"Exit\" did not end the program"
finish
