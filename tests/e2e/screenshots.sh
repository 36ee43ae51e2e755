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
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

exec 9> "$work/display"
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
exec 9>&-
for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 300); do wmctrl -m > /dev/null 2>&1 && break; sleep 0.1; done
xsetroot -solid '#008080' 2>/dev/null || true

"$installer" --drive-c "$work/c" --program "$kestrom" > /dev/null
program="$work/c/Program Files/Vellomar"
(cd "$program" && "$set_password" "$work/c" secret)

# wait_for FILE PATTERN: until a trace line matches (30 s at most).
wait_for() {
  for _ in $(seq 1500); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.02; done
  echo "screenshots.sh: timed out waiting for $2" >&2
  return 1
}

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
  xdotool search --sync --onlyvisible --name '.' > /dev/null
  import -window root "$out/$name.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

shot timed_prompt "" 1 '"control":"Label2","prop":"caption","value":"57"'
shot lock_full "/locknowfull" 1 '"ev":"place"' wrong
shot lock_taskbar "/locknow" 1 '"ev":"place"'
shot lockout "" 60 '"form":"Lockout"'
echo "screenshots in $out"
