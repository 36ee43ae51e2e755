#!/usr/bin/env bash
# Key-latency benchmark: the time from an XTEST key press (a letter) to its mask character on the
# screen, at the timed prompt and in the /locknowfull password box, PRESSES times each (default
# 40) on a private Xvfb with openbox. bench/lockbench starts kestrom.exe, waits for its grab,
# finds the password box by the rows of the screen that change at a first, untimed press, then
# presses, reads those rows until the mask shows, and rubs it out with BackSpace before the next.
#
#   bench/keys.sh [build-dir] [kestrom.exe]
#
# build-dir holds tools/vellomar-install, bench/bench_record and bench/lockbench (default:
# <repo>/build); the program measured is build-dir's app/kestrom.exe unless another is named.
# STARTS (default 3) starts per form, each timing PRESSES / STARTS presses.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$repo/build}")
program=$(realpath -m "${2:-$build/app/kestrom.exe}")
presses=${PRESSES:-40}
starts=${STARTS:-3}

tmp=$(mktemp -d /tmp/keysbench.XXXXXX)
drive_c=$tmp/drive_c
program_dir="$drive_c/Program Files/Vellomar"
pids=()
. "$repo/bench/x_display.sh"
stop_all() {  # lockbench ends the lock it started; the display goes last
  stop_pids
}
trap 'stop_all; rm -rf "$tmp"' EXIT

install_kestrom "$program"

start_display

# measure NAME [kestrom.exe arguments]: STARTS starts, their lines appended to NAME.txt
measure() {
  local name=$1 start line
  shift
  local cover=()
  (($# == 0)) && cover=(--no-cover)  # the timed prompt leaves the screen free
  for ((start = 0; start < starts; start++)); do
    line=$("$build/bench/lockbench" run --label "$name" --log "$tmp/$name.log" --settle-ms 1500 \
      "${cover[@]}" --keys $((presses / starts)) --cwd "$program_dir" \
      --env "VELLOMAR_DRIVE_C=$drive_c" -- "$program_dir/kestrom.exe" "$@") || true
    [[ -n $line ]] || line="label=$name error=probe_printed_nothing"
    echo "$line" >>"$tmp/$name.txt"
  done
}
measure prompt
measure locknowfull /locknowfull

echo "Key latency, $(date -u '+%Y-%m-%d %H:%M UTC'), Xvfb 1024x768x24 + openbox, $(nproc) cores," \
  "load $(cut -d' ' -f1-3 /proc/loadavg), $(basename "$program")"
echo
"$build/bench/lockbench" report "prompt=$tmp/prompt.txt" "locknowfull=$tmp/locknowfull.txt"
if grep -q 'error=' "$tmp"/*.txt; then
  echo
  grep -ho 'label=[^ ]* error=[^ ]*' "$tmp"/*.txt | sort | uniq -c
fi
