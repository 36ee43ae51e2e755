#!/usr/bin/env bash
# Guessing benchmark: a client driving XTEST (xdotool: a wrong password, Return for OK, Return for
# the message box) guesses at the timed prompt as fast as it takes them, for SECONDS (default 40,
# within the prompt's minute). The guesses the program checked are counted from its trace (one
# "The password is incorrect." box each) and printed per hour.
#
#   bench/guess.sh [build-dir] [kestrom.exe]
#
# build-dir holds tools/vellomar-install and bench/bench_record (default: <repo>/build); the
# program measured is build-dir's app/kestrom.exe unless another is named (an older build, say).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$repo/build}")
program=$(realpath -m "${2:-$build/app/kestrom.exe}")
seconds=${SECONDS_GUESSING:-40}

tmp=$(mktemp -d /tmp/guessbench.XXXXXX)
drive_c=$tmp/drive_c
program_dir="$drive_c/Program Files/Vellomar"
pids=()
. "$repo/bench/x_display.sh"
stop_all() {
  pkill -KILL -f "^$program_dir/vellomar-guard" 2>/dev/null || true
  pkill -KILL -f "^$program_dir/kestrom.exe" 2>/dev/null || true
  stop_pids
}
trap 'stop_all; rm -rf "$tmp"' EXIT

install_kestrom "$program"

start_display

trace=$tmp/trace
(cd "$program_dir" && VELLOMAR_DRIVE_C=$drive_c KESTROM_TRACE=$trace exec "$program_dir/kestrom.exe") \
  >/dev/null 2>&1 &
disown  # ended with its guard by stop_all
until grep -q '"ev":"show","form":"PassMain"' "$trace" 2>/dev/null; do sleep 0.05; done
until [[ $(xdotool getwindowfocus getwindowname 2>/dev/null) == "Enter Password" ]]; do
  sleep 0.05
done

end=$((SECONDS + seconds))
while ((SECONDS < end)); do
  xdotool type --delay 0 w
  xdotool key --delay 0 Return Return
done
checked=$(grep -c '"text":"The password is incorrect."' "$trace" || true)
echo "guesses checked: $checked in ${seconds} s = $((checked * 3600 / seconds)) per hour" \
  "($(basename "$program"), load $(cut -d' ' -f1 /proc/loadavg))"
