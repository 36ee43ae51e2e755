#!/usr/bin/env bash
# Takes the screenshots of Setup on a private Xvfb with openbox: the Setup form after the gate,
# the boot-keys warning, and the report after "Make Changes".
#   setup_screenshots.sh KESTROM_EXE VELLOMAR_INSTALL SET_PASSWORD OUT_DIR
# Waits on trace lines and windows, never on fixed sleeps; a picture is taken once two captures
# in a row agree, so the window has finished painting.
set -euo pipefail
kestrom=$1 installer=$2 set_password=$3 out=$4
mkdir -p "$out"
work=$(mktemp -d /tmp/vellomar-setup-shots-XXXXXX)
pids=()
# shellcheck source=x_session.sh
source "$(dirname "$0")/x_session.sh"

install_drive "$installer" "$kestrom" "$set_password"

# shot NAME: the screen, trimmed to the windows, once it has stopped changing.
shot() {
  capture "$work/shot.png"
  convert "$work/shot.png" -trim +repage "$out/$1.png"
}
# window TITLE: waits until a window of that title is mapped; prints its id.
window() {
  timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -1
}

trace="$work/setup.trace"
(cd "$program" && KESTROM_TRACE="$trace" VELLOMAR_DRIVE_C="$work/c" exec ./kestrom.exe /setup) \
  > /dev/null 2>&1 &
pids+=($!)
wait_for "$trace" '"ev":"show","form":"EnterSetupPassword"'
window "Enter Setup" > /dev/null
xdotool type --delay 15 secret
xdotool key Return
wait_for "$trace" '"ev":"show","form":"Setup"'
setup=$(window "Vellomar version 1.0 Setup")
click "$setup" 32 208   # Check1: the taskbar shown while locked
click "$setup" 344 200  # Option5: lock both before and after Windows loads
click "$setup" 344 304  # Check4: disable the boot keys
wait_for "$trace" '"control":"Check4","prop":"value","value":1'
shot setup
click "$setup" 400 384  # Make Changes
wait_for "$trace" '"ev":"show","form":"WarnMsdosSys"'
warning=$(window "Warning!")
shot warn_msdos_sys
click "$warning" 176 388  # Yes - Proceed
wait_for "$trace" '"ev":"show","form":"ChangesMade"'
window "Vellomar Setup Message" > /dev/null
shot changes_made
xdotool key Return
wait_for "$trace" '"ev":"end"'
echo "screenshots in $out"
