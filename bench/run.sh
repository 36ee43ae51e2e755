#!/usr/bin/env bash
# Lock benchmark: kestrom.exe /locknowfull against the peer lockers i3lock and slock, measured
# side by side in one run under a private Xvfb display with openbox: exec -> keyboard grab,
# exec -> screen covered, peak memory and idle CPU. See bench/README.md.
#
#   bench/run.sh [build-dir]
#
# build-dir holds app/kestrom.exe and tools/vellomar-install (default: <repo>/build). Without
# kestrom.exe only the peers are measured. Settings from the environment:
#   RUNS=11          timed starts per locker (alternating lockers)
#   IDLE_S=10        length of the idle-CPU window (one extra start per locker); 0 skips it
#   LOCKERS="kestrom i3lock slock"   which lockers to measure
#   LOCKBENCH_BUILD  where to build the probe (default: build-dir, else a temp folder)
#   KESTROM_ARGS     arguments for kestrom.exe (default: /locknowfull)
#   KEEP=1           keep the temp folder (raw result lines, logs) and print its path
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$repo/build}")
runs=${RUNS:-11}
idle_s=${IDLE_S:-10}
lockers=${LOCKERS:-"kestrom i3lock slock"}
read -ra kestrom_args <<<"${KESTROM_ARGS:-/locknowfull}"

tmp=$(mktemp -d /tmp/lockbench.XXXXXX)
xvfb_pid=""
wm_pid=""
cleanup() {
  [[ -n $wm_pid ]] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  if [[ ${KEEP:-0} == 1 ]]; then
    echo "kept: $tmp" >&2
  else
    rm -rf "$tmp"
  fi
}
trap cleanup EXIT

say() { echo "lockbench: $*" >&2; }

# --- the probe ---------------------------------------------------------------------------------
# Built in the tree's build folder when that configures; otherwise bench/ alone in a temp folder.
build_probe() {
  local dir=${LOCKBENCH_BUILD:-$build}
  if [[ -f $dir/CMakeCache.txt ]] &&
    cmake --build "$dir" --target lockbench >"$tmp/build.log" 2>&1; then
    lockbench=$dir/bench/lockbench
    return
  fi
  say "building the probe on its own (see $tmp/build.log if this fails)"
  cmake -S "$repo/bench" -B "$tmp/probe-build" -G Ninja >>"$tmp/build.log" 2>&1
  cmake --build "$tmp/probe-build" --target lockbench >>"$tmp/build.log" 2>&1
  lockbench=$tmp/probe-build/lockbench
}
build_probe

# --- the peers ---------------------------------------------------------------------------------
install_peers() {
  local missing=()
  [[ -x /usr/bin/i3lock ]] || missing+=(i3lock)
  [[ -x /usr/bin/slock ]] || missing+=(suckless-tools)
  ((${#missing[@]} == 0)) && return
  say "installing ${missing[*]}"
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >"$tmp/apt.log" 2>&1; then
    apt-get update >>"$tmp/apt.log" 2>&1
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >>"$tmp/apt.log" 2>&1
  fi
}
install_peers

# slock carries file capabilities that an unprivileged sandbox cannot grant: a plain copy (no
# xattrs) runs. The shim lets it past its oom_score_adj write and its shadow lookup.
cp /usr/bin/slock "$tmp/slock"
cc -shared -fPIC -O2 -o "$tmp/peer_shim.so" "$repo/bench/peer_shim.c" -ldl

# --- kestrom.exe in an emulated installation ----------------------------------------------------
kestrom=""
if [[ " $lockers " == *" kestrom "* ]]; then
  if [[ -x $build/app/kestrom.exe ]]; then
    drive_c=$tmp/drive_c
    program_dir="$drive_c/Program Files/Vellomar"
    mkdir -p "$drive_c"
    if [[ -x $build/tools/vellomar-install ]]; then
      VELLOMAR_DRIVE_C=$drive_c "$build/tools/vellomar-install" --drive-c "$drive_c" \
        --program "$build/app/kestrom.exe" >"$tmp/install.log" 2>&1 ||
        { say "vellomar-install failed:"; cat "$tmp/install.log" >&2; exit 1; }
    else
      say "no vellomar-install in $build/tools: laying out the program folder by hand"
      mkdir -p "$program_dir"
    fi
    kestrom=$program_dir/kestrom.exe
    [[ -x $kestrom ]] || kestrom=$build/app/kestrom.exe
    # A real password record, written by the one record implementation.
    if [[ -z ${KESTROM_ARGS:-} ]]; then
      record_dir=${LOCKBENCH_BUILD:-$build}
      cmake --build "$record_dir" --target bench_record >>"$tmp/build.log" 2>&1 ||
        { say "cannot build bench_record (see build log)"; tail -n 30 "$tmp/build.log" >&2; exit 1; }
      "$record_dir/bench/bench_record" "$drive_c" "$program_dir" bench
    fi
  else
    say "no $build/app/kestrom.exe: measuring the peers only"
  fi
fi

# --- a private display -------------------------------------------------------------------------
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $tmp/display ]] && break
  sleep 0.05
done
[[ -s $tmp/display ]] || { say "Xvfb did not start"; cat "$tmp/xvfb.log" >&2; exit 1; }
DISPLAY=:$(tr -d "[:space:]" <"$tmp/display")
export DISPLAY
openbox >"$tmp/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
  wmctrl -m >/dev/null 2>&1 && break
  sleep 0.05
done
wmctrl -m >/dev/null 2>&1 || { say "openbox did not start"; exit 1; }

# --- measuring ---------------------------------------------------------------------------------
names=()
for name in $lockers; do
  case $name in
    kestrom) [[ -n $kestrom ]] && names+=(kestrom) ;;
    i3lock | slock) names+=("$name") ;;
    *) say "unknown locker $name"; exit 2 ;;
  esac
done

# measure NAME [lockbench run options...]: one start, its result line appended to NAME.txt.
measure() {
  local name=$1
  shift
  local run=("$lockbench" run --label "$name" --log "$tmp/$name.log" "$@")
  case $name in
    kestrom)
      run+=(--cwd "$(dirname "$kestrom")" --env "VELLOMAR_DRIVE_C=$drive_c" -- "$kestrom"
        "${kestrom_args[@]}")
      ;;
    i3lock) run+=(-- i3lock -n) ;;
    slock) run+=(--env "LD_PRELOAD=$tmp/peer_shim.so" -- "$tmp/slock") ;;
  esac
  local line
  line=$("${run[@]}" 2>"$tmp/probe.err") || true
  # The probe prints a line naming every failure it can see; anything else is named by its
  # last words on stderr (or its exit).
  if [[ -z $line ]]; then
    line="label=$name error=probe_printed_nothing:$(tail -n 1 "$tmp/probe.err" | tr -c '[:alnum:]\n' _)"
  fi
  cat "$tmp/probe.err" >&2
  echo "$line" >>"$tmp/$name.txt"
  echo "$line" >&2
}

say "display $DISPLAY, $runs runs per locker: ${names[*]}"
count=${#names[@]}
for ((run = 0; run < runs; run++)); do
  # Alternate, and rotate who goes first so no locker always follows the same one.
  for ((k = 0; k < count; k++)); do
    measure "${names[$(((run + k) % count))]}"
    sleep 0.2
  done
done
if [[ $idle_s != 0 ]]; then
  for name in "${names[@]}"; do
    say "idle CPU of $name over $idle_s s"
    measure "$name" --settle-ms 1000 --idle-s "$idle_s"
    sleep 0.2
  done
fi

# --- report ------------------------------------------------------------------------------------
files=()
for name in "${names[@]}"; do files+=("$name=$tmp/$name.txt"); done
ratio=()
[[ " ${names[*]} " == *" kestrom "* && " ${names[*]} " == *" slock "* ]] && ratio=(--ratio kestrom/slock)

echo
echo "Lock benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), Xvfb 1024x768x24 + openbox," \
  "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
"$lockbench" report "${ratio[@]}" "${files[@]}"
for name in "${names[@]}"; do
  if grep -q error= "$tmp/$name.txt"; then
    echo
    echo "$name failures: $(grep -o 'error=[^ ]*' "$tmp/$name.txt" | sort | uniq -c | xargs)"
    echo "last lines of its output:"
    tail -n 5 "$tmp/$name.log" | sed 's/^/    /'
  fi
done
