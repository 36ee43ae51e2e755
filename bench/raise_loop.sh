#!/usr/bin/env bash
# Raise-loop benchmark: another client maps a red window and raises it in a tight loop; a
# sampler reads the screen's pixel inside that window once a millisecond. The share of samples
# that show red is the share of time a foreign window is visible above the lock. Measured for
# the full-screen and the taskbar lock, on a server with the Composite extension (where the lock
# draws in the overlay), without it (where it can only raise itself again), and with a
# compositing manager (xcompmgr) running. COMPOSITE="yes no xcompmgr" picks the settings. Before
# the raise loop starts, the CPU the X server and the compositing manager use while the lock is up
# is measured too (share of one core over CPU_MS=2000 milliseconds).
#
#   bench/raise_loop.sh [build-dir] [kestrom.exe ...]
#
# build-dir holds app/kestrom.exe, tools/vellomar-install and tests/e2e/x-attack (default:
# <repo>/build); further arguments are other builds of kestrom.exe to measure the same way (an
# older one, for a before-and-after). SAMPLE_MS=3000 sets the sampling window. PEERS="slock i3lock
# xsecurelock" names the other lockers measured the same way (their one mode, the full screen;
# installed when missing); PEERS="" measures kestrom.exe alone.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$repo/build}")
shift || true
programs=("$build/app/kestrom.exe" "$@")
sample_ms=${SAMPLE_MS:-3000}
attack=$build/tests/e2e/x-attack

tmp=$(mktemp -d /tmp/raisebench.XXXXXX)
pids=()
. "$repo/bench/x_display.sh"
stop_all() {  # the lock first (its guard would start it again), then the clients before their server
  stop_lock
  stop_pids
}
trap 'stop_all; rm -rf "$tmp"' EXIT

# What is not installed yet: the compositing manager of the third setting and the peers.
peers=${PEERS-slock i3lock xsecurelock}
missing=()
if [[ " ${COMPOSITE:-xcompmgr} " == *" xcompmgr "* ]] && ! command -v xcompmgr >/dev/null; then
  missing+=(xcompmgr)
fi
for peer in $peers; do
  case $peer in
    slock) [[ -x /usr/bin/slock ]] || missing+=(suckless-tools) ;;
    *) command -v "$peer" >/dev/null || missing+=("$peer") ;;
  esac
done
if ((${#missing[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null 2>&1 ||
    { apt-get update >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >/dev/null; }
fi
# slock as in bench/run.sh: a plain copy (its file capabilities cannot be granted here), let past
# its oom_score_adj write and its shadow lookup by the shim.
if [[ " $peers " == *" slock "* ]]; then
  cp /usr/bin/slock "$tmp/slock"
  cc -shared -fPIC -O2 -o "$tmp/peer_shim.so" "$repo/bench/peer_shim.c" -ldl
fi

drive_c=$tmp/drive_c
program_dir="$drive_c/Program Files/Vellomar"
install_kestrom "$build/app/kestrom.exe"

cpu_share() {  # PID...: the share of one core these processes used over CPU_MS milliseconds
  local ms=${CPU_MS:-2000} before=0 after=0 pid tick
  tick=$(getconf CLK_TCK)
  for pid; do before=$((before + $(awk '{print $14 + $15}' "/proc/$pid/stat"))); done
  sleep "$(awk "BEGIN {print $ms / 1000}")"
  for pid; do after=$((after + $(awk '{print $14 + $15}' "/proc/$pid/stat"))); done
  awk "BEGIN {printf \"%.1f %%\", 100 * ($after - $before) / $tick / ($ms / 1000)}"
}

measure() {  # program (or a peer's name), mode, composite (yes, no, or xcompmgr: a manager running)
  local program=$1 mode=$2 composite=$3 extra=() busy=()
  [[ $composite == no ]] && extra=(-extension Composite)
  start_display "${extra[@]}"
  busy=("${pids[0]}")  # the X server
  if [[ $composite == xcompmgr ]]; then
    xcompmgr >/dev/null 2>&1 &
    pids+=($!)
    busy+=($!)
    sleep 0.5  # it takes the compositing manager's selection and redirects the screen
  fi
  case $program in
    slock) LD_PRELOAD=$tmp/peer_shim.so "$tmp/slock" >/dev/null 2>&1 & ;;
    i3lock) i3lock -n >/dev/null 2>&1 & ;;
    xsecurelock) xsecurelock >/dev/null 2>&1 & ;;
    *)
      cp "$program" "$program_dir/kestrom.exe"
      (cd "$program_dir" && VELLOMAR_DRIVE_C=$drive_c exec ./kestrom.exe "$mode") >/dev/null 2>&1 &
      ;;
  esac
  pids+=($!)
  local tries=600  # 30 s for the lock to hold the keyboard; a run that never does is reported
  until ! "$build/tests/e2e/x-probe" grab-keyboard >/dev/null; do
    if ((--tries == 0)); then
      printf '%-40s %-13s composite=%-8s did not lock\n' "$program" "$mode" "$composite"
      stop_all
      rm -f "$tmp/display"
      return
    fi
    sleep 0.05
  done
  sleep 0.5
  local idle
  idle=$(cpu_share "${busy[@]}")
  "$attack" raise-loop >/dev/null &
  pids+=($!)
  sleep 0.5
  local share
  share=$("$attack" share-visible 150 150 "$sample_ms")
  printf '%-40s %-13s composite=%-8s %s  idle CPU %s\n' "$program" "$mode" "$composite" "$share" "$idle"
  stop_all
  rm -f "$tmp/display"
}

echo "share of samples with the raise-loop window visible (share, red samples, samples), and the"
echo "CPU of the X server and the compositing manager while locked, before the raise loop:"
for program in "${programs[@]}"; do
  for composite in ${COMPOSITE:-yes no xcompmgr}; do
    for mode in /locknowfull /locknow; do measure "$program" "$mode" "$composite"; done
  done
done
for peer in $peers; do
  for composite in ${COMPOSITE:-yes no xcompmgr}; do measure "$peer" full "$composite"; done
done
