#!/usr/bin/env bash
# Kill benchmark: SIGKILL to one process of a running lock (kestrom.exe, then its guard), and the
# time until the lock holds again: the killed process gone, its successor running, another
# client's keyboard grab refused and the screen showing the lock (bench/kill_bench.cpp). Each
# kill is made while xdotool types into the session and a victim window records any key it gets:
# it must get none. For the full-screen and the taskbar lock, RUNS kills of each (default 11).
# During each kill a second client grabs and lets go of the keyboard in a tight loop: its wins
# (times it got the keyboard) and the gap from its first win to its last are printed per kill and
# in total. Then both X connections of the lock are ended with XKillClient, in either order,
# XKILL_GAPS_MS apart (default "0 500"), XKILL_TRIES times each (default 2), and the script says
# whether the lock still held the keyboard three seconds later. RUNS=0 runs only those.
#
#   bench/kill.sh [build-dir]
#
# build-dir holds app/kestrom.exe (and vellomar-guard), tools/vellomar-install,
# tests/e2e/x-probe and bench/kill-bench (default: <repo>/build).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$repo/build}")
runs=${RUNS:-11}
probe=$build/tests/e2e/x-probe

tmp=$(mktemp -d /tmp/killbench.XXXXXX)
drive_c=$tmp/drive_c
program_dir="$drive_c/Program Files/Vellomar"
forms="$program_dir/kestrom.exe"
guard="$program_dir/vellomar-guard"
pids=()
. "$repo/bench/x_display.sh"
stop_all() {
  stop_lock
  stop_pids
}
trap 'stop_all; rm -rf "$tmp"' EXIT

install_kestrom "$build/app/kestrom.exe"

start_display
"$probe" victim Victim "$tmp/victim.log" >/dev/null &
pids+=($!)
until xdotool search --name Victim >/dev/null 2>&1; do sleep 0.05; done

pid_of() {  # the one process running the given program
  pids_of "$1" | head -n 1
}
settled() {  # the lock is up, held and backed by its guard's windows
  ! "$probe" grab-keyboard >/dev/null && [[ -n $("$probe" find vellomar-guard visible) ]]
}
wait_settled() {
  local i
  for ((i = 0; i < 400; i++)); do settled && return; sleep 0.025; done
  echo "the lock did not settle" >&2
  exit 1
}

summary() {  # label, then the figures
  local label=$1
  shift
  printf '%s\n' "$@" | sort -n | awk -v label="$label" '
    { v[NR] = $1 } END {
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "%-28s median %6.1f ms  min %6.1f  max %6.1f  (%d kills)\n", label, m, v[1], v[NR], NR }'
}

declare -A totals kills
modes=(/locknowfull /locknow)
((runs > 0)) || modes=()  # RUNS=0: only the XKillClient cases
for mode in "${modes[@]}"; do
  height=768
  [[ $mode == /locknow ]] && height=700
  (cd "$program_dir" && VELLOMAR_DRIVE_C=$drive_c exec ./kestrom.exe "$mode") >/dev/null 2>&1 &
  disown  # ended by PID with the lock's other processes
  wait_settled
  for target in kestrom.exe vellomar-guard; do
    program=$forms
    [[ $target == vellomar-guard ]] && program=$guard
    figures=()
    free=()
    wins=()
    gaps=()
    for ((run = 0; run < runs; run++)); do
      xdotool type --delay 5 "$(printf 'q%.0s' {1..150})" &
      typist=$!
      # "MS free MS wins N gap MS"
      read -r ms _ free_ms _ won _ gap < <("$build/bench/kill-bench" "$(pid_of "$program")" \
        "$program" 0 0 1024 "$height" || true)
      wait "$typist" || true
      figures+=("$ms")
      free+=("$free_ms")
      wins+=("$won")
      gaps+=("$gap")
      wait_settled
    done
    summary "$mode $target" "${figures[@]}"
    echo "  keyboard free meanwhile (ms): ${free[*]}"
    total=0
    for won in "${wins[@]}"; do total=$((total + won)); done
    echo "  tight-loop grabber wins per kill: ${wins[*]} (total $total," \
      "$(printf '%s\n' "${wins[@]}" | grep -cv '^0$') of ${#wins[@]} kills)"
    echo "  its gap, first win to last (ms): ${gaps[*]}"
    totals[$target]=$((${totals[$target]:-0} + total))
    kills[$target]=$((${kills[$target]:-0} + ${#wins[@]}))
  done
  # The typed keys went to the lock: clear them, and the password ends every process of it.
  xdotool key --clearmodifiers ctrl+a BackSpace
  xdotool type --delay 15 bench
  xdotool key Return
  for ((i = 0; i < 400; i++)); do
    [[ -z $(pid_of "$forms") && -z $(pid_of "$guard") ]] && break
    sleep 0.025
  done
  [[ -z $(pid_of "$forms") && -z $(pid_of "$guard") ]] || { echo "a process of the lock is left" >&2; exit 1; }
done

((runs > 0)) && for target in kestrom.exe vellomar-guard; do
  echo "kills of $target: ${kills[$target]}, tight-loop grabber wins in all: ${totals[$target]}"
done

# Both X connections ended by another client. The lock is up when the keyboard is still grabbed
# three seconds later; whatever is left of it is then ended by PID.
wait_free() {
  local i
  for ((i = 0; i < 200; i++)); do "$probe" grab-keyboard >/dev/null && return; sleep 0.025; done
  echo "the keyboard stays grabbed after the lock was ended" >&2
  exit 1
}
for gap in ${XKILL_GAPS_MS:-0 500}; do
  for order in guard-first forms-first; do
    for ((try = 0; try < ${XKILL_TRIES:-2}; try++)); do
      (cd "$program_dir" && VELLOMAR_DRIVE_C=$drive_c exec ./kestrom.exe /locknowfull) >/dev/null 2>&1 &
      disown
      wait_settled
      echo "XKillClient of both, $("$build/bench/kill-bench" xkill "$forms" "$guard" "$order" "$gap" || true)"
      stop_lock
      wait_free
    done
  done
done

if [[ -s $tmp/victim.log ]]; then
  echo "keys reached the victim window: $(tr '\n' ' ' <"$tmp/victim.log")"
  exit 1
fi
echo "no key reached the victim window"
