#!/usr/bin/env bash
# Takes a screenshot of every page of the first-time wizard on a private Xvfb with openbox: pages
# 1 to 10 on the way to option 1 (with the trial lock between pages 5 and 6), and the "No Changes
# Made" page that option 4 ends on.
#   wizard_screenshots.sh KESTROM_EXE VELLOMAR_INSTALL OUT_DIR
# Waits on trace lines and windows, never on fixed sleeps; a picture is taken once two captures
# in a row agree, so the window has finished painting.
set -euo pipefail
kestrom=$1 installer=$2 out=$3
mkdir -p "$out"
work=$(mktemp -d /tmp/vellomar-wizard-shots-XXXXXX)
pids=()
# shellcheck source=x_session.sh
source "$(dirname "$0")/x_session.sh"

# page FORM PART: waits until FORM is shown and its window mapped; prints the window id.
page() {
  wait_for "$trace" "\"ev\":\"show\",\"form\":\"$1\""
  timeout 30 xdotool search --sync --onlyvisible --name "^Vellomar First Time Setup - Part $2/10\$" |
    head -1
}

# shot NAME [trim]: the screen once it has stopped changing; "trim" cuts it to the dialog.
# Nothing is taken while $shots is "off".
shots=on
shot() {
  [ "$shots" = on ] || return 0
  capture "$work/shot.png"
  if [ "${2:-}" = trim ]; then
    convert "$work/shot.png" -trim +repage "$out/$1.png"
  else
    cp "$work/shot.png" "$out/$1.png"
  fi
}
next() { click "$1" 400 196; }  # Command1 at 5400, 2760 twips, 1215 x 375

# start NAME: a fresh installation (no-password placeholder) and kestrom.exe run in it.
start() {
  rm -rf "$work/c"
  install_drive "$installer" "$kestrom"
  trace="$work/$1.trace"
  (cd "$program" && KESTROM_TRACE="$trace" VELLOMAR_DRIVE_C="$work/c" \
     exec ./kestrom.exe) > /dev/null 2>&1 &
  kestrom_pid=$!
}

# The first pages, up to the option choice; sets $window to page 8.
first_pages() {
  window=$(page Welcome11 1); shot wizard_01_welcome trim; next "$window"
  window=$(page Welcome1 2); shot wizard_02_information trim; next "$window"
  window=$(page Welcome12 3); shot wizard_03_agreement trim; next "$window"
  window=$(page Welcome2 4)
  click "$window" 204 136; xdotool type --delay 15 secret
  click "$window" 204 162; xdotool type --delay 15 secret
  shot wizard_04_password trim
  xdotool key Return
  window=$(page Welcome3 5); shot wizard_05_prepare trim; next "$window"
  # The lock window is drawn as it is placed (it may sit in the Composite overlay, where window
  # searches do not look).
  wait_for "$trace" '"ev":"place","form":"Kestrom"'
  shot wizard_05_trial_lock
  xdotool type --delay 15 secret
  xdotool key Return
  window=$(page Welcome4 6); shot wizard_06_option_explanation trim; next "$window"
  window=$(page Welcome5 7); shot wizard_07_option_explanation_continued trim; next "$window"
  window=$(page Welcome6 8)
}

# Option 1 to the end.
start option1
first_pages
shot wizard_08_choose_option trim
next "$window"
window=$(page Welcome8 9); shot wizard_09_locking_options trim; next "$window"
window=$(page Welcome9 10); shot wizard_10_ready_to_finish trim
next "$window"
wait "$kestrom_pid"

# Option 4: the "No Changes Made" page.
start option4
shots=off
first_pages
shots=on
click "$window" 50 152  # Option4 at 600, 2160 twips
wait_for "$trace" '"form":"Welcome6","control":"Option4","prop":"value","value":1'
next "$window"
window=$(page Welcome7 10); shot wizard_10_no_changes_made trim
next "$window"
wait "$kestrom_pid"
echo "wizard screenshots in $out"
