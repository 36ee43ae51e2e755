#!/usr/bin/env bash
# Takes the README screenshots on a private Xvfb with openbox: the timed prompt, the full-screen
# lock, the taskbar lock and the lockout screen.
#   screenshots.sh KESTROM_EXE VELLOMAR_INSTALL SET_PASSWORD OUT_DIR
# Waits on trace lines and windows, never on fixed sleeps.
set -euo pipefail
kestrom=$1 installer=$2 set_password=$3 out=$4
mkdir -p "$out"
work=$(mktemp -d /tmp/vellomar-shots-XXXXXX)
pids=()
# shellcheck source=x_session.sh
source "$(dirname "$0")/x_session.sh"

install_drive "$installer" "$kestrom" "$set_password"

# shot NAME SWITCHES SPEED READY_PATTERN [KEYS...]
shot() {
  local name=$1 switches=$2 speed=$3 ready=$4
  shift 4
  local trace="$work/$name.trace"
  (cd "$program" && KESTROM_TRACE="$trace" KESTROM_TEST_CLOCK_SPEED="$speed" \
     VELLOMAR_DRIVE_C="$work/c" exec ./kestrom.exe $switches) > /dev/null 2>&1 &
  local pid=$!
  wait_for "$trace" "$ready"
  for keys in "$@"; do xdotool type --delay 15 "$keys"; done
  [ $# -gt 0 ] && xdotool key Return && wait_for "$trace" '"control":"Label3"'
  capture "$out/$name.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

shot timed_prompt "" 1 '"control":"Label2","prop":"caption","value":"57"'
shot lock_full "/locknowfull" 1 '"ev":"place"' wrong
shot lock_taskbar "/locknow" 1 '"ev":"place"'
shot lockout "" 60 '"form":"Lockout"'
echo "screenshots in $out"
